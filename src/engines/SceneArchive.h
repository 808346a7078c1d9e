#pragma once

#include "model/Annotation.h"

#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace vistrel {

// An editor's work as data: the capture, its marks, the pictures placed beside it and the
// crop, all in the capture's own coordinates (origin bottom-left, y up).
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
    static constexpr int version = 1;
    // What a scene from a file may hold; more is refused, not read.
    static constexpr int maxMarks = 10000;
    static constexpr int maxPoints = 1000000;
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
