#include "engines/EditablePng.h"

#include "engines/PngEncoder.h"
#include "engines/Redaction.h"
#include "platform/PictureFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonDocument>
#include <QtEndian>

#include <zlib.h>

namespace vistrel {

namespace {

constexpr char pngSignature[] = "\x89PNG\r\n\x1a\n";
constexpr char payloadMagic[] = "VSCN";
constexpr quint32 payloadVersion = 1;
constexpr int maxPictures = 64;

void putU32(QByteArray &out, quint32 v)
{
    char be[4];
    qToBigEndian(v, be);
    out.append(be, 4);
}

QString damaged()
{
    return QCoreApplication::translate("EditablePng", "its marks are damaged");
}

// Reads the body the way it was written, refusing anything that does not add up.
class Payload
{
public:
    explicit Payload(const QByteArray &bytes) : m_bytes(bytes) {}
    bool take(qsizetype n, QByteArray *out)
    {
        if (n < 0 || n > m_bytes.size() - m_at)
            return false;
        *out = m_bytes.mid(m_at, n);
        m_at += n;
        return true;
    }
    std::optional<quint32> u32()
    {
        QByteArray b;
        if (!take(4, &b))
            return std::nullopt;
        return qFromBigEndian<quint32>(b.constData());
    }

private:
    QByteArray m_bytes;
    qsizetype m_at = 0;
};

EditablePng::Read problem(const QString &why)
{
    return {std::nullopt, why};
}

EditablePng::Read decodePayload(const QByteArray &body)
{
    Payload p(body);
    QByteArray magic;
    if (!p.take(4, &magic) || magic != payloadMagic)
        return problem(damaged());
    const auto version = p.u32();
    if (!version)
        return problem(damaged());
    if (*version > payloadVersion)
        return problem(QCoreApplication::translate(
            "EditablePng", "its marks were made by a newer version of Vistrel"));
    const auto jsonLength = p.u32();
    if (jsonLength && *jsonLength > EditablePng::maxJsonBytes)
        return problem(
            QCoreApplication::translate("EditablePng", "its marks are too large to open"));
    QByteArray json;
    if (!jsonLength || !p.take(*jsonLength, &json))
        return problem(damaged());
    const auto count = p.u32();
    if (!count || *count == 0 || *count > maxPictures)
        return problem(damaged());
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (!doc.isObject())
        return problem(damaged());
    // The pictures' bytes are only set apart here: the scene says which it shows, and their
    // sizes are checked before any is decoded.
    QList<QByteArray> encoded;
    for (quint32 i = 0; i < *count; ++i) {
        const auto length = p.u32();
        QByteArray bytes;
        if (!length || !p.take(*length, &bytes))
            return problem(damaged());
        encoded.append(std::move(bytes));
    }
    QString why;
    const QList<QImage> pictures = EditorScene::readPictures(
        doc.object(), int(encoded.size()),
        [&encoded](int index, QString *) -> std::unique_ptr<QIODevice> {
            auto buffer = std::make_unique<QBuffer>();
            buffer->setData(encoded[index]);
            buffer->open(QIODevice::ReadOnly);
            return buffer;
        },
        &why);
    if (pictures.isEmpty())
        return problem(why);
    QString error;
    auto scene = EditorScene::fromJson(doc.object(), pictures, &error);
    if (!scene)
        return problem(error);
    return {std::move(scene), QString()};
}

} // namespace

QByteArray EditablePng::sceneChunk(const EditorScene &unconcealed)
{
    const EditorScene scene = Redaction::destroyUnder(unconcealed);
    QByteArray json = QJsonDocument(scene.toJson()).toJson(QJsonDocument::Compact);
    QList<const QImage *> pictures{&scene.image};
    for (const auto &placed : scene.placed)
        pictures.append(&placed.first);
    QByteArray out(payloadMagic, 4);
    putU32(out, payloadVersion);
    putU32(out, quint32(json.size()));
    out.append(json);
    putU32(out, quint32(pictures.size()));
    for (const QImage *picture : pictures) {
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        writer.setCompression(keptPngCompression);
        if (!writer.write(*picture))
            return {};
        putU32(out, quint32(encoded.size()));
        out.append(encoded);
    }
    return out;
}

QByteArray EditablePng::withChunk(const QByteArray &png, const QByteArray &chunk)
{
    // IEND is the last 12 bytes of every PNG Qt writes: length 0, "IEND", its CRC.
    const qsizetype iend = png.size() - 12;
    if (!png.startsWith(QByteArray(pngSignature, 8)) || iend < 8 ||
        png.mid(iend + 4, 4) != "IEND" || chunk.size() > maxChunkBytes)
        return {};
    QByteArray typed(chunkType, 4);
    typed.append(chunk);
    QByteArray out = png.left(iend);
    out.reserve(png.size() + typed.size() + 8);
    putU32(out, quint32(chunk.size()));
    out.append(typed);
    putU32(out, quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()),
                              uInt(typed.size()))));
    out.append(png.mid(iend));
    return out;
}

EditablePng::Read EditablePng::read(QIODevice *device)
{
    if (device->read(8) != QByteArray(pngSignature, 8))
        return {};
    // Walks the chunks by their headers; the picture's own data is skipped, not read.
    for (;;) {
        const QByteArray header = device->read(8);
        if (header.size() < 8)
            return {}; // a truncated picture: no marks, the picture reader says the rest
        const quint32 length = qFromBigEndian<quint32>(header.constData());
        const QByteArray type = header.mid(4);
        if (type == "IEND")
            return {};
        if (type != chunkType) {
            if (length > 0x7fffffffu || !device->seek(device->pos() + qint64(length) + 4))
                return {};
            continue;
        }
        if (length > maxChunkBytes)
            return problem(
                QCoreApplication::translate("EditablePng", "its marks are too large to open"));
        QByteArray body = device->read(length);
        const QByteArray crc = device->read(4);
        if (body.size() != qsizetype(length) || crc.size() != 4)
            return problem(damaged());
        QByteArray typed = type + body;
        const quint32 expected = qFromBigEndian<quint32>(crc.constData());
        if (quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()),
                          uInt(typed.size()))) != expected)
            return problem(damaged());
        return decodePayload(body);
    }
}

EditablePng::Read EditablePng::readFile(const QString &path)
{
    QFile file;
    if (!openRegularFile(path, file))
        return {};
    return read(&file);
}

EditablePng::Read EditablePng::readBytes(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return read(&buffer);
}

} // namespace vistrel
