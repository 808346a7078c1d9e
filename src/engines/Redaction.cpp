#include "engines/Redaction.h"

#include "model/MarkRules.h"

#include <QCoreApplication>
#include <QRegion>

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

} // namespace

QList<PlacedFinding> Redaction::place(const QList<SecretFinding> &findings, QSize pictureSize,
                                      const QRectF &frame)
{
    QList<PlacedFinding> out;
    if (pictureSize.isEmpty())
        return out;
    const double sx = frame.width() / pictureSize.width(),
                 sy = frame.height() / pictureSize.height();
    // Picture pixels run down from the frame's top edge, which is its largest y.
    auto onCanvas = [&](const QRect &r) {
        return QRectF(frame.left() + r.x() * sx, frame.bottom() - (r.y() + r.height()) * sy,
                      r.width() * sx, r.height() * sy);
    };
    const QRect all(QPoint(0, 0), pictureSize);
    for (const SecretFinding &f : findings) {
        PlacedFinding p{f.kind, f.text, {}, {}};
        for (const QRect &box : f.boxes) {
            const int m = marginFor(box);
            p.words.append(onCanvas(box.intersected(all)));
            p.cover.append(onCanvas(box.adjusted(-m, -m, m, m).intersected(all)));
        }
        out.append(p);
    }
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
            marks.append(Annotation::make(ToolKind::Redact, r.topLeft(), r.bottomRight(),
                                          Annotation::redactionColor(), 1));
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

} // namespace vistrel
