// Drawing the largest scenes an editable PNG or the history may hold: marks are added, of one
// shape at a time, until the next would put the scene over what the reader accepts; each scene
// is then drawn as the editor draws a frame (the picture, then every mark) into a 1920 × 1080
// view at full size and at twice the size. Target: at most 100 ms a frame. The floor beside
// it is the same frame with no marks.
#include "engines/SceneArchive.h"
#include "model/AnnotationRenderer.h"
#include "model/MarkRules.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

using namespace vistrel;

namespace {

QImage busyPicture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((x / 7) % 256, (y / 5) % 256, (x ^ y) % 200 + 40);
    }
    return image;
}

// Adds marks from `next` while the scene stays one the reader accepts.
EditorScene largest(const QImage &picture, const std::function<AnnotationRef(int)> &next)
{
    EditorScene scene;
    scene.image = picture;
    for (int i = 0;; ++i) {
        scene.marks.append(next(i));
        if (!EditorScene::fromJson(scene.toJson(), {picture})) {
            scene.marks.removeLast();
            return scene;
        }
        if (scene.marks.size() >= EditorScene::maxMarks)
            return scene;
    }
}

double frameMs(const EditorScene &scene, const QImage &pixelated, double zoom)
{
    QImage view(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer clock;
        clock.start();
        QPainter p(&view);
        p.scale(zoom, zoom);
        p.drawImage(QPointF(), scene.image);
        for (const AnnotationRef &m : scene.marks)
            AnnotationRenderer::draw(p, *m, &pixelated, QPointF());
        p.end();
        best = std::min(best, clock.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QImage picture = busyPicture({1920, 1080});
    const QImage pixelated = pixelate(picture);
    auto pen = [](double width, double height, int points, double step) {
        return [=](int i) {
            auto m = Annotation::make(ToolKind::Pen, {}, {}, QColor(220, 30, 30), width);
            for (int k = 0; k < points; ++k)
                m->points.append(QPointF(20 + std::fmod(i * 37 + k * step, 1880),
                                         20 + (k % 2) * height + (i * 13) % 40));
            return m;
        };
    };
    const struct
    {
        const char *name;
        std::function<AnnotationRef(int)> next;
    } shapes[] = {
        {"pens of the most points, 4 pt", pen(4, 1, MarkRules::maxPoints, 0.5)},
        {"zig-zag pens across the picture, 4 pt", pen(4, 1000, 40, 3)},
        {"zig-zag pens across the picture, 40 pt", pen(40, 1000, 40, 3)},
        {"translucent zig-zag pens, 20 pt",
         [&](int i) {
             auto m = pen(20, 1000, 40, 3)(i);
             m->color.setAlpha(128);
             return m;
         }},
        {"hand-drawn strokes of 300 points, 6 pt",
         [](int i) {
             auto m = Annotation::make(ToolKind::Pen, {}, {}, QColor(30, 30, 220), 6);
             for (int k = 0; k < 300; ++k)
                 m->points.append(QPointF(20 + (i * 29) % 1700 + k * 0.7,
                                          40 + (i * 17) % 1000 + 8 * std::sin(k / 9.0)));
             return m;
         }},
        {"texts of the longest length, 24 pt",
         [](int i) {
             auto m =
                 Annotation::make(ToolKind::Text, {10, 1070.0 - (i % 40) * 26}, {}, Qt::black, 3);
             m->text = QString(MarkRules::maxChars, QLatin1Char('w'));
             m->fontSize = 24;
             return m;
         }},
        {"blur marks over the whole picture",
         [](int) {
             return Annotation::make(ToolKind::Blur, {0, 0}, {1920, 1080}, Qt::black, 3);
         }},
        {"highlights over the whole picture",
         [](int) {
             return Annotation::make(ToolKind::Highlight, {0, 0}, {1920, 1080}, Qt::yellow, 3);
         }},
    };
    EditorScene empty;
    empty.image = picture;
    std::printf("%-44s %6s %12s %12s\n", "largest accepted scene", "marks", "ms at 100%",
                "ms at 200%");
    std::printf("%-44s %6d %12.1f %12.1f\n", "floor: the picture alone", 0,
                frameMs(empty, pixelated, 1), frameMs(empty, pixelated, 2));
    for (const auto &shape : shapes) {
        const EditorScene scene = largest(picture, shape.next);
        std::printf("%-44s %6lld %12.1f %12.1f\n", shape.name, qlonglong(scene.marks.size()),
                    frameMs(scene, pixelated, 1), frameMs(scene, pixelated, 2));
        std::fflush(stdout);
    }
    return 0;
}
