#include "ScreenCorpus.h"

#include "TextCorpus.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <functional>

namespace vistrel::test {

namespace {

const QStringList prose = {
    "The quarterly report is due on Friday and still needs the budget tables.",
    "Alex moved the release notes into the shared folder this morning.",
    "Please check the figures for March before the meeting tomorrow.",
    "Storage used by the archive grew by twelve percent last month.",
    "The network settings page now shows which devices are connected.",
    "Updates are installed at night when the battery is charged.",
    "Drafts older than thirty days are deleted from the inbox.",
    "Every invoice lists the project, the hours and the total amount.",
    "The calendar shows meetings in the time zone of the organiser.",
    "Search results can be sorted by name, size or date modified.",
    "Privacy options decide which apps may read your documents.",
    "Keyboard shortcuts are listed under Help in the main menu.",
    "A copy of each upload is kept for seven days after it completes.",
    "Warnings from the build are collected in a separate window.",
    "Printing a page keeps its margins, fonts and colours as shown.",
    "The profile picture is cropped to a square before it is saved.",
    "Recent files open in the window where they were last edited.",
    "Shared folders appear under the name of the person who shares them.",
    "Messages marked as important stay at the top of the list.",
    "The display may turn off after ten minutes without any input.",
    "Export creates a new file and never changes the original one.",
    "Notifications can be silenced for an hour or until tomorrow.",
    "Folders with many images open faster once their previews exist.",
    "Spreadsheet formulas are checked again whenever a cell changes.",
    "The welcome page lists what changed in this version of the app.",
    "Reply and forward keep the original message below your text.",
    "Downloads resume where they stopped when the network returns.",
    "Each page of the report has a title, a date and a page number.",
    "Security updates are offered first and installed right away.",
    "Projects can be archived when they have no open tasks left.",
    "Deleted items stay in the bin until it is emptied by hand.",
    "The overview shows the total time spent on every project.",
};

const QStringList terminal = {
    "$ make -j2 vistrel",
    "Building CXX object src/services/OCRLayout.cpp.o",
    "Building CXX object src/services/OCRService.cpp.o",
    "Linking CXX static library libvistrel_core.a",
    "Built target vistrel_core",
    "$ git status --short",
    "modified: src/services/TesseractEngine.cpp",
    "modified: bench/ocr_bench.cpp",
    "$ ctest -R OCR --output-on-failure",
    "Test project /home/alex/vistrel/build",
    "1/9 Test OCRService.ReadsScreens Passed 2.41 sec",
    "2/9 Test OCRService.NoTextIsEmpty Passed 0.12 sec",
    "100% tests passed, 0 tests failed out of 9",
    "$ uptime",
    "10:42:17 up 3 days, 2 users, load average: 0.52, 0.61, 0.58",
};

QStringList lsRows(int count, int seed)
{
    QRandomGenerator rng{quint32(seed)};
    const QStringList months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QStringList names = {
        "README.md",      "CMakeLists.txt", "build",       "src",
        "tests",          "bench",          "e2e",         "docs",
        "scripts",        "resources",      "LICENSE",     "notes.txt",
        "report.pdf",     "budget.ods",     "photos",      "invoice-march.pdf",
        "archive.tar.gz", "Makefile",       "config.yaml", "setup.sh",
        "main.cpp",       "server.log",     "index.html",  "style.css",
        "data.csv",       "backup",         "todo.md",     "release-notes.txt"};
    QStringList rows{QStringLiteral("total %1").arg(rng.bounded(40, 400))};
    for (int i = 0; i < count; ++i) {
        const bool dir = rng.bounded(3) == 0;
        const QString perms =
            dir ? "drwxr-xr-x" : (rng.bounded(4) == 0 ? "-rwxr-xr-x" : "-rw-r--r--");
        const int links = dir ? rng.bounded(2, 9) : 1;
        const int size = dir ? 4096 : int(rng.bounded(90, 2000000));
        rows << QStringLiteral("%1 %2 alex alex %3 %4 %5 %6:%7 %8")
                    .arg(perms)
                    .arg(links, 2)
                    .arg(size, 7)
                    .arg(months[rng.bounded(12)])
                    .arg(rng.bounded(1, 29), 2)
                    .arg(rng.bounded(24), 2, 10, QChar('0'))
                    .arg(rng.bounded(60), 2, 10, QChar('0'))
                    .arg(names[i % names.size()]);
    }
    return rows;
}

// Draws in logical pixels onto a picture `scale` times as large, and writes down the text.
class Screen
{
public:
    Screen(int scale, QSize logical, QColor desktop)
        : m_image(logical * scale, QImage::Format_RGB32), m_scale(scale)
    {
        m_image.fill(desktop);
        m_painter.begin(&m_image);
        m_painter.scale(scale, scale);
        m_painter.setRenderHint(QPainter::Antialiasing, false);
        m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    }

