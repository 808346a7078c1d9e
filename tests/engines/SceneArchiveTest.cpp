#include "engines/SceneArchive.h"
#include "engines/CaptureHistory.h"
#include "engines/EditablePng.h"
#include "engines/ImageFiles.h"
#include "engines/Redaction.h"
#include "model/CanvasModel.h"
#include "model/MarkRules.h"
#include "platform/PictureFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <zlib.h>

#include "TestSupport.h"

#include <QElapsedTimer>

#include <cmath>

#include <sys/time.h>

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

// One mark of every kind there is, each with every field its kind can carry.
EditorScene everyKind()
{
    EditorScene scene;
    scene.image = filled({160, 90}, Qt::darkCyan);
    double at = 5;
    for (ToolKind kind : allToolKinds()) {
        if (!MarkRules::of(kind).makesMark)
            continue;
        auto m = Annotation::make(kind, {at, 10}, {at + 30, 60}, QColor(10, 200, 30, 180), 3.5);
        m->text = QStringLiteral("«%1» two\nlines").arg(toolKindName(kind));
        m->caption = QStringLiteral("caption of %1").arg(toolKindName(kind));
        m->fontSize = 27;
        m->stepNumber = 12;
        m->points = {{at, 10}, {at + 4, 30.25}, {at + 9, 12}};
        m->control = QPointF(at + 15, 70);
        scene.marks.append(m);
        at += 7;
    }
    scene.placed = {{filled({30, 20}, Qt::yellow), QRectF(170, 40, 60, 40)}};
    scene.crop = QRectF(-4, 2, 220, 80);
    return scene;
}

void expectSameWork(const EditorScene &a, const EditorScene &b)
{
    EXPECT_EQ(b.image.convertToFormat(QImage::Format_RGB32), a.image);
    ASSERT_EQ(a.marks.size(), b.marks.size());
    for (int i = 0; i < a.marks.size(); ++i) {
        const Annotation &x = *a.marks[i], &y = *b.marks[i];
        SCOPED_TRACE(qPrintable(toolKindName(x.kind)));
        EXPECT_EQ(x.kind, y.kind);
        EXPECT_EQ(x.start, y.start);
        EXPECT_EQ(x.end, y.end);
        EXPECT_EQ(x.color, y.color);
        EXPECT_EQ(x.lineWidth, y.lineWidth);
        EXPECT_EQ(x.text, y.text);
        EXPECT_EQ(x.caption, y.caption);
        EXPECT_EQ(x.points, y.points);
        EXPECT_EQ(x.control, y.control);
        if (x.kind == ToolKind::Text) {
            EXPECT_EQ(x.fontSize, y.fontSize);
        }
        if (x.kind == ToolKind::Step) {
            EXPECT_EQ(x.stepNumber, y.stepNumber);
        }
    }
    ASSERT_EQ(a.placed.size(), b.placed.size());
    EXPECT_EQ(b.placed.first().second, a.placed.first().second);
    EXPECT_EQ(b.placed.first().first.pixelColor(3, 3), QColor(Qt::yellow));
    EXPECT_EQ(a.crop, b.crop);
}

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return bytes;
}

void putU32(QByteArray &out, quint32 v)
{
    char be[4];
    qToBigEndian(v, be);
    out.append(be, 4);
}

// The payload the way the writer lays it out, with a JSON and pictures of the test's choice.
QByteArray payload(const QByteArray &json, const QList<QByteArray> &pictures, quint32 version = 1)
{
    QByteArray out("VSCN");
    putU32(out, version);
    putU32(out, quint32(json.size()));
    out.append(json);
    putU32(out, quint32(pictures.size()));
    for (const QByteArray &p : pictures) {
        putU32(out, quint32(p.size()));
        out.append(p);
    }
    return out;
}

