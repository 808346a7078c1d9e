#include "engines/RecordingReader.h"

#include "engines/RecordingWriter.h"
#include "engines/VideoEncoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace vistrel {

namespace {

QString avErrorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

} // namespace

struct RecordingReader::Private
{
    QString path;
    AVFormatContext *format = nullptr;
    AVCodecContext *decoder = nullptr;
    SwsContext *scaler = nullptr;
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr;
    int stream = -1;
    AVRational timeBase{1, 1000};
    bool isGif = false;
    bool draining = false;

    QSize size;
    QList<qint64> pts; // each frame's, in presentation order
    QList<qint64> timesMs;
    qint64 durationMs = 0;
    double frameRate = 0;

    qint64 decodedIndex = -1; // the frame the decoder last gave
    qint64 cachedIndex = -1;
    QImage cached;

    ~Private() { close(); }

    void close()
    {
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
        av_packet_free(&packet);
        av_frame_free(&frame);
        sws_freeContext(scaler);
        scaler = nullptr;
        stream = -1;
        decodedIndex = -1;
        draining = false;
    }

    QString openStream()
    {
        close();
        int r = avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr);
        if (r < 0)
            return QCoreApplication::translate("RecordingReader", "Cannot open %1: %2")
                .arg(QDir::toNativeSeparators(path), avErrorText(r));
        r = avformat_find_stream_info(format, nullptr);
        const AVCodec *codec = nullptr;
        stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (r < 0 || stream < 0 || !codec)
            return QCoreApplication::translate("RecordingReader",
                                               "%1 holds no video this FFmpeg can play.")
                .arg(QDir::toNativeSeparators(path));
        AVStream *s = format->streams[stream];
        timeBase = s->time_base;
        isGif = s->codecpar->codec_id == AV_CODEC_ID_GIF;
        decoder = avcodec_alloc_context3(codec);
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (!decoder || !packet || !frame ||
            avcodec_parameters_to_context(decoder, s->codecpar) < 0)
            return QCoreApplication::translate("RecordingReader",
                                               "There is not enough memory to play the recording.");
        decoder->thread_count = 2;
        r = avcodec_open2(decoder, codec, nullptr);
        if (r < 0)
            return QCoreApplication::translate("RecordingReader", "FFmpeg cannot decode %1: %2")
                .arg(QString::fromLatin1(codec->name), avErrorText(r));
        const AVRational rate = av_guess_frame_rate(format, s, nullptr);
        frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
        size = QSize(s->codecpar->width, s->codecpar->height);
        return {};
    }

    qint64 toMs(qint64 t) const { return av_rescale_q(t, timeBase, AVRational{1, 1000}); }

    // Reads every packet once for the frames' times and the length.
    void scan()
    {
        qint64 end = AV_NOPTS_VALUE, last = AV_NOPTS_VALUE;
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream) {
                const qint64 t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
                if (t != AV_NOPTS_VALUE) {
                    pts.append(t);
                    last = std::max(last == AV_NOPTS_VALUE ? t : last, t);
                    if (packet->duration > 0)
                        end = std::max(end == AV_NOPTS_VALUE ? 0 : end, t + packet->duration);
                }
            }
            av_packet_unref(packet);
        }
        std::sort(pts.begin(), pts.end());
        pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
        for (qint64 t : pts)
            timesMs.append(toMs(t));
        if (pts.isEmpty())
            return;
        durationMs = end != AV_NOPTS_VALUE && end > last ? toMs(end) : 0;
        const qint64 container =
            format->duration != AV_NOPTS_VALUE ? format->duration / 1000 : qint64(0);
        if (durationMs <= timesMs.last() && container > timesMs.last())
            durationMs = container;
        if (durationMs <= timesMs.last()) // the last frame lasts as long as an average one
            durationMs = timesMs.size() > 1 ? timesMs.last() + (timesMs.last() - timesMs.first()) /
                                                                   (timesMs.size() - 1)
                                            : timesMs.last() + 100;
    }

    // The next decoded frame, in presentation order; false at the end or on a damaged file.
    bool decodeNext()
    {
        for (;;) {
            int r = avcodec_receive_frame(decoder, frame);
            if (r == 0) {
                const qint64 t = frame->best_effort_timestamp != AV_NOPTS_VALUE
                                     ? frame->best_effort_timestamp
                                     : frame->pts;
                const auto it = std::upper_bound(pts.begin(), pts.end(), t);
                decodedIndex = std::max<qint64>(0, qint64(it - pts.begin()) - 1);
                return true;
            }
            if (r != AVERROR(EAGAIN) || draining)
                return false;
            r = av_read_frame(format, packet);
            if (r < 0) {
                avcodec_send_packet(decoder, nullptr);
                draining = true;
                continue;
            }
            if (packet->stream_index == stream)
                avcodec_send_packet(decoder, packet); // a damaged packet is passed over
            av_packet_unref(packet);
        }
    }

    // Back to the frame at or before `index`: a seek for videos, the start again for GIFs
    // (their frames build on the ones before).
    bool rewind(qint64 index)
    {
        if (!isGif && format) {
            if (av_seek_frame(format, stream, pts[index], AVSEEK_FLAG_BACKWARD) >= 0) {
                avcodec_flush_buffers(decoder);
                draining = false;
                decodedIndex = -1;
                return true;
            }
        }
        return openStream().isEmpty();
    }

    QImage toImage()
    {
        const auto fmt = AVPixelFormat(frame->format);
        scaler = sws_getCachedContext(scaler, frame->width, frame->height, fmt, frame->width,
                                      frame->height, AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr,
                                      nullptr, nullptr);
        if (!scaler)
            return {};
        QImage image(frame->width, frame->height, QImage::Format_RGB32);
        uint8_t *dst[1] = {image.bits()};
        const int dstStride[1] = {int(image.bytesPerLine())};
        sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
        return image;
    }
};

