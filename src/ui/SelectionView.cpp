#include "ui/SelectionView.h"
#include "ui/UiFont.h"

#include "engines/ClipboardTools.h"
#include "model/AnnotationRenderer.h"
#include "platform/Desktop.h"
#include "ui/Cursors.h"
#include "ui/SelectionToolbar.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace {

// Badges whose numbers change with every pointer move: digits of one width do not jitter.
QFont digitsFont(int pixels, QFont::Weight weight)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

// The overlay's four faces, in one place so that start-up opens exactly these.
QFont hintFont()
{
    return uiFont(13, QFont::Medium);
}
QFont loupeFont()
{
    return digitsFont(11, QFont::Medium);
}
QFont badgeFont()
{
    return digitsFont(12, QFont::DemiBold);
}

const QColor dimming(0, 0, 0, 77);

} // namespace

SelectionView::SelectionView(SelectionModel::Setup setup, const QImage &displayImage, double scale,
                             Purpose purpose)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint),
      m_model(SelectionModel::Setup{})
{
    setWindowTitle(tr("Vistrel Selection"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel is painted from the frozen picture
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_accent = palette().color(QPalette::Highlight);
    reset(std::move(setup), displayImage, scale, purpose);
}

void SelectionView::reset(SelectionModel::Setup setup, const QImage &displayImage, double scale,
                          Purpose purpose)
{
    release();
    m_model = SelectionModel(std::move(setup));
    m_purpose = purpose;
    m_scale = scale;
    m_picture = displayImage;
    m_reported = false;
    // Painted with explicit pixel source rectangles, so the picture keeps its ratio of 1 and
    // shares the frozen picture's pixels rather than copying them.
    if (!m_picture.isNull() && m_picture.format() != QImage::Format_RGB32)
        m_picture = m_picture.convertToFormat(QImage::Format_RGB32);
    m_lastDecorated = decoratedRegion();
    applyCursor(m_model.setup().windowPicking ? SelectionModel::Cursor::Arrow
                                              : SelectionModel::Cursor::Crosshair);
}

void SelectionView::release()
{
    disconnect(this, &SelectionView::completed, nullptr, nullptr);
    disconnect(this, &SelectionView::colorPicked, nullptr, nullptr);
    disconnect(this, &SelectionView::keyPressed, nullptr, nullptr);
    if (m_toolbar) {
        // Later: a click on one of its buttons may be what ended the capture.
        m_toolbar->hide();
        m_toolbar->deleteLater();
        m_toolbar = nullptr;
    }
    m_picture = QImage();
}

SelectionView::~SelectionView() = default;

void SelectionView::seedPointer(QPoint globalPosition)
{
    // The loupe and the window highlight start where the pointer is, not at a corner.
    react(m_model.mouseMoved(QPointF(mapFromGlobal(globalPosition))));
}

void SelectionView::changeEvent(QEvent *event)
{
    // Taking the keyboard activates the window; the overlay looks the same either way, and a
    // repaint of the whole screen for it would come right after the first one.
    if (event->type() == QEvent::ActivationChange)
        return;
    QWidget::changeEvent(event);
}

void SelectionView::showEvent(QShowEvent *event)
{
    // Grabs of the desktop leave the overlay alone: it holds the keyboard.
    if (windowHandle())
        windowHandle()->setProperty(keepInGrabsProperty, true);
    QWidget::showEvent(event);
}

QString SelectionView::hintText(bool windowPicking, std::optional<SelectionAction> immediateAction)
{
    if (immediateAction == SelectionAction::Scroll)
        return tr("Scrolling capture: drag over the content that scrolls · Esc to cancel");
    if (immediateAction == SelectionAction::Record)
        return tr("Record: drag over an area or click a window · Esc to cancel");
    return windowPicking ? tr("Click a window · Esc to cancel")
                         : tr("Drag to select · Esc to cancel");
}

// --- events ----------------------------------------------------------------------------------

bool SelectionView::overToolbar(QPointF w) const
{
    return m_toolbar && m_toolbar->geometry().contains(w.toPoint());
}

void SelectionView::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    if (m_purpose == Purpose::PickColor)
        return;
    react(m_model.mouseDown(e->position()));
}

void SelectionView::mouseMoveEvent(QMouseEvent *e)
{
    const QPointF p = e->position();
    if (m_purpose == Purpose::PickColor) {
        react(m_model.mouseMoved(p));
        return;
    }
    if (e->buttons() & Qt::LeftButton)
        react(m_model.mouseDragged(p));
    else
        react(m_model.mouseMoved(p, overToolbar(e->position())));
}

void SelectionView::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    if (m_purpose == Purpose::PickColor) {
        m_model.mouseMoved(e->position());
        const QPoint px = SelectionModel::pixelUnder(m_model.cursorPoint(), m_scale);
        std::optional<QColor> colour;
        if (!m_picture.isNull() && m_picture.rect().contains(px))
            colour = m_picture.pixelColor(px);
        if (!m_reported) {
            m_reported = true;
            emit colorPicked(colour);
        }
        return;
    }
    react(m_model.mouseUp(e->position()));
}

