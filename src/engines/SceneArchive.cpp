#include "engines/SceneArchive.h"

#include "engines/PngEncoder.h"
#include "engines/Redaction.h"
#include "model/MarkRules.h"
#include "platform/PictureFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace vistrel {

namespace {

QJsonArray pointJson(QPointF p)
{
    return {p.x(), p.y()};
}

QJsonArray rectJson(const QRectF &r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

// Far enough for any mark beside the largest picture, near enough that the canvas holding it
// stays within what a widget may be at the largest zoom.
bool finite(double v)
{
    return std::isfinite(v) && std::abs(v) < 1e6;
}

std::optional<QPointF> pointFrom(const QJsonValue &v)
{
    const QJsonArray a = v.toArray();
    if (a.size() != 2 || !a[0].isDouble() || !a[1].isDouble())
        return std::nullopt;
    const QPointF p(a[0].toDouble(), a[1].toDouble());
    if (!finite(p.x()) || !finite(p.y()))
        return std::nullopt;
    return p;
}

std::optional<QRectF> rectFrom(const QJsonValue &v)
{
    const QJsonArray a = v.toArray();
    if (a.size() != 4)
        return std::nullopt;
    for (const QJsonValue &x : a)
        if (!x.isDouble() || !finite(x.toDouble()))
            return std::nullopt;
    const QRectF r(a[0].toDouble(), a[1].toDouble(), a[2].toDouble(), a[3].toDouble());
    if (r.width() < 0 || r.height() < 0)
        return std::nullopt;
    return r;
}

AnnotationRef markFrom(const QJsonObject &o)
{
    const std::optional<ToolKind> kind =
        toolKindFromName(o.value(QLatin1String("kind")).toString());
    const auto start = pointFrom(o.value(QLatin1String("start")));
    const auto end = pointFrom(o.value(QLatin1String("end")));
    const QColor color = QColor::fromString(o.value(QLatin1String("color")).toString());
    const double width = o.value(QLatin1String("lineWidth")).toDouble(-1);
    if (!kind || *kind == ToolKind::Select || !start || !end || !color.isValid() ||
        !finite(width) || width <= 0 || width > 1000)
        return {};
    AnnotationRef m = Annotation::make(*kind, *start, *end, color, width);
    m->text = o.value(QLatin1String("text")).toString();
    m->caption = o.value(QLatin1String("caption")).toString();
    m->fontSize = std::clamp(o.value(QLatin1String("fontSize")).toDouble(20), 1.0, 1000.0);
    m->stepNumber = std::max<qint64>(1, o.value(QLatin1String("step")).toInteger(1));
    for (const QJsonValue &v : o.value(QLatin1String("points")).toArray())
        if (const auto p = pointFrom(v))
            m->points.append(*p);
    if (const auto c = pointFrom(o.value(QLatin1String("control"))))
        m->control = c;
    return m;
}

// Version 1 counted y upward from the capture's bottom edge: turned over its height.
void fromVersion1(EditorScene &scene)
{
    const double h = scene.image.height();
    const auto point = [h](QPointF &p) { p.setY(h - p.y()); };
    const auto rect = [h](const QRectF &r) {
        return QRectF(r.x(), h - r.y() - r.height(), r.width(), r.height());
    };
    for (const AnnotationRef &m : scene.marks) {
        point(m->start);
        point(m->end);
        for (QPointF &p : m->points)
            point(p);
        if (m->control)
            point(*m->control);
    }
    for (auto &placed : scene.placed)
        placed.second = rect(placed.second);
    if (scene.crop)
        scene.crop = rect(*scene.crop);
}

} // namespace

QString EditorScene::pictureName(int index)
{
    return index == 0 ? QStringLiteral("capture.png") : QStringLiteral("placed-%1.png").arg(index);
}

QJsonObject EditorScene::toJson() const
{
    QJsonArray marksJson;
    for (const AnnotationRef &m : marks) {
        QJsonObject o{{QStringLiteral("kind"), toolKindName(m->kind)},
                      {QStringLiteral("start"), pointJson(m->start)},
                      {QStringLiteral("end"), pointJson(m->end)},
                      {QStringLiteral("color"), m->color.name(QColor::HexArgb)},
                      {QStringLiteral("lineWidth"), m->lineWidth}};
        if (!m->text.isEmpty())
            o.insert(QStringLiteral("text"), m->text);
        if (!m->caption.isEmpty())
            o.insert(QStringLiteral("caption"), m->caption);
        if (m->kind == ToolKind::Text)
            o.insert(QStringLiteral("fontSize"), m->fontSize);
        if (m->kind == ToolKind::Step)
            o.insert(QStringLiteral("step"), m->stepNumber);
        if (!m->points.isEmpty()) {
            QJsonArray points;
            for (const QPointF &p : m->points)
                points.append(pointJson(p));
            o.insert(QStringLiteral("points"), points);
        }
        if (m->control)
            o.insert(QStringLiteral("control"), pointJson(*m->control));
        marksJson.append(o);
    }
    QJsonArray placedJson;
    for (int i = 0; i < placed.size(); ++i)
        placedJson.append(QJsonObject{{QStringLiteral("picture"), pictureName(i + 1)},
                                      {QStringLiteral("frame"), rectJson(placed[i].second)}});
    QJsonObject json{{QStringLiteral("version"), version},
                     {QStringLiteral("capture"), pictureName(0)},
                     {QStringLiteral("marks"), marksJson},
                     {QStringLiteral("placed"), placedJson}};
    if (crop)
        json.insert(QStringLiteral("crop"), rectJson(*crop));
    return json;
}

QList<int> EditorScene::picturesUsed(const QJsonObject &json)
{
    QList<int> used{0};
    const QJsonArray placed = json.value(QLatin1String("placed")).toArray();
    for (int i = 0; i < std::min<qsizetype>(placed.size(), maxPlaced); ++i)
        if (rectFrom(placed[i].toObject().value(QLatin1String("frame"))))
            used.append(i + 1);
    return used;
}

QList<QImage> EditorScene::readPictures(const QJsonObject &json, int count,
                                        const PictureOpener &open, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return QList<QImage>();
    };
    const QList<int> used = picturesUsed(json);
    // Sized first, all of them: a file of small compressed pictures can declare gigabytes.
    qint64 pixels = 0;
    for (int index : used) {
        if (index >= count)
            continue;
        QString why;
        const std::unique_ptr<QIODevice> device = open(index, &why);
        if (!device) {
            if (index == 0)
                return fail(
                    QCoreApplication::translate("SceneArchive", "the capture cannot be read: %1")
                        .arg(why));
            continue;
        }
        const QSize size = QImageReader(device.get()).size();
        if (size.isValid() && !PictureLimits::fits(size))
            return fail(PictureLimits::refusal(size));
        if (size.isValid())
            pixels += qint64(size.width()) * size.height();
    }
    if (pixels > maxPixels)
        return fail(QCoreApplication::translate("SceneArchive",
                                                "its pictures are too large together (%1 million "
                                                "pixels; Vistrel opens up to %2 million)")
                        .arg(pixels / 1000000)
                        .arg(maxPixels / 1000000));
    QList<QImage> pictures(count);
    for (int index : used) {
        if (index >= count)
            continue;
        QString why;
        const std::unique_ptr<QIODevice> device = open(index, &why);
        PictureRead read = device ? decodePicture(device.get()) : PictureRead{QImage(), why};
        if (read.image.isNull() && index == 0)
            return fail(
                QCoreApplication::translate("SceneArchive", "the capture cannot be read: %1")
                    .arg(read.error));
        pictures[index] = std::move(read.image);
    }
    return pictures;
}

