#pragma once

#include "engines/Redaction.h"
#include "engines/SceneArchive.h"
#include "engines/ShareSettings.h"
#include "model/Annotation.h"
#include "model/ToolKind.h"
#include "platform/Desktop.h"
#include "ui/EditorExport.h"
#include "ui/EditorGeometry.h"
#include "ui/EditorQuestions.h"
#include "ui/EditorSecrets.h"
#include "ui/EditorToolbar.h"
#include "ui/EditorWindowPool.h"

#include <QImage>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QSlider;
class QToolButton;

namespace vistrel {

class AnnotationCanvas;
class OCRService;
class BeautifyWindowController;
class CompareWindowController;
class CenteringClipView;
class PaletteColorButton;

// The window around one annotation canvas: the toolbar along the top and the canvas,
// magnified and centred, below it. Every toolbar action ends in the canvas, an export, a pin,
// text recognition or one of the side windows.
class EditorWindowController : public QObject
{
    Q_OBJECT
public:
    using TextRecognizer =
        std::function<void(const QImage &, QObject *context, std::function<void(Result<QString>)>)>;
    // Reads a picture's words with their boxes, for finding secrets.
    using WordReader = EditorSecrets::WordReader;

    // With a pool, the window comes from it when it holds one, and goes back to it. `ocr`
    // finds the picture's text lines and reads it for OCR; without it neither happens (unless
    // a recognizer is set).
    EditorWindowController(const QImage &image, const QList<AnnotationRef> &seed,
                           const Platform &platform, QObject *parent = nullptr,
                           EditorWindowPool *pool = nullptr, OCRService *ocr = nullptr);
    ~EditorWindowController() override;

    std::optional<QString> suggestedNameBase;
    // The folder and "without asking" of Save, as the preferences say at the time.
    std::function<SaveSettings()> saveSettings;
    // What Redact and the check before Share look for, as the preferences say at the time.
    std::function<SecretRules()> redactionRules;
    // Where Share finds its address and token; none: the environment and ~/.vistrel only.
    std::function<ShareSettings()> shareSettings;

    // Unsaved work: marks, placed pictures or a crop that differ from how the editor opened or
    // was last saved (an open text field counts once its words are committed).
    bool hasUnsavedWork();
    // The work as data, in the capture's coordinates.
    EditorScene scene() const;
    // Puts back placed pictures and the crop of reopened work (the marks come as the seed).
    void restoreScene(const EditorScene &scene);
    // The recovery entry this editor's work is kept in, if any; removed when the work is saved
    // or discarded, or the editor closes without changes.
    QString recoveryId;
    // The history entry that follows this editor's work, if any.
    QString historyId;
    // Keeps unsaved work for the next start through `keep`; when it kept it, the window then
    // closes without asking, as the app quits.
    void keepForNextStart(const std::function<bool(const EditorScene &)> &keep);
    // Forgets the changes: the editor then closes without asking.
    void discardChanges();
    // The question a close with unsaved work asks, while it is open.
    QMessageBox *closeQuestion() const { return m_questions->closeQuestion(); }

    AnnotationCanvas *canvas() const { return m_canvas; }
    QWidget *window() const { return m_window; }
    // The last compare and beautify windows, kept alive until the next one replaces them.
    CompareWindowController *compareWindow() const { return m_compareWindow.get(); }
    BeautifyWindowController *beautifyWindow() const { return m_beautifyWindow.get(); }
    const QImage &image() const { return m_image; }
    // The picture in memory of its own, for one that lay in memory shared with others.
    void keepOwnPixels();
    // Paints the window once into a picture of its own, leaving the screen alone.
    void paintOnce();
    void showWindow();

    QToolButton *toolButton(ToolKind tool) const { return m_toolbar->toolButton(tool); }
    PaletteColorButton *colorButton() const { return m_toolbar->colorButton(); }
    QSlider *widthSlider() const { return m_toolbar->widthSlider(); }
    CenteringClipView *scroll() const { return m_scroll; }
    EditorToolbar *toolbar() const { return m_toolbar; }
    QAction *action(EditorAction which) const { return m_toolbar->action(which); }
    // The other forms of Copy or Save, on the arrow of their buttons.
    QMenu *formatMenu(ExportMode mode) const { return m_toolbar->formatMenu(mode); }
    // Either format menu, while it is open.
    QMenu *formatMenu() const { return m_toolbar->formatMenu(); }

    qreal fitMagnification() const { return m_geometry.fitMagnification; }
    qreal magnification() const;
    // The text recognizer behind OCR; `ocr`'s unless another is given.
    void setTextRecognizer(TextRecognizer recognizer) { m_recognizer = std::move(recognizer); }
    // The word reader behind Redact and the check before Share; `ocr`'s unless another is given.
    void setWordReader(WordReader reader) { m_secrets->setWordReader(std::move(reader)); }
    // The secrets the pictures show, on the canvas, as last read (after Redact or Share).
    QList<PlacedFinding> findings() const;

    static QString title() { return tr("Vistrel — Editor"); }

    // Toolbar actions.
    void toolPicked(ToolKind tool);
    void widthChanged(double width);
    void undo();
    void redo();
    void zoomIn();
    void zoomOut();
    void zoomFit();
    void centerDocument();
    void copyImage();
    void saveImage();
    void performExport(const ExportChoice &choice);
    void runOCR();
    void pinImage();
    void addScreenshot();
    void compare();
    void beautify();
    // Reads the pictures, covers every secret found that no redaction covers yet, in one
    // undo step, and says what it covered. The pointer shows it is busy meanwhile; Escape
    // stops it.
    void redactSecrets();
    bool isFindingSecrets() const { return m_secrets->isSearching(); }
    // Asks first when the picture shows secrets no redaction covers.
    void shareImage();
    // Closes, asking first when there is unsaved work.
    void performClose();

signals:
    // The window closed: its work was saved, discarded or kept for the next start.
    void closed();
    // Add asks for another screenshot to place beside the picture.
    void addImageRequested();
    // A pasted editable PNG, to reopen with its marks in an editor of its own; unheard, the
    // picture is placed on the canvas.
    void sceneOpenRequested(const vistrel::EditorScene &scene);
    // Share found nothing set up, or an address it cannot use: the place to set it up.
    void sharingSetUpWanted();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectToolbar();
    // Magnification within the limits, keeping the canvas point under the visible centre.
    void zoomTo(qreal magnification);
    // Magnification within the limits, keeping the canvas point at viewport position `at`.
    void zoomAround(qreal magnification, QPointF at);
    void showAdded(const QRectF &frame);
    void windowClosing();
    // A close of the window: false when it must wait for the user's answer.
    bool mayClose();
    void closeAnswered(EditorQuestions::CloseAnswer answer);
    void closeNow();
    void markSaved();
    void upload();

    QImage m_image;
    Platform m_platform;
    EditorGeometry m_geometry;
    TextRecognizer m_recognizer;
    QPointer<EditorWindowPool> m_pool;
    QPointer<QWidget> m_window;
    AnnotationCanvas *m_canvas = nullptr;
    QPointer<EditorToolbar> m_toolbar;
    CenteringClipView *m_scroll = nullptr;
    EditorExport *m_export = nullptr;
    EditorQuestions *m_questions = nullptr;
    EditorSecrets *m_secrets = nullptr;
    bool m_closing = false;
    bool m_keptForNextStart = false;
    bool m_closeAfterSave = false;
    std::unique_ptr<CompareWindowController> m_compareWindow;
    std::unique_ptr<BeautifyWindowController> m_beautifyWindow;
};

} // namespace vistrel
