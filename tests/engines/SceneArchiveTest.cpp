#include "engines/SceneArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

EditorScene sample()
{
    EditorScene scene;
    scene.image = filled({120, 80}, Qt::darkCyan);
    auto arrow = Annotation::make(ToolKind::Arrow, {10, 20}, {90, 70}, QColor(255, 59, 48, 200), 5);
    arrow->control = QPointF(40, 60);
    auto text = Annotation::make(ToolKind::Text, {5, 75}, {5, 75}, Qt::blue, 5);
    text->text = QStringLiteral("two\nlines «ünï»");
    text->fontSize = 31;
    auto step = Annotation::make(ToolKind::Step, {60, 40}, {60, 40}, Qt::green, 4);
    step->stepNumber = 7;
    step->caption = QStringLiteral("Open the menu");
    auto pen = Annotation::make(ToolKind::Pen, {1, 1}, {1, 1}, Qt::black, 3);
    pen->points = {{1, 1}, {2, 5}, {9, 3}};
    scene.marks = {arrow, text, step, pen};
    scene.placed = {{filled({30, 20}, Qt::yellow), QRectF(160, 40, 60, 40)}};
    scene.crop = QRectF(-4, 2, 200, 70);
    return scene;
}

} // namespace

TEST(RecoveryStore, KeepsEveryMarkPictureAndTheCropPrivately)
{
    QTemporaryDir home;
    const RecoveryStore store(home.filePath(QStringLiteral("recovery")));
    const EditorScene scene = sample();
    QString error;
    const QString id = store.write(scene, {}, &error);
    ASSERT_FALSE(id.isEmpty()) << qPrintable(error);
    EXPECT_EQ(store.ids(), QStringList{id});
    EXPECT_EQ(QFileInfo(home.filePath(QStringLiteral("recovery/") + id)).permissions() & 0x0077,
              QFileDevice::Permissions());
    EXPECT_EQ(QFileInfo(home.filePath(QStringLiteral("recovery/%1/scene.json").arg(id)))
                      .permissions() & 0x0077,
              QFileDevice::Permissions());

    const std::optional<EditorScene> back = store.read(id, &error);
    ASSERT_TRUE(back) << qPrintable(error);
    EXPECT_EQ(back->image.convertToFormat(QImage::Format_RGB32), scene.image);
    ASSERT_EQ(back->marks.size(), scene.marks.size());
    for (int i = 0; i < scene.marks.size(); ++i) {
        const Annotation &a = *scene.marks[i], &b = *back->marks[i];
        EXPECT_EQ(a.kind, b.kind);
        EXPECT_EQ(a.start, b.start);
        EXPECT_EQ(a.end, b.end);
        EXPECT_EQ(a.color, b.color);
        EXPECT_EQ(a.lineWidth, b.lineWidth);
        EXPECT_EQ(a.text, b.text);
        EXPECT_EQ(a.caption, b.caption);
        EXPECT_EQ(a.points, b.points);
        EXPECT_EQ(a.control, b.control);
    }
    EXPECT_EQ(back->marks[1]->fontSize, 31);
    EXPECT_EQ(back->marks[2]->stepNumber, 7);
    ASSERT_EQ(back->placed.size(), 1);
    EXPECT_EQ(back->placed.first().second, QRectF(160, 40, 60, 40));
    EXPECT_EQ(back->placed.first().first.pixelColor(3, 3), QColor(Qt::yellow));
    EXPECT_EQ(back->crop, scene.crop);

    // Written again under its id it replaces itself; removed, it is gone.
    EXPECT_EQ(store.write(scene, id), id);
    EXPECT_EQ(store.ids().size(), 1);
    store.remove(id);
    EXPECT_TRUE(store.ids().isEmpty());
    store.remove(QStringLiteral("../.."));
    EXPECT_TRUE(QDir(home.path()).exists());
}

TEST(RecoveryStore, DamagedOrForeignEntriesAreRefusedWithAReason)
{
    QTemporaryDir home;
    const RecoveryStore store(home.filePath(QStringLiteral("recovery")));
    const QString id = store.write(sample());
    ASSERT_FALSE(id.isEmpty());
    const QString json = home.filePath(QStringLiteral("recovery/%1/scene.json").arg(id));
    QFile file(json);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    auto rewrite = [&](const QByteArray &bytes) {
        QFile out(json);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    };
    QString error;

    rewrite("{\"marks\": [");
    EXPECT_FALSE(store.read(id, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("damaged"))) << qPrintable(error);

    object.insert(QStringLiteral("version"), EditorScene::version + 1);
    rewrite(QJsonDocument(object).toJson());
    EXPECT_FALSE(store.read(id, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("newer"))) << qPrintable(error);

    // Nonsense marks are dropped one by one; the rest of the work comes back.
    object.insert(QStringLiteral("version"), EditorScene::version);
    QJsonArray marks = object.value(QStringLiteral("marks")).toArray();
    marks.append(QJsonObject{{"kind", "teleporter"}, {"start", QJsonArray{1, 2}}});
    marks.append(QJsonObject{{"kind", "rect"}, {"start", QJsonArray{1e300, 2}},
                             {"end", QJsonArray{3, 4}}, {"color", "#ff0000"}, {"lineWidth", 5}});
    object.insert(QStringLiteral("marks"), marks);
    rewrite(QJsonDocument(object).toJson());
    const auto back = store.read(id, &error);
    ASSERT_TRUE(back) << qPrintable(error);
    EXPECT_EQ(back->marks.size(), 4);

    QFile::remove(home.filePath(QStringLiteral("recovery/%1/capture.png").arg(id)));
    EXPECT_FALSE(store.read(id, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing"))) << qPrintable(error);
}
