#include "engines/VideoEncoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
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

// FFmpeg's errors from the system are negated errno values.
int errnoOf(int avError)
{
    return avError < 0 && avError > -4096 ? -avError : EIO;
}

class FfmpegEncoder final : public FrameEncoder
{
public:
    FfmpegEncoder(RecordingFormat format, QStringList codecs)
        : m_format(format), m_codecs(std::move(codecs))
    {
    }
    ~FfmpegEncoder() override
    {
        if (m_muxer && !m_finished)
            finish(m_lastTick + 1); // never silently lose a recording
        release();
    }

    QString open(const EncoderSettings &settings) override;
    QString add(const QImage &frame, qint64 tick) override;
    QString finish(qint64 endTick) override;

private:
    QString startCodec(const AVCodec *codec);
    QString convert(const QImage &frame);
    QString encode(AVFrame *frame);
    QString writeFailed(int avError);
    void release();

    RecordingFormat m_format;
    QStringList m_codecs;
    EncoderSettings m_settings;
    QString m_tempPath;
    QString m_error; // the first error while adding: later frames are not written
    qint64 m_lastTick = -1;
    bool m_finished = false;

    AVFormatContext *m_muxer = nullptr;
    AVCodecContext *m_codec = nullptr;
    AVStream *m_stream = nullptr;
    SwsContext *m_scaler = nullptr;
    AVFrame *m_picture = nullptr;
    AVPacket *m_packet = nullptr;
};

QString missingCodecText(RecordingFormat format)
{
    return format == RecordingFormat::Mp4
               ? QCoreApplication::translate("VideoEncoder",
                                             "This FFmpeg has no H.264 encoder (libx264).")
               : QCoreApplication::translate("VideoEncoder",
                                             "This FFmpeg has no VP9 or VP8 encoder (libvpx).");
}

QString FfmpegEncoder::open(const EncoderSettings &settings)
{
    if (m_muxer)
        return QCoreApplication::translate("VideoEncoder", "The recording has already started.");
    m_settings = settings;
    if (settings.size.isEmpty() || settings.fps <= 0)
        return QCoreApplication::translate("VideoEncoder", "The area to record is empty.");
    const AVCodec *codec = nullptr;
    for (const QString &name : m_codecs)
        if ((codec = avcodec_find_encoder_by_name(name.toUtf8().constData())))
            break;
    if (!codec)
        return missingCodecText(m_format);

    m_tempPath = temporaryPathFor(settings.path);
    const char *muxerName = m_format == RecordingFormat::Mp4 ? "mp4" : "webm";
    int r = avformat_alloc_output_context2(&m_muxer, nullptr, muxerName,
                                           QFile::encodeName(m_tempPath).constData());
    if (r < 0 || !m_muxer)
        return QCoreApplication::translate("VideoEncoder", "FFmpeg cannot write %1 files: %2")
            .arg(QString::fromLatin1(muxerName), avErrorText(r));
    QString error = startCodec(codec);
    if (error.isEmpty()) {
        r = avio_open(&m_muxer->pb, QFile::encodeName(m_tempPath).constData(), AVIO_FLAG_WRITE);
        if (r < 0)
            error = writeErrorText(settings.path, errnoOf(r));
    }
    if (error.isEmpty()) {
        AVDictionary *options = nullptr;
        if (m_format == RecordingFormat::Mp4) {
            // Fragments of a second: a recording cut short by a full disk or a crash still plays.
            av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
            av_dict_set(&options, "frag_duration", "1000000", 0);
        }
        r = avformat_write_header(m_muxer, &options);
        av_dict_free(&options);
        if (r < 0)
            error = writeErrorText(settings.path, errnoOf(r));
    }
    if (!error.isEmpty()) {
        release();
        QFile::remove(m_tempPath);
        return error;
    }
    return {};
}

