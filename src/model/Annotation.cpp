#include "model/Annotation.h"

#include "model/MarkRules.h"

#include <QFontMetricsF>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vistrel {

QRectF rectOf(QPointF a, QPointF b)
{
    return QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()),
                  std::abs(b.y() - a.y()));
}

namespace {

// Union that keeps zero-size rectangles (QRectF::united ignores them).
QRectF include(const QRectF &r, QPointF p)
{
    const double left = std::min(r.left(), p.x()), right = std::max(r.right(), p.x());
    const double top = std::min(r.top(), p.y()), bottom = std::max(r.bottom(), p.y());
    return QRectF(left, top, right - left, bottom - top);
}

QFont sizedFont(double size, QFont::Weight weight)
{
    QFont f = QGuiApplication::font();
    // One point is one canvas pixel, whatever the device's resolution.
    f.setPixelSize(std::max(1, int(std::lround(size))));
    f.setWeight(weight);
    f.setKerning(true);
    return f;
}

} // namespace

QFont Annotation::textFont(double size)
{
    return sizedFont(size, QFont::DemiBold);
}

QFont Annotation::stepFont(double size)
{
    return sizedFont(size, QFont::Bold);
}

QSizeF Annotation::measure(const QString &text, const QFont &font)
{
    const QFontMetricsF fm(font);
    const QStringList lines = text.split(QLatin1Char('\n'));
    double width = 0;
    for (const QString &line : lines)
        width = std::max(width, fm.horizontalAdvance(line));
    return QSizeF(width, fm.height() + fm.lineSpacing() * double(lines.size() - 1));
}

QString Annotation::displayText() const
{
    return text.isEmpty() ? QCoreApplication::translate("Annotation", "Text") : text;
}

double Annotation::stepDiameter() const
{
    return std::max(lineWidth * 7, 26.0);
}

QRectF Annotation::boundingRect() const
{
    return MarkRules::of(kind).bounds(*this);
}

QRectF Annotation::boxBounds(const Annotation &a)
{
    return rectOf(a.start, a.end);
}

QRectF Annotation::textBounds(const Annotation &a)
{
    const QSizeF size = measure(a.displayText(), textFont(a.fontSize));
    return QRectF(a.start, QSizeF(std::max(size.width(), 20.0), size.height()));
}

QRectF Annotation::stepBounds(const Annotation &a)
{
    const double d = a.stepDiameter();
    return QRectF(a.start.x() - d / 2, a.start.y() - d / 2, d, d);
}

QRectF Annotation::segmentBounds(const Annotation &a)
{
    const QRectF r = rectOf(a.start, a.end);
    return a.control ? include(r, *a.control) : r;
}

QRectF Annotation::penBounds(const Annotation &a)
{
    if (a.points.isEmpty())
        return rectOf(a.start, a.end);
    QRectF r(a.points.first(), QSizeF(0, 0));
    for (const QPointF &p : a.points)
        r = include(r, p);
    return r.adjusted(-a.lineWidth, -a.lineWidth, a.lineWidth, a.lineWidth);
}

void Annotation::translate(QPointF by)
{
    start += by;
    end += by;
    if (control)
        *control += by;
    for (QPointF &p : points)
        p += by;
}

AnnotationRef Annotation::copyForUndo() const
{
    return std::make_shared<Annotation>(*this);
}

std::optional<std::pair<QPointF, QPointF>> Annotation::cubicControls() const
{
    if (!control)
        return std::nullopt;
    const QPointF c = *control;
    return std::make_pair(start + (c - start) * (2.0 / 3.0), end + (c - end) * (2.0 / 3.0));
}

QColor Annotation::redactionColorOver(const QImage &picture, const QList<QRect> &boxes)
{
    std::vector<int> lightness;
    const QRect all = picture.rect();
    auto sample = [&](int x, int y) {
        if (all.contains(x, y))
            lightness.push_back(qGray(picture.pixel(x, y)));
    };
    for (const QRect &b : boxes)
        for (int ring = 1; ring <= 3; ++ring) {
            const QRect r = b.adjusted(-ring, -ring, ring, ring);
            for (int x = r.left(); x <= r.right(); ++x)
                sample(x, r.top()), sample(x, r.bottom());
            for (int y = r.top() + 1; y < r.bottom(); ++y)
                sample(r.left(), y), sample(r.right(), y);
        }
    if (lightness.empty())
        return redactionColor();
    std::nth_element(lightness.begin(), lightness.begin() + long(lightness.size() / 2),
                     lightness.end());
    return lightness[lightness.size() / 2] < 100 ? lightRedactionColor() : redactionColor();
}

} // namespace vistrel
