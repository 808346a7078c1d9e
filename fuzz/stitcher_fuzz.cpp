// Feeds the scrolling-capture stitcher frames made of arbitrary bytes: any size, any content,
// in any order. It must never crash, and what it composes must be as tall and as wide as it
// says.
#include "model/ScrollStitcher.h"

#include <QImage>

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace vistrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // The first bytes shape the frames; the rest are their pixels, reused round the input.
    const int width = 1 + data[0] % 96;
    const int height = 1 + data[1] % 160;
    const int frames = 1 + data[2] % 8;
    const uint8_t *pixels = data + 3;
    const size_t available = size - 3;
    ScrollStitcher stitcher;
    size_t at = 0;
    for (int f = 0; f < frames; ++f) {
        QImage frame(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            auto *line = reinterpret_cast<quint32 *>(frame.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const uint8_t v = available ? pixels[at++ % available] : 0;
                line[x] = 0xff000000u | (quint32(v) << 16) | (quint32(v ^ 0x5a) << 8) | (v >> 1);
            }
        }
        const qint64 total = stitcher.add(frame);
        if (total != stitcher.totalHeight() || total < height)
            std::abort();
    }
    const std::optional<QImage> picture = stitcher.compose();
    if (!picture || picture->height() != stitcher.totalHeight() || picture->width() != width)
        std::abort();
    return 0;
}
