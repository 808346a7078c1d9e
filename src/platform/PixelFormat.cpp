#include "platform/PixelFormat.h"

#include <bit>

namespace vistrel {

namespace {

struct Channel
{
    int shift = 0;
    quint32 max = 0;

    explicit Channel(quint32 mask)
    {
        if (!mask)
            return;
        shift = std::countr_zero(mask);
        max = mask >> shift;
    }
    // Widens the channel to 8 bits, rounding, so 0 and full scale stay exact.
    quint32 eight(quint32 pixel) const
    {
        const quint32 v = (pixel >> shift) & max;
        return max == 255 ? v : (v * 255 + max / 2) / max;
    }
};

quint32 readPixel(const uchar *p, int bytes, bool msbFirst)
{
    quint32 v = 0;
    if (msbFirst)
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | p[i];
    else
        for (int i = bytes - 1; i >= 0; --i)
            v = (v << 8) | p[i];
    return v;
}

} // namespace

bool PixelLayout::readable() const
{
    const bool sizeOk = bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
    const bool masksOk = redMask && greenMask && blueMask && !(redMask & greenMask) &&
                         !(redMask & blueMask) && !(greenMask & blueMask);
    return sizeOk && masksOk;
}

bool PixelLayout::isPlainRgb32() const
{
    return bitsPerPixel == 32 && !msbFirst && redMask == 0xff0000 && greenMask == 0x00ff00 &&
           blueMask == 0x0000ff;
}

bool copyPixels(const uchar *source, int stride, const PixelLayout &layout, QImage &out, QPoint at,
                QSize size)
{
    if (!layout.readable() || out.format() != QImage::Format_RGB32 ||
        !out.rect().contains(QRect(at, size)))
        return false;
    if (layout.isPlainRgb32()) {
        // X servers leave the fourth byte at zero; the toolkit's opaque format wants 0xff there
        // (painting the picture onto a transparent export otherwise makes it invisible).
        for (int y = 0; y < size.height(); ++y) {
            const auto *in = reinterpret_cast<const quint32 *>(source + qsizetype(y) * stride);
            auto *line = reinterpret_cast<quint32 *>(out.scanLine(at.y() + y)) + at.x();
            for (int x = 0; x < size.width(); ++x)
                line[x] = in[x] | 0xff000000u;
        }
        return true;
    }
    const Channel r(layout.redMask), g(layout.greenMask), b(layout.blueMask);
    const int bytes = layout.bitsPerPixel / 8;
    for (int y = 0; y < size.height(); ++y) {
        const uchar *in = source + qsizetype(y) * stride;
        auto *line = reinterpret_cast<quint32 *>(out.scanLine(at.y() + y)) + at.x();
        for (int x = 0; x < size.width(); ++x, in += bytes) {
            const quint32 v = readPixel(in, bytes, layout.msbFirst);
            line[x] = 0xff000000u | (r.eight(v) << 16) | (g.eight(v) << 8) | b.eight(v);
        }
    }
    return true;
}

void makeOpaque(uchar *bits, qsizetype stride, QSize size)
{
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(bits + qsizetype(y) * stride);
        for (int x = 0; x < size.width(); ++x)
            line[x] |= 0xff000000u;
    }
}

} // namespace vistrel
