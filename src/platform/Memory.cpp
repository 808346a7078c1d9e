#include "platform/Memory.h"

#include <QPixmapCache>

#include <malloc.h>
#include <sys/mman.h>

#include <cstdlib>
#include <thread>
#include <vector>

namespace vistrel {

namespace {

// glibc keeps up to seven freed small blocks of each size in a per-thread cache, counted as in
// use, so the trim cannot hand back the pages under them; after an editor has come and gone
// this pins a few hundred KiB all over the heap. There is no call to empty that cache, but one
// is emptied when its thread ends: the GUI thread's blocks are taken out of its cache and
// freed by a thread that ends at once, which puts them back in the heap proper.
void emptyThreadCache()
{
#ifdef __GLIBC__
    constexpr size_t largestCached = 1032, step = 16, perSize = 7, rounds = 3;
    std::vector<void *> blocks;
    blocks.reserve(rounds * perSize * (largestCached / step + 1));
    // Taking a block of a size may refill the cache from the heap's list of that size, hence
    // a few rounds.
    for (size_t round = 0; round < rounds; ++round)
        for (size_t size = 24; size <= largestCached; size += step)
            for (size_t i = 0; i < perSize; ++i)
                if (void *p = std::malloc(size))
                    blocks.push_back(p);
    std::thread([&blocks] {
        for (void *p : blocks)
            std::free(p);
    }).join();
#endif
}

} // namespace

void tuneHeapForPictures()
{
    // Pictures (8 MiB a screen) always get their own mapping and go back to the system when
    // freed; left alone, the threshold grows past them after the first few and they stay in a
    // heap that keeps its peak.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    // One heap for every thread: a worker's own heap (encoder bands, text detection) keeps its
    // free top after the worker ends, and the trim at idle cannot hand that back.
    mallopt(M_ARENA_MAX, 1);
}

void handBackIdleMemory()
{
    QPixmapCache::clear();
    emptyThreadCache();
    malloc_trim(0);
}

bool roomFor(qint64 bytes)
{
    if (bytes <= 0)
        return true;
    // Reserved, never touched: no memory is committed, only the address space is asked for.
    void *probe = ::mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (probe == MAP_FAILED)
        return false;
    ::munmap(probe, size_t(bytes));
    return true;
}

} // namespace vistrel
