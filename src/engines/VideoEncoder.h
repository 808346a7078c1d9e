#pragma once

#include "engines/RecordingWriter.h"

#include <QStringList>

namespace vistrel {

// WebM (VP9 in real-time mode, else VP8) or MP4 (H.264) through FFmpeg's libraries. `codecs`
// names the FFmpeg encoders to try, in order, instead of the format's own ("libvpx-vp9",
// "libvpx"; "libx264").
std::unique_ptr<FrameEncoder> createVideoEncoder(RecordingFormat format,
                                                 const QStringList &codecs = {});

// The encoders a format tries, in order.
QStringList videoCodecsFor(RecordingFormat format);

// The message for a write to `path` that failed with `errnoValue`: a full disk is named as
// such, anything else as "Cannot write PATH: reason".
QString writeErrorText(const QString &path, int errnoValue);

// Moves the finished file beside `path` over it; empty when done, else why not.
QString moveIntoPlace(const QString &tempPath, const QString &path);

// Keeps FFmpeg's libraries to their errors in the log (VISTREL_FFMPEG_LOG set: everything).
void quietFfmpeg();

// A hidden file beside `path` to write into first.
QString temporaryPathFor(const QString &path);

} // namespace vistrel