// A small PNG whose header declares another size (its CRC made right again).
QByteArray declaring(QSize size)
{
    QByteArray bytes = png(filled({4, 4}, Qt::red));
    qToBigEndian(quint32(size.width()), bytes.data() + 16);
    qToBigEndian(quint32(size.height()), bytes.data() + 20);
    const quint32 crc =
        quint32(crc32(0, reinterpret_cast<const Bytef *>(bytes.constData() + 12), 17));
    qToBigEndian(crc, bytes.data() + 29);
    return bytes;
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
    EXPECT_EQ(
        QFileInfo(home.filePath(QStringLiteral("recovery/%1/scene.json").arg(id))).permissions() &
            0x0077,
        QFileDevice::Permissions());

    const std::optional<EditorScene> back = store.read(id, &error);
    ASSERT_TRUE(back) << qPrintable(error);
    expectSameWork(scene, *back);

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
    marks.append(QJsonObject{{"kind", "rect"},
                             {"start", QJsonArray{1e300, 2}},
                             {"end", QJsonArray{3, 4}},
                             {"color", "#ff0000"},
                             {"lineWidth", 5}});
    object.insert(QStringLiteral("marks"), marks);
    rewrite(QJsonDocument(object).toJson());
    const auto back = store.read(id, &error);
    ASSERT_TRUE(back) << qPrintable(error);
    EXPECT_EQ(back->marks.size(), 4);

    QFile::remove(home.filePath(QStringLiteral("recovery/%1/capture.png").arg(id)));
    EXPECT_FALSE(store.read(id, &error));
    // The reason itself, not a guess.
    EXPECT_TRUE(error.contains(QStringLiteral("No such file"))) << qPrintable(error);
}

TEST(EditablePng, EveryKindOfMarkComesBackEditableAndViewersSeeTheFlatPicture)
{
    const EditorScene scene = everyKind();
    const QImage flat = filled({220, 80}, Qt::magenta);
    const QByteArray file = EditablePng::withChunk(png(flat), EditablePng::sceneChunk(scene));
    ASSERT_FALSE(file.isEmpty());

    // What any viewer shows: the flattened picture.
    QByteArray copy = file;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const PictureRead shown = decodePicture(&buffer);
    ASSERT_TRUE(shown.error.isEmpty()) << qPrintable(shown.error);
    EXPECT_EQ(shown.image.convertToFormat(QImage::Format_RGB32), flat);

    const EditablePng::Read back = EditablePng::readBytes(file);
    ASSERT_TRUE(back.scene) << qPrintable(back.problem);
    // Every mark as it was; under the redaction, only its fill.
    expectSameWork(Redaction::destroyUnder(scene), *back.scene);

    // A plain PNG carries nothing, and says nothing.
    const EditablePng::Read plain = EditablePng::readBytes(png(flat));
    EXPECT_FALSE(plain.scene);
    EXPECT_TRUE(plain.problem.isEmpty());

    // Saved by path: the PNG carries the work, a JPEG of the same never does.
    const auto shared = std::make_shared<const EditorScene>(scene);
    EXPECT_TRUE(EditablePng::readBytes(ImageFiles::encodeForPath(flat, "x.png", shared)).scene);
#ifndef __SANITIZE_ADDRESS__
    // (Not in the sanitizer build: its leak checker crashes at exit on the thread-local storage
    // of the JPEG plugin the toolkit loads at run time.)
    EXPECT_FALSE(EditablePng::readBytes(ImageFiles::encodeForPath(flat, "x.jpg", shared)).scene);
#endif
}

