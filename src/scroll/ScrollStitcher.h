#pragma once

#include <QImage>
#include <QList>

#include <array>
#include <optional>

namespace vistrel {

// Turns frames of one screen rectangle, taken while its content scrolls up, into one tall
// picture: each frame is reduced to a small grey signature, the content's movement since the
// previous frame is found by trying every shift, and only the newly revealed bottom band of
// the frame is kept.
class ScrollStitcher
{
public:
    static constexpr int sigW = 16;
    static constexpr int sigH = 256;
    static constexpr int maxShift = 128;
    static constexpr int maxMean = 15;  // the largest mean difference still taken as a match
    static constexpr int minBand = 3;   // thinner bands are dropped
    using Signature = std::array<quint8, sigW * sigH>;

    // Returns the stitched height after the frame. A frame whose signature equals the last
    // one's adds nothing.
    qint64 add(const QImage &frame);
    // The stitched picture so far (does not change the stitcher); nothing before any frame.
    std::optional<QImage> compose() const;

    // 16 × 256 grey cells (area averages, row 0 at the top), in one pass over the frame.
    static std::optional<Signature> signature(const QImage &frame);
    // Shift in signature rows (1 to 128) by which the content moved up from `prev` to `curr`,
    // or nothing when no shift matches well enough.
    static std::optional<int> bestShift(const Signature &prev, const Signature &curr);
    // Pixel height of the band revealed by a shift on a frame `frameHeight` pixels high.
    static qint64 bandHeight(int shift, int frameHeight);

    const QList<QImage> &strips() const { return m_strips; }
    qint64 totalHeight() const { return m_totalHeight; }
    qint64 width() const { return m_width; }

private:
    QList<QImage> m_strips;
    qint64 m_totalHeight = 0;
    qint64 m_width = 0;
    std::optional<Signature> m_lastSig;
};

} // namespace vistrel