void SelectionView::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        emit keyPressed(e->key());
    // Anything else (another hot-key press while the keyboard is ours) changes nothing.
}

void SelectionView::closeEvent(QCloseEvent *e)
{
    // Closed from outside (a window manager's close request): the overlay is cancelled.
    if (!m_reported && e->spontaneous())
        emit keyPressed(Qt::Key_Escape);
    QWidget::closeEvent(e);
}

void SelectionView::react(const SelectionModel::Reaction &r)
{
    if (r.dropToolbar && m_toolbar) {
        delete m_toolbar;
        m_toolbar = nullptr;
    }
    if (r.cursor)
        applyCursor(*r.cursor);
    if (r.showToolbar)
        showToolbar();
    if (r.moveToolbar)
        positionToolbar();
    refresh();
    if (r.report && !m_reported) {
        m_reported = true;
        emit completed(r.outcome);
    }
}

void SelectionView::toolbarAction(int tag)
{
    if (tag < 0 || tag > int(SelectionAction::Record))
        return;
    react(m_model.complete(SelectionAction(tag)));
}

void SelectionView::cancelAction()
{
    react(SelectionModel::cancel());
}

void SelectionView::applyCursor(SelectionModel::Cursor c)
{
    switch (c) {
    case SelectionModel::Cursor::Arrow:
        setCursor(Qt::ArrowCursor);
        break;
    case SelectionModel::Cursor::Crosshair:
        setCursor(Qt::CrossCursor);
        break;
    case SelectionModel::Cursor::DiagonalNESW:
        setCursor(Cursors::diagonalNESW());
        break;
    case SelectionModel::Cursor::DiagonalNWSE:
        setCursor(Cursors::diagonalNWSE());
        break;
    case SelectionModel::Cursor::Horizontal:
        setCursor(Cursors::horizontal());
        break;
    case SelectionModel::Cursor::Vertical:
        setCursor(Cursors::vertical());
        break;
    case SelectionModel::Cursor::Move:
        setCursor(Cursors::move());
        break;
    }
}

// --- toolbar ---------------------------------------------------------------------------------

void SelectionView::showToolbar()
{
    delete m_toolbar;
    m_toolbar = new SelectionToolbar(this);
    m_toolbar->show();
    positionToolbar();
}

void SelectionView::positionToolbar()
{
    if (!m_toolbar)
        return;
    const QPointF origin = SelectionModel::toolbarOrigin(m_model.selection(), QSizeF(size()),
                                                         QSizeF(m_toolbar->size()));
    m_toolbar->move(origin.toPoint());
}

// --- painting --------------------------------------------------------------------------------

bool SelectionView::loupeShown() const
{
    const auto state = m_model.state();
    return !m_picture.isNull() && !m_model.setup().windowPicking &&
           (m_purpose == Purpose::PickColor || state != SelectionModel::State::Adjusting) &&
           QRectF(QPointF(0, 0), QSizeF(size())).contains(m_model.cursorPoint()) &&
           !SelectionModel::loupeSample(m_model.cursorPoint(), m_scale, m_picture.size()).isEmpty();
}

QString SelectionView::hexAtCursor(int ix, int iyTop) const
{
    if (m_picture.isNull() || ix < 0 || iyTop < 0 || ix >= m_picture.width() ||
        iyTop >= m_picture.height())
        return QStringLiteral("#------");
    return ColorTools::hexString(m_picture.pixelColor(ix, iyTop));
}

void SelectionView::loadFonts()
{
    QImage scratch(64, 32, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&scratch);
    p.setRenderHint(QPainter::Antialiasing);
    const QString digits = QStringLiteral("0123456789, ·#ABCDEF-×");
    const QString letters = hintText(false) + hintText(true) + SelectionToolbar::titles();
    const std::pair<QFont, QString> uses[] = {
        {hintFont(), letters},
        {SelectionToolbar::font(), letters},
        {loupeFont(), digits},
        {badgeFont(), digits},
    };
    for (const auto &[font, text] : uses) {
        p.setFont(font);
        p.drawText(QPointF(0, 20), text);
    }
}

