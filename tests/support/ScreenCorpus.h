#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

namespace vistrel::test {

// A whole screen composed of windows of known text: light windows with a dark terminal pane,
// two windows side by side, a dialog over a document, a terminal listing. `lines` are its text
// lines in reading order (each window or pane in turn, top to bottom, a row's cells on one
// line with their gaps as spaces).
struct ScreenScene
{
    QString name;
    QImage image;
    QStringList lines;
    int scale = 1;
};

// Every scene at 1× and 2×.
QList<ScreenScene> screenCorpus();
ScreenScene screenScene(const QString &name, int scale);
// A 1920×1080 screen full of text: three windows side by side.
ScreenScene screenFullOfText();

// Share of the truth's lines in the right order: a line counts when it is found in `text`
// and the line found for its predecessor in the truth (none for the first) is its
// predecessor there too.
double linesInOrder(const QString &text, const QStringList &truth);

} // namespace vistrel::test
