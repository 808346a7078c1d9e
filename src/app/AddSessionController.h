#pragma once

#include "platform/Desktop.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace vistrel {

// The small floating panel of a board session: a title, the count of pictures added, a button
// for another region and Done. It never takes the keyboard from the application in front and
// stays on every desktop. It knows nothing of captures: the coordinator follows its signals,
// raises the count and shows it again after every step.
class AddSessionController : public QObject
{
    Q_OBJECT
public:
    // `windows` keeps the panel on every desktop, where the window manager lets it.
    explicit AddSessionController(WindowManager *windows = nullptr, QObject *parent = nullptr);
    ~AddSessionController() override;

    int count = 0;

    // Builds the panel the first time, refreshes the count line and shows the panel in front
    // without activating the application.
    void show();
    QString label() const;
    void capture(); // hides the panel, then asks for a capture
    void done_();   // asks to end the session
    // Hides and drops the panel (the session ends).
    void closePanel();

    QWidget *panel() const { return m_panel; }
    QLabel *countLabel() const { return m_countLabel; }
    QPushButton *captureButton() const { return m_captureButton; }
    QPushButton *doneButton() const { return m_doneButton; }

    static QString title() { return tr("Add to board"); }
    static QRect placement(const QRect &visibleFrame);

signals:
    void captureAsked();
    void doneAsked();

private:
    void build();

    WindowManager *m_windows;
    QPointer<QWidget> m_panel;
    QLabel *m_countLabel = nullptr;
    QPushButton *m_captureButton = nullptr;
    QPushButton *m_doneButton = nullptr;
};

} // namespace vistrel