std::optional<EditorScene> EditorScene::fromJson(const QJsonObject &json, QList<QImage> pictures,
                                                 QString *error)
{
    auto fail = [&](const QString &why) -> std::optional<EditorScene> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const int madeBy = json.value(QLatin1String("version")).toInt();
    if (madeBy > version)
        return fail(
            QCoreApplication::translate("SceneArchive", "made by a newer version of Vistrel"));
    if (pictures.isEmpty() || pictures.first().isNull())
        return fail(QCoreApplication::translate("SceneArchive", "the capture is missing"));
    const QJsonArray marks = json.value(QLatin1String("marks")).toArray();
    if (marks.size() > maxMarks)
        return fail(QCoreApplication::translate("SceneArchive",
                                                "too many marks (%1; Vistrel opens up to %2)")
                        .arg(marks.size())
                        .arg(maxMarks));
    EditorScene scene;
    scene.image = pictures.first();
    qsizetype points = 0;
    double cost = 0;
    QHash<ToolKind, int> perKind;
    for (const QJsonValue &v : marks) {
        const QJsonObject o = v.toObject();
        const qsizetype own = o.value(QLatin1String("points")).toArray().size();
        if (own > MarkRules::maxPoints)
            return fail(QCoreApplication::translate(
                            "SceneArchive",
                            "a freehand mark has too many points (%1; Vistrel opens up to %2)")
                            .arg(own)
                            .arg(MarkRules::maxPoints));
        points += own;
        if (points > maxPoints)
            return fail(QCoreApplication::translate(
                            "SceneArchive", "too many points in its marks (Vistrel opens up to %1)")
                            .arg(maxPoints));
        AnnotationRef m = markFrom(o);
        if (!m)
            continue;
        const qsizetype chars = std::max(m->text.size(), m->caption.size());
        if (chars > MarkRules::maxChars)
            return fail(
                QCoreApplication::translate(
                    "SceneArchive", "a text is too long (%1 characters; Vistrel opens up to %2)")
                    .arg(chars)
                    .arg(MarkRules::maxChars));
        if (m->kind == ToolKind::Text) {
            qsizetype longest = 0;
            for (QStringView line : QStringView(m->text).split(QLatin1Char('\n')))
                longest = std::max(longest, line.size());
            if (double(longest) * m->fontSize > MarkRules::maxTextExtent)
                return fail(
                    QCoreApplication::translate(
                        "SceneArchive", "a text is too wide to show (%1 characters at %2 points)")
                        .arg(longest)
                        .arg(m->fontSize));
        }
        const MarkRules &rules = MarkRules::of(m->kind);
        if (++perKind[m->kind] > rules.maxInScene)
            return fail(
                QCoreApplication::translate(
                    "SceneArchive", "too many marks of one kind (%1 “%2”; Vistrel opens up to %3)")
                    .arg(perKind[m->kind])
                    .arg(QLatin1String(rules.name))
                    .arg(rules.maxInScene));
        cost += MarkRules::drawCost(*m);
        if (cost > maxDrawCost)
            return fail(QCoreApplication::translate("SceneArchive",
                                                    "its marks would take too long to draw"));
        scene.marks.append(m);
    }
    const QJsonArray placed = json.value(QLatin1String("placed")).toArray();
    for (int i = 0; i < std::min<qsizetype>(placed.size(), maxPlaced) && i + 1 < pictures.size();
         ++i) {
        const auto frame = rectFrom(placed[i].toObject().value(QLatin1String("frame")));
        if (frame && !pictures[i + 1].isNull())
            scene.placed.append({pictures[i + 1], *frame});
    }
    scene.crop = rectFrom(json.value(QLatin1String("crop")));
    if (madeBy < 2)
        fromVersion1(scene);
    return scene;
}

