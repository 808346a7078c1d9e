#pragma once

#include "engines/Redaction.h"
#include "engines/SecretFinder.h"
#include "platform/Desktop.h"

#include <QHash>
#include <QImage>
#include <QObject>

#include <functional>

namespace vistrel {

class AnnotationCanvas;

// The secrets the editor's pictures show: the words of each picture, read once and kept by the
// picture, and what the redaction rules find in them. Redact covers what it finds; the check
// before Share reads the same words.
class EditorSecrets : public QObject
{
    Q_OBJECT
public:
    // Reads a picture's words with their boxes.
    using WordReader = std::function<void(const QImage &, QObject *context,
                                          std::function<void(Result<QList<LayoutLine>>)>)>;

    // `rules` says what to look for, as the preferences say at the time.
    EditorSecrets(AnnotationCanvas *canvas, const Platform &platform,
                  std::function<SecretRules()> rules, QObject *parent = nullptr);
    ~EditorSecrets() override;

    void setWordReader(WordReader reader) { m_wordReader = std::move(reader); }
    // Reads the words of every picture not read yet, then calls `then` with an error text, empty
    // when all were read.
    void readPictures(std::function<void(QString)> then);
    // The secrets the pictures show, on the canvas, as last read.
    QList<PlacedFinding> findings() const;

    // Reads the pictures, covers every secret found that no redaction covers yet, in one undo
    // step, and says what it covered. The pointer shows it is busy meanwhile.
    void redact();
    bool isSearching() const { return m_searching; }
    // Stops the search under way; the words read so far stay for the next one.
    void stop();

private:
    QList<CanvasPicture> canvasPictures() const;

    AnnotationCanvas *m_canvas;
    Platform m_platform;
    std::function<SecretRules()> m_rules;
    WordReader m_wordReader;
    QHash<qint64, QList<LayoutLine>> m_words; // by the picture's cache key
    bool m_reading = false;
    QList<std::function<void(QString)>> m_afterReading;
    // A search under way, which the user may stop; each has a number of its own.
    bool m_searching = false;
    int m_round = 0;
};

} // namespace vistrel