void SelectionView::paintOnce()
{
    QImage stand(size() * m_scale, QImage::Format_RGB32);
    QImage frame(size(), QImage::Format_RGB32);
    if (stand.isNull() || frame.isNull())
        return;
    stand.fill(Qt::gray);
    m_picture = stand;
    render(&frame);
    m_picture = QImage();
}

QString SelectionView::loupeText() const
{
    const QPointF c = m_model.cursorPoint();
    const QPoint px = SelectionModel::pixelUnder(c, m_scale);
    return QStringLiteral("%1, %2  ·  %3")
        .arg(int(std::trunc(c.x())))
        .arg(int(std::trunc(c.y())))
        .arg(hexAtCursor(px.x(), px.y()));
}

QRectF SelectionView::loupeBadgeRect(const QRectF &box) const
{
    const double w = QFontMetricsF(loupeFont()).horizontalAdvance(loupeText());
    return QRectF(box.left(), box.bottom() + 4, std::max(w + 14, 118.0), 18);
}

QRectF SelectionView::hintRect() const
{
    const QFontMetricsF fm(hintFont());
    const QString text =
        m_purpose == Purpose::PickColor
            ? tr("Click to pick a colour · Esc to cancel")
            : hintText(m_model.setup().windowPicking, m_model.setup().immediateAction);
    const QSizeF s(fm.horizontalAdvance(text), fm.height());
    return QRectF(width() / 2.0 - s.width() / 2, height() / 2.0 - s.height() / 2, s.width(),
                  s.height());
}

QRectF SelectionView::hintPill() const
{
    return hintRect().adjusted(-14, -7, 14, 7);
}

QRectF SelectionView::toolbarViewRect() const
{
    if (!m_toolbar)
        return {};
    return QRectF(m_toolbar->geometry());
}

QRectF SelectionView::dimensionBadgeRect(const QRectF &hole) const
{
    const QString text = SelectionModel::dimensionText(hole, m_scale);
    const QFontMetricsF fm(badgeFont());
    return SelectionModel::dimensionBadge(hole, {fm.horizontalAdvance(text), fm.height()},
                                          QSizeF(size()), toolbarViewRect());
}

QRegion SelectionView::decoratedRegion() const
{
    // Everything that is not the plain (dimmed) picture, in widget coordinates, with room for
    // strokes and antialiasing.
    QRegion region;
    auto add = [&](const QRectF &viewRect, double margin) {
        if (!viewRect.isEmpty())
            region += viewRect.adjusted(-margin, -margin, margin, margin).toAlignedRect();
    };
    const QRectF hole = m_model.hole();
    if (!hole.isEmpty()) {
        // The hole's edges and inside differ from the dimmed picture; handles stick out 6.
        add(hole, 7);
        if (!m_model.setup().windowPicking && m_purpose == Purpose::Select)
            add(dimensionBadgeRect(hole), 2);
    } else {
        add(hintPill(), 2);
        if (!m_model.setup().windowPicking && m_model.state() == SelectionModel::State::Idle)
            if (const auto r = m_model.windowRectInView())
                add(*r, 3);
    }
    if (loupeShown()) {
        const QRectF box = SelectionModel::loupeBox(m_model.cursorPoint(), QSizeF(size()));
        add(box, 3);
        add(loupeBadgeRect(box), 2);
    }
    return region;
}

void SelectionView::resizeEvent(QResizeEvent *)
{
    // What the first full paint decorates is what the first change has to repaint.
    m_lastDecorated = decoratedRegion();
}

void SelectionView::refresh()
{
    const QRegion now = decoratedRegion();
    update(now + m_lastDecorated);
    m_lastDecorated = now;
}