    QPainter &painter() { return m_painter; }

    // A window frame with a title bar; returns its client area.
    QRect window(const QRect &r, QColor background, const QString &title)
    {
        m_painter.fillRect(r, QColor(120, 120, 126));
        const QRect inner = r.adjusted(1, 1, -1, -1);
        m_painter.fillRect(inner, background);
        const QRect bar(inner.x(), inner.y(), inner.width(), 26);
        m_painter.fillRect(bar, QColor(228, 228, 232));
        m_painter.fillRect(QRect(bar.x(), bar.bottom() + 1, bar.width(), 1), QColor(190, 190, 196));
        QFont font("DejaVu Sans");
        font.setPixelSize(13);
        font.setBold(true);
        write(bar.topLeft() + QPoint(12, 5), {title}, font, QColor(40, 40, 44), 16);
        return inner.adjusted(0, 27, 0, 0);
    }

    // Rows of text from `topLeft`, one every `pitch` pixels, noted in reading order.
    // Returns the rectangle of each row.
    QList<QRect> write(QPoint topLeft, const QStringList &rows, const QFont &font, QColor ink,
                       int pitch, bool note = true)
    {
        m_painter.setFont(font);
        m_painter.setPen(ink);
        const QFontMetrics fm(font);
        QList<QRect> rects;
        for (int i = 0; i < rows.size(); ++i) {
            const QRect r(topLeft.x(), topLeft.y() + i * pitch, fm.horizontalAdvance(rows[i]),
                          fm.height());
            m_painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, rows[i]);
            rects << r;
            if (note)
                m_lines << rows[i];
        }
        return rects;
    }

    void note(const QString &line) { m_lines << line; }
    void unnote(int count) { m_lines = m_lines.mid(0, m_lines.size() - count); }

