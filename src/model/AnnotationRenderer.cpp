#include "model/AnnotationRenderer.h"

#include "model/MarkRules.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace vistrel {

double AnnotationRenderer::arrowHeadLength(double lineWidth)
{
    return std::max(4 * lineWidth, 12.0);
}

QPainterPath AnnotationRenderer::strokePath(const Annotation &a)
{
    QPainterPath path(a.start);
    if (const auto c = a.cubicControls())
        path.cubicTo(c->first, c->second, a.end);
    else
        path.lineTo(a.end);
    return path;
}

QPolygonF AnnotationRenderer::arrowHead(const Annotation &a)
{
    // A bent arrow's head follows the direction in which the curve arrives.
    const QPointF q = a.control.value_or(a.start);
    const double theta = std::atan2(a.end.y() - q.y(), a.end.x() - q.x());
    const double length = arrowHeadLength(a.lineWidth);
    auto corner = [&](double angle) {
        return a.end + QPointF(std::cos(angle), std::sin(angle)) * length;
    };
    return QPolygonF({a.end, corner(theta + headAngle), corner(theta - headAngle)});
}

namespace {

QPen strokePen(const Annotation &a, Qt::PenCapStyle cap, Qt::PenJoinStyle join)
{
    QPen pen(a.color, a.lineWidth, Qt::SolidLine, cap, join);
    pen.setMiterLimit(10);
    return pen;
}

} // namespace

void AnnotationRenderer::drawLines(QPainter &p, QPointF topLeft, const QString &text,
                                   const QFont &font, const QColor &color)
{
    p.save();
    p.setFont(font);
    p.setPen(color);
    const QFontMetricsF fm(font);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i)
        p.drawText(topLeft + QPointF(0, fm.ascent() + double(i) * fm.lineSpacing()), lines[i]);
    p.restore();
}

void AnnotationRenderer::draw(QPainter &p, const Annotation &a, const QImage *pixelated,
                              QPointF imageOrigin)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    MarkRules::of(a.kind).paint(p, a, MarkInks{pixelated, imageOrigin});
    p.restore();
}

void AnnotationRenderer::paintNothing(QPainter &, const Annotation &, const MarkInks &) {}

