#pragma once

#include <QObject>

class QSocketNotifier;

namespace vistrel {

// SIGTERM, SIGINT and SIGHUP end the event loop as Quit does, so windows, grabs and the clipboard
// are handed back properly (a clipboard manager then keeps a copied picture). The handler only
// writes a byte into a pipe; the loop reads it.
class QuitOnSignal : public QObject
{
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject *parent = nullptr);
    ~QuitOnSignal() override;

signals:
    // A signal came. Without a receiver the event loop quits.
    void quitRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace vistrel