    ScreenScene done(const QString &name)
    {
        m_painter.end();
        return {QStringLiteral("%1@%2x").arg(name).arg(m_scale), m_image, m_lines, m_scale};
    }

private:
    QImage m_image;
    QPainter m_painter;
    QStringList m_lines;
    int m_scale;
};

QFont fontOf(const char *family, int px, bool bold = false)
{
    QFont f{QString::fromLatin1(family)};
    f.setPixelSize(px);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

// An editor window with a dark terminal pane under its text, and a light window beside it.
ScreenScene ide(int scale)
{
    Screen s(scale, {1280, 800}, QColor(46, 52, 64));
    const QRect a = s.window(QRect(30, 30, 760, 740), QColor(255, 255, 255), "notes.md - Editor");
    s.write(a.topLeft() + QPoint(20, 14), prose.mid(0, 14), fontOf("DejaVu Sans", 13),
            QColor(30, 30, 32), 22);
    const QRect pane(a.x(), a.y() + 340, a.width(), a.height() - 340);
    s.painter().fillRect(pane, QColor(30, 30, 30));
    s.write(pane.topLeft() + QPoint(10, 8), terminal, fontOf("DejaVu Sans Mono", 13),
            QColor(204, 204, 204), 18);
    const QRect b = s.window(QRect(820, 30, 430, 470), QColor(243, 243, 245), "Build status");
    QStringList status;
    for (int i = 0; i < 12; ++i)
        status << QStringLiteral("Job %1 finished in %2 seconds")
                      .arg(100 + i * 7)
                      .arg(20 + (i * 13) % 40);
    s.write(b.topLeft() + QPoint(16, 14), status, fontOf("DejaVu Sans", 13), QColor(40, 40, 44),
            24);
    return s.done("ide");
}

// Two windows side by side, their rows at the same heights.
ScreenScene columns(int scale)
{
    Screen s(scale, {1280, 800}, QColor(60, 64, 72));
    const QRect a = s.window(QRect(16, 16, 620, 768), QColor(255, 255, 255), "Meeting notes");
    s.write(a.topLeft() + QPoint(14, 14),
            prose.mid(0, 30).replaceInStrings(QRegularExpression(" [^ ]+ [^ ]+\\.$"), "."),
            fontOf("DejaVu Sans", 12), QColor(30, 30, 32), 23);
    const QRect b = s.window(QRect(642, 16, 622, 768), QColor(255, 255, 255), "Project overview");
    QStringList right = prose.mid(2, 30);
    std::reverse(right.begin(), right.end());
    s.write(b.topLeft() + QPoint(14, 14),
            right.replaceInStrings(QRegularExpression(" [^ ]+ [^ ]+\\.$"), "."),
            fontOf("DejaVu Sans", 12), QColor(30, 30, 32), 23);
    return s.done("columns");
}

// A reading view with a dialog over the middle of its text.
ScreenScene dialog(int scale)
{
    Screen s(scale, {1280, 800}, QColor(46, 52, 64));
    const QRect doc =
        s.window(QRect(20, 20, 1240, 760), QColor(252, 252, 250), "Quarterly report - Reader");
    const int pitch = 22;
    const QPoint start = doc.topLeft() + QPoint(320, 16);
    const QList<QRect> rows = s.write(start, prose.mid(0, 30), fontOf("DejaVu Serif", 13),
                                      QColor(24, 24, 24), pitch, false);
    // The dialog starts just below line 10 and hides eight lines; those above it are read
    // first, those below after it.
    const QRect box(300, rows[9].bottom() + 3, 660, 8 * pitch - 4);
    QStringList below;
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].bottom() < box.top())
            s.note(prose[i]);
        else if (rows[i].top() > box.bottom() + 5)
            below << prose[i];
    }
    // Shadow, frame, body.
    s.painter().fillRect(box.translated(3, 4), QColor(160, 160, 160));
    s.painter().fillRect(box, QColor(140, 140, 146));
    const QRect body = box.adjusted(1, 1, -1, -1);
    s.painter().fillRect(body, QColor(246, 246, 248));
    s.write(body.topLeft() + QPoint(24, 18), {"Replace the existing file?"},
            fontOf("DejaVu Sans", 15, true), QColor(20, 20, 22), 24);
    s.write(body.topLeft() + QPoint(24, 54),
            {"A file named report.pdf already exists in this folder.",
             "Replacing it will overwrite its contents."},
            fontOf("DejaVu Sans", 13), QColor(50, 50, 54), 22);
    for (const auto &[label, x] : {std::pair<QString, int>{"Cancel", 410}, {"Replace", 530}}) {
        const QRect button(body.x() + x, body.bottom() - 44, 100, 30);
        s.painter().fillRect(button, QColor(150, 150, 156));
        s.painter().fillRect(button.adjusted(1, 1, -1, -1), QColor(228, 228, 232));
        const QFont f = fontOf("DejaVu Sans", 13);
        s.write(QPoint(button.center().x() - QFontMetrics(f).horizontalAdvance(label) / 2,
                       button.y() + 7),
                {label}, f, QColor(20, 20, 22), 20);
    }
    for (const QString &l : below)
        s.note(l);
    return s.done("dialog");
}

// A dark terminal with a long listing: the columns of each row belong together.
ScreenScene listing(int scale)
{
    Screen s(scale, {1280, 800}, QColor(46, 52, 64));
    const QRect t = s.window(QRect(20, 20, 1000, 760), QColor(29, 31, 33), "alex@host: ~/project");
    const QFont mono = fontOf("DejaVu Sans Mono", 13);
    s.write(t.topLeft() + QPoint(6, 6), {"$ ls -la"}, mono, QColor(197, 200, 198), 17);
    s.write(t.topLeft() + QPoint(6, 23), lsRows(38, 7), mono, QColor(197, 200, 198), 17);
    return s.done("listing");
}