TEST(EditablePng, DamagedOrHostileChunksOpenThePlainPictureWithAReason)
{
    const EditorScene scene = everyKind();
    const QByteArray flat = png(filled({40, 30}, Qt::magenta));
    const QByteArray good = EditablePng::withChunk(flat, EditablePng::sceneChunk(scene));
    const QByteArray json = QJsonDocument(scene.toJson()).toJson(QJsonDocument::Compact);
    const QByteArray capture = png(scene.image);
    auto problemOf = [&](const QByteArray &file) {
        const EditablePng::Read read = EditablePng::readBytes(file);
        EXPECT_FALSE(read.scene);
        // Whatever is wrong with the marks, the picture itself still opens.
        QByteArray copy = file;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        EXPECT_FALSE(decodePicture(&buffer).image.isNull());
        return read.problem;
    };

    // Truncated inside the chunk: not trusted. A flipped byte: the CRC says so.
    EXPECT_TRUE(EditablePng::readBytes(good.left(flat.size() + 200)).problem.contains("damaged"));
    QByteArray flipped = good;
    flipped[flat.size() + 40] = char(flipped[flat.size() + 40] ^ 0x20);
    EXPECT_TRUE(problemOf(flipped).contains("damaged"));

    // Wrong sizes inside the payload: a JSON longer than what follows, no pictures at all.
    QByteArray lying("VSCN");
    putU32(lying, 1);
    putU32(lying, 1u << 20);
    lying.append(json);
    EXPECT_TRUE(problemOf(EditablePng::withChunk(flat, lying)).contains("damaged"));
    EXPECT_TRUE(problemOf(EditablePng::withChunk(flat, payload(json, {}))).contains("damaged"));

    // A newer writer, a picture declared 20000 × 20000, 100 000 marks.
    EXPECT_TRUE(
        problemOf(EditablePng::withChunk(flat, payload(json, {capture}, 2))).contains("newer"));
    EXPECT_TRUE(problemOf(EditablePng::withChunk(flat, payload(json, {declaring({20000, 20000})})))
                    .contains("too large"));
    QJsonObject many = scene.toJson();
    QJsonArray marks;
    const QJsonObject one{{"kind", "rect"},
                          {"start", QJsonArray{1, 2}},
                          {"end", QJsonArray{3, 4}},
                          {"color", "#ff0000"},
                          {"lineWidth", 2}};
    for (int i = 0; i < 100000; ++i)
        marks.append(one);
    many.insert("marks", marks);
    const QByteArray manyJson = QJsonDocument(many).toJson(QJsonDocument::Compact);
    EXPECT_TRUE(problemOf(EditablePng::withChunk(flat, payload(manyJson, {capture})))
                    .contains("too many marks"));

    // A chunk that declares more than may be read is refused before it is read.
    QByteArray huge = flat.left(flat.size() - 12);
    putU32(huge, quint32(EditablePng::maxChunkBytes + 1));
    huge.append("viSC");
    huge.append(flat.right(12));
    EXPECT_TRUE(EditablePng::readBytes(huge).problem.contains("too large"));
}

// A screen as captures show it: a dark terminal of fixed-width text beside a light page of
// proportional text, a coloured bar and a photo-like gradient.
QImage screenLike()
{
    QImage image(1280, 900, QImage::Format_RGB32);
    image.fill(QColor(24, 24, 28));
    QPainter p(&image);
    p.fillRect(700, 0, 580, 900, QColor(250, 250, 250));
    p.fillRect(700, 0, 580, 40, QColor(53, 132, 228));
    QLinearGradient sky(0, 700, 0, 860);
    sky.setColorAt(0, QColor(90, 140, 200));
    sky.setColorAt(1, QColor(230, 180, 120));
    p.fillRect(740, 700, 500, 160, sky);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(14);
    QFont sans(QStringLiteral("DejaVu Sans"));
    sans.setPixelSize(15);
    QRandomGenerator words(7);
    const QStringList vocabulary{
        "drwxr-xr-x", "jane",     "users",  "4096",    "Dec",       "build", "src",
        "README.md",  "main.cpp", "error:", "warning", "the",       "of",    "capture",
        "history",    "0x7f3a",   "ok",     "42",      "-rw-r--r--"};
    auto line = [&](int n) {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << vocabulary[int(words.bounded(vocabulary.size()))];
        return out.join(' ');
    };
    p.setPen(QColor(210, 210, 210));
    p.setFont(mono);
    for (int y = 20; y < 890; y += 17)
        p.drawText(8, y, line(8));
    p.setPen(QColor(30, 30, 30));
    p.setFont(sans);
    for (int y = 70; y < 680; y += 22)
        p.drawText(720, y, line(7));
    p.end();
    return image;
}

TEST(CaptureHistory, PicturesKeptAndEditablePngsAreCompressed)
{
    const QImage screen = screenLike();
    QByteArray best;
    QBuffer buffer(&best);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setCompression(100); // zlib's best
    ASSERT_TRUE(writer.write(screen));

    EditorScene scene;
    scene.image = screen;
    scene.marks = {
        Annotation::make(ToolKind::Redact, {100, 100}, {300, 120}, Annotation::redactionColor(), 1),
        Annotation::make(ToolKind::Arrow, {400, 400}, {600, 500}, Qt::red, 4)};
    QTemporaryDir home;
    const CaptureHistory history(home.filePath("history"));
    const QString id = CaptureHistory::newId(QDateTime::currentDateTimeUtc());
    ASSERT_TRUE(history.write(id, scene, false, true));
    const qint64 kept =
        QFileInfo(home.filePath("history/" + id + '/' + EditorScene::pictureName(0))).size();
    EXPECT_GT(kept, 0);
    EXPECT_LE(kept, best.size() * 3 / 2) << kept << " against " << best.size();

    // An editable PNG holds the flat picture and the original: each compressed.
    const QByteArray plain = ImageFiles::encodeForPath(screen, "a.png");
    const QByteArray editable =
        ImageFiles::encodeForPath(screen, "a.png", std::make_shared<const EditorScene>(scene));
    ASSERT_FALSE(editable.isEmpty());
    EXPECT_LE(plain.size(), best.size() * 3 / 2);
    EXPECT_LE(editable.size() - plain.size(), best.size() * 3 / 2)
        << editable.size() << " against " << best.size();
}

