// Feeds arbitrary bytes as a scene's description (scene.json in the history, the marks of an
// editable PNG). A scene that is accepted is then drawn, as the editor draws it, into a small
// view at full size and zoomed in: libFuzzer's timeout catches one that would freeze the editor.
#include "engines/SceneArchive.h"
#include "model/AnnotationRenderer.h"
#include "model/MarkRules.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>

#include <cstdint>
#include <cstdlib>

using namespace vistrel;

// fontconfig keeps what it matched for the process's life: not a leak of the code under test.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen"); // text is measured and drawn with real fonts
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!doc.isObject())
        return 0;
    static const QImage capture = [] {
        QImage image(160, 120, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        return image;
    }();
    static const QImage pixelated = pixelate(capture);
    QString error;
    const std::optional<EditorScene> scene =
        EditorScene::fromJson(doc.object(), {capture, capture}, &error);
    if (!scene) {
        if (error.isEmpty())
            std::abort(); // refused without a reason
        return 0;
    }
    double cost = 0;
    for (const AnnotationRef &m : scene->marks)
        cost += MarkRules::drawCost(*m);
    if (cost > EditorScene::maxDrawCost || scene->marks.size() > EditorScene::maxMarks)
        std::abort();
    QImage view(256, 192, QImage::Format_ARGB32_Premultiplied);
    for (double zoom : {1.0, 4.0}) {
        QPainter p(&view);
        p.scale(zoom, zoom);
        for (const AnnotationRef &m : scene->marks)
            AnnotationRenderer::draw(p, *m, &pixelated, QPointF());
    }
    return 0;
}