// A light file list: a table whose columns stand far apart.
ScreenScene table(int scale)
{
    Screen s(scale, {1280, 800}, QColor(46, 52, 64));
    const QRect w = s.window(QRect(40, 40, 1000, 720), QColor(255, 255, 255), "Documents - Files");
    const QStringList names = {"Quarterly report.pdf",
                               "Budget 2024.ods",
                               "Meeting notes.txt",
                               "Invoice March.pdf",
                               "Photos",
                               "Release notes.md",
                               "Archive.zip",
                               "Project overview.odt",
                               "Travel plan.pdf",
                               "Contacts.csv",
                               "Drafts",
                               "Welcome letter.odt",
                               "Security policy.pdf",
                               "Backup",
                               "Presentation.odp",
                               "Storage report.txt",
                               "Calendar export.ics",
                               "Screenshots",
                               "Keyboard shortcuts.pdf",
                               "Todo.md"};
    const QStringList types = {"PDF document", "Spreadsheet", "Plain text",   "PDF document",
                               "Folder",       "Markdown",    "Archive",      "Document",
                               "PDF document", "CSV file",    "Folder",       "Document",
                               "PDF document", "Folder",      "Presentation", "Plain text",
                               "Calendar",     "Folder",      "PDF document", "Markdown"};
    const QList<int> xs = {20, 400, 540, 760};
    const QFont head = fontOf("DejaVu Sans", 13, true), body = fontOf("DejaVu Sans", 13);
    auto row = [&](int y, const QStringList &cells, const QFont &f) {
        QString line;
        for (int c = 0; c < cells.size(); ++c) {
            s.write(w.topLeft() + QPoint(xs[c], y), {cells[c]}, f, QColor(30, 30, 32), 20, false);
            line += (c ? "   " : "") + cells[c];
        }
        s.note(line);
    };
    row(12, {"Name", "Size", "Modified", "Type"}, head);
    QRandomGenerator rng{5};
    for (int i = 0; i < names.size(); ++i)
        row(40 + i * 26,
            {names[i],
             types[i] == "Folder" ? QStringLiteral("%1 items").arg(rng.bounded(2, 40))
                                  : QStringLiteral("%1 kB").arg(rng.bounded(3, 900)),
             QStringLiteral("%1 %2, 2024")
                 .arg(QStringList{"Jan", "Feb", "Mar", "Apr"}[i % 4])
                 .arg(1 + i),
             types[i]},
            body);
    return s.done("table");
}

// An article set in two columns of one window: paragraphs end in short lines, which sit
// beside lines of the other column.
ScreenScene article(int scale)
{
    Screen s(scale, {1280, 800}, QColor(46, 52, 64));
    const QRect w =
        s.window(QRect(20, 20, 1240, 760), QColor(255, 255, 255), "Newsletter - Reader");
    const QFont f = fontOf("DejaVu Serif", 13);
    const QFontMetrics fm(f);
    const int columnWidth = 480, gutter = 30, pitch = 21;
    // Paragraphs of two to four sentences, wrapped to the column; an empty row between them.
    QList<QStringList> paragraphs;
    for (int i = 0, k = 0; k < prose.size(); ++i) {
        const int n = 2 + i % 3;
        QStringList rows{QString()};
        for (const QString &sentence : prose.mid(k, n))
            for (const QString &word : sentence.split(' ')) {
                const QString longer = rows.last().isEmpty() ? word : rows.last() + ' ' + word;
                if (fm.horizontalAdvance(longer) > columnWidth)
                    rows << word;
                else
                    rows.last() = longer;
            }
        paragraphs << rows;
        k += n;
    }
    const int perColumn = (w.height() - 30) / pitch;
    int column = 0, row = 0;
    for (const QStringList &paragraph : paragraphs) {
        if (row + paragraph.size() > perColumn) {
            if (++column > 1)
                break;
            row = 0;
        }
        s.write(w.topLeft() + QPoint(16 + column * (columnWidth + gutter), 14 + row * pitch),
                paragraph, f, QColor(24, 24, 24), pitch);
        row += paragraph.size() + 1;
    }
    return s.done("article");
}

