#include "editor/CaptionPanel.h"

#include "editor/YUp.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace {

QFont pixelFont(int size, QFont::Weight weight)
{
    QFont f = QGuiApplication::font();
    f.setPixelSize(size); // one point is one canvas pixel
    f.setWeight(weight);
    return f;
}

constexpr int wrapFlags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;

} // namespace

QFont CaptionPanel::titleFont()
{
    return pixelFont(17, QFont::Bold);
}

QFont CaptionPanel::numberFont()
{
    return pixelFont(15, QFont::Bold);
}

QFont CaptionPanel::captionFont()
{
    return pixelFont(15, QFont::Normal);
}

QList<AnnotationRef> CaptionPanel::captionedSteps(const QList<AnnotationRef> &marks)
{
    QList<AnnotationRef> steps;
    for (const AnnotationRef &m : marks)
        if (m->kind == ToolKind::Step && !m->caption.isEmpty())
            steps.append(m);
    std::stable_sort(steps.begin(), steps.end(),
                     [](const AnnotationRef &a, const AnnotationRef &b) {
                         return a->stepNumber < b->stepNumber;
                     });
    return steps;
}

double CaptionPanel::rowHeight(const QString &caption)
{
    const QRectF laid = QFontMetricsF(captionFont())
                            .boundingRect(QRectF(0, 0, captionWidth, 4000), wrapFlags, caption);
    return std::max(std::ceil(laid.height()), minRowHeight);
}

double CaptionPanel::contentHeight(const QList<AnnotationRef> &steps)
{
    double h = baseHeight;
    for (const AnnotationRef &s : steps)
        h += rowHeight(s->caption) + rowSpacing;
    return h;
}

std::optional<QRectF> CaptionPanel::rect(const QList<AnnotationRef> &steps, const QRectF &imageArea)
{
    if (steps.isEmpty())
        return std::nullopt;
    const double h = std::max(contentHeight(steps), imageArea.height());
    // QRectF's bottom() is the largest y: the top of the image area with y up.
    return QRectF(imageArea.right() + gap, imageArea.bottom() - h, width, h);
}

void CaptionPanel::draw(QPainter &p, const QRectF &panel, const QList<AnnotationRef> &steps)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QPainterPath card;
    card.addRoundedRect(panel, cornerRadius, cornerRadius);
    p.fillPath(card, Qt::white);
    p.setPen(QPen(QColor::fromRgbF(0.85f, 0.85f, 0.85f), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(card);

    // Text boxes are placed by their top-left corner; y up, so the top is the larger y.
    const QFont title = titleFont();
    const double titleBottom = panel.bottom() - pad - titleHeight;
    yup::drawText(p, QPointF(panel.left() + pad, titleBottom + QFontMetricsF(title).height()),
                  QStringLiteral("Legend"), title, Qt::black);

    double y = panel.bottom() - pad - titleHeight - pad;
    const QFont number = numberFont();
    const QFont caption = captionFont();
    for (const AnnotationRef &s : steps) {
        const double h = rowHeight(s->caption);
        const QRectF badgeBox(panel.left() + pad, y - badge, badge, badge);
        p.setPen(Qt::NoPen);
        p.setBrush(s->color);
        p.drawEllipse(badgeBox);
        const QString label = QString::number(s->stepNumber);
        const QSizeF size = Annotation::measure(label, number);
        yup::drawText(p,
                      QPointF(badgeBox.center().x() - size.width() / 2,
                              badgeBox.center().y() + size.height() / 2),
                      label, number, Qt::white);
        yup::upright(p, QPointF(panel.left() + captionX, y), [&] {
            p.setFont(caption);
            p.setPen(Qt::black);
            p.drawText(QRectF(0, 0, captionWidth, h), wrapFlags, s->caption);
        });
        y -= h + rowSpacing;
    }
    p.restore();
}

} // namespace vistrel
