#include "services/TesseractEngine.h"

#include <tesseract/capi.h>

#include <QCoreApplication>
#include <QTimer>

#include <dlfcn.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

namespace vistrel {

namespace {

// The engine library, and the thirty-odd libraries it pulls in (network, archives, image
// formats), cost several MiB of an idle app's memory just for being mapped: it is opened for
// the first recognition, through its C interface. It then stays: the loader never unloads it
// (it has GNU unique symbols), so it is not closed either.
struct EngineLibrary
{
    void *handle = nullptr;
    decltype(&TessBaseAPICreate) create = nullptr;
    decltype(&TessBaseAPIDelete) destroy = nullptr;
    decltype(&TessBaseAPIInit2) init = nullptr;
    decltype(&TessBaseAPIInitForAnalysePage) initForLayout = nullptr;
    decltype(&TessBaseAPISetVariable) setVariable = nullptr;
    decltype(&TessBaseAPISetImage) setImage = nullptr;
    decltype(&TessBaseAPISetSourceResolution) setSourceResolution = nullptr;
    decltype(&TessBaseAPISetPageSegMode) setPageSegMode = nullptr;
    decltype(&TessBaseAPIRecognize) recognize = nullptr;
    decltype(&TessBaseAPIGetIterator) results = nullptr;
    decltype(&TessBaseAPIAnalyseLayout) analyseLayout = nullptr;
    decltype(&TessBaseAPIClear) clear = nullptr;
    decltype(&TessBaseAPIClearPersistentCache) clearCache = nullptr;
    decltype(&TessPageIteratorBoundingBox) boundingBox = nullptr;
    decltype(&TessPageIteratorNext) pageNext = nullptr;
    decltype(&TessPageIteratorDelete) pageDelete = nullptr;
    decltype(&TessResultIteratorGetPageIterator) resultPage = nullptr;
    decltype(&TessResultIteratorGetUTF8Text) resultText = nullptr;
    decltype(&TessResultIteratorNext) resultNext = nullptr;
    decltype(&TessResultIteratorDelete) resultDelete = nullptr;
    decltype(&TessDeleteText) deleteText = nullptr;

    bool open()
    {
        if (handle)
            return true;
        handle = dlopen("libtesseract.so.5", RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return false;
        bool all = true;
        auto find = [&](auto &fn, const char *name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
            all = all && fn;
        };
        find(create, "TessBaseAPICreate");
        find(destroy, "TessBaseAPIDelete");
        find(init, "TessBaseAPIInit2");
        find(initForLayout, "TessBaseAPIInitForAnalysePage");
        find(setVariable, "TessBaseAPISetVariable");
        find(setImage, "TessBaseAPISetImage");
        find(setSourceResolution, "TessBaseAPISetSourceResolution");
        find(setPageSegMode, "TessBaseAPISetPageSegMode");
        find(recognize, "TessBaseAPIRecognize");
        find(results, "TessBaseAPIGetIterator");
        find(analyseLayout, "TessBaseAPIAnalyseLayout");
        find(clear, "TessBaseAPIClear");
        find(clearCache, "TessBaseAPIClearPersistentCache");
        find(boundingBox, "TessPageIteratorBoundingBox");
        find(pageNext, "TessPageIteratorNext");
        find(pageDelete, "TessPageIteratorDelete");
        find(resultPage, "TessResultIteratorGetPageIterator");
        find(resultText, "TessResultIteratorGetUTF8Text");
        find(resultNext, "TessResultIteratorNext");
        find(resultDelete, "TessResultIteratorDelete");
        find(deleteText, "TessDeleteText");
        if (!all) {
            dlclose(handle);
            *this = EngineLibrary();
        }
        return all;
    }
};

// Engines are big (a reading engine holds its language model, tens of MiB) and an idle app
// should not keep them: they are lent out per recognition and all dropped, with the
// engine's own word-list cache, once none has been used for a short while.
// Loading them again takes a fraction of the reading time.
class EngineCache
{
public:
    static EngineCache &instance()
    {
        static EngineCache *cache = new EngineCache; // outlives every worker thread
        return *cache;
    }

    // The library's calls, valid while an engine is lent out.
    const EngineLibrary &library() const { return m_library; }