// A light and a dark terminal side by side, their rows at the same heights, in title bars with
// their buttons (circles on the left of one, boxed signs on the right of the other).
ScreenScene terminals(int scale)
{
    Screen s(scale, {1280, 800}, QColor(46, 52, 64));
    const QFont mono = fontOf("DejaVu Sans Mono", 13);
    QPainter &p = s.painter();
    auto frame = [&](const QRect &r, QColor bar, QColor background, QColor ink,
                     const QString &title, bool circlesLeft) {
        p.fillRect(r, bar);
        const QFont f = fontOf("DejaVu Sans", 13, true);
        const int width = QFontMetrics(f).horizontalAdvance(title);
        s.write(QPoint(r.center().x() - width / 2, r.y() + 6), {title}, f, ink, 16);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(ink, 1.5));
        for (int k = 0; k < 3; ++k) {
            if (circlesLeft) {
                p.drawEllipse(QRectF(r.x() + 10 + k * 20, r.y() + 7, 13, 13));
                continue;
            }
            const QRectF box(r.right() - 70 + k * 22, r.y() + 7, 13, 13);
            p.drawRect(box);
            if (k == 0)
                p.drawLine(QPointF(box.left() + 3, box.bottom() - 3),
                           QPointF(box.right() - 3, box.bottom() - 3));
            if (k == 2) {
                p.drawLine(box.topLeft() + QPointF(3, 3), box.bottomRight() - QPointF(3, 3));
                p.drawLine(box.topRight() + QPointF(-3, 3), box.bottomLeft() + QPointF(3, -3));
            }
        }
        p.setRenderHint(QPainter::Antialiasing, false);
        const QRect body(r.x(), r.y() + 28, r.width(), 680);
        p.fillRect(body, background);
        return body;
    };
    QStringList light;
    for (const QString &l : prose.mid(0, 36))
        light << l.left(l.lastIndexOf(' ', 60));
    const QRect a = frame(QRect(20, 40, 610, 28), QColor(222, 222, 226), QColor(255, 255, 255),
                          QColor(40, 40, 44), "alex@host: ~/notes", true);
    s.write(a.topLeft() + QPoint(8, 6), light, mono, QColor(20, 20, 20), 18);
    const QRect b = frame(QRect(650, 40, 610, 28), QColor(48, 50, 54), QColor(29, 31, 33),
                          QColor(210, 210, 214), "alex@host: ~/project", false);
    s.write(b.topLeft() + QPoint(8, 6), lsRows(35, 3), mono, QColor(197, 200, 198), 18);
    return s.done("terminals");
}

const QList<std::pair<QString, std::function<ScreenScene(int)>>> &scenes()
{
    static const QList<std::pair<QString, std::function<ScreenScene(int)>>> all = {
        {"ide", ide},     {"columns", columns}, {"dialog", dialog},      {"listing", listing},
        {"table", table}, {"article", article}, {"terminals", terminals}};
    return all;
}

QString squeezed(const QString &s)
{
    static const QRegularExpression space("\\s+");
    return QString(s).replace(space, " ").trimmed();
}

} // namespace

ScreenScene screenScene(const QString &name, int scale)
{
    for (const auto &[n, make] : scenes())
        if (n == name)
            return make(scale);
    return {};
}

ScreenScene screenFullOfText()
{
    Screen s(1, {1920, 1080}, QColor(46, 52, 64));
    const char *titles[] = {"Notes", "Report draft", "Release notes"};
    for (int k = 0; k < 3; ++k) {
        const QRect w =
            s.window(QRect(8 + k * 638, 8, 630, 1064), QColor(255, 255, 255), titles[k]);
        QStringList rows;
        for (int i = 0; i < 44; ++i)
            rows << prose[(i * 7 + k * 11) % prose.size()];
        s.write(w.topLeft() + QPoint(12, 10), rows, fontOf("DejaVu Sans", 12), QColor(30, 30, 32),
                23);
    }
    return s.done("fullscreen");
}

QList<ScreenScene> screenCorpus()
{
    QList<ScreenScene> out;
    for (int scale : {1, 2})
        for (const auto &[name, make] : scenes())
            out << make(scale);
    return out;
}

double linesInOrder(const QString &text, const QStringList &truth)
{
    QStringList got;
    for (const QString &l : text.split('\n'))
        if (!squeezed(l).isEmpty())
            got << squeezed(l);
    if (truth.isEmpty())
        return 1.0;
    // Each truth line is found where the output has its best match (at least 90 % alike),
    // the nearest to where its predecessor was found breaking ties.
    QList<int> at;
    int last = -1;
    for (const QString &t : truth) {
        const QString want = squeezed(t);
        int best = -1;
        double bestScore = 0.9;
        for (int i = 0; i < got.size(); ++i) {
            const double a = characterAccuracy(got[i], want);
            if (a > bestScore + 1e-9 || (best >= 0 && std::abs(a - bestScore) < 1e-9 &&
                                         std::abs(i - last - 1) < std::abs(best - last - 1))) {
                best = i;
                bestScore = a;
            }
        }
        at << best;
        if (best >= 0)
            last = best;
    }
    int good = 0;
    for (int i = 0; i < at.size(); ++i)
        good += at[i] >= 0 && (i == 0 ? at[i] == 0 : at[i - 1] >= 0 && at[i] == at[i - 1] + 1);
    return double(good) / double(truth.size());
}

} // namespace vistrel::test
