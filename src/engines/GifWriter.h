#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QVector>

class QIODevice;

namespace vistrel {

// One frame as a GIF holds it: up to 256 colours and an index per pixel, row by row.
struct IndexedFrame
{
    QSize size;
    QVector<QRgb> palette;
    QByteArray indices;
    bool exact = false; // every pixel kept its colour
};

// The frame's own palette: its colours exactly when it has 256 or fewer, otherwise a
// median-cut palette at full precision with error diffusion. Alpha is ignored.
IndexedFrame indexFrame(const QImage &image);

// An animated GIF of same-sized frames, each shown `delayCentiseconds`, repeated
// `loopCount` times after the first (0: forever).
class GifWriter
{
public:
    static bool write(QIODevice &out, const QList<IndexedFrame> &frames, int delayCentiseconds,
                      int loopCount);
    // Indexes the frames side by side and writes the file atomically; false when the frames
    // are empty or differ in size, or the file cannot be written.
    static bool writeFile(const QString &path, const QList<QImage> &frames, int delayCentiseconds,
                          int loopCount);
};

} // namespace vistrel