void AnnotationRenderer::paintLine(QPainter &p, const Annotation &a, const MarkInks &)
{
    p.setPen(strokePen(a, Qt::RoundCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(strokePath(a));
}

void AnnotationRenderer::paintArrow(QPainter &p, const Annotation &a, const MarkInks &inks)
{
    paintLine(p, a, inks);
    p.setPen(Qt::NoPen);
    p.setBrush(a.color);
    p.drawPolygon(arrowHead(a));
}

void AnnotationRenderer::paintRect(QPainter &p, const Annotation &a, const MarkInks &)
{
    p.setPen(strokePen(a, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(a.boundingRect());
}

void AnnotationRenderer::paintEllipse(QPainter &p, const Annotation &a, const MarkInks &)
{
    p.setPen(strokePen(a, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(a.boundingRect());
}

void AnnotationRenderer::paintPen(QPainter &p, const Annotation &a, const MarkInks &)
{
    if (a.points.size() < 2)
        return;
    p.setPen(strokePen(a, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const qsizetype n = a.points.size();
    if (n <= penPiece) {
        p.drawPolyline(a.points.constData(), int(n));
        return;
    }
    // A long stroke is drawn in short pieces that share their end points: the rasterizer's
    // cost grows with how many edges cross each row, so one outline of a zig-zag of
    // thousands of points takes seconds where its pieces take milliseconds. Round caps meet
    // as round joins do, so opaque ink looks the same; translucent ink is drawn opaque into a
    // layer first, so the overlaps are not darker.
    auto drawPieces = [&](QPainter &q) {
        for (qsizetype i = 0; i + 1 < n; i += penPiece - 1)
            q.drawPolyline(a.points.constData() + i, int(std::min<qsizetype>(penPiece, n - i)));
    };
    if (a.color.alpha() == 255) {
        drawPieces(p);
        return;
    }
    const QRect device =
        p.transform()
            .mapRect(
                a.boundingRect().adjusted(-a.lineWidth, -a.lineWidth, a.lineWidth, a.lineWidth))
            .toAlignedRect()
            .intersected(p.hasClipping()
                             ? p.clipBoundingRect().toAlignedRect()
                             : QRect(QPoint(), QSize(p.device()->width(), p.device()->height())));
    if (device.isEmpty())
        return;
    QImage layer(device.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter q(&layer);
        q.setRenderHints(p.renderHints());
        q.setTransform(p.transform() * QTransform::fromTranslate(-device.x(), -device.y()));
        QColor opaque = a.color;
        opaque.setAlpha(255);
        QPen pen = p.pen();
        pen.setColor(opaque);
        q.setPen(pen);
        drawPieces(q);
    }
    p.save();
    p.resetTransform();
    p.setOpacity(p.opacity() * a.color.alphaF());
    p.drawImage(device.topLeft(), layer);
    p.restore();
}

void AnnotationRenderer::paintHighlight(QPainter &p, const Annotation &a, const MarkInks &)
{
    QColor fill = a.color;
    fill.setAlphaF(float(highlightAlpha));
    p.fillRect(a.boundingRect(), fill);
}

void AnnotationRenderer::paintText(QPainter &p, const Annotation &a, const MarkInks &)
{
    drawLines(p, a.start, a.displayText(), Annotation::textFont(a.fontSize), a.color);
}

void AnnotationRenderer::paintStep(QPainter &p, const Annotation &a, const MarkInks &)
{
    const QRectF r = a.boundingRect();
    p.setPen(Qt::NoPen);
    p.setBrush(a.color);
    p.drawEllipse(r);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 2));
    p.drawEllipse(r.adjusted(1.5, 1.5, -1.5, -1.5));
    const QString label = QString::number(a.stepNumber);
    const QFont font = Annotation::stepFont(r.height() * 0.5);
    const QSizeF size = Annotation::measure(label, font);
    drawLines(p, r.center() - QPointF(size.width() / 2, size.height() / 2), label, font, Qt::white);
}

void AnnotationRenderer::paintBlur(QPainter &p, const Annotation &a, const MarkInks &inks)
{
    const QRectF r = a.boundingRect();
    const QImage *pixelated = inks.pixelated;
    const QPointF imageOrigin = inks.imageOrigin;
    if (!pixelated || pixelated->isNull()) {
        p.fillRect(r, Qt::black);
        return;
    }
    // Only the whole image pixels under the mark are drawn, one to one, and the clip
    // trims them to the mark: the same picture as clipping the entire copy.
    const QRectF imageRect(imageOrigin, QSizeF(pixelated->size()));
    const QRectF shown = r.intersected(imageRect);
    if (shown.isEmpty())
        return;
    const QRect source =
        shown.translated(-imageOrigin).toAlignedRect().intersected(pixelated->rect());
    const QRectF target(QRectF(source).translated(imageOrigin));
    p.setClipRect(r, Qt::IntersectClip);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawImage(target, *pixelated, QRectF(source));
}

void AnnotationRenderer::paintRedaction(QPainter &p, const Annotation &a, const MarkInks &)
{
    QColor fill = a.color;
    fill.setAlpha(255);
    const QRect device = p.transform().mapRect(a.boundingRect()).toAlignedRect();
    p.resetTransform();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(device, fill);
}

double pixelBlockSize(const QSize &size)
{
    return std::max(std::max(size.width(), size.height()) / 60.0, 8.0);
}

namespace {

QImage::Format pixelatedFormat(const QImage &source)
{
    return source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
}

// Block edges on the pixel grid: block k covers [floor(k·s), floor((k+1)·s)).
std::vector<int> blockEdges(int length, double s)
{
    std::vector<int> e{0};
    for (int k = 1; e.back() < length; ++k)
        e.push_back(std::min(length, int(std::floor(k * s))));
    return e;
}

// Fills `out`, whose top-left is the picture's pixel `at`, with the blocks of columns
// [c0, c1) and rows [r0, r1), each the average of its pixels in `in` (whose top-left is `inAt`).
void pixelateBlocks(const QImage &in, QPoint inAt, const std::vector<int> &xs,
                    const std::vector<int> &ys, size_t c0, size_t c1, size_t r0, size_t r1,
                    QImage &out, QPoint at)
{
    const size_t columns = c1 - c0;
    // Bands of block rows are independent, so they are shared between the cores.
    auto band = [&](size_t by) {
        std::vector<quint64> sums(columns * 4, 0);
        for (int y = ys[by]; y < ys[by + 1]; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(in.constScanLine(y - inAt.y()));
            for (size_t b = 0; b < columns; ++b) {
                // Per block and row at most a few thousand pixels: 32 bits cannot overflow.
                quint32 a = 0, r = 0, g = 0, bl = 0;
                for (int x = xs[c0 + b] - inAt.x(); x < xs[c0 + b + 1] - inAt.x(); ++x) {
                    const QRgb px = line[x];
                    a += px >> 24;
                    r += (px >> 16) & 0xff;
                    g += (px >> 8) & 0xff;
                    bl += px & 0xff;
                }
                quint64 *acc = &sums[b * 4];
                acc[0] += a, acc[1] += r, acc[2] += g, acc[3] += bl;
            }
        }
        const quint64 rows = quint64(ys[by + 1] - ys[by]);
        std::vector<QRgb> colour(columns);
        for (size_t b = 0; b < columns; ++b) {
            const quint64 n = rows * quint64(xs[c0 + b + 1] - xs[c0 + b]);
            const quint64 *acc = &sums[b * 4];
            auto avg = [n](quint64 v) { return int((v + n / 2) / n); };
            colour[b] = qRgba(avg(acc[1]), avg(acc[2]), avg(acc[3]), avg(acc[0]));
        }
        for (int y = ys[by]; y < ys[by + 1]; ++y) {
            auto *line = reinterpret_cast<QRgb *>(out.scanLine(y - at.y()));
            for (size_t b = 0; b < columns; ++b)
                std::fill(line + (xs[c0 + b] - at.x()), line + (xs[c0 + b + 1] - at.x()),
                          colour[b]);
        }
    };
    std::vector<size_t> bands(r1 - r0);
    std::iota(bands.begin(), bands.end(), r0);
    const qint64 pixels = qint64(xs[c1] - xs[c0]) * (ys[r1] - ys[r0]);
    if (pixels >= 1'000'000)
        QtConcurrent::blockingMap(bands, band);
    else
        std::for_each(bands.begin(), bands.end(), band);
}

} // namespace

QImage pixelate(const QImage &source)
{
    if (source.isNull())
        return source;
    const QImage::Format format = pixelatedFormat(source);
    QImage in = source.format() == format ? source : source.convertToFormat(format);
    QImage out(in.size(), format);
    if (in.isNull() || out.isNull())
        return source;
    out.setDevicePixelRatio(source.devicePixelRatio());
    const double s = pixelBlockSize(in.size());
    const std::vector<int> xs = blockEdges(in.width(), s), ys = blockEdges(in.height(), s);
    pixelateBlocks(in, QPoint(), xs, ys, 0, xs.size() - 1, 0, ys.size() - 1, out, QPoint());
    return out;
}

PixelatedPicture::PixelatedPicture(const QImage &source) : m_source(source)
{
    if (source.isNull())
        return;
    const double s = pixelBlockSize(source.size());
    m_xs = blockEdges(source.width(), s);
    m_ys = blockEdges(source.height(), s);
}

PixelatedPicture::Part PixelatedPicture::cover(const QRect &area)
{
    // A pixel more on each side: a picture drawn scaled reads the pixels around what it shows.
    const QRect wanted = area.adjusted(-1, -1, 1, 1).intersected(m_source.rect());
    if (wanted.isEmpty())
        return {};
    for (const Part &part : std::as_const(m_parts))
        if (part.rect().contains(wanted))
            return part;
    // The blocks the wanted pixels lie in, whole.
    auto first = [](const std::vector<int> &edges, int v) {
        return size_t(std::upper_bound(edges.begin(), edges.end(), v) - edges.begin() - 1);
    };
    const size_t c0 = first(m_xs, wanted.left()), c1 = first(m_xs, wanted.right()) + 1;
    const size_t r0 = first(m_ys, wanted.top()), r1 = first(m_ys, wanted.bottom()) + 1;
    const QRect blocks(QPoint(m_xs[c0], m_ys[r0]), QPoint(m_xs[c1] - 1, m_ys[r1] - 1));
    const QImage::Format format = pixelatedFormat(m_source);
    // Only the blocks' own pixels are converted when the picture is in another format.
    const QImage in =
        m_source.format() == format ? m_source : m_source.copy(blocks).convertToFormat(format);
    const QPoint inAt = m_source.format() == format ? QPoint() : blocks.topLeft();
    Part part{QImage(blocks.size(), format), blocks.topLeft()};
    if (in.isNull() || part.image.isNull())
        return {};
    part.image.setDevicePixelRatio(m_source.devicePixelRatio());
    pixelateBlocks(in, inAt, m_xs, m_ys, c0, c1, r0, r1, part.image, part.at);
    // Parts the new one holds are not needed any more.
    m_parts.removeIf([&](const Part &p) { return blocks.contains(p.rect()); });
    m_parts.append(part);
    return part;
}

qint64 PixelatedPicture::bytes() const
{
    qint64 total = 0;
    for (const Part &part : m_parts)
        total += part.image.sizeInBytes();
    return total;
}

} // namespace vistrel
