#pragma once
// Busy 1920×1080 pictures for the benchmarks: a desktop as users capture it, and noise as the
// worst case for any compressor.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

namespace vistrel::bench {

// A photo-like region: smooth colour with `grain` of fine noise, as a camera picture has.
inline void paintPhoto(QImage &img, const QRect &r, quint32 seed, int grain = 4)
{
    QRandomGenerator rng(seed);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = r.left(); x <= r.right(); ++x) {
            const int u = x - r.left(), v = y - r.top();
            const int g = grain ? int(rng.bounded(2 * grain + 1)) - grain : 0;
            line[x] = qRgb(std::clamp(60 + u / 12 + g, 0, 255),
                           std::clamp(90 + v / 8 + (u * v) % 37 / 6 + g, 0, 255),
                           std::clamp(160 - v / 8 + g, 0, 255));
        }
    }
}

// Wallpaper, a panel, and overlapping windows full of text, a sidebar, a table
// and pictures.
inline QImage busyDesktop()
{
    QImage img(1920, 1080, QImage::Format_RGB32);
    paintPhoto(img, img.rect(), 7, 0); // a smooth wallpaper
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(0, 0, 1920, 28, QColor(40, 40, 46));
    p.setPen(Qt::white);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    p.drawText(QRect(12, 0, 600, 28), Qt::AlignVCenter,
               QStringLiteral("Activities   Files   Terminal   Browser"));
    p.drawText(QRect(1700, 0, 200, 28), Qt::AlignVCenter | Qt::AlignRight,
               QStringLiteral("Mon 10:42"));
    QRandomGenerator rng(3);
    const QStringList words = {
        QStringLiteral("report"),   QStringLiteral("the"),      QStringLiteral("quarterly"),
        QStringLiteral("Invoice"),  QStringLiteral("settings"), QStringLiteral("12.4 MB"),
        QStringLiteral("download"), QStringLiteral("and"),      QStringLiteral("privacy"),
        QStringLiteral("March"),    QStringLiteral("draft"),    QStringLiteral("account")};
    auto sentence = [&](int count) {
        QString s;
        for (int i = 0; i < count; ++i)
            s += words[int(rng.bounded(words.size()))] + QLatin1Char(' ');
        return s;
    };
    const QRect windows[] = {{60, 70, 1100, 760}, {700, 180, 1150, 820}, {240, 520, 700, 520}};
    for (int w = 0; w < 3; ++w) {
        const QRect r = windows[w];
        p.fillRect(r.adjusted(6, 6, 6, 6), QColor(0, 0, 0, 60));
        p.setClipRect(r.adjusted(0, 0, 7, 7));
        p.fillRect(r, QColor(250, 250, 250));
        p.fillRect(QRect(r.topLeft(), QSize(r.width(), 34)), QColor(225, 225, 230));
        p.setPen(QColor(30, 30, 30));
        p.setFont(QFont(QStringLiteral("DejaVu Sans"), 10, QFont::Bold));
        p.drawText(QRect(r.left() + 12, r.top(), r.width(), 34), Qt::AlignVCenter, sentence(3));
        // Sidebar with coloured icons and labels.
        p.fillRect(QRect(r.left(), r.top() + 34, 200, r.height() - 34), QColor(238, 238, 242));
        p.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
        for (int i = 0; i * 30 + 50 < r.height() - 20; ++i) {
            p.setBrush(QColor::fromHsv(int(rng.bounded(360)), 160, 220));
            p.setPen(Qt::NoPen);
            p.drawRoundedRect(QRect(r.left() + 12, r.top() + 46 + i * 30, 18, 18), 4, 4);
            p.setPen(QColor(50, 50, 60));
            p.drawText(QPoint(r.left() + 38, r.top() + 60 + i * 30), sentence(2));
        }
        // Body: paragraphs, a picture and a table.
        int y = r.top() + 60;
        const int left = r.left() + 220, right = r.right() - 20;
        p.setFont(QFont(QStringLiteral("DejaVu Serif"), 10 + w));
        for (int para = 0; y < r.bottom() - 40; ++para) {
            if (para == 2 && right - left > 420) {
                paintPhoto(img, QRect(left, y, 400, 220).intersected(r), 11 + w);
                y += 236;
                continue;
            }
            if (para == 4) {
                p.setPen(QColor(200, 200, 205));
                for (int row = 0; row < 6 && y < r.bottom() - 24; ++row, y += 24) {
                    p.drawLine(left, y + 24, right, y + 24);
                    p.setPen(QColor(40, 40, 40));
                    for (int col = 0; col < 4; ++col)
                        p.drawText(QPoint(left + col * (right - left) / 4 + 6, y + 17),
                                   sentence(1));
                    p.setPen(QColor(200, 200, 205));
                }
                y += 12;
                continue;
            }
            p.setPen(QColor(20, 20, 20));
            for (int line = 0; line < 4 && y < r.bottom() - 30; ++line, y += 20 + 2 * w)
                p.drawText(QPoint(left, y), sentence(int(rng.bounded(8, 14))));
            y += 14;
        }
        p.setClipping(false);
    }
    return img;
}

// Smooth-free noise of every channel: nothing any lossless compressor can shrink much.
inline QImage noisePicture()
{
    QImage img(1920, 1080, QImage::Format_RGB32);
    QRandomGenerator rng(5);
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] = rng.generate() | 0xff000000u;
    }
    return img;
}

} // namespace vistrel::bench
