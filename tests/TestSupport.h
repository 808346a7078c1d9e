#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <QTest>
#include <QTranslator>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel::test {

// Puts a FIFO where `path` was; returns `path`.
inline QString fifoInPlaceOf(const QString &path)
{
    QFile::remove(path);
    if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
        qWarning("cannot make a FIFO at %s", qPrintable(path));
    return path;
}

// Lets go of whoever is blocked opening or reading `fifo` after `ms`, by opening its other
// end: a reader that waits on it then fails its test instead of hanging the run.
class FifoRelease
{
public:
    FifoRelease(QString fifo, int ms) : m_fifo(std::move(fifo))
    {
        m_thread = std::thread([this, ms] {
            std::unique_lock lock(m_mutex);
            auto finished = [this] { return m_finished; };
            // Then again and again: each later reader of the FIFO would wait too.
            for (auto wait = std::chrono::milliseconds(ms); !m_done.wait_for(lock, wait, finished);
                 wait = std::chrono::milliseconds(50)) {
                const int fd = ::open(QFile::encodeName(m_fifo).constData(), O_RDWR | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
            }
        });
    }
    ~FifoRelease()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    QString m_fifo;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

// Lets queued work (tasks started by entry points) run.
inline void drain(int rounds = 5)
{
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qWait(1);
    }
}

// A PNG without pixels: big sizes without big allocations.
inline QByteArray pngHeader(int w, int h)
{
    auto crc = [](const QByteArray &data) {
        quint32 c = 0xffffffffu;
        for (char ch : data) {
            c ^= quint8(ch);
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
        }
        return c ^ 0xffffffffu;
    };
    auto be32 = [](quint32 v) {
        QByteArray b(4, 0);
        for (int i = 0; i < 4; ++i)
            b[i] = char(v >> (24 - 8 * i));
        return b;
    };
    auto chunk = [&](const QByteArray &type, const QByteArray &data) {
        return be32(quint32(data.size())) + type + data + be32(crc(type + data));
    };
    return QByteArray("\x89PNG\r\n\x1a\n", 8) +
           chunk("IHDR", be32(w) + be32(h) + QByteArray("\x08\x06\x00\x00\x00", 5)) +
           chunk("IDAT", {}) + chunk("IEND", {});
}

// While it lives, the texts of `contexts` come out longer, as a translation into a wordier
// language would: each gets `suffix` added.
class LongerTexts : public QTranslator
{
public:
    explicit LongerTexts(QStringList contexts, QString suffix = QStringLiteral("wwwwww"))
        : m_contexts(std::move(contexts)), m_suffix(std::move(suffix))
    {
        QCoreApplication::installTranslator(this);
    }
    ~LongerTexts() override { QCoreApplication::removeTranslator(this); }
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        if (!m_contexts.contains(QLatin1String(context)))
            return {};
        return QString::fromUtf8(source) + m_suffix;
    }

private:
    QStringList m_contexts;
    QString m_suffix;
};

// A picture of one colour.
inline QImage solid(int w, int h, QColor c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

// A picture whose every pixel differs from its neighbours, so a shift or a wrong crop shows.
inline QImage pattern(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 5) % 256, (y * 3) % 256, (x + y) % 256));
    return img;
}

// The largest difference of one channel between a pixel and a colour.
inline int channelDistance(QRgb a, QColor b)
{
    return std::max({std::abs(qRed(a) - b.red()), std::abs(qGreen(a) - b.green()),
                     std::abs(qBlue(a) - b.blue())});
}

} // namespace vistrel::test