RecoveryStore::RecoveryStore(QString folder) : m_folder(std::move(folder)) {}

QString RecoveryStore::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/recovery");
}

QString RecoveryStore::write(const EditorScene &unconcealed, QString id, QString *error,
                             bool pictures) const
{
    const EditorScene scene = Redaction::destroyUnder(unconcealed);
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return QString();
    };
    if (id.isEmpty())
        id = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-")) +
             QUuid::createUuid().toString(QUuid::Id128).left(8);
    const QString dir = m_folder + QLatin1Char('/') + id;
    errno = 0;
    if (!QDir().mkpath(dir))
        return fail(QStringLiteral("cannot make %1: %2")
                        .arg(dir, errno ? QString::fromLocal8Bit(std::strerror(errno))
                                        : QStringLiteral("not a folder")));
    // Private: a capture can show anything that was on screen. A folder the user linked
    // elsewhere is left as they made it: its mode is the target's, which is theirs to set.
    for (const QString &folder : {m_folder, dir})
        if (!QFileInfo(folder).isSymLink())
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
    // The cause (a full disk, a read-only folder) is said, not only the file.
    QString cause;
    auto save = [&](const QString &name, auto &&writeTo) {
        QSaveFile file(dir + QLatin1Char('/') + name);
        if (file.open(QIODevice::WriteOnly)) {
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            if (writeTo(file) && file.commit())
                return true;
        }
        cause = file.errorString();
        return false;
    };
    auto png = [&](const QImage &image) {
        return [&image](QSaveFile &file) {
            QImageWriter writer(&file, "png");
            writer.setCompression(keptPngCompression);
            return writer.write(image);
        };
    };
    QList<const QImage *> images{&scene.image};
    for (const auto &placed : scene.placed)
        images.append(&placed.first);
    for (int i = 0; i < images.size(); ++i) {
        const QString name = EditorScene::pictureName(i);
        if (!pictures && QFileInfo::exists(dir + QLatin1Char('/') + name))
            continue;
        if (!save(name, png(*images[i])))
            return fail(QStringLiteral("cannot write %1 in %2: %3").arg(name, dir, cause));
    }
    // The description last: an entry without it is incomplete and never offered.
    const QByteArray json = QJsonDocument(scene.toJson()).toJson(QJsonDocument::Compact);
    if (!save(QStringLiteral("scene.json"),
              [&](QSaveFile &f) { return f.write(json) == json.size(); }))
        return fail(QStringLiteral("cannot write %1/scene.json: %2").arg(dir, cause));
    return id;
}

