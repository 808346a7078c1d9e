#pragma once

#include <QObject>

namespace vistrel {

// Frozen pictures, cut pictures and encoder buffers leave holes the heap would otherwise keep
// for good: once a capture's pictures are gone (on the next turn of the event loop), its free
// memory goes back to the system. Requests made before then are served by one trim.
class HeapTrimmer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    void request();

private:
    bool m_pending = false;
};

} // namespace vistrel
