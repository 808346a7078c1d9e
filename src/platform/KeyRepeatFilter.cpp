#include "platform/KeyRepeatFilter.h"

namespace vistrel {

bool KeyRepeatFilter::press(quint8 keycode, quint32 time)
{
    const bool repeat = m_down.value(keycode) ||
                        (m_releasedAt.contains(keycode) && m_releasedAt.value(keycode) == time);
    m_down.insert(keycode, true);
    return !repeat;
}

void KeyRepeatFilter::release(quint8 keycode, quint32 time)
{
    m_down.insert(keycode, false);
    m_releasedAt.insert(keycode, time);
}

} // namespace vistrel
