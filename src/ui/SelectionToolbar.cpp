#include "ui/SelectionToolbar.h"

#include "ui/SelectionView.h"
#include "ui/SymbolIcon.h"
#include "ui/UiFont.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

#include <algorithm>

namespace vistrel {

namespace {

struct ToolbarButton
{
    const char *title;
    const char *symbol;
    SelectionAction action;
    int width;
};

constexpr ToolbarButton toolbarButtons[] = {
    {QT_TRANSLATE_NOOP("vistrel::SelectionToolbar", "Edit"), "document-edit", SelectionAction::Edit,
     66},
    {QT_TRANSLATE_NOOP("vistrel::SelectionToolbar", "Copy"), "edit-copy", SelectionAction::Copy,
     58},
    {QT_TRANSLATE_NOOP("vistrel::SelectionToolbar", "Save"), "document-save", SelectionAction::Save,
     58},
    {QT_TRANSLATE_NOOP("vistrel::SelectionToolbar", "Pin"), "window-pin", SelectionAction::Pin, 58},
    {QT_TRANSLATE_NOOP("vistrel::SelectionToolbar", "Record"), "media-record",
     SelectionAction::Record, 74},
};

} // namespace

QString SelectionToolbar::titles()
{
    QString all;
    for (const ToolbarButton &b : toolbarButtons)
        all += QCoreApplication::translate("vistrel::SelectionToolbar", b.title);
    return all;
}

QFont SelectionToolbar::font()
{
    return uiFont(11, QFont::DemiBold);
}

SelectionToolbar::SelectionToolbar(SelectionView *view) : QWidget(view)
{
    setCursor(Qt::ArrowCursor);
    const QFont font = SelectionToolbar::font();
    const QFontMetrics metrics(font);
    int x = 6;
    for (const ToolbarButton &b : toolbarButtons) {
        if (b.action == SelectionAction::Record && !view->model().setup().offersRecording)
            continue;
        auto *button = new QToolButton(this);
        button->setText(QCoreApplication::translate("vistrel::SelectionToolbar", b.title));
        button->setIcon(themeIcon(QLatin1String(b.symbol)));
        button->setIconSize(QSize(14, 14));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        button->setFont(font);
        button->setFocusPolicy(Qt::NoFocus);
        // The widths fit the English titles; a longer translation widens its button by the
        // difference, and the panel with it.
        const int width =
            b.width + std::max(0, metrics.horizontalAdvance(button->text()) -
                                      metrics.horizontalAdvance(QLatin1String(b.title)));
        button->setGeometry(x, 6, width, 34);
        button->setObjectName(QString::fromLatin1(b.title));
        const int tag = int(b.action);
        connect(button, &QToolButton::clicked, view, [view, tag] { view->toolbarAction(tag); });
        x += width + 6;
    }
    auto *cancel = new QToolButton(this);
    cancel->setIcon(themeIcon(QStringLiteral("window-close")));
    cancel->setIconSize(QSize(12, 12));
    cancel->setAutoRaise(true);
    cancel->setToolTip(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("Cancel"));
    cancel->setFocusPolicy(Qt::NoFocus);
    cancel->setGeometry(x, 6, 30, 34);
    connect(cancel, &QToolButton::clicked, view, [view] { view->cancelAction(); });
    setFixedSize(std::max(panelSize.width(), x + 36), panelSize.height());
}

void SelectionToolbar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // A soft shadow under a light translucent panel, in place of a blurred material.
    for (int i = 3; i >= 1; --i) {
        QPainterPath shadow;
        shadow.addRoundedRect(QRectF(rect()).adjusted(3 - i, 4 - i, i - 3, i - 2), 12 + i, 12 + i);
        p.fillPath(shadow, QColor(0, 0, 0, 22));
    }
    QPainterPath panel;
    panel.addRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -3), 12, 12);
    p.fillPath(panel, QColor(246, 246, 248, 238));
    p.setPen(QPen(QColor(0, 0, 0, 40), 1));
    p.drawPath(panel);
}

} // namespace vistrel
