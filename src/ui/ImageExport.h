#pragma once

#include "engines/ImageFiles.h"

#include <QImage>
#include <QString>

#include <functional>
#include <optional>

namespace vistrel {

struct Platform;

// How one Save goes: the user's preferences (folder, without asking) and what the caller
// knows of the picture.
struct SaveSettings
{
    // Where the dialog opens and where a save without asking writes; the home folder's dialog
    // when empty.
    QString folder;
    // Write at once under a fresh name in `folder` instead of asking.
    bool withoutAsking = false;
    // The file name without its extension, used as given (a smart name); the timestamped
    // default when none.
    std::optional<QString> suggestedBase;
    // PDF is offered first and is the type of a name typed without an extension, and a save
    // without asking writes a PDF; otherwise PNG.
    bool preferPdf = false;
    // An editable PNG: only PNG is offered, and the file carries this work.
    EditableScene editable;
};

// The save panels: asking where (the platform's save chooser), writing on a worker, saying how
// it went (its toasts and alerts).
class ImageExport
{
public:
    // The one Save of the capture flow, the editor and the preview card. Asking: a dialog that
    // offers PNG, JPEG and PDF, opening in the settings' folder; the extension of the name the
    // user gives decides the type. Without asking: a new file in the folder, never replacing
    // one. Either way "Saved" follows, or an error that says why, above the dialog opened
    // again at the failed place. `done` runs once: true when the picture is being written,
    // false when the user cancelled the dialog.
    static void save(const Platform &platform, const QImage &image, const SaveSettings &settings,
                     std::function<void(bool writing)> done = {});

    // PNG, JPEG or PDF, chosen by the extension of the name the user gives. `completion` runs
    // once when the panel is done, whatever the answer. A write that fails says why and where,
    // and the panel comes back so the picture is not lost.
    static void savePanel(const Platform &platform, const QImage &image,
                          std::function<void()> completion = {});
    // Only PDF, or only PNG; `name` replaces the default base name.
    static void savePanel(const Platform &platform, const QImage &image, bool asPDF,
                          std::optional<QString> name);

    // Encodes and writes on a worker (as the save panels do), then shows "Saved"; a failure
    // says why and offers the save panel again.
    static void saveInBackground(const Platform &platform, const QImage &image,
                                 const QString &path);
};

} // namespace vistrel
