#pragma once

#include <QImage>
#include <QList>
#include <QString>

#include <memory>

namespace vistrel {

// A finished recording read back (WebM, MP4 or GIF): for the preview's playback, the
// history's poster frame and trimming. Decodes as it is asked, so a long recording is never
// held whole in memory.
class RecordingReader
{
public:
    RecordingReader();
    ~RecordingReader();

    // Empty when the file could be opened; else why not.
    QString open(const QString &path);
    QSize size() const;
    qint64 durationMs() const;
    // Each frame's presentation time, in order.
    QList<qint64> frameTimesMs() const;
    // The frame shown at `ms` (the last one starting at or before it); null on error.
    QImage frameAt(qint64 ms);
    // The frames a second the file declares or its times suggest; 0 when unknown.
    double frameRate() const;
    bool isGif() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Writes the part of `source` between `startMs` and `endMs` to `target` in the format its name
// asks for, through a file beside it that is moved into place; empty when done, else why not.
QString trimRecording(const QString &source, const QString &target, qint64 startMs, qint64 endMs);

} // namespace vistrel
