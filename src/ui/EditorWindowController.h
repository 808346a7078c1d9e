#pragma once

#include "engines/Redaction.h"
#include "engines/SceneArchive.h"
#include "engines/SecretFinder.h"
#include "engines/ShareSettings.h"
#include "model/Annotation.h"
#include "model/ToolKind.h"
#include "platform/Desktop.h"
#include "platform/Memory.h"
#include "ui/EditorGeometry.h"
#include "ui/ImageExport.h"

#include <QHash>
#include <QImage>
#include <QMessageBox>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;

class QSlider;
class QToolBar;
class QTimer;
class QToolButton;

namespace vistrel {

class AnnotationCanvas;
class OCRService;
class BeautifyWindowController;
class CompareWindowController;
class CenteringClipView;
class PaletteColorButton;
class EditorWindow;

// Keeps the window of the last editor closed, hidden and emptied, for the next editor. Its
// backing store then stays in memory: a new window's first paint spends tens of milliseconds
// faulting in a fresh full-screen buffer. The window goes after `keepWarmFor` unused.
class EditorWindowPool : public QObject
{
public:
    EditorWindowPool();
    ~EditorWindowPool() override;
    EditorWindow *take();
    void giveBack(EditorWindow *window);
    bool holdsWindow() const { return !m_spare.isNull(); }

private:
    QPointer<EditorWindow> m_spare;
    QTimer *m_expiry;
};

enum class ExportMode { Copy = 0, Save = 1 };

// The editor's actions other than the tools, known by what they do whatever their titles read.
enum class EditorAction {
    Add,
    ZoomOut,
    ZoomToFit,
    ZoomIn,
    Undo,
    Redo,
    Pin,
    Ocr,
    Redact,
    Compare,
    Beautify,
    Share,
    Copy,
    Save,
    Close,
};

inline size_t qHash(EditorAction action, size_t seed = 0)
{
    return ::qHash(int(action), seed);
}

// What a format menu item stands for.
struct ExportChoice
{
    enum Format { Original = 0, Transparent = 1, PDF = 2, EditablePng = 3 };
    ExportMode mode = ExportMode::Copy;
    int format = Original;
};

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
    using WordReader = std::function<void(const QImage &, QObject *context,
                                          std::function<void(Result<QList<LayoutLine>>)>)>;

    // With a pool, the window comes from it when it holds one, and goes back to it. `ocr`
    // finds the picture's text lines and reads it for OCR; without it neither happens (unless
    // a recognizer is set).
    EditorWindowController(const QImage &image, const QList<AnnotationRef> &seed,
                           const Platform &platform, QObject *parent = nullptr,
                           EditorWindowPool *pool = nullptr, OCRService *ocr = nullptr);
    ~EditorWindowController() override;

    std::function<void()> onClose;
    std::function<void()> onRequestAddImage;
    // A pasted editable PNG, to reopen with its marks in an editor of its own.
    std::function<void(const EditorScene &)> onOpenScene;
    std::optional<QString> suggestedNameBase;
    // The folder and "without asking" of Save, as the preferences say at the time.
    std::function<SaveSettings()> saveSettings;
    // What Redact and the check before Share look for, as the preferences say at the time.
    std::function<SecretRules()> redactionRules;
    // Where Share finds its address and token; none: the environment and ~/.vistrel only.
    std::function<ShareSettings()> shareSettings;
    // Share found nothing set up, or an address it cannot use: the place to set it up.
    std::function<void()> onSetUpSharing;

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
    QMessageBox *closeQuestion() const { return m_closeQuestion; }

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

    QToolButton *toolButton(ToolKind tool) const { return m_toolButtons.value(tool); }
    PaletteColorButton *colorButton() const { return m_colorButton; }
    QSlider *widthSlider() const { return m_widthSlider; }
    CenteringClipView *scroll() const { return m_scroll; }
    QToolBar *toolbar() const { return m_toolbar; }
    QAction *action(EditorAction which) const;
    // The other forms of Copy or Save, on the arrow of their buttons.
    QMenu *formatMenu(ExportMode mode) const;
    // Either format menu, while it is open.
    QMenu *formatMenu() const;

    qreal fitMagnification() const { return m_geometry.fitMagnification; }
    qreal magnification() const;
    // The text recognizer behind OCR; `ocr`'s unless another is given.
    void setTextRecognizer(TextRecognizer recognizer) { m_recognizer = std::move(recognizer); }
    // The word reader behind Redact and the check before Share; `ocr`'s unless another is given.
    void setWordReader(WordReader reader) { m_wordReader = std::move(reader); }
    // The secrets the pictures show, on the canvas, as last read (after Redact or Share).
    QList<PlacedFinding> findings() const;

    static QString title() { return tr("Vistrel — Editor"); }
    // The proposed file name for a known name base: the base and today's date.
    static QString filenameForBase(const QString &base, const QDate &today);

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
    bool isFindingSecrets() const { return m_finding; }
    // Asks first when the picture shows secrets no redaction covers.
    void shareImage();
    // Closes, asking first when there is unsaved work.
    void performClose();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildToolbar();
    void highlight(ToolKind tool);
    QMenu *buildFormatMenu(ExportMode mode);
    void openFormatMenu(ExportMode mode);
    static EditorAction exportAction(ExportMode mode);
    // Magnification within the limits, keeping the canvas point under the visible centre.
    void zoomTo(qreal magnification);
    // Some titled buttons show their icon only while the window is narrower than the toolbar.
    void fitToolbar(int width);
    // Magnification within the limits, keeping the canvas point at viewport position `at`.
    void zoomAround(qreal magnification, QPointF at);
    void showAdded(const QRectF &frame);
    void windowClosing();
    // A close of the window: false when it must wait for the user's answer.
    bool mayClose();
    void askBeforeClose();
    void closeNow();
    void markSaved();
    // Reads the words of every picture not read yet, then calls `then` with an error text, empty
    // when all were read.
    void readPictures(std::function<void(QString)> then);
    QList<CanvasPicture> canvasPictures() const;
    void upload();

    QImage m_image;
    Platform m_platform;
    EditorGeometry m_geometry;
    TextRecognizer m_recognizer;
    WordReader m_wordReader;
    QHash<qint64, QList<LayoutLine>> m_words; // by the picture's cache key
    bool m_reading = false;
    QList<std::function<void(QString)>> m_afterReading;
    // A search for secrets under way, which the user may stop; each has a number of its own.
    bool m_finding = false;
    int m_findingRound = 0;
    void stopFinding();
    QPointer<EditorWindowPool> m_pool;
    QPointer<QWidget> m_window;
    AnnotationCanvas *m_canvas = nullptr;
    QToolBar *m_toolbar = nullptr;
    QHash<ToolKind, QToolButton *> m_toolButtons;
    QHash<EditorAction, QAction *> m_actions;
    PaletteColorButton *m_colorButton = nullptr;
    QSlider *m_widthSlider = nullptr;
    CenteringClipView *m_scroll = nullptr;
    QPointer<QMenu> m_formatMenus[2];
    QPointer<QMessageBox> m_closeQuestion;
    bool m_closing = false;
    bool m_keptForNextStart = false;
    int m_fullToolbarWidth = 0;
    bool m_closeAfterSave = false;
    std::unique_ptr<CompareWindowController> m_compareWindow;
    std::unique_ptr<BeautifyWindowController> m_beautifyWindow;
    friend class EditorWindow;
};

} // namespace vistrel

Q_DECLARE_METATYPE(vistrel::ExportChoice)
