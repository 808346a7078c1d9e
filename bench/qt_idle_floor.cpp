// The memory floor of any Qt Widgets tray program on this desktop: a tray icon and one small
// window shown and hidden again, nothing else. Prints "ready" and waits to be killed.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap icon(22, 22);
    icon.fill(Qt::darkGray);
    QSystemTrayIcon tray{QIcon(icon)};
    tray.setToolTip(QStringLiteral("Floor"));
    tray.show();
    QWidget window;
    window.setWindowTitle(QStringLiteral("Vistrel Bench Qt Floor"));
    window.resize(400, 300);
    window.show();
    QTimer::singleShot(500, &window, [&window] {
        window.hide();
        std::puts("ready");
        std::fflush(stdout);
    });
    return app.exec();
}