RecordingReader::RecordingReader() : d(std::make_unique<Private>())
{
    quietFfmpeg();
}
RecordingReader::~RecordingReader() = default;

QString RecordingReader::open(const QString &path)
{
    d = std::make_unique<Private>();
    d->path = path;
    QString error = d->openStream();
    if (error.isEmpty()) {
        d->scan();
        if (d->pts.isEmpty())
            error = QCoreApplication::translate("RecordingReader", "%1 holds no frames.")
                        .arg(QDir::toNativeSeparators(path));
    }
    if (error.isEmpty())
        error = d->openStream(); // from the start again, for decoding
    if (!error.isEmpty())
        d = std::make_unique<Private>();
    return error;
}

QSize RecordingReader::size() const
{
    return d->size;
}

qint64 RecordingReader::durationMs() const
{
    return d->durationMs;
}

QList<qint64> RecordingReader::frameTimesMs() const
{
    return d->timesMs;
}

double RecordingReader::frameRate() const
{
    return d->frameRate;
}

bool RecordingReader::isGif() const
{
    return d->isGif;
}

QImage RecordingReader::frameAt(qint64 ms)
{
    if (d->timesMs.isEmpty() || !d->decoder)
        return {};
    const auto it = std::upper_bound(d->timesMs.begin(), d->timesMs.end(), ms);
    const qint64 index = std::max<qint64>(0, qint64(it - d->timesMs.begin()) - 1);
    if (index == d->cachedIndex)
        return d->cached;
    // Near frames ahead are decoded on; anything else starts from a key frame before it.
    const bool ahead = d->decodedIndex >= 0 && index > d->decodedIndex &&
                       (d->isGif || index - d->decodedIndex < 90);
    if (!ahead && !d->rewind(index))
        return {};
    bool any = false;
    while (d->decodeNext()) {
        any = true;
        if (d->decodedIndex >= index)
            break;
    }
    if (!any)
        return {};
    d->cachedIndex = d->decodedIndex;
    d->cached = d->toImage();
    return d->cached;
}

QString trimRecording(const QString &source, const QString &target, qint64 startMs, qint64 endMs)
{
    const std::optional<RecordingFormat> format = recordingFormatFor(target);
    if (!format)
        return QCoreApplication::translate("RecordingReader",
                                           "Recordings are saved as WebM, MP4 or GIF.");
    RecordingReader reader;
    QString error = reader.open(source);
    if (!error.isEmpty())
        return error;
    startMs = std::clamp<qint64>(startMs, 0, reader.durationMs());
    endMs = std::clamp<qint64>(endMs, startMs, reader.durationMs());
    if (endMs <= startMs)
        return QCoreApplication::translate("RecordingReader", "The part to keep is empty.");

    // Ticks fine enough for the source's times: centiseconds for a GIF, else its frame rate.
    const int fps = reader.isGif() ? 100 : std::clamp(qRound(reader.frameRate()), 1, 120);
    EncoderSettings settings;
    settings.format = *format;
    settings.size = reader.size();
    settings.fps = fps;
    settings.gifMaxFps = fps; // every frame of the part is kept
    // Only a complete part is moved over the target: it is written beside it first.
    settings.path = temporaryPathFor(target);
    auto named = [&](QString text) {
        return text.replace(QDir::toNativeSeparators(settings.path),
                            QDir::toNativeSeparators(target));
    };
    std::unique_ptr<FrameEncoder> encoder = FrameEncoder::create(*format);
    error = encoder->open(settings);
    if (!error.isEmpty())
        return named(error);
    auto tickOf = [&](qint64 ms) { return ((ms - startMs) * fps + 500) / 1000; };
    const QList<qint64> times = reader.frameTimesMs();
    // The frame shown at the start, then each one that begins before the end.
    auto first = std::upper_bound(times.begin(), times.end(), startMs);
    if (first != times.begin())
        --first;
    for (auto it = first; it != times.end() && *it < endMs && error.isEmpty(); ++it) {
        const QImage picture = reader.frameAt(*it);
        if (picture.isNull()) {
            error = QCoreApplication::translate("RecordingReader", "%1 is damaged.")
                        .arg(QDir::toNativeSeparators(source));
            break;
        }
        error = encoder->add(picture, std::max<qint64>(0, tickOf(*it)));
    }
    const QString finished = encoder->finish(std::max<qint64>(1, tickOf(endMs)));
    if (error.isEmpty())
        error = finished;
    if (error.isEmpty())
        error = moveIntoPlace(settings.path, target);
    if (!error.isEmpty())
        QFile::remove(settings.path);
    return named(error);
}

} // namespace vistrel
