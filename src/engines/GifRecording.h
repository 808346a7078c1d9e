#pragma once

#include "engines/RecordingWriter.h"

namespace vistrel {

// A recording as an animated GIF, streamed to disk as the frames come. At most `gifMaxFps`
// frames a second are kept (the latest picture at each of its instants). Colours come from a
// palette that grows with the colours that appear (exact, not dithered) while it has room;
// pictures with more colours get a palette of their own, kept while it still fits the frames
// and made anew when the scene changes. Each frame holds only the rectangle that changed, with
// unchanged pixels transparent; delays add up to the recording's length.
class GifRecordingEncoder final : public FrameEncoder
{
public:
    GifRecordingEncoder();
    ~GifRecordingEncoder() override;

    QString open(const EncoderSettings &settings) override;
    QString add(const QImage &frame, qint64 tick) override;
    QString finish(qint64 endTick) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace vistrel
