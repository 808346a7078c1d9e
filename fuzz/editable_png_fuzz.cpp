// Feeds arbitrary bytes as an editable PNG, as `vistrel edit` and a paste read one. Whatever the
// file says, what comes back is the scene within every limit (pictures sized before decoding,
// drawing cost, marks), or nothing with a reason, never both.
#include "engines/EditablePng.h"
#include "model/MarkRules.h"
#include "platform/PictureFile.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

using namespace vistrel;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv); // the picture plugins are found through it
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const EditablePng::Read read = EditablePng::readBytes(bytes);
    if (!read.scene)
        return 0;
    if (!read.problem.isEmpty())
        std::abort(); // a scene and a reason
    const EditorScene &scene = *read.scene;
    qint64 pixels = qint64(scene.image.width()) * scene.image.height();
    if (scene.image.isNull() || !PictureLimits::fits(scene.image.size()))
        std::abort();
    for (const auto &[picture, frame] : scene.placed) {
        if (picture.isNull() || !PictureLimits::fits(picture.size()))
            std::abort();
        pixels += qint64(picture.width()) * picture.height();
    }
    if (pixels > EditorScene::maxPixels || scene.placed.size() > EditorScene::maxPlaced)
        std::abort();
    double cost = 0;
    for (const AnnotationRef &m : scene.marks) {
        if (m->points.size() > MarkRules::maxPoints || m->text.size() > MarkRules::maxChars)
            std::abort();
        cost += MarkRules::drawCost(*m);
    }
    if (scene.marks.size() > EditorScene::maxMarks || cost > EditorScene::maxDrawCost)
        std::abort();
    return 0;
}
