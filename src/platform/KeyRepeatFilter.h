#pragma once

#include <QHash>

namespace vistrel {

// A held key repeats: as more presses, or as release-press pairs at one instant. Only the
// first press of a hold counts.
class KeyRepeatFilter
{
public:
    bool press(quint8 keycode, quint32 time);
    void release(quint8 keycode, quint32 time);

private:
    QHash<quint8, bool> m_down;
    QHash<quint8, quint32> m_releasedAt;
};

} // namespace vistrel