TEST(CaptureHistory, EntriesArePrivateNewestFirstAndTheOldestGoFirst)
{
    QTemporaryDir home;
    const CaptureHistory history(home.filePath("history"));
    const QDateTime t0 = QDateTime::currentDateTimeUtc().addDays(-1);
    QStringList ids;
    for (int i = 0; i < 5; ++i) {
        EditorScene scene;
        scene.image = filled({200 + i, 100}, QColor(i * 40, 0, 0));
        ids.append(CaptureHistory::newId(t0.addSecs(i)));
        ASSERT_TRUE(history.write(ids.last(), scene, i == 0, true));
    }
    QList<HistoryEntry> entries = history.entries();
    ASSERT_EQ(entries.size(), 5);
    EXPECT_EQ(entries.first().id, ids.last());
    EXPECT_EQ(entries.first().time.toSecsSinceEpoch(), t0.addSecs(4).toSecsSinceEpoch());
    EXPECT_TRUE(QFileInfo(entries.first().thumbnail).isFile());
    EXPECT_LE(QImage(entries.first().thumbnail).width(), CaptureHistory::thumbnailSide);
    EXPECT_EQ(QFileInfo(home.filePath("history")).permissions() & 0x0077,
              QFileDevice::Permissions());
    for (const QFileInfo &f : QDir(home.filePath("history/" + ids[2])).entryInfoList(QDir::Files))
        EXPECT_EQ(f.permissions() & 0x0077, QFileDevice::Permissions()) << qPrintable(f.fileName());
    EXPECT_EQ(history.unsavedIds(), QStringList{ids[0]});

    // Two at most: the oldest saved ones go; unsaved work and open entries stay (and count).
    EXPECT_EQ(history.prune({2, 1ll << 40}, {ids[1]}), QStringList{ids[2]});
    entries = history.entries();
    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(entries.last().id, ids[0]);

    // By size: only what fits, newest first.
    const qint64 oneEntry = [&] {
        qint64 bytes = 0;
        for (const QFileInfo &f :
             QDir(home.filePath("history/" + ids[4])).entryInfoList(QDir::Files))
            bytes += f.size();
        return bytes;
    }();
    history.prune({100, oneEntry + 10});
    QStringList left;
    for (const HistoryEntry &e : history.entries())
        left.append(e.id);
    EXPECT_EQ(left, (QStringList{ids[4], ids[0]}));

    // A hostile entry is refused with a reason, and removing never leaves the folder.
    QFile json(home.filePath("history/" + ids[4] + "/scene.json"));
    ASSERT_TRUE(json.open(QIODevice::WriteOnly | QIODevice::Truncate));
    json.write("{\"version\": 1, \"marks\": 7, \"placed\": [{\"frame\": [0, 0, -5, 1e300]}]}");
    json.close();
    QString error;
    const auto odd = history.read(ids[4], &error);
    ASSERT_TRUE(odd) << "nonsense fields are dropped, the picture stays";
    EXPECT_TRUE(odd->marks.isEmpty());
    EXPECT_TRUE(odd->placed.isEmpty());
    history.remove("../..");
    history.remove(".");
    EXPECT_TRUE(QDir(home.path()).exists());
    EXPECT_EQ(history.entries().size(), 2);
}