QStringList RecoveryStore::ids() const
{
    QStringList ids;
    const QDir dir(m_folder);
    for (const QString &entry : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (QFileInfo(dir.filePath(entry + QStringLiteral("/scene.json"))).isFile())
            ids.append(entry);
    return ids;
}

std::optional<EditorScene> RecoveryStore::read(const QString &id, QString *error) const
{
    const QString dir = m_folder + QLatin1Char('/') + id;
    const QString jsonPath = dir + QStringLiteral("/scene.json");
    const FileBytes file = readRegularFile(jsonPath, 64 * 1024 * 1024);
    if (!file.error.isEmpty()) {
        if (error)
            *error = QCoreApplication::translate("SceneArchive", "cannot read %1: %2")
                         .arg(jsonPath, file.error);
        return std::nullopt;
    }
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(file.bytes, &parse);
    if (!doc.isObject()) {
        if (error)
            *error = QCoreApplication::translate("SceneArchive", "%1 is damaged: %2")
                         .arg(jsonPath, parse.errorString());
        return std::nullopt;
    }
    const qsizetype placed = doc.object().value(QLatin1String("placed")).toArray().size();
    const QList<QImage> pictures = EditorScene::readPictures(
        doc.object(), int(std::min<qsizetype>(placed, EditorScene::maxPlaced) + 1),
        [&dir](int index, QString *why) -> std::unique_ptr<QIODevice> {
            auto file = std::make_unique<QFile>();
            if (!openRegularFile(dir + QLatin1Char('/') + EditorScene::pictureName(index), *file,
                                 why))
                return nullptr;
            return file;
        },
        error);
    if (pictures.isEmpty())
        return std::nullopt;
    return EditorScene::fromJson(doc.object(), pictures, error);
}

void RecoveryStore::remove(const QString &id) const
{
    if (id.isEmpty() || id.contains(QLatin1Char('/')) || id.startsWith(QLatin1Char('.')))
        return;
    QDir(m_folder + QLatin1Char('/') + id).removeRecursively();
}

QString RecoveryStore::setAside(const QString &id) const
{
    const QString from = m_folder + QLatin1Char('/') + id;
    const QString to = m_folder + QStringLiteral("/.unreadable-") + id;
    return QDir().rename(from, to) ? to : from;
}

} // namespace vistrel
