#pragma once

#include "engines/SceneArchive.h"
#include "engines/ShareSettings.h"
#include "platform/Desktop.h"
#include "ui/ImageExport.h"

#include <QDate>
#include <QImage>
#include <QMetaType>
#include <QObject>

#include <functional>
#include <optional>

namespace vistrel {

class AnnotationCanvas;

enum class ExportMode { Copy = 0, Save = 1 };

// What a format menu item stands for.
struct ExportChoice
{
    enum Format { Original = 0, Transparent = 1, PDF = 2, EditablePng = 3 };
    ExportMode mode = ExportMode::Copy;
    int format = Original;
};

// How the editor's picture leaves it: onto the clipboard, into a file or up to the share
// service, always with open text committed first. Whatever took the picture counts as saved:
// closing then loses nothing the user has not taken.
class EditorExport : public QObject
{
    Q_OBJECT
public:
    EditorExport(AnnotationCanvas *canvas, const Platform &platform, QObject *parent = nullptr);

    // The proposed file name for a known name base: the base and today's date.
    static QString filenameForBase(const QString &base, const QDate &today);
    // What a save in `format` asks for, starting from the preferences' `settings`: PDF first
    // for PDF, the work itself for an editable PNG, and the name base with `today`'s date.
    static SaveSettings settingsFor(int format, SaveSettings settings,
                                    const std::optional<QString> &nameBase, const QDate &today,
                                    const std::function<EditorScene()> &scene);

    // Copies the picture, or a PDF of it; true when the clipboard took it.
    bool copy(int format);
    // Saves as `settings` say; `done` hears whether the picture is being written (false: the
    // user cancelled the dialog).
    void save(int format, const SaveSettings &settings, std::function<void(bool writing)> done);
    // Uploads the picture; the upload reports its own outcome and finishes even if the editor
    // closes first.
    void share(const ShareSettings &settings);

signals:
    // The clipboard, a file or the share service took the work as it is now.
    void saved();
    // Share found nothing set up, or an address it cannot use.
    void sharingSetUpWanted();

private:
    QImage picture(bool opaque);

    AnnotationCanvas *m_canvas;
    Platform m_platform;
};

} // namespace vistrel

Q_DECLARE_METATYPE(vistrel::ExportChoice)