TEST(HistoryRecorder, WritesTheLatestStateOffTheCallerAndRewritesPicturesOnlyWhenTheyChange)
{
    QTemporaryDir home;
    HistoryRecorder recorder(CaptureHistory(home.filePath("history")));
    EditorScene scene;
    scene.image = filled({300, 200}, Qt::darkGreen);
    const QString id = CaptureHistory::newId();
    for (int i = 1; i <= 3; ++i) {
        scene.marks.append(Annotation::make(ToolKind::Rect, {1.0 * i, 1}, {20, 20}, Qt::red, 3));
        recorder.record(id, scene, true);
    }
    EXPECT_FALSE(recorder.history().contains(id)) << "nothing is written at once";
    recorder.flush();
    auto back = recorder.history().read(id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->marks.size(), 3);
    EXPECT_EQ(recorder.history().unsavedIds(), QStringList{id});

    // The marks change, the picture does not: the picture file is left as it was.
    const QString capture = home.filePath("history/" + id + "/" + EditorScene::pictureName(0));
    QFile::remove(capture);
    QImage(8, 8, QImage::Format_RGB32).save(capture);
    scene.marks.removeLast();
    recorder.record(id, scene, false);
    recorder.flush();
    back = recorder.history().read(id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->marks.size(), 2);
    EXPECT_EQ(back->image.width(), 8);
    EXPECT_TRUE(recorder.history().unsavedIds().isEmpty());

    recorder.remove(id);
    recorder.flush();
    EXPECT_TRUE(recorder.history().entries().isEmpty());
}

TEST(CaptureHistory, AFifoInAnEntryIsRefusedAtOnceWithTheReason)
{
    QTemporaryDir home;
    const CaptureHistory history(home.filePath(QStringLiteral("history")));
    const QString id = CaptureHistory::newId();
    ASSERT_TRUE(history.write(id, sample(), true, true));
    for (const QString &name : {QStringLiteral("scene.json"), QStringLiteral("capture.png")}) {
        SCOPED_TRACE(qPrintable(name));
        ASSERT_TRUE(history.write(id, sample(), true, true));
        const QString fifo =
            test::fifoInPlaceOf(home.filePath(QStringLiteral("history/%1/%2").arg(id, name)));
        QElapsedTimer clock;
        clock.start();
        QString error;
        {
            test::FifoRelease release(fifo, 3000);
            EXPECT_FALSE(history.read(id, &error));
        }
        EXPECT_LT(clock.elapsed(), 2000) << "waited on the FIFO";
        EXPECT_TRUE(error.contains(QStringLiteral("not a regular file"))) << qPrintable(error);
        QFile::remove(fifo);
    }
    // A picture file readable by nobody: the reason, not "missing".
    ASSERT_TRUE(history.write(id, sample(), true, true));
    const QString capture = home.filePath(QStringLiteral("history/%1/capture.png").arg(id));
    QFile::setPermissions(capture, {});
    QString error;
    if (!QFile(capture).open(QIODevice::ReadOnly)) { // root reads anything
        EXPECT_FALSE(history.read(id, &error));
        EXPECT_TRUE(error.contains(QStringLiteral("Permission denied"))) << qPrintable(error);
    }
}

TEST(EditablePng, PicturesAreSizedBeforeDecodingAndOnlyThoseShownAreRead)
{
    EditorScene scene = sample();
    const QByteArray flat = png(filled({40, 30}, Qt::magenta));
    const QByteArray capture = png(scene.image);
    const QByteArray placed = png(scene.placed.first().first);
    // Pictures that decode to 256 MB each from a few hundred bytes, none of them shown: the
    // scene opens without touching them.
    QJsonObject json = scene.toJson();
    json.insert("placed", QJsonArray{});
    QList<QByteArray> bombs{capture};
    for (int i = 0; i < 8; ++i)
        bombs.append(declaring({16384, 4096}));
    const QByteArray unused = EditablePng::withChunk(
        flat, payload(QJsonDocument(json).toJson(QJsonDocument::Compact), bombs));
    const EditablePng::Read read = EditablePng::readBytes(unused);
    ASSERT_TRUE(read.scene) << qPrintable(read.problem);
    EXPECT_TRUE(read.scene->placed.isEmpty());

    // Shown, each within the limit for one picture but too many together: refused from their
    // headers, with the sizes named.
    QJsonArray frames;
    for (int i = 0; i < 8; ++i)
        frames.append(QJsonObject{{"picture", EditorScene::pictureName(i + 1)},
                                  {"frame", QJsonArray{0, 0, 10, 10}}});
    json.insert("placed", frames);
    const QByteArray shown = EditablePng::withChunk(
        flat, payload(QJsonDocument(json).toJson(QJsonDocument::Compact), bombs));
    const EditablePng::Read refused = EditablePng::readBytes(shown);
    EXPECT_FALSE(refused.scene);
    EXPECT_TRUE(refused.problem.contains("too large together")) << qPrintable(refused.problem);

    // A good placed picture beside unused ones still comes back.
    json.insert("placed", QJsonArray{QJsonObject{{"picture", EditorScene::pictureName(1)},
                                                 {"frame", QJsonArray{1, 2, 30, 20}}}});
    const EditablePng::Read one = EditablePng::readBytes(
        EditablePng::withChunk(flat, payload(QJsonDocument(json).toJson(QJsonDocument::Compact),
                                             {capture, placed, bombs[1]})));
    ASSERT_TRUE(one.scene) << qPrintable(one.problem);
    ASSERT_EQ(one.scene->placed.size(), 1);
    EXPECT_EQ(one.scene->placed.first().first.pixelColor(3, 3), QColor(Qt::yellow));
}