    // An engine for `languages` (empty: layout analysis only); null when it cannot be made.
    TessBaseAPI *take(const QString &languages)
    {
        std::lock_guard lock(m_mutex);
        ++m_lent;
        for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
            if (it->first == languages) {
                TessBaseAPI *api = it->second;
                m_idle.erase(it);
                return api;
            }
        }
        // Made under the lock: only the first of several at once waits for the library.
        if (!m_library.open())
            return nullptr;
        TessBaseAPI *api = m_library.create();
        if (!api)
            return nullptr;
        if (languages.isEmpty()) {
            m_library.initForLayout(api); // no model: finding lines needs none
        } else if (m_library.init(api, nullptr, languages.toUtf8().constData(), tesseract::OEM_LSTM_ONLY) != 0) {
            m_library.destroy(api);
            return nullptr;
        }
        m_library.setVariable(api, "debug_file", "/dev/null"); // its chatter stays out of our stderr
        return api;
    }

    // Every take() is matched by one giveBack(), with or without an engine.
    void giveBack(const QString &languages, TessBaseAPI *api)
    {
        std::lock_guard lock(m_mutex);
        if (api)
            m_idle.emplace_back(languages, api);
        if (--m_lent == 0)
            scheduleDrop();
    }

    void dropIdle()
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_lent > 0)
                return; // the last one back schedules the next drop
            for (const auto &[languages, api] : m_idle)
                m_library.destroy(api);
            m_idle.clear();
            if (m_library.handle)
                m_library.clearCache(nullptr);
        }
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
    EngineLibrary m_library;
    std::vector<std::pair<QString, TessBaseAPI *>> m_idle;
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
    ~EngineLease() { EngineCache::instance().giveBack(m_languages, m_api); }
    EngineLease(const EngineLease &) = delete;
    EngineLease &operator=(const EngineLease &) = delete;
    TessBaseAPI *get() const { return m_api; }
    const EngineLibrary &calls() const { return EngineCache::instance().library(); }

private:
    QString m_languages;
    TessBaseAPI *m_api;
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

void setImage(const EngineLease &lease, const QImage &grey)
{
    const EngineLibrary &lib = lease.calls();
    lib.setImage(lease.get(), grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    lib.setSourceResolution(lease.get(), 300);
    lib.setPageSegMode(lease.get(), tesseract::PSM_AUTO);
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
    TessBaseAPI *api = lease.get();
    if (!api)
        return CaptureError::failed(modelMissing(languages));
    const EngineLibrary &lib = lease.calls();
    setImage(lease, grey);
    if (lib.recognize(api, nullptr) != 0) {
        lib.clear(api);
        return CaptureError::failed(QStringLiteral("Text recognition failed."));
    }
    QList<EngineLine> lines;
    if (TessResultIterator *it = lib.results(api)) {
        const TessPageIterator *page = lib.resultPage(it);
        do {
            int l, t, r, b;
            if (!lib.boundingBox(page, tesseract::RIL_TEXTLINE, &l, &t, &r, &b))
                continue;
            EngineLine line;
            line.box = QRect(QPoint(l, t), QPoint(r - 1, b - 1));
            if (char *text = lib.resultText(it, tesseract::RIL_TEXTLINE)) {
                const QString s = QString::fromUtf8(text).trimmed();
                lib.deleteText(text);
                if (!s.isEmpty())
                    line.text = s;
            }
            lines.append(line);
        } while (lib.resultNext(it, tesseract::RIL_TEXTLINE));
        lib.resultDelete(it);
    }
    lib.clear(api);
    return lines;
}

QList<EngineLine> TesseractEngine::layout(const QImage &grey)
{
    QList<EngineLine> boxes;
    if (grey.isNull())
        return boxes;
    const EngineLease lease({});
    TessBaseAPI *api = lease.get();
    if (!api)
        return boxes;
    const EngineLibrary &lib = lease.calls();
    setImage(lease, grey);
    if (TessPageIterator *it = lib.analyseLayout(api)) {
        do {
            int l, t, r, b;
            if (lib.boundingBox(it, tesseract::RIL_TEXTLINE, &l, &t, &r, &b))
                boxes.append({QRect(QPoint(l, t), QPoint(r - 1, b - 1)), std::nullopt});
        } while (lib.pageNext(it, tesseract::RIL_TEXTLINE));
        lib.pageDelete(it);
    }
    lib.clear(api);
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
