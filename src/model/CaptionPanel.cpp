#include "model/CaptionPanel.h"

#include "model/AnnotationRenderer.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

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

// Lays the caption out in rows of the caption column: broken between words where it can be,
// and inside a word (a link, a path) that is longer than a row. Lines follow each other as in
// the toolkit's own word-wrapped text (the font's leading between them). Returns the height.
double layOutCaption(QTextLayout &layout, const QString &caption)
{
    QString text = caption;
    text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    const QFont font = CaptionPanel::captionFont();
    layout.setText(text);
    layout.setFont(font);
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const double leading = QFontMetricsF(font).leading();
    double height = -leading;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(CaptionPanel::captionWidth);
        height += leading;
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return std::max(height, 0.0);
}

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
    QTextLayout layout;
    return std::max(std::ceil(layOutCaption(layout, caption)), minRowHeight);
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
    return QRectF(imageArea.right() + gap, imageArea.top(), width, h);
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

    // The title's line ends where its row does.
    const QFont title = titleFont();
    const double titleBottom = panel.top() + pad + titleHeight;
    AnnotationRenderer::drawLines(
        p, QPointF(panel.left() + pad, titleBottom - QFontMetricsF(title).height()),
        QCoreApplication::translate("CaptionPanel", "Legend"), title, Qt::black);

    double y = titleBottom + pad;
    const QFont number = numberFont();
    for (const AnnotationRef &s : steps) {
        const double h = rowHeight(s->caption);
        const QRectF badgeBox(panel.left() + pad, y, badge, badge);
        p.setPen(Qt::NoPen);
        p.setBrush(s->color);
        p.drawEllipse(badgeBox);
        const QString label = QString::number(s->stepNumber);
        const QSizeF size = Annotation::measure(label, number);
        AnnotationRenderer::drawLines(
            p, badgeBox.center() - QPointF(size.width() / 2, size.height() / 2), label, number,
            Qt::white);
        QTextLayout lines;
        layOutCaption(lines, s->caption);
        p.setPen(Qt::black);
        lines.draw(&p, QPointF(panel.left() + captionX, y));
        y += h + rowSpacing;
    }
    p.restore();
}

} // namespace vistrel