TEST(EditablePng, ScenesThatWouldTakeTooLongToDrawAreRefusedWithAReason)
{
    const EditorScene base = sample();
    const QByteArray flat = png(filled({40, 30}, Qt::magenta));
    const QByteArray capture = png(base.image);
    auto problemWith = [&](const QList<AnnotationRef> &marks) {
        EditorScene scene = base;
        scene.marks = marks;
        scene.placed.clear();
        const QByteArray json = QJsonDocument(scene.toJson()).toJson(QJsonDocument::Compact);
        const EditablePng::Read read =
            EditablePng::readBytes(EditablePng::withChunk(flat, payload(json, {capture})));
        EXPECT_FALSE(read.scene);
        return read.problem;
    };
    auto zigzag = [](int points, double height) {
        auto pen = Annotation::make(ToolKind::Pen, {0, 0}, {0, 0}, Qt::red, 4);
        for (int i = 0; i < points; ++i)
            pen->points.append(QPointF(10 + i % 1000, 10 + (i % 2) * height));
        return pen;
    };
    auto text = [](int length, double size) {
        auto t = Annotation::make(ToolKind::Text, {5, 5}, {5, 5}, Qt::blue, 3);
        t->text = QString(length, QLatin1Char('w'));
        t->fontSize = size;
        return t;
    };

    // One stroke of 100 000 points; 14 texts of a million characters; one long line at 1000 pt.
    EXPECT_TRUE(problemWith({zigzag(100000, 5)}).contains("too many points"));
    QList<AnnotationRef> texts;
    for (int i = 0; i < 14; ++i)
        texts.append(text(1000000, 20));
    EXPECT_TRUE(problemWith(texts).contains("too long"));
    EXPECT_TRUE(problemWith({text(5000, 1000)}).contains("too wide"));
    // Strokes each within the limit that cross the picture thousands of times.
    QList<AnnotationRef> tall;
    for (int i = 0; i < 10; ++i)
        tall.append(zigzag(MarkRules::maxPoints, 1000));
    EXPECT_TRUE(problemWith(tall).contains("too long to draw"));
    // Thousands of blur marks, each building its part of the pixelated picture.
    QList<AnnotationRef> blurs;
    for (int i = 0; i < 10000; ++i)
        blurs.append(Annotation::make(ToolKind::Blur, {1, 1}, {9, 9}, Qt::black, 2));
    EXPECT_TRUE(problemWith(blurs).contains("too many marks of one kind"));

    // What people draw opens: a hundred strokes of 300 points and a page of text.
    QList<AnnotationRef> usual;
    for (int i = 0; i < 100; ++i) {
        auto pen = Annotation::make(ToolKind::Pen, {0, 0}, {0, 0}, Qt::red, 6);
        for (int k = 0; k < 300; ++k)
            pen->points.append(QPointF(i + k * 0.7, 20 + 8 * std::sin(k / 9.0)));
        usual.append(pen);
    }
    usual.append(text(3000, 24));
    EditorScene scene = base;
    scene.marks = usual;
    scene.placed.clear();
    const EditablePng::Read fine =
        EditablePng::readBytes(EditablePng::withChunk(flat, EditablePng::sceneChunk(scene)));
    ASSERT_TRUE(fine.scene) << qPrintable(fine.problem);
    EXPECT_EQ(fine.scene->marks.size(), usual.size());
}

