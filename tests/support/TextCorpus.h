#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

namespace vistrel::test {

// A screenshot-like picture of known text: UI rows in one font and size, on a light or dark
// theme. `truth` is the text in reading order, one line per row.
struct CorpusImage
{
    QString name;
    QImage image;
    QString truth;
    QList<QRect> lineRects; // top-down pixels, one per row
    bool dark = false;
    QString family;
    int pixelSize = 0;
};

QList<CorpusImage> textCorpus(QSize size = QSize(760, 420));
// One 1920×1080 screen full of small text.
CorpusImage fullScreenOfText();
CorpusImage renderRows(const QStringList &rows, const QString &family, int pixelSize, bool dark,
                       QSize size, int seed = 1);

// 1 − edit distance / length, over texts with runs of white space made one space.
double characterAccuracy(const QString &recognised, const QString &truth);

} // namespace vistrel::test
