#include "platform/Memory.h"

#include <QPixmapCache>

#include <malloc.h>

namespace vistrel {

void handBackIdleMemory()
{
    QPixmapCache::clear();
    malloc_trim(0);
}

} // namespace vistrel