TEST(CaptureHistory, ALinkedFolderKeepsItsModeAndPruningFindsLeftoversAndUnsavedFloods)
{
    QTemporaryDir home;
    // The user's history lives elsewhere, behind a link: its mode is theirs.
    const QString target = home.filePath("shared");
    ASSERT_TRUE(QDir().mkpath(target));
    QFile::setPermissions(target, QFileDevice::Permissions(0x7755));
    ASSERT_TRUE(QFile::link(target, home.filePath("history")));
    const CaptureHistory history(home.filePath("history"));
    EditorScene scene;
    scene.image = filled({2, 2}, Qt::red);
    QStringList ids;
    const QDateTime t0 = QDateTime::currentDateTimeUtc().addDays(-1);
    for (int i = 0; i < CaptureHistory::maxUnsavedKept + 2; ++i) {
        ids.append(CaptureHistory::newId(t0.addSecs(i)));
        ASSERT_TRUE(history.write(ids.last(), scene, true, true));
    }
    EXPECT_EQ(QFileInfo(target).permissions(), QFileDevice::Permissions(0x7755));

    // A write that failed half-way left a folder without its description; one being written
    // now is left alone.
    const QString leftover = CaptureHistory::newId(t0.addSecs(-5));
    const QString fresh = CaptureHistory::newId();
    ASSERT_TRUE(QDir().mkpath(home.filePath("history/" + leftover)));
    ASSERT_TRUE(QDir().mkpath(home.filePath("history/" + fresh)));
    const timeval old[2] = {{t0.toSecsSinceEpoch(), 0}, {t0.toSecsSinceEpoch(), 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(home.filePath("history/" + leftover)).constData(), old),
              0);

    // Unsaved entries outlast the limits, but only the newest so many of them.
    const QStringList dropped = history.prune({1, 1ll << 40});
    EXPECT_EQ(dropped, (QStringList{leftover, ids[1], ids[0]}));
    EXPECT_FALSE(QFileInfo::exists(home.filePath("history/" + leftover)));
    EXPECT_TRUE(QFileInfo::exists(home.filePath("history/" + fresh)));
    EXPECT_EQ(history.unsavedIds().size(), CaptureHistory::maxUnsavedKept);
}

namespace {

// The export of a scene as the editor makes it.
QImage flattened(const EditorScene &scene)
{
    CanvasModel model(scene.image, scene.marks);
    for (const auto &[picture, frame] : scene.placed)
        model.placeImage(picture, frame);
    model.setCrop(scene.crop);
    return model.renderComposite(true).convertToFormat(QImage::Format_RGB32);
}

// Pixels whose channels differ by more than `tolerance`. Antialiasing rounds an edge pixel of
// a stroke or two either way as rows are laid out; a mark out of place differs in hundreds.
int differing(const QImage &a, const QImage &b, int tolerance = 8)
{
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > tolerance ||
                std::abs(qGreen(p) - qGreen(q)) > tolerance ||
                std::abs(qBlue(p) - qBlue(q)) > tolerance)
                ++n;
        }
    return n;
}

void expectFirstVersionGeometry(const EditorScene &scene)
{
    // A 160 × 100 capture with a mark of each kind; where each lies, its top-left the origin.
    ASSERT_EQ(scene.image.size(), QSize(160, 100));
    ASSERT_EQ(scene.marks.size(), 9);
    auto of = [&](ToolKind kind) {
        for (const AnnotationRef &m : scene.marks)
            if (m->kind == kind)
                return m;
        return AnnotationRef();
    };
    EXPECT_EQ(of(ToolKind::Rect)->boundingRect(), QRectF(8, 58, 56, 34));
    EXPECT_EQ(of(ToolKind::Arrow)->start, QPointF(15, 15));
    EXPECT_EQ(of(ToolKind::Arrow)->end, QPointF(70, 60));
    EXPECT_EQ(of(ToolKind::Arrow)->control, QPointF(30, 50));
    EXPECT_EQ(of(ToolKind::Text)->start, QPointF(90, 4)); // the top-left of its words
    EXPECT_EQ(of(ToolKind::Step)->start, QPointF(130, 75));
    EXPECT_EQ(of(ToolKind::Pen)->points,
              (QList<QPointF>{{100, 90}, {115, 75}, {130, 88}, {150, 70}}));
    // Over "secret 42", drawn at rows 30…50.
    EXPECT_EQ(of(ToolKind::Redact)->boundingRect(), QRectF(68, 28, 57, 20));
    EXPECT_EQ(of(ToolKind::Blur)->boundingRect(), QRectF(5, 5, 35, 35));
    ASSERT_EQ(scene.placed.size(), 1);
    EXPECT_EQ(scene.placed[0].second, QRectF(180, 10, 40, 30));
}

} // namespace

