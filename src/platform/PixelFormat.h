#pragma once

#include <QImage>

namespace vistrel {

// How an X server lays out the pixels of a picture: bits per pixel and where each channel
// lies. Screens of depth 16 (VNC, old hardware) and 30 (deep colour) differ from the usual 24.
struct PixelLayout
{
    int bitsPerPixel = 32;
    quint32 redMask = 0xff0000, greenMask = 0x00ff00, blueMask = 0x0000ff;
    bool msbFirst = false; // byte order of each pixel

    bool readable() const;
    bool isPlainRgb32() const;
};

// Copies `size` pixels of rows `stride` bytes apart into `out` (Format_RGB32, opaque) at `at`.
// False when the layout is not one this reads.
bool copyPixels(const uchar *source, int stride, const PixelLayout &layout, QImage &out, QPoint at,
                QSize size);

// Sets the fourth byte of 32-bit pixels (which X servers leave at zero) to 0xff in place.
void makeOpaque(uchar *bits, qsizetype stride, QSize size);

} // namespace vistrel
