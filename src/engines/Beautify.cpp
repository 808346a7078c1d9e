#include "engines/Beautify.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vistrel {

const QList<Preset> &beautifyPresets()
{
    static const QList<Preset> presets{
        {QStringLiteral(QT_TRANSLATE_NOOP("Beautify", "Sunset")),
         {QColor(255, 107, 107), QColor(255, 217, 61)}},
        {QStringLiteral(QT_TRANSLATE_NOOP("Beautify", "Ocean")),
         {QColor(33, 147, 176), QColor(109, 213, 237)}},
        {QStringLiteral(QT_TRANSLATE_NOOP("Beautify", "Grape")),
         {QColor(142, 45, 226), QColor(74, 0, 224)}},
        {QStringLiteral(QT_TRANSLATE_NOOP("Beautify", "Mint")),
         {QColor(17, 153, 142), QColor(56, 239, 125)}},
        {QStringLiteral(QT_TRANSLATE_NOOP("Beautify", "Peach")),
         {QColor(247, 140, 160), QColor(254, 154, 139)}},
        {QStringLiteral(QT_TRANSLATE_NOOP("Beautify", "Slate")),
         {QColor(35, 37, 38), QColor(65, 67, 69)}},
        {QStringLiteral(QT_TRANSLATE_NOOP("Beautify", "Paper")),
         {QColor(245, 245, 247), QColor(228, 228, 231)}},
    };
    return presets;
}

namespace {

// Three running box averages along rows then columns come close to a Gaussian.
void boxBlur(std::vector<int> &a, int w, int h, int radius)
{
    if (radius < 1)
        return;
    std::vector<int> line(std::max(w, h));
    const int span = 2 * radius + 1;
    auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j < length; ++j)
                line[j] = at(i, j);
            int sum = 0;
            for (int j = 0; j < std::min(radius, length); ++j)
                sum += line[j];
            for (int j = 0; j < length; ++j) {
                if (j + radius < length)
                    sum += line[j + radius];
                if (j - radius - 1 >= 0)
                    sum -= line[j - radius - 1];
                at(i, j) = sum / span;
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(h, w, [&](int y, int x) -> int & { return a[size_t(y) * w + x]; });
        pass(w, h, [&](int x, int y) -> int & { return a[size_t(y) * w + x]; });
    }
}

// The soft shadow of a rounded rectangle. The blur works on a reduced copy (a shadow has no
// detail), which keeps a 4K picture's shadow to a few milliseconds.
void paintShadow(QPainter &p, const QRectF &card, double radius, double blur, QPointF offset,
                 double alpha)
{
    const QRectF cast = card.translated(offset);
    const double sigma = blur / 2;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    if (sigma < 0.5) {
        p.setBrush(QColor::fromRgbF(0, 0, 0, float(alpha)));
        p.drawRoundedRect(cast, radius, radius);
        p.restore();
        return;
    }
    const double reach = 3 * sigma;
    const QRectF area = cast.adjusted(-reach, -reach, reach, reach);
    const double f = std::min(1.0, 3.0 / sigma);
    const int w = int(std::ceil(area.width() * f)) + 1;
    const int h = int(std::ceil(area.height() * f)) + 1;
    if (w <= 0 || h <= 0 || qint64(w) * h > (qint64(1) << 26)) {
        p.restore();
        return;
    }
    QImage mask(w, h, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter m(&mask);
        m.setRenderHint(QPainter::Antialiasing);
        m.setPen(Qt::NoPen);
        m.setBrush(Qt::black);
        m.scale(f, f);
        m.translate(-area.topLeft());
        m.drawRoundedRect(cast, radius, radius);
    }
    std::vector<int> a(size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        const uchar *row = mask.constScanLine(y);
        std::copy(row, row + w, a.begin() + ptrdiff_t(y) * w);
    }
    const double sLow = sigma * f;
    boxBlur(a, w, h, int(std::lround((std::sqrt(4 * sLow * sLow + 1) - 1) / 2)));

    QImage shade(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(shade.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = qRgba(0, 0, 0, int(std::lround(a[size_t(y) * w + x] * alpha)));
    }
    // The white card covers the middle; only its rim and what lies outside need the shadow.
    const double inset = radius + 2;
    const QRectF hidden = card.adjusted(inset, inset, -inset, -inset);
    QRegion visible(area.toAlignedRect());
    if (!hidden.isEmpty())
        visible -= QRegion(hidden.toRect().adjusted(1, 1, -1, -1));
    p.setClipRegion(visible, Qt::IntersectClip);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(area.topLeft(), QSizeF(w / f, h / f)), shade);
    p.restore();
}

} // namespace