TEST(EarlierVersions, EditablePngsShowTheirMarksWhereTheyWere)
{
    const QString data = QString::fromUtf8(VISTREL_ENGINES_DATA);
    for (const QString &name :
         {QStringLiteral("old-editable.png"), QStringLiteral("old-editable-uncropped.png")}) {
        const QString path = data + QLatin1Char('/') + name;
        const EditablePng::Read read = EditablePng::readFile(path);
        ASSERT_TRUE(read.scene) << read.problem.toStdString();
        expectFirstVersionGeometry(*read.scene);
        // Drawn today, the scene is the picture every viewer showed of it then.
        const QImage then = QImage(path).convertToFormat(QImage::Format_RGB32);
        const QImage now = flattened(*read.scene);
        ASSERT_EQ(now.size(), then.size()) << name.toStdString();
        EXPECT_LE(differing(now, then), 4) << name.toStdString();
    }
    const EditablePng::Read cropped = EditablePng::readFile(data + "/old-editable.png");
    ASSERT_TRUE(cropped.scene);
    EXPECT_EQ(cropped.scene->crop, QRectF(-6, -6, 240, 110));
}

TEST(EarlierVersions, HistoryEntriesAndKeptWorkOpenWhereTheyWereAndAreWrittenAnew)
{
    // Entries are read from a copy: reading must not depend on being able to write there.
    QTemporaryDir dir;
    const QString id = QStringLiteral("20261201-101500-abc123");
    const QString from = QString::fromUtf8(VISTREL_ENGINES_DATA "/old-history/") + id;
    QDir().mkpath(dir.filePath(id));
    for (const QString &file : QDir(from).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(from + QLatin1Char('/') + file, dir.filePath(id + '/' + file)));
    const CaptureHistory history(dir.path());
    QString error;
    const auto scene = history.read(id, &error);
    ASSERT_TRUE(scene) << error.toStdString();
    expectFirstVersionGeometry(*scene);
    EXPECT_EQ(scene->crop, QRectF(-6, -6, 240, 110));
    const QImage then = QImage(QString::fromUtf8(VISTREL_ENGINES_DATA "/old-editable.png"))
                            .convertToFormat(QImage::Format_RGB32);
    EXPECT_LE(differing(flattened(*scene), then), 4);

    // Written again, it is in today's terms and reads back unchanged.
    const RecoveryStore store(dir.filePath(QStringLiteral("kept")));
    const QString kept = store.write(*scene);
    ASSERT_FALSE(kept.isEmpty());
    QFile json(dir.filePath(QStringLiteral("kept/%1/scene.json").arg(kept)));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(json.readAll()).object().value("version").toInt(),
              EditorScene::version);
    const auto again = store.read(kept);
    ASSERT_TRUE(again);
    expectFirstVersionGeometry(*again);
    EXPECT_LE(differing(flattened(*again), then), 4);
}

TEST(EarlierVersions, TheFuzzersSeedsStillOpen)
{
    // Seeds the fuzzers start from are worth little once they are refused at the first check.
    const QString seeds = QString::fromUtf8(VISTREL_FUZZ_SEEDS);
    QImage capture(160, 120, QImage::Format_RGB32);
    capture.fill(Qt::darkCyan);
    for (const QString &name : QDir(seeds + "/scene").entryList(QDir::Files)) {
        QFile file(seeds + "/scene/" + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QString error;
        const auto scene = EditorScene::fromJson(QJsonDocument::fromJson(file.readAll()).object(),
                                                 {capture, capture}, &error);
        ASSERT_TRUE(scene) << name.toStdString() << ": " << error.toStdString();
        EXPECT_FALSE(scene->marks.isEmpty()) << name.toStdString();
    }
    const EditablePng::Read read = EditablePng::readFile(seeds + "/editable_png/every-kind.png");
    ASSERT_TRUE(read.scene) << read.problem.toStdString();
    EXPECT_FALSE(read.scene->marks.isEmpty());
}
