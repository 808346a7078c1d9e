#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QVector>

class QIODevice;
struct GifFileType;

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
// A median-cut palette of up to `maxColours` colours for the pixels of `rect` in `rgb`
// (Format_RGB32); every `step`-th row and column is looked at.
QVector<QRgb> medianCutPalette(const QImage &rgb, const QRect &rect, int maxColours, int step = 1);

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

// An animated GIF written a frame at a time as the frames arrive, never held whole. Its global
// palette has 256 entries, written as zeros at `globalPaletteOffset`: the writer fills them in
// place once it knows them (a palette that grows as new colours appear).
class GifStream
{
public:
    static constexpr qint64 globalPaletteOffset = 13;

    GifStream() = default;
    GifStream(const GifStream &) = delete;
    GifStream &operator=(const GifStream &) = delete;
    ~GifStream();

    bool open(QIODevice &out, const QSize &size, int loopCount);
    // `indices` holds `rect`'s pixels row by row; `localPalette` null: the global one.
    // `transparentIndex` -1: none; pixels of that index keep what was shown before.
    bool addFrame(const QRect &rect, const uchar *indices, const QVector<QRgb> *localPalette,
                  int delayCentiseconds, int transparentIndex);
    // Writes the trailer; false when anything could not be written.
    bool close();

private:
    ::GifFileType *m_gif = nullptr;
    QSize m_size;
};

} // namespace vistrel
