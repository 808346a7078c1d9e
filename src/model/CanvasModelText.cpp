#include "model/CanvasModel.h"

#include "model/CaptionPanel.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

namespace vistrel {

// ---- text and captions --------------------------------------------------------------------

QString CanvasModel::textPlaceholder()
{
    return tr("Type\u2026");
}

CanvasChange CanvasModel::beginTextEntry(QPointF p)
{
    if (const AnnotationRef hit = markAt(p); hit && MarkRules::of(hit->kind).typed)
        return beginTextEdit(hit);
    CanvasChange c;
    pushUndo();
    m_editingIndex = -1;
    m_editingOriginal.reset();
    m_editingAnnotation = Annotation::make(ToolKind::Text, p, p, m_strokeColor, m_lineWidth);
    m_editingAnnotation->fontSize = std::max(4 * m_lineWidth, 18.0);
    c.openTextField = true;
    return c;
}

CanvasChange CanvasModel::beginTextEdit(const AnnotationRef &mark)
{
    CanvasChange c;
    const qsizetype i = m_annotations.indexOf(mark);
    if (i < 0 || !MarkRules::of(mark->kind).typed)
        return c;
    pushUndo(); // taken with the mark as it was
    m_editingIndex = int(i);
    m_editingOriginal = mark->copyForUndo();
    // The field shows the words while they are typed; the mark is drawn again on commit.
    m_annotations.removeAt(i);
    if (m_selected == mark)
        m_selected.reset();
    m_editingAnnotation = mark;
    c.touch(paintRect(*mark));
    c.openTextField = true;
    return c;
}

CanvasChange CanvasModel::mouseDoubleClicked(QPointF p)
{
    if (m_currentTool != ToolKind::Select)
        return {};
    if (const AnnotationRef hit = markAt(p); hit && MarkRules::of(hit->kind).typed) {
        m_movingFrom.reset();
        m_dragPushed = false;
        return beginTextEdit(hit);
    }
    return {};
}

QRectF CanvasModel::textFieldFrame() const
{
    if (!m_editingAnnotation)
        return {};
    const QPointF p = m_editingAnnotation->start;
    const double fs = m_editingAnnotation->fontSize;
    return QRectF(p.x(), p.y() - 0.1 * fs, 220, 1.5 * fs);
}

CanvasModel::Editing CanvasModel::takeEditing()
{
    Editing editing{std::exchange(m_editingAnnotation, {}), std::exchange(m_editingIndex, -1),
                    std::exchange(m_editingOriginal, {})};
    return editing;
}

CanvasChange CanvasModel::commitText(const QString &typed)
{
    CanvasChange c;
    if (!m_editingAnnotation)
        return c;
    const auto [mark, index, original] = takeEditing();
    if (typed.isEmpty() && !original) {
        dropNewestUndo();
        return c;
    }
    if (typed.isEmpty()) { // emptied: the mark goes, undoably
        c.repaintAll = true;
        return c;
    }
    if (original && typed == original->text)
        dropNewestUndo();
    // As long as a text may be when it is opened again.
    mark->text = typed.left(MarkRules::maxChars);
    if (index >= 0)
        m_annotations.insert(std::min<qsizetype>(index, m_annotations.size()), mark);
    else
        m_annotations.append(mark);
    c.touch(paintRect(*mark));
    return c;
}

CanvasChange CanvasModel::cancelText()
{
    CanvasChange c;
    if (!m_editingAnnotation)
        return c;
    const auto [mark, index, original] = takeEditing();
    if (original) {
        *mark = *original;
        m_annotations.insert(std::min<qsizetype>(index, m_annotations.size()), mark);
        c.touch(paintRect(*mark));
    }
    dropNewestUndo();
    return c;
}

CanvasChange CanvasModel::beginCaptionEntry(const AnnotationRef &step)
{
    CanvasChange c;
    m_captioningStep = step;
    c.openCaptionField = true;
    return c;
}

QRectF CanvasModel::captionFieldFrame() const
{
    if (!m_captioningStep)
        return {};
    const QRectF r = m_captioningStep->boundingRect();
    return QRectF(r.right() + 8, r.center().y() - 13, 240, 26);
}

QString CanvasModel::captionPlaceholder() const
{
    if (!m_captioningStep)
        return {};
    return tr("Caption for step %1\u2026").arg(m_captioningStep->stepNumber);
}

CanvasChange CanvasModel::commitCaption(const QString &typed)
{
    CanvasChange c;
    if (!m_captioningStep)
        return c;
    // Spaces and tabs only: a caption may keep its line breaks.
    qsizetype from = 0, to = typed.size();
    auto blank = [](QChar ch) { return ch == u' ' || ch == u'\t'; };
    while (from < to && blank(typed[from]))
        ++from;
    while (to > from && blank(typed[to - 1]))
        --to;
    m_captioningStep->caption =
        typed.mid(from, std::min<qsizetype>(to - from, MarkRules::maxChars));
    m_captioningStep.reset();
    c.repaintAll = true; // the legend changes size
    return c;
}

} // namespace vistrel
