#include "ui/EditorExport.h"

#include "engines/ClipboardTools.h"
#include "engines/ImageFiles.h"
#include "ui/AnnotationCanvas.h"
#include "ui/ShareService.h"

#include <QPointer>
#include <QUndoStack>

namespace vistrel {

EditorExport::EditorExport(AnnotationCanvas *canvas, const Platform &platform, QObject *parent)
    : QObject(parent), m_canvas(canvas), m_platform(platform)
{
}

QString EditorExport::filenameForBase(const QString &base, const QDate &today)
{
    return base + QLatin1Char(' ') + today.toString(QStringLiteral("yyyy-MM-dd"));
}

SaveSettings EditorExport::settingsFor(int format, SaveSettings settings,
                                       const std::optional<QString> &nameBase, const QDate &today,
                                       const std::function<EditorScene()> &scene)
{
    settings.preferPdf = format == ExportChoice::PDF;
    if (format == ExportChoice::EditablePng && scene)
        settings.editable = std::make_shared<const EditorScene>(scene());
    if (nameBase)
        settings.suggestedBase = filenameForBase(*nameBase, today);
    return settings;
}

QImage EditorExport::picture(bool opaque)
{
    m_canvas->commitEditors();
    return m_canvas->renderComposite(opaque);
}

bool EditorExport::copy(int format)
{
    const QImage image = picture(format != ExportChoice::Transparent);
    if (image.isNull())
        return false;
    const bool pdf = format == ExportChoice::PDF;
    if (!(pdf ? ImageFiles::copyPDF(*m_platform.clipboard, image)
              : ClipboardTools::copy(*m_platform.clipboard, image)))
        return false;
    m_platform.toasts->show(pdf ? tr("Copied PDF") : tr("Copied to clipboard"));
    emit saved();
    return true;
}

void EditorExport::save(int format, const SaveSettings &settings,
                        std::function<void(bool writing)> done)
{
    const QImage image = picture(format != ExportChoice::Transparent);
    if (image.isNull())
        return;
    QPointer<EditorExport> self(this);
    ImageExport::save(m_platform, image, settings, [self, done](bool writing) {
        if (!self)
            return;
        // A write that fails after this reopens the dialog with the picture: nothing is lost.
        if (writing)
            emit self->saved();
        if (done)
            done(writing);
    });
}

void EditorExport::share(const ShareSettings &settings)
{
    const QImage image = picture(true);
    if (image.isNull())
        return;
    m_platform.toasts->show(tr("Uploading…"));
    // A shared picture counts as saved, unless the marks changed while it went up.
    QPointer<EditorExport> self(this);
    const int state = m_canvas->undoStack()->index();
    ShareService::share(
        image, m_platform, settings, nullptr,
        [self, state](const std::optional<QString> &link) {
            if (self && link && self->m_canvas->undoStack()->index() == state)
                emit self->saved();
        },
        [self] {
            if (self)
                emit self->sharingSetUpWanted();
        });
}

} // namespace vistrel