QString FfmpegEncoder::startCodec(const AVCodec *codec)
{
    m_stream = avformat_new_stream(m_muxer, nullptr);
    m_codec = avcodec_alloc_context3(codec);
    m_picture = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_stream || !m_codec || !m_picture || !m_packet)
        return QCoreApplication::translate("VideoEncoder", "There is not enough memory to record.");
    // yuv420p halves the colour planes: an odd side is padded with its edge pixels.
    const int width = (m_settings.size.width() + 1) & ~1;
    const int height = (m_settings.size.height() + 1) & ~1;
    m_codec->width = width;
    m_codec->height = height;
    m_codec->pix_fmt = AV_PIX_FMT_YUV420P;
    m_codec->time_base = AVRational{1, m_settings.fps};
    m_codec->framerate = AVRational{m_settings.fps, 1};
    m_codec->gop_size = m_settings.fps * 5; // a key frame every 5 s keeps seeking quick
    m_codec->thread_count = 2;
    if (m_muxer->oformat->flags & AVFMT_GLOBALHEADER)
        m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    AVDictionary *options = nullptr;
    const QByteArray name = codec->name;
    if (name == "libvpx-vp9") {
        av_dict_set(&options, "deadline", "realtime", 0);
        av_dict_set(&options, "cpu-used", "8", 0);
        av_dict_set(&options, "row-mt", "1", 0);
        av_dict_set(&options, "tile-columns", "2", 0);
        av_dict_set(&options, "crf", "32", 0);
        m_codec->bit_rate = 0; // constant quality
    } else if (name == "libvpx") {
        av_dict_set(&options, "deadline", "realtime", 0);
        av_dict_set(&options, "cpu-used", "8", 0);
        av_dict_set(&options, "crf", "10", 0);
        // VP8's constant quality needs a ceiling: about 4 bits a pixel a second.
        m_codec->bit_rate = qint64(width) * height * m_settings.fps / 8;
    } else if (name == "libx264") {
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "crf", "23", 0);
        // No reordering: with frames skipped while the screen is still, B-frames' decoding
        // times fall behind the pictures' and the file's length comes out short.
        m_codec->max_b_frames = 0;
    }
    const int r = avcodec_open2(m_codec, codec, &options);
    av_dict_free(&options);
    if (r < 0)
        return QCoreApplication::translate("VideoEncoder",
                                           "FFmpeg could not start its %1 encoder: %2")
            .arg(QString::fromLatin1(codec->name), avErrorText(r));
    avcodec_parameters_from_context(m_stream->codecpar, m_codec);
    m_stream->time_base = m_codec->time_base;
    m_stream->avg_frame_rate = m_codec->framerate;

    m_picture->format = m_codec->pix_fmt;
    m_picture->width = width;
    m_picture->height = height;
    if (av_frame_get_buffer(m_picture, 0) < 0)
        return QCoreApplication::translate("VideoEncoder", "There is not enough memory to record.");
    // The scaler converts the even part (it leaves an odd last column unwritten); the rest is
    // converted by hand.
    const int evenWidth = m_settings.size.width() & ~1, evenHeight = m_settings.size.height() & ~1;
    if (evenWidth && evenHeight)
        m_scaler = sws_getContext(evenWidth, evenHeight, AV_PIX_FMT_RGB32, evenWidth, evenHeight,
                                  AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (evenWidth && evenHeight && !m_scaler)
        return QCoreApplication::translate("VideoEncoder",
                                           "FFmpeg cannot convert the frames for its %1 encoder.")
            .arg(QString::fromLatin1(codec->name));
    return {};
}

