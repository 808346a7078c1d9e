#pragma once

#include "engines/SceneArchive.h"

#include <QByteArray>
#include <QString>

#include <optional>

class QIODevice;

namespace vistrel {

// A PNG that every viewer shows with the marks drawn in, and that also carries the editor's
// work (the original pictures and the marks) in a private chunk, so Vistrel reopens it
// editable. The chunk is ancillary and not safe to copy: an editor that changes the picture
// drops it rather than keep marks for a picture it no longer shows.
class EditablePng
{
public:
    static constexpr char chunkType[5] = "viSC";
    // What a chunk may hold before it is refused unread.
    static constexpr qint64 maxChunkBytes = 512ll * 1024 * 1024;
    static constexpr qint64 maxJsonBytes = 16ll * 1024 * 1024;

    // The chunk's body for `scene`; empty when a picture cannot be encoded.
    static QByteArray sceneChunk(const EditorScene &scene);
    // `png` with the chunk put before its end; empty when `png` is not a PNG.
    static QByteArray withChunk(const QByteArray &png, const QByteArray &chunk);

    // What a PNG's private chunk holds: nothing at all (no chunk, not a PNG), the scene, or
    // why the chunk cannot be used (damaged, too large, from a newer version).
    struct Read
    {
        std::optional<EditorScene> scene;
        QString problem;
    };
    static Read read(QIODevice *device);
    static Read readFile(const QString &path);
    static Read readBytes(const QByteArray &bytes);
};

} // namespace vistrel
