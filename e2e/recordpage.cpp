// A window for the recording flow: it shows its frame number (30 a second, counted from a
// steady clock, so a late paint never slows the count) as large seven-segment digits, and a
// red square that moves 8 pixels a frame. A recording of it can be read back by pixels
// (e2e/recordcheck.py): which frame each picture shows, and where the square was.
//
// Layout, in the window's pixels: white; digit k (of 5) at 20 + 70k, 20, 48×88, its segments 12
// thick; the square 40×40 at 20 + (8n mod 400), 150.
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

constexpr int kRate = 30;

class Page : public QWidget
{
public:
    Page()
    {
        setWindowTitle(QStringLiteral("Vistrel Record Page"));
        setFixedSize(480, 300);
        setAttribute(Qt::WA_OpaquePaintEvent);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 n = m_clock.elapsed() * kRate / 1000;
            if (n != m_number) {
                m_number = n;
                repaint();
            }
        });
        m_clock.start();
        m_timer.start(3);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        qint64 n = m_number;
        for (int k = 4; k >= 0; --k, n /= 10)
            digit(p, 20 + 70 * k, 20, int(n % 10));
        p.fillRect(QRect(20 + int(m_number * 8 % 400), 150, 40, 40), QColor(220, 0, 0));
    }

private:
    static void digit(QPainter &p, int x, int y, int d)
    {
        // Segments a b c d e f g, as on a calculator.
        static const char *const lit[10] = {"abcdef", "bc",     "abdeg", "abcdg",   "bcfg",
                                            "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
        constexpr int w = 48, h = 88, t = 12;
        const auto rectOf = [&](char s) {
            switch (s) {
            case 'a':
                return QRect(x, y, w, t);
            case 'b':
                return QRect(x + w - t, y, t, h / 2);
            case 'c':
                return QRect(x + w - t, y + h / 2, t, h / 2);
            case 'd':
                return QRect(x, y + h - t, w, t);
            case 'e':
                return QRect(x, y + h / 2, t, h / 2);
            case 'f':
                return QRect(x, y, t, h / 2);
            default:
                return QRect(x, y + h / 2 - t / 2, w, t);
            }
        };
        for (const char *s = lit[d]; *s; ++s)
            p.fillRect(rectOf(*s), Qt::black);
    }

    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_number = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Page page;
    page.move(200, 150);
    page.show();
    return app.exec();
}
