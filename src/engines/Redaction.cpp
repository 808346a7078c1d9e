#include "engines/Redaction.h"

#include "model/MarkRules.h"

#include <QCoreApplication>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace {

// The whole pixels inside a rectangle of points.
QRect inner(const QRectF &r)
{
    const int left = int(std::ceil(r.left())), top = int(std::ceil(r.top()));
    const int right = int(std::floor(r.right())), bottom = int(std::floor(r.bottom()));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// Where a cover's side cuts through a glyph (a value cut from its label, a word's box that
// recognition drew a little short), a sliver of the glyph stays bare: the side moves out to the
// end of the glyph's ink, by at most half a glyph's height. Ink is what differs clearly from
// the background, the commonest grey along the cover's top and bottom rows.
QRect paddedToInk(const QRect &cover, const QImage &grey)
{
    const QRect c = cover.intersected(grey.rect());
    if (c.width() < 2 || c.height() < 2)
        return cover;
    int counts[256] = {};
    for (int x = c.left(); x <= c.right(); ++x) {
        ++counts[grey.constScanLine(c.top())[x]];
        ++counts[grey.constScanLine(c.bottom())[x]];
    }
    const int background = int(std::max_element(std::begin(counts), std::end(counts)) - counts);
    // How clearly a column of the cover's rows differs from the background.
    auto contrast = [&](int x) {
        int most = 0;
        if (x >= 0 && x < grey.width())
            for (int y = c.top(); y <= c.bottom(); ++y)
                most = std::max(most, std::abs(grey.constScanLine(y)[x] - background));
        return most;
    };
    constexpr int ink = 40, solid = 96;
    // Through the glyph's solid ink, then at most two columns of its soft edge: a faint bridge
    // of smoothing to the next glyph (a label's) is no reason to cover that one too.
    auto reachOut = [&](int from, int step) {
        int x = from;
        const int limit = std::max(2, c.height() / 3);
        while (std::abs(x + step - from) <= limit && contrast(x + step) >= solid)
            x += step;
        for (int soft = 0; soft < 2 && std::abs(x + step - from) <= limit &&
                           contrast(x + step) > ink && contrast(x + step) < solid;
             ++soft)
            x += step;
        return x;
    };
    QRect out = cover;
    if (contrast(c.left()) > ink && contrast(c.left() - 1) > ink)
        out.setLeft(reachOut(c.left(), -1));
    if (contrast(c.right()) > ink && contrast(c.right() + 1) > ink)
        out.setRight(reachOut(c.right(), 1));
    return out;
}

} // namespace

QList<PlacedFinding> Redaction::place(const QList<SecretFinding> &findings, QSize pictureSize,
                                      const QRectF &frame)
{
    QList<PlacedFinding> out;
    if (pictureSize.isEmpty())
        return out;
    const double sx = frame.width() / pictureSize.width(),
                 sy = frame.height() / pictureSize.height();
    auto onCanvas = [&](const QRect &r) {
        return QRectF(frame.left() + r.x() * sx, frame.top() + r.y() * sy, r.width() * sx,
                      r.height() * sy);
    };
    const QRect all(QPoint(0, 0), pictureSize);
    for (const SecretFinding &f : findings) {
        PlacedFinding p{f.kind, f.text, {}, {}};
        for (qsizetype i = 0; i < f.boxes.size(); ++i) {
            const QRect &box = f.boxes[i];
            const int m = marginFor(box);
            const QRect cover =
                i < f.covers.size() ? f.covers[i].united(box) : box.adjusted(-m, -m, m, m);
            p.words.append(onCanvas(box.intersected(all)));
            p.cover.append(onCanvas(cover.intersected(all)));
        }
        out.append(p);
    }
    return out;
}

QList<PlacedFinding> Redaction::place(const QList<SecretFinding> &findings, const QImage &picture,
                                      const QRectF &frame)
{
    QList<SecretFinding> padded = findings;
    if (!picture.isNull()) {
        const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
        for (SecretFinding &f : padded)
            for (qsizetype i = 0; i < f.boxes.size(); ++i) {
                const int m = marginFor(f.boxes[i]);
                const QRect cover = i < f.covers.size() ? f.covers[i].united(f.boxes[i])
                                                        : f.boxes[i].adjusted(-m, -m, m, m);
                if (i < f.covers.size())
                    f.covers[i] = paddedToInk(cover, grey);
                else
                    f.covers.append(paddedToInk(cover, grey));
            }
    }
    QList<PlacedFinding> out = place(padded, picture.size(), frame);
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i].fill = Annotation::redactionColorOver(
            picture, padded[i].covers.isEmpty() ? padded[i].boxes : padded[i].covers);
    return out;
}

bool Redaction::covered(const PlacedFinding &finding, const QList<AnnotationRef> &marks)
{
    QRegion marked;
    for (const AnnotationRef &m : marks)
        if (MarkRules::of(m->kind).covers)
            marked += inner(m->boundingRect());
    for (const QRectF &w : finding.words)
        if (!QRegion(w.toAlignedRect()).subtracted(marked).isEmpty())
            return false;
    return true;
}

