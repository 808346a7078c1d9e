#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace vistrel {

// The small floating panel of a board session: a title, the count of pictures added, a button
// for another region and Done. It never takes the keyboard from the application in front and
// stays on every desktop. It knows nothing of captures: the coordinator hands it callbacks,
// raises the count and shows it again after every step.
class AddSessionController : public QObject
{
    Q_OBJECT
public:
    explicit AddSessionController(QObject *parent = nullptr);
    ~AddSessionController() override;

    std::function<void()> onCapture;
    std::function<void()> onDone;
    int count = 0;

    // Builds the panel the first time, refreshes the count line and shows the panel in front
    // without activating the application.
    void show();
    QString label() const;
    void capture(); // hides the panel, then runs onCapture
    void done_();   // runs onDone
    // Hides and drops the panel (the session ends).
    void closePanel();

    QWidget *panel() const { return m_panel; }
    QLabel *countLabel() const { return m_countLabel; }
    QPushButton *captureButton() const { return m_captureButton; }
    QPushButton *doneButton() const { return m_doneButton; }

    static QString title() { return tr("Add to board"); }
    static QRect placement(const QRect &visibleFrame);

private:
    void build();

    QPointer<QWidget> m_panel;
    QLabel *m_countLabel = nullptr;
    QPushButton *m_captureButton = nullptr;
    QPushButton *m_doneButton = nullptr;
};

} // namespace vistrel