void SelectionView::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    const QRect dirty = event->rect();
    // The frozen picture dimmed as it is painted (no dimmed copy to make first), or plain
    // dimming when there is none.
    if (!m_picture.isNull()) {
        p.drawImage(QRectF(dirty), m_picture,
                    QRectF(QPointF(dirty.topLeft()) * m_scale, QSizeF(dirty.size()) * m_scale));
        if (m_purpose == Purpose::Select)
            p.fillRect(dirty, dimming);
    } else {
        p.fillRect(dirty, QColor(0, 0, 0, 255 * 3 / 10));
    }

    p.setRenderHint(QPainter::Antialiasing);
    if (m_purpose == Purpose::PickColor) {
        drawHint(p);
        drawLoupe(p);
        return;
    }
    const QRectF hole = m_model.hole();
    if (!hole.isEmpty()) {
        // The hole shows the picture as it is.
        if (!m_picture.isNull()) {
            const QRectF w = hole;
            p.save();
            p.resetTransform();
            p.setRenderHint(QPainter::Antialiasing, false);
            p.drawImage(w, m_picture, QRectF(w.topLeft() * m_scale, w.size() * m_scale));
            p.restore();
        } else {
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.fillRect(hole, QColor(0, 0, 0, 3));
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        p.setPen(QPen(m_accent, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRect(hole);
        if (!m_model.setup().windowPicking) {
            drawDimensions(p, hole);
            if (m_model.state() == SelectionModel::State::Adjusting)
                drawHandles(p, hole);
            else
                drawLoupe(p);
        }
    } else {
        drawHint(p);
        drawWindowHoverHighlight(p);
        drawLoupe(p);
    }
}

void SelectionView::drawHint(QPainter &p)
{
    const QRectF r = hintRect();
    const QString text =
        m_purpose == Purpose::PickColor
            ? tr("Click to pick a colour · Esc to cancel")
            : hintText(m_model.setup().windowPicking, m_model.setup().immediateAction);
    // White on a dark pill reads on any picture, light or dark.
    QPainterPath pill;
    const QRectF back = hintPill();
    pill.addRoundedRect(back, back.height() / 2, back.height() / 2);
    p.fillPath(pill, QColor(0, 0, 0, 166));
    AnnotationRenderer::drawLines(p, r.topLeft(), text, hintFont(), QColor(255, 255, 255, 235));
}

void SelectionView::drawWindowHoverHighlight(QPainter &p)
{
    if (m_model.setup().windowPicking || m_model.state() != SelectionModel::State::Idle)
        return;
    const auto r = m_model.windowRectInView();
    if (!r)
        return;
    QColor line = m_accent;
    line.setAlphaF(0.9f);
    QPen pen(line, 2);
    pen.setDashPattern({3, 2}); // 6 on, 4 off at width 2
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(*r);
    QColor fill = m_accent;
    fill.setAlphaF(0.08f);
    p.fillRect(*r, fill);
}

void SelectionView::drawDimensions(QPainter &p, const QRectF &r)
{
    const QString text = SelectionModel::dimensionText(r, m_scale);
    const QFont font = badgeFont();
    const QRectF badge = dimensionBadgeRect(r);
    QPainterPath path;
    path.addRoundedRect(badge, 4, 4);
    p.fillPath(path, QColor(0, 0, 0, 199));
    AnnotationRenderer::drawLines(p, badge.topLeft() + QPointF(6, 3), text, font, Qt::white);
}

void SelectionView::drawHandles(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(m_accent, 1));
    p.setBrush(Qt::white);
    for (const QPointF &h : SelectionModel::handlePoints(r))
        p.drawEllipse(h, 4.5, 4.5);
}

void SelectionView::drawLoupe(QPainter &p)
{
    if (!loupeShown())
        return;
    const QPointF c = m_model.cursorPoint();
    const QRect sample = SelectionModel::loupeSample(c, m_scale, m_picture.size());
    const QRectF box = SelectionModel::loupeBox(c, QSizeF(size()));

    QPainterPath rounded;
    rounded.addRoundedRect(box, 10, 10);
    p.save();
    p.setClipPath(rounded);
    p.fillRect(box, Qt::black);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    QImage cut = m_picture.copy(sample);
    cut.setDevicePixelRatio(1);
    p.drawImage(box, cut);
    p.restore();

    p.setPen(QPen(QColor(255, 255, 255, 230), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(rounded);
    p.setPen(QPen(m_accent, 1));
    p.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
    p.drawLine(QPointF(box.center().x(), box.top()), QPointF(box.center().x(), box.bottom()));
    p.drawRect(QRectF(box.center() - QPointF(4, 4), QSizeF(8, 8)));

    const QRectF badge = loupeBadgeRect(box);
    QPainterPath badgePath;
    badgePath.addRoundedRect(badge, 4, 4);
    p.fillPath(badgePath, QColor(0, 0, 0, 209));
    AnnotationRenderer::drawLines(p, badge.topLeft() + QPointF(7, 2), loupeText(), loupeFont(),
                                  Qt::white);
}

} // namespace vistrel
