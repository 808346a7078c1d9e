#pragma once

#include "model/Annotation.h"
#include "model/MarkRules.h"

#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QIODevice;

namespace vistrel {

// An editor's work as data: the capture, its marks, the pictures placed beside it and the
// crop, all in the capture's own coordinates (its top-left at the origin).
struct EditorScene
{
    QImage image;
    QList<AnnotationRef> marks;
    QList<std::pair<QImage, QRectF>> placed;
    std::optional<QRectF> crop;

    // The marks and frames as JSON; pictures are named by `pictureName(index)`, index 0 being
    // the capture and 1… the placed pictures.
    QJsonObject toJson() const;
    // Reads what `toJson` wrote; `pictures` are given in the same order. Unknown kinds and
    // malformed entries are skipped, never trusted.
    static std::optional<EditorScene> fromJson(const QJsonObject &json, QList<QImage> pictures,
                                               QString *error = nullptr);
    static QString pictureName(int index);
    // Scenes of earlier versions are converted as they are read; later ones are refused.
    static constexpr int version = 2;
    // What a scene from a file may hold, so that it opens in a moment and draws quickly at
    // any zoom; more is refused with a reason, not read. Each mark's own limits and costs are
    // in MarkRules.
    static constexpr int maxMarks = MarkRules::maxSceneMarks;
    static constexpr int maxPoints = MarkRules::maxScenePoints;    // of all freehand marks together
    static constexpr double maxDrawCost = MarkRules::maxSceneCost; // MarkRules::drawCost summed
    static constexpr int maxPlaced = 64;
    // Decoded pixels of every picture the scene shows, capture included.
    static constexpr qint64 maxPixels = 80'000'000;

    // The pictures a scene described by `json` shows, by index: the capture (0) and the
    // placed ones. Only these are read.
    static QList<int> picturesUsed(const QJsonObject &json);
    // Decodes the pictures of `json`, each opened by `open` (null when it cannot be, with the
    // reason in its error). Their sizes are read from their headers and checked against the
    // limits before any is decoded. The list is indexed as `pictureName`; pictures not used
    // stay null. Empty, with `error` set, when the capture cannot be read or the pictures
    // are too large together.
    using PictureOpener = std::function<std::unique_ptr<QIODevice>(int index, QString *error)>;
    static QList<QImage> readPictures(const QJsonObject &json, int count, const PictureOpener &open,
                                      QString *error);
};

// Unsaved editors kept on disk when the app quits, one folder each under the user's data
// folder (private to the user), until the next start offers them back.
class RecoveryStore
{
public:
    explicit RecoveryStore(QString folder = defaultFolder());
    static QString defaultFolder();

    // Writes (or replaces) an entry; returns its id, or empty with `error` set. Without
    // `pictures`, only pictures not written before are (the marks changed, not the pictures).
    QString write(const EditorScene &scene, QString id = {}, QString *error = nullptr,
                  bool pictures = true) const;
    // Entry ids, oldest first.
    QStringList ids() const;
    std::optional<EditorScene> read(const QString &id, QString *error = nullptr) const;
    void remove(const QString &id) const;
    // Moves an entry that cannot be read out of the offer, keeping its files; returns where.
    QString setAside(const QString &id) const;

private:
    QString m_folder;
};

} // namespace vistrel