QList<PlacedFinding> Redaction::uncovered(const QList<PlacedFinding> &findings,
                                          const QList<AnnotationRef> &marks,
                                          const std::optional<QRectF> &crop)
{
    QList<PlacedFinding> out;
    for (const PlacedFinding &f : findings) {
        if (crop && std::none_of(f.words.cbegin(), f.words.cend(),
                                 [&](const QRectF &w) { return w.intersects(*crop); }))
            continue;
        if (!covered(f, marks))
            out.append(f);
    }
    return out;
}

QList<AnnotationRef> Redaction::marksFor(const QList<PlacedFinding> &findings)
{
    QList<AnnotationRef> marks;
    for (const PlacedFinding &f : findings)
        for (const QRectF &r : f.cover)
            marks.append(
                Annotation::make(ToolKind::Redact, r.topLeft(), r.bottomRight(), f.fill, 1));
    return marks;
}

QString Redaction::tally(const QList<PlacedFinding> &findings)
{
    QList<std::pair<SecretKind, int>> counts;
    for (const PlacedFinding &f : findings) {
        auto it = std::find_if(counts.begin(), counts.end(),
                               [&](const auto &c) { return c.first == f.kind; });
        if (it == counts.end())
            counts.append({f.kind, 1});
        else
            ++it->second;
    }
    QStringList parts;
    for (const auto &[kind, n] : counts)
        parts << SecretFinder::counted(kind, n);
    return parts.join(QStringLiteral(", "));
}

QString Redaction::summary(const QList<PlacedFinding> &findings)
{
    return QCoreApplication::translate("Redaction", "Redacted %1: %2")
        .arg(findings.size())
        .arg(tally(findings));
}

namespace {

// Fills the picture's pixels that `marks` touch where the picture is stretched over `frame`
// (points); untouched, the picture is shared, not copied.
QImage destroyed(const QImage &picture, const QRectF &frame, const QList<AnnotationRef> &marks)
{
    if (picture.isNull() || frame.isEmpty())
        return picture;
    const double sx = picture.width() / frame.width(), sy = picture.height() / frame.height();
    if (!std::isfinite(sx) || !std::isfinite(sy))
        return picture; // a frame too small to show anything
    const QRect all = picture.rect();
    // Kept near the picture before they become whole numbers: a frame from a file may be tiny.
    auto column = [&](double x) { return int(std::clamp(x, -1.0, picture.width() + 1.0)); };
    auto row = [&](double y) { return int(std::clamp(y, -1.0, picture.height() + 1.0)); };
    QImage out = picture;
    std::optional<QPainter> painter;
    for (const AnnotationRef &m : marks) {
        const QRectF r = m->boundingRect();
        // Every pixel the mark reaches into, even by a part of it.
        const QRect pixels = QRect(QPoint(column(std::floor((r.left() - frame.left()) * sx)),
                                          row(std::floor((r.top() - frame.top()) * sy))),
                                   QPoint(column(std::ceil((r.right() - frame.left()) * sx)) - 1,
                                          row(std::ceil((r.bottom() - frame.top()) * sy)) - 1))
                                 .intersected(all);
        if (pixels.isEmpty())
            continue;
        if (!painter) {
            const bool paintable = out.format() == QImage::Format_RGB32 ||
                                   out.format() == QImage::Format_ARGB32 ||
                                   out.format() == QImage::Format_ARGB32_Premultiplied;
            if (!paintable)
                out =
                    out.convertToFormat(out.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                              : QImage::Format_RGB32);
            painter.emplace(&out);
            painter->setCompositionMode(QPainter::CompositionMode_Source);
        }
        QColor fill = m->color;
        fill.setAlpha(255);
        painter->fillRect(pixels, fill);
    }
    painter.reset();
    return out;
}

} // namespace

EditorScene Redaction::destroyUnder(const EditorScene &scene)
{
    QList<AnnotationRef> concealing;
    for (const AnnotationRef &m : scene.marks)
        if (MarkRules::of(m->kind).covers)
            concealing.append(m);
    if (concealing.isEmpty())
        return scene;
    EditorScene out = scene;
    out.image = destroyed(scene.image, QRectF(QPointF(0, 0), scene.image.size()), concealing);
    for (auto &[picture, frame] : out.placed)
        picture = destroyed(picture, frame, concealing);
    return out;
}

size_t Redaction::concealedKey(const QList<AnnotationRef> &marks)
{
    size_t key = 0;
    for (const AnnotationRef &m : marks) {
        if (!MarkRules::of(m->kind).covers)
            continue;
        const QRectF r = m->boundingRect();
        key = qHashMulti(key, r.x(), r.y(), r.width(), r.height(), m->color.rgb());
    }
    return key;
}

} // namespace vistrel
