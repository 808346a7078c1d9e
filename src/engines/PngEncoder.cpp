#include "engines/PngEncoder.h"

#include <QThread>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace vistrel {

namespace {

void putBigEndian(QByteArray &out, quint32 v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(b, 4);
}

void putChunk(QByteArray &out, const char type[4], const QByteArray &data)
{
    putBigEndian(out, quint32(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data);
    const auto *crcFrom = reinterpret_cast<const Bytef *>(out.constData() + start);
    putBigEndian(out, quint32(crc32(0, crcFrom, uInt(out.size() - start))));
}

// One band of rows, filtered ("Sub": each byte minus the one a pixel to its left, which turns
// flat runs into zeros) and deflated without a zlib wrapper. Bands end on a byte boundary
// with a sync flush, so they can be joined; the last one finishes the stream.
struct Band
{
    int firstRow = 0, rows = 0;
    bool last = false;
    Bytef *out = nullptr; // room for `capacity` bytes in the PNG itself
    uLong capacity = 0;
    uLong length = 0;
    uLong adler = 1;
    qsizetype rawLength = 0;
    bool ok = false;
};

constexpr int stripeRows = 64;

void encodeBand(const QImage &image, bool alpha, Band &band)
{
    const int channels = alpha ? 4 : 3;
    const int width = image.width();
    const qsizetype rowBytes = 1 + qsizetype(width) * channels;
    std::vector<Bytef> row(static_cast<size_t>(rowBytes));

    z_stream z = {};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    z.next_out = band.out;
    z.avail_out = uInt(band.capacity);

    // Photos and noise-like pictures hardly have repeats longer than a run, and searching for
    // them takes most of deflate's time: stripes that shrink to less than half go through
    // run-length matching only, which is twice as fast there and compresses them better.
    // Screens of windows and text stay with full matching.
    int strategy = Z_DEFAULT_STRATEGY;
    uLong stripeIn = 0, stripeOut = 0;
    int status = Z_OK;
    for (int y = band.firstRow; y < band.firstRow + band.rows && status == Z_OK; ++y) {
        if ((y - band.firstRow) % stripeRows == 0 && y > band.firstRow) {
            const uLong in = z.total_in - stripeIn, out = z.total_out - stripeOut;
            const int wanted = strategy == Z_DEFAULT_STRATEGY
                                   ? (out * 2 > in ? Z_RLE : strategy)
                                   : (out * 3 < in ? Z_DEFAULT_STRATEGY : strategy);
            if (wanted != strategy && deflateParams(&z, 1, wanted) == Z_OK)
                strategy = wanted;
            stripeIn = z.total_in, stripeOut = z.total_out;
        }
        const auto *in = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        Bytef *out = row.data();
        *out++ = 1; // Sub
        int pr = 0, pg = 0, pb = 0, pa = 0;
        for (int x = 0; x < width; ++x) {
            const QRgb c = in[x];
            const int r = qRed(c), g = qGreen(c), b = qBlue(c);
            *out++ = Bytef(r - pr);
            *out++ = Bytef(g - pg);
            *out++ = Bytef(b - pb);
            pr = r, pg = g, pb = b;
            if (alpha) {
                const int a = qAlpha(c);
                *out++ = Bytef(a - pa);
                pa = a;
            }
        }
        band.adler = adler32(band.adler, row.data(), uInt(rowBytes));
        z.next_in = row.data();
        z.avail_in = uInt(rowBytes);
        const bool end = y == band.firstRow + band.rows - 1;
        status = deflate(&z, end ? (band.last ? Z_FINISH : Z_SYNC_FLUSH) : Z_NO_FLUSH);
        if (status == Z_STREAM_END || (status == Z_OK && z.avail_in == 0))
            status = end ? Z_STREAM_END : Z_OK;
    }
    band.ok = status == Z_STREAM_END && z.avail_in == 0;
    band.length = band.capacity - z.avail_out;
    band.rawLength = rowBytes * band.rows;
    deflateEnd(&z);
}

} // namespace

QByteArray encodePngFast(const QImage &source, int bandCount)
{
    if (source.isNull())
        return {};
    const bool alpha = source.hasAlphaChannel();
    // Straight (not premultiplied) 8-bit channels, as PNG stores them.
    const QImage image =
        source.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return {};

    if (bandCount <= 0)
        bandCount = std::clamp(QThread::idealThreadCount(), 1, 8);
    bandCount = std::clamp(image.height() / 64, 1, bandCount);
    const qsizetype rowBytes = 1 + qsizetype(image.width()) * (alpha ? 4 : 3);

    // The bands deflate straight into the PNG, each into room for its worst case, and are
    // then moved together: no second full-size buffer, whose fresh pages cost more than the
    // move.
    std::vector<Band> bands(static_cast<size_t>(bandCount));
    uLong room = 0;
    {
        z_stream z = {};
        if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return {};
        for (int i = 0, row = 0; i < bandCount; ++i) {
            const int rows = image.height() / bandCount + (i < image.height() % bandCount ? 1 : 0);
            const uLong capacity = deflateBound(&z, uLong(rowBytes * rows)) + 64;
            bands[size_t(i)] =
                Band{row, rows, i == bandCount - 1, nullptr, capacity, 0, 1, 0, false};
            room += capacity;
            row += rows;
        }
        deflateEnd(&z);
    }
    QByteArray header;
    putBigEndian(header, quint32(image.width()));
    putBigEndian(header, quint32(image.height()));
    header.append(char(8));             // bits per channel
    header.append(char(alpha ? 6 : 2)); // RGBA or RGB
    header.append(3, char(0));          // deflate, adaptive filtering, no interlace

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    putChunk(png, "IHDR", header);
    const qsizetype idatAt = png.size();
    const qsizetype dataAt = idatAt + 8 + 2; // length, type, zlib header
    png.resize(dataAt + qsizetype(room) + 4 + 4 + 12);
    if (png.size() != dataAt + qsizetype(room) + 20)
        return {};
    auto *base = reinterpret_cast<Bytef *>(png.data());
    uLong offset = uLong(dataAt);
    for (Band &b : bands) {
        b.out = base + offset;
        offset += b.capacity;
    }

    std::vector<std::thread> workers;
    for (size_t i = 1; i < bands.size(); ++i)
        workers.emplace_back([&image, alpha, &band = bands[i]] { encodeBand(image, alpha, band); });
    encodeBand(image, alpha, bands[0]);
    for (std::thread &t : workers)
        t.join();

    Bytef *end = base + dataAt;
    uLong adler = 1;
    for (const Band &b : bands) {
        if (!b.ok)
            return {};
        std::memmove(end, b.out, b.length);
        end += b.length;
        adler = adler32_combine(adler, b.adler, z_off_t(b.rawLength));
    }
    const auto put = [&end](quint32 v) {
        *end++ = Bytef(v >> 24), *end++ = Bytef(v >> 16), *end++ = Bytef(v >> 8), *end++ = Bytef(v);
    };
    put(quint32(adler));
    const qsizetype idatLength = qsizetype(end - base) - (idatAt + 8);
    Bytef *idat = base + idatAt;
    idat[0] = Bytef(quint32(idatLength) >> 24), idat[1] = Bytef(quint32(idatLength) >> 16);
    idat[2] = Bytef(quint32(idatLength) >> 8), idat[3] = Bytef(quint32(idatLength));
    std::memcpy(idat + 4, "IDAT", 4);
    idat[8] = 0x78, idat[9] = 0x01; // zlib header: deflate, 32K window, fastest
    put(quint32(crc32(0, idat + 4, uInt(4 + idatLength))));
    png.resize(qsizetype(end - base));
    putChunk(png, "IEND", {});
    // The room was sized for pictures that do not compress; a clipboard keeps this for long.
    png.squeeze();
    return png;
}

} // namespace vistrel