Beautifier::Beautifier(const QImage &image)
    : colors(beautifyPresets().first().colors), padding(defaultPadding(image.size())),
      m_image(image), m_imgSize(image.size())
{
}

double Beautifier::defaultPadding(const QSize &imageSize)
{
    return std::max(std::min(imageSize.width(), imageSize.height()) * 0.07, 48.0);
}

QSizeF Beautifier::totalSize() const
{
    return {m_imgSize.width() + 2 * padding, m_imgSize.height() + 2 * padding};
}

QSize Beautifier::outputSize() const
{
    const QSizeF total = totalSize();
    return {int(total.width()), int(total.height())};
}

QSizeF Beautifier::cardSize(const QSizeF &output, double k) const
{
    return {output.width() - 2 * k * padding, output.height() - 2 * k * padding};
}

void Beautifier::paint(QPainter &p, const QSizeF &output, double k, const QImage &shown) const
{
    const double W = output.width(), H = output.height();
    p.save();
    p.setPen(Qt::NoPen);

    // Diagonal: the first colour at the top-left corner, the last at the bottom-right.
    const double d = (W + H) / 4;
    const QPointF mid(W / 2, H / 2);
    QLinearGradient gradient(mid - QPointF(d, d), mid + QPointF(d, d));
    for (int i = 0; i < colors.size(); ++i)
        gradient.setColorAt(colors.size() == 1 ? 0.0 : double(i) / (colors.size() - 1), colors[i]);
    p.fillRect(QRectF(0, 0, W, H), colors.isEmpty() ? QBrush(Qt::white) : QBrush(gradient));

    const double pad = k * padding;
    const QRectF card(pad, pad, W - 2 * pad, H - 2 * pad);
    const double r = std::min({k * cornerRadius, card.width() / 2, card.height() / 2});
    if (card.isEmpty()) {
        p.restore();
        return;
    }
    paintShadow(p, card, r, k * shadowBlur, QPointF(0, k * shadowDrop), shadowAlpha);

    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::white);
    p.drawRoundedRect(card, r, r);

    const QImage &picture = shown.isNull() ? m_image : shown;
    if (!picture.isNull()) {
        // The picture filled into the card: a texture brush clips it to the rounded corners
        // without a clip path.
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QBrush brush(picture);
        brush.setTransform(
            QTransform::fromTranslate(card.left(), card.top())
                .scale(card.width() / picture.width(), card.height() / picture.height()));
        p.setBrush(brush);
        p.drawRoundedRect(card, r, r);
    }
    p.restore();
}

QImage Beautifier::render() const
{
    const QSize size = outputSize();
    if (size.isEmpty())
        return {};
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return {};
    // Large pictures are painted in horizontal bands, one per core.
    const int bands = size.width() * qint64(size.height()) > 1'000'000
                          ? std::clamp(QThread::idealThreadCount(), 1, 8)
                          : 1;
    std::vector<int> starts;
    for (int i = 0; i < bands; ++i)
        starts.push_back(size.height() * i / bands);
    auto paintBand = [&](const int &i) {
        const int y0 = starts[size_t(i)];
        const int y1 = i + 1 < bands ? starts[size_t(i) + 1] : size.height();
        if (y1 <= y0)
            return;
        QImage band(out.scanLine(y0), size.width(), y1 - y0, out.bytesPerLine(), out.format());
        QPainter p(&band);
        p.translate(0, -y0);
        paint(p, QSizeF(size), 1.0);
    };
    if (bands == 1) {
        paintBand(0);
    } else {
        QList<int> indices;
        for (int i = 0; i < bands; ++i)
            indices.append(i);
        QtConcurrent::blockingMap(indices, paintBand);
    }
    return out;
}

} // namespace vistrel
