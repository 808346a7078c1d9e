#include "app/HeapTrimmer.h"

#include <QTimer>

#include <malloc.h>

#include <utility>

namespace vistrel {

void HeapTrimmer::request()
{
    if (std::exchange(m_pending, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_pending = false;
        malloc_trim(0);
    });
}

} // namespace vistrel
