#pragma once

#include <QString>

#include <memory>

class QWindow;

namespace vistrel {

// One of our windows made known to other programs of the desktop (xdg-foreign), so that a
// dialog the portal shows for us opens over it. The handle is good while this object lives.
class WaylandWindowExport
{
public:
    // Null where the compositor cannot export windows, or `window` has no surface yet.
    static std::shared_ptr<WaylandWindowExport> of(QWindow *window);
    ~WaylandWindowExport();
    QString handle() const { return m_handle; }

    struct Exported;

private:
    explicit WaylandWindowExport(Exported *exported, QString handle);
    Exported *m_exported;
    QString m_handle;
};

} // namespace vistrel