QString FfmpegEncoder::convert(const QImage &frame)
{
    const QSize size = m_settings.size;
    QImage rgb = frame;
    if (rgb.size() != size) {
        // A source keeps its size; should one not, the picture keeps the first frame's.
        QImage fitted(size, QImage::Format_RGB32);
        fitted.fill(Qt::black);
        QPainter(&fitted).drawImage(0, 0, frame);
        rgb = fitted;
    }
    if (rgb.format() != QImage::Format_RGB32 && rgb.format() != QImage::Format_ARGB32 &&
        rgb.format() != QImage::Format_ARGB32_Premultiplied)
        rgb = rgb.convertToFormat(QImage::Format_RGB32);
    // The encoder may still hold the last picture.
    if (av_frame_make_writable(m_picture) < 0)
        return QCoreApplication::translate("VideoEncoder", "There is not enough memory to record.");
    const uint8_t *src[1] = {rgb.constBits()};
    const int srcStride[1] = {int(rgb.bytesPerLine())};
    const int w = size.width(), h = size.height();
    if (m_scaler)
        sws_scale(m_scaler, src, srcStride, 0, h & ~1, m_picture->data, m_picture->linesize);
    // An odd last column or row, by hand, as the scaler would (BT.601, limited range); the
    // padding repeats the edge.
    auto pixel = [&](int x, int y) {
        return reinterpret_cast<const QRgb *>(
            rgb.constScanLine(std::min(y, h - 1)))[std::min(x, w - 1)];
    };
    auto block = [&](int cx, int cy) {
        int r = 0, g = 0, b = 0;
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) {
                const QRgb p = pixel(2 * cx + dx, 2 * cy + dy);
                m_picture->data[0][(2 * cy + dy) * m_picture->linesize[0] + 2 * cx + dx] =
                    uint8_t(((66 * qRed(p) + 129 * qGreen(p) + 25 * qBlue(p) + 128) >> 8) + 16);
                r += qRed(p);
                g += qGreen(p);
                b += qBlue(p);
            }
        r = (r + 2) / 4;
        g = (g + 2) / 4;
        b = (b + 2) / 4;
        m_picture->data[1][cy * m_picture->linesize[1] + cx] =
            uint8_t(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
        m_picture->data[2][cy * m_picture->linesize[2] + cx] =
            uint8_t(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
    };
    const int blocksWide = (w + 1) / 2, blocksHigh = (h + 1) / 2;
    const int doneWide = m_scaler ? w / 2 : 0, doneHigh = m_scaler ? h / 2 : 0;
    for (int cy = 0; cy < blocksHigh; ++cy)
        for (int cx = cy < doneHigh ? doneWide : 0; cx < blocksWide; ++cx)
            block(cx, cy);
    return {};
}

QString FfmpegEncoder::add(const QImage &frame, qint64 tick)
{
    if (!m_muxer || m_finished)
        return QCoreApplication::translate("VideoEncoder", "The recording has not started.");
    if (!m_error.isEmpty())
        return m_error;
    if (tick <= m_lastTick || frame.isNull())
        return {}; // a tick is shown once; a repeat changes nothing
    QString error = convert(frame);
    if (error.isEmpty()) {
        m_picture->pts = tick;
        error = encode(m_picture);
    }
    m_lastTick = tick;
    if (!error.isEmpty())
        m_error = error;
    return error;
}

QString FfmpegEncoder::encode(AVFrame *frame)
{
    int r = avcodec_send_frame(m_codec, frame);
    if (r < 0 && r != AVERROR_EOF)
        return QCoreApplication::translate("VideoEncoder", "The encoder failed: %1")
            .arg(avErrorText(r));
    for (;;) {
        r = avcodec_receive_packet(m_codec, m_packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return {};
        if (r < 0)
            return QCoreApplication::translate("VideoEncoder", "The encoder failed: %1")
                .arg(avErrorText(r));
        // The last picture lasts one tick; earlier ones last until the next.
        if (m_packet->duration <= 0)
            m_packet->duration = 1;
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        r = av_interleaved_write_frame(m_muxer, m_packet);
        if (r < 0)
            return writeFailed(r);
    }
}

QString FfmpegEncoder::writeFailed(int avError)
{
    return writeErrorText(m_settings.path, errnoOf(avError));
}

QString FfmpegEncoder::finish(qint64 endTick)
{
    if (!m_muxer || m_finished)
        return QCoreApplication::translate("VideoEncoder", "The recording has not started.");
    m_finished = true;
    QString error = m_error;
    if (error.isEmpty() && m_lastTick >= 0 && endTick - 1 > m_lastTick) {
        // The last picture again at the end, so that it lasts until then.
        m_picture->pts = endTick - 1;
        error = encode(m_picture);
    }
    if (error.isEmpty())
        error = encode(nullptr); // drains what the encoder still holds
    // The trailer is written even after an error, so what reached the disk stays readable.
    const int r = av_write_trailer(m_muxer);
    if (error.isEmpty() && r < 0)
        error = writeFailed(r);
    const int closed = avio_closep(&m_muxer->pb);
    if (error.isEmpty() && closed < 0)
        error = writeFailed(closed);
    release();
    if (m_lastTick < 0) {
        QFile::remove(m_tempPath);
        return error.isEmpty()
                   ? QCoreApplication::translate("VideoEncoder", "Nothing was recorded.")
                   : error;
    }
    const QString moved = moveIntoPlace(m_tempPath, m_settings.path);
    return error.isEmpty() ? moved : error;
}

void FfmpegEncoder::release()
{
    if (m_muxer) {
        if (m_muxer->pb)
            avio_closep(&m_muxer->pb);
        avformat_free_context(m_muxer);
        m_muxer = nullptr;
        m_stream = nullptr;
    }
    avcodec_free_context(&m_codec);
    av_frame_free(&m_picture);
    av_packet_free(&m_packet);
    sws_freeContext(m_scaler);
    m_scaler = nullptr;
}

} // namespace

QStringList videoCodecsFor(RecordingFormat format)
{
    if (format == RecordingFormat::Mp4)
        return {QStringLiteral("libx264")};
    return {QStringLiteral("libvpx-vp9"), QStringLiteral("libvpx")};
}

void quietFfmpeg()
{
    // The libraries' chatter (codec banners, statistics) is not the user's business; their
    // errors still reach the log, and every failure is told in a message of our own.
    static std::once_flag once;
    std::call_once(once, [] {
        if (qEnvironmentVariableIsEmpty("VISTREL_FFMPEG_LOG"))
            av_log_set_level(AV_LOG_ERROR);
    });
}

std::unique_ptr<FrameEncoder> createVideoEncoder(RecordingFormat format, const QStringList &codecs)
{
    quietFfmpeg();
    return std::make_unique<FfmpegEncoder>(format,
                                           codecs.isEmpty() ? videoCodecsFor(format) : codecs);
}

QString writeErrorText(const QString &path, int errnoValue)
{
    if (errnoValue == ENOSPC || errnoValue == EDQUOT)
        return QCoreApplication::translate("VideoEncoder", "The disk is full.");
    return QCoreApplication::translate("VideoEncoder", "Cannot write %1: %2")
        .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errnoValue)));
}

QString temporaryPathFor(const QString &path)
{
    const QFileInfo info(path);
    return info.absoluteDir().filePath(
        QStringLiteral(".%1.%2.part")
            .arg(info.fileName())
            .arg(QRandomGenerator::global()->generate() % 1000000, 6, 10, QLatin1Char('0')));
}

QString moveIntoPlace(const QString &tempPath, const QString &path)
{
    if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(path).constData()) ==
        0)
        return {};
    // The recording stays in the hidden file beside the target rather than being lost.
    return writeErrorText(path, errno);
}

} // namespace vistrel
