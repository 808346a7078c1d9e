#pragma once

#include "engines/OCRLayout.h"
#include "platform/Result.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace vistrel {

// One line the engine found: where (top-down pixels of the picture it was given) and, when it
// was read, its best text and its words, in the engine's block `block`.
struct EngineLine
{
    QRect box;
    std::optional<QString> text;
    int block = 0;
    QList<LayoutWord> words;
};

// A picture made ready for the engine: grey, dark text on light in every panel, small text
// enlarged.
struct PreparedImage
{
    QImage grey;           // Format_Grayscale8, enlarged
    double scale = 1.0;    // prepared pixels per original pixel
    bool inverted = false; // some panel was light on dark
    PanelMap panels;       // of the original picture
    QImage flat;           // dark on light at the original size
};

class HelperCache;

// Tesseract behind a small, thread-safe face. Each engine runs in a helper process
// (vistrel-recognizer), lent to one recognition at a time; the helpers are stopped once
// recognition has been idle for `idleRelease`, so that an idle app holds none of the engine's
// memory. A helper that fails or dies fails that recognition only. The helpers are this
// object's: it goes on the thread that made it, once no recognition of its runs, waiting for
// engines still starting and stopping the rest.
class TesseractEngine
{
public:
    TesseractEngine();
    ~TesseractEngine();
    TesseractEngine(const TesseractEngine &) = delete;
    TesseractEngine &operator=(const TesseractEngine &) = delete;

    // Screenshots are ~96 dpi; the engine reads best with text up to three times that size.
    // The enlargement stays within `pixelBudget` pixels, which bounds the time it takes.
    static PreparedImage prepare(const QImage &image, double pixelBudget);
    static constexpr double readingBudget = 6e6;
    static constexpr double layoutBudget = 2.0e6;
    // How much a picture made dark on light (PreparedImage::flat) needs enlarging for its
    // glyphs to reach the height the engine reads well: at most three times, never shrunk;
    // 0 when it holds no glyph at all.
    static double enlargement(const QImage &flat);
    // Median height of the glyphs (x-height and ascenders mixed): 1× UI text of 10–16 px has
    // 7–10 px and wants all three times; doubled text of 14–18 px wants half as much.
    static constexpr double glyphHeight = 27.0;
    // Text lines with their text; `languages` as the engine names them ("eng", "eng+deu").
    Result<QList<EngineLine>> recognize(const QImage &grey, const QString &languages);
    // Text lines without reading them (no text); empty when the layout cannot be found.
    QList<EngineLine> layout(const QImage &grey);

    // Starts an engine for `languages` in the background, unless one is idle already, so that
    // a recognition expected soon (Extract Text while the area is being chosen) does not wait
    // for the engine and its model.
    void warmUp(const QString &languages);

    static constexpr std::chrono::milliseconds idleRelease{2000};
    // Stops the helpers no recognition holds now.
    void releaseIdleEngines();
    int idleEngineCount();

private:
    std::unique_ptr<HelperCache> m_helpers;
};

} // namespace vistrel
