#include "services/TesseractEngine.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <QCoreApplication>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace vistrel {

namespace {

// Engines are big (a reading engine holds its language model, tens of MiB) and an idle app
// should not keep them: they are lent out per recognition and all dropped, with the
// engine's own word-list cache, once none has been used for a short while. Loading one again
// takes a fraction of the reading time.
class EngineCache
{
public:
    static EngineCache &instance()
    {
        static EngineCache *cache = new EngineCache; // outlives every worker thread
        return *cache;
    }

    // An engine for `languages` (empty: layout analysis only); null when it cannot be made.
    std::unique_ptr<tesseract::TessBaseAPI> take(const QString &languages)
    {
        {
            std::lock_guard lock(m_mutex);
            ++m_lent;
            for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
                if (it->first == languages) {
                    auto api = std::move(it->second);
                    m_idle.erase(it);
                    return api;
                }
            }
        }
        try {
            auto api = std::make_unique<tesseract::TessBaseAPI>();
            if (languages.isEmpty())
                api->InitForAnalysePage(); // no model: finding lines needs none
            else if (api->Init(nullptr, languages.toUtf8().constData(), tesseract::OEM_LSTM_ONLY) != 0)
                return nullptr;
            api->SetVariable("debug_file", "/dev/null"); // its chatter stays out of our stderr
            return api;
        } catch (...) {
            giveBack(languages, nullptr);
            throw;
        }
    }

    // Every take() is matched by one giveBack(), with or without an engine.
    void giveBack(const QString &languages, std::unique_ptr<tesseract::TessBaseAPI> api)
    {
        std::lock_guard lock(m_mutex);
        if (api)
            m_idle.emplace_back(languages, std::move(api));
        if (--m_lent == 0)
            scheduleDrop();
    }

    void dropIdle()
    {
        std::vector<std::pair<QString, std::unique_ptr<tesseract::TessBaseAPI>>> dropped;
        {
            std::lock_guard lock(m_mutex);
            if (m_lent > 0)
                return; // the last one back schedules the next drop
            dropped.swap(m_idle);
        }
        dropped.clear();
        tesseract::TessBaseAPI::ClearPersistentCache();
        malloc_trim(0);
    }

    int idleCount()
    {
        std::lock_guard lock(m_mutex);
        return int(m_idle.size());
    }

private:
    // Called with the lock held, from any thread: the timer lives on the application's thread.
    void scheduleDrop()
    {
        QCoreApplication *app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(app, [this, app] {
            if (!m_timer) {
                m_timer = new QTimer(app);
                m_timer->setSingleShot(true);
                m_timer->setInterval(TesseractEngine::idleRelease);
                QObject::connect(m_timer, &QTimer::timeout, app, [this] { dropIdle(); });
            }
            m_timer->start();
        }, Qt::QueuedConnection);
    }

    std::mutex m_mutex;
    int m_lent = 0;
    std::vector<std::pair<QString, std::unique_ptr<tesseract::TessBaseAPI>>> m_idle;
    QTimer *m_timer = nullptr; // touched on the application's thread only
};

// One engine for the length of a recognition.
class EngineLease
{
public:
    explicit EngineLease(QString languages)
        : m_languages(std::move(languages)), m_api(EngineCache::instance().take(m_languages))
    {
    }
    ~EngineLease() { EngineCache::instance().giveBack(m_languages, std::move(m_api)); }
    EngineLease(const EngineLease &) = delete;
    EngineLease &operator=(const EngineLease &) = delete;
    tesseract::TessBaseAPI *get() const { return m_api.get(); }

private:
    QString m_languages;
    std::unique_ptr<tesseract::TessBaseAPI> m_api;
};

QString modelMissing(const QString &languages)
{
    // Debian packages each model as tesseract-ocr-<code>.
    QStringList packages;
    for (const QString &code : languages.split(QLatin1Char('+'), Qt::SkipEmptyParts))
        packages.append(QStringLiteral("tesseract-ocr-") + code);
    if (languages == QLatin1String("eng"))
        return QStringLiteral("Text recognition needs the English model (eng), which could not be "
                              "loaded. Install the package tesseract-ocr-eng.");
    return QStringLiteral("Text recognition needs the models \"%1\", which could not be loaded. "
                          "Install the packages %2.")
        .arg(languages, packages.join(QStringLiteral(", ")));
}

void setImage(tesseract::TessBaseAPI &api, const QImage &grey)
{
    api.SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    api.SetSourceResolution(300);
}

} // namespace

PreparedImage TesseractEngine::prepare(const QImage &image, double pixelBudget)
{
    PreparedImage out;
    QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    // Light text on a dark theme: the engine wants dark text on light.
    quint64 sum = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *line = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            sum += line[x];
    }
    const quint64 pixels = quint64(grey.width()) * quint64(grey.height());
    if (pixels && sum / pixels < 128) {
        grey.invertPixels();
        out.inverted = true;
    }
    // UI text of 10–16 px is too small for the engine: enlarge up to three times, less for
    // big pictures, whose reading time grows with their area.
    out.scale = pixels ? std::clamp(std::sqrt(pixelBudget / double(pixels)), 1.0, 3.0) : 1.0;
    if (out.scale > 1.0)
        grey = grey.scaled(grey.size() * out.scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    out.grey = grey;
    return out;
}

Result<QList<EngineLine>> TesseractEngine::recognize(const QImage &grey, const QString &languages)
{
    const EngineLease lease(languages);
    tesseract::TessBaseAPI *api = lease.get();
    if (!api)
        return CaptureError::failed(modelMissing(languages));
    setImage(*api, grey);
    api->SetPageSegMode(tesseract::PSM_AUTO);
    if (api->Recognize(nullptr) != 0) {
        api->Clear();
        return CaptureError::failed(QStringLiteral("Text recognition failed."));
    }
    QList<EngineLine> lines;
    std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
    if (it) {
        do {
            int l, t, r, b;
            if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &t, &r, &b))
                continue;
            EngineLine line;
            line.box = QRect(QPoint(l, t), QPoint(r - 1, b - 1));
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (text) {
                const QString s = QString::fromUtf8(text.get()).trimmed();
                if (!s.isEmpty())
                    line.text = s;
            }
            lines.append(line);
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    api->Clear();
    return lines;
}

QList<EngineLine> TesseractEngine::layout(const QImage &grey)
{
    QList<EngineLine> boxes;
    if (grey.isNull())
        return boxes;
    const EngineLease lease({});
    tesseract::TessBaseAPI *api = lease.get();
    if (!api)
        return boxes;
    setImage(*api, grey);
    api->SetPageSegMode(tesseract::PSM_AUTO);
    std::unique_ptr<tesseract::PageIterator> it(api->AnalyseLayout());
    if (it) {
        do {
            int l, t, r, b;
            if (it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &t, &r, &b))
                boxes.append({QRect(QPoint(l, t), QPoint(r - 1, b - 1)), std::nullopt});
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    api->Clear();
    return boxes;
}

void TesseractEngine::releaseIdleEngines()
{
    EngineCache::instance().dropIdle();
}

int TesseractEngine::idleEngineCount()
{
    return EngineCache::instance().idleCount();
}

} // namespace vistrel
