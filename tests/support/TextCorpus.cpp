#include "TextCorpus.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace vistrel::test {

namespace {

const QStringList vocabulary = {
    "File",      "Edit",     "View",        "Window",    "Help",      "Settings",  "Preferences",
    "Open",      "Save",     "Export",      "Cancel",    "Account",   "Profile",   "Notifications",
    "Search",    "results",  "Downloads",   "Documents", "Recent",    "Shared",    "with",
    "me",        "Upload",   "complete",    "Invoice",   "March",     "total",     "Status:",
    "Connected", "Battery",  "remaining",   "Update",    "available", "Install",   "now",
    "later",     "Delete",   "selected",    "items",     "Project",   "overview",  "Build",
    "passed",    "failed",   "warnings",    "Terminal",  "Network",   "Display",   "Keyboard",
    "shortcuts", "Privacy",  "Security",    "Storage",   "used",      "of",        "Meeting",
    "at",        "tomorrow", "Reply",       "Forward",   "Archive",   "Inbox",     "Drafts",
    "Sent",      "Calendar", "version",     "release",   "notes",     "Quarterly", "report",
    "budget",    "(draft)",  "Page",        "Size",      "Name",      "Modified",  "Type",
    "Folder",    "Image",    "Spreadsheet", "Welcome",   "back,",     "Alex",
};

QString word(QRandomGenerator &rng)
{
    switch (rng.bounded(9)) {
    case 0:
        return QStringLiteral("%1.%2 MB").arg(rng.bounded(1, 99)).arg(rng.bounded(10));
    case 1:
        return QStringLiteral("%1:%2")
            .arg(rng.bounded(1, 13))
            .arg(rng.bounded(60), 2, 10, QChar('0'));
    default:
        return vocabulary[rng.bounded(int(vocabulary.size()))];
    }
}

QStringList rowsFor(int count, int seed)
{
    QRandomGenerator rng{quint32(seed)};
    QStringList rows;
    for (int i = 0; i < count; ++i) {
        QStringList words;
        const int n = 2 + rng.bounded(6);
        for (int k = 0; k < n; ++k)
            words << word(rng);
        rows << words.join(' ');
    }
    return rows;
}

} // namespace

CorpusImage renderRows(const QStringList &rows, const QString &family, int pixelSize, bool dark,
                       QSize size, int seed)
{
    CorpusImage out;
    out.family = family;
    out.pixelSize = pixelSize;
    out.dark = dark;
    out.image = QImage(size, QImage::Format_RGB32);
    const QColor background = dark ? QColor(30, 30, 32) : QColor(250, 250, 250);
    const QColor panel = dark ? QColor(44, 44, 48) : QColor(236, 237, 240);
    const QColor ink = dark ? QColor(225, 225, 228) : QColor(28, 28, 30);
    const QColor dim = dark ? QColor(160, 160, 168) : QColor(95, 95, 100);
    out.image.fill(background);

    QPainter p(&out.image);
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setHintingPreference(QFont::PreferFullHinting);
    const QFontMetrics fm(font);
    const int lineHeight = fm.height() + pixelSize / 2 + 4;
    // A toolbar strip and a side panel, as most application windows have.
    p.fillRect(QRect(0, 0, size.width(), lineHeight + 8), panel);
    QRandomGenerator rng{quint32(seed)};
    int y = 4;
    QStringList truth;
    for (int i = 0; i < rows.size(); ++i) {
        if (y + lineHeight > size.height() - 4)
            break;
        const int indent = i == 0 ? 10 : 16 + 12 * int(rng.bounded(3));
        font.setBold(i == 0 || rng.bounded(6) == 0);
        p.setFont(font);
        p.setPen(i % 4 == 3 ? dim : ink);
        const QString row = rows[i];
        if (QFontMetrics(font).horizontalAdvance(row) > size.width() - indent - 10) {
            y += lineHeight;
            continue; // too wide for this picture: leave it out of both picture and truth
        }
        const QRect r(indent, y + (i == 0 ? 4 : 8), QFontMetrics(font).horizontalAdvance(row),
                      fm.height());
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, row);
        out.lineRects << r;
        truth << row;
        y += lineHeight + (i == 0 ? 8 : 0);
    }
    out.truth = truth.join('\n');
    out.name = QStringLiteral("%1-%2px-%3").arg(family).arg(pixelSize).arg(dark ? "dark" : "light");
    out.name.replace(' ', '_');
    return out;
}

QList<CorpusImage> textCorpus(QSize size)
{
    const QStringList families = {"DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono",
                                  "Liberation Sans", "Liberation Serif"};
    const QList<int> sizes = {10, 12, 13, 14, 16};
    QList<CorpusImage> out;
    int seed = 1;
    for (const QString &family : families)
        for (int px : sizes)
            for (bool dark : {false, true}) {
                out << renderRows(rowsFor(30, seed), family, px, dark, size, seed);
                ++seed;
            }
    return out;
}

CorpusImage fullScreenOfText()
{
    // Three columns of rows, like a file manager or a mail client in a wide window.
    CorpusImage out;
    out.image = QImage(1920, 1080, QImage::Format_RGB32);
    out.image.fill(QColor(250, 250, 250));
    QPainter p(&out.image);
    // Reading order: row by row, left to right across the columns.
    QList<std::pair<QRect, QString>> rows;
    for (int column = 0; column < 3; ++column) {
        const CorpusImage part = renderRows(rowsFor(80, 100 + column), "DejaVu Sans", 13, false,
                                            QSize(640, 1080), 100 + column);
        p.drawImage(column * 640, 0, part.image);
        const QStringList lines = part.truth.split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            rows.append({part.lineRects[i].translated(column * 640, 0), lines[i]});
            out.lineRects << rows.last().first;
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
        return a.first.center().y() != b.first.center().y()
                   ? a.first.center().y() < b.first.center().y()
                   : a.first.x() < b.first.x();
    });
    QStringList truth;
    for (const auto &r : rows)
        truth << r.second;
    out.truth = truth.join('\n');
    out.name = "fullscreen";
    out.family = "DejaVu Sans";
    out.pixelSize = 13;
    return out;
}

double characterAccuracy(const QString &recognised, const QString &truth)
{
    static const QRegularExpression space("\\s+");
    const QString a = recognised.simplified().replace(space, " ");
    const QString b = truth.simplified().replace(space, " ");
    if (b.isEmpty())
        return a.isEmpty() ? 1.0 : 0.0;
    std::vector<int> prev(size_t(b.size()) + 1), cur(size_t(b.size()) + 1);
    for (int j = 0; j <= b.size(); ++j)
        prev[size_t(j)] = j;
    for (int i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            cur[size_t(j)] =
                std::min({prev[size_t(j)] + 1, cur[size_t(j - 1)] + 1, prev[size_t(j - 1)] + cost});
        }
        std::swap(prev, cur);
    }
    return std::max(0.0, 1.0 - double(prev[size_t(b.size())]) / b.size());
}

} // namespace vistrel::test
