#include "engines/TesseractEngine.h"

#include "engines/InkComponents.h"

#include "engines/RecognizerProtocol.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace vistrel {

namespace {

// Where the helper is: beside the running program (the build tree, a plain install), in the
// install's helper folder, or where VISTREL_RECOGNIZER says (tests, unusual installs).
QString helperPath()
{
    const QString given = qEnvironmentVariable("VISTREL_RECOGNIZER");
    if (!given.isEmpty())
        return given;
    const QString here = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    for (const QString &candidate :
         {here + QStringLiteral("/vistrel-recognizer"),
          here + QStringLiteral("/" VISTREL_HELPER_FROM_BINDIR "/vistrel-recognizer")}) {
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    }
    return QStringLiteral(VISTREL_HELPER_INSTALLED);
}

// The engine's threads slow it down on a busy desktop, and its OpenMP runtime reads the
// limit only when the process starts.
std::vector<std::string> helperEnvironment()
{
    std::vector<std::string> env;
    bool limited = false;
    for (char **e = environ; *e; ++e) {
        limited = limited || std::strncmp(*e, "OMP_THREAD_LIMIT=", 17) == 0;
        env.emplace_back(*e);
    }
    if (!limited)
        env.emplace_back("OMP_THREAD_LIMIT=1");
    return env;
}

// One running helper and its end of the channel.
struct Helper
{
    pid_t pid = -1;
    int channel = -1;

    // Stopped at once: an idle helper holds nothing worth a goodbye.
    void stop()
    {
        if (channel >= 0)
            ::close(channel);
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        *this = Helper();
    }
};

QString cannotStart(const QString &path)
{
    return QCoreApplication::translate(
               "TesseractEngine",
               "Text recognition could not start its engine (%1). Reinstall Vistrel, "
               "with the package libtesseract5.")
        .arg(path);
}

QString modelMissing(const QString &languages)
{
    // Debian packages each model as tesseract-ocr-<code>.
    QStringList packages;
    for (const QString &code : languages.split(QLatin1Char('+'), Qt::SkipEmptyParts))
        packages.append(QStringLiteral("tesseract-ocr-") + code);
    if (languages == QLatin1String("eng"))
        return QCoreApplication::translate(
            "TesseractEngine", "Text recognition needs the English model (eng), which could not be "
                               "loaded. Install the package tesseract-ocr-eng.");
    return QCoreApplication::translate(
               "TesseractEngine",
               "Text recognition needs the models \"%1\", which could not be loaded. "
               "Install the packages %2.")
        .arg(languages, packages.join(QStringLiteral(", ")));
}

// A helper for `languages` (empty: layout only), ready to read; an error when none starts.
Result<Helper> startHelper(const QString &languages)
{
    const QString path = helperPath();
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return CaptureError::failed(cannotStart(path));
    const QByteArray program = QFile::encodeName(path);
    const QByteArray spec = languages.toUtf8();
    std::vector<char *> args{const_cast<char *>(program.constData()),
                             const_cast<char *>(languages.isEmpty() ? "layout" : "read")};
    if (!languages.isEmpty())
        args.push_back(const_cast<char *>(spec.constData()));
    args.push_back(nullptr);
    std::vector<std::string> env = helperEnvironment();
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    // Its standard input is its end of the channel; the app's end is closed across exec,
    // so the helper sees the channel close when the app goes, however it goes.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 0);
    Helper helper;
    const int spawned =
        posix_spawn(&helper.pid, program.constData(), &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    helper.channel = ends[0];
    if (spawned != 0) {
        helper.pid = -1;
        helper.stop();
        return CaptureError::failed(cannotStart(path));
    }
    char ready = 0;
    if (!recognizer::receiveValue(helper.channel, ready) || ready != recognizer::recognizerReady) {
        helper.stop();
        return CaptureError::failed(ready == recognizer::recognizerNoModel ? modelMissing(languages)
                                                                           : cannotStart(path));
    }
    return helper;
}

} // namespace

// Helpers are lent out per recognition and all stopped once none has been used for a short
// while, so an idle app holds no engine. Starting one again takes a fraction of the reading
// time.
class HelperCache
{
public:
    // Warm-ups run on the shared pool, whose end comes later: the cache waits until every
    // helper lent or still starting is back, then stops them all.
    ~HelperCache()
    {
        std::vector<std::pair<QString, Helper>> idle;
        {
            std::unique_lock lock(m_mutex);
            m_allBack.wait(lock, [this] { return m_lent == 0; });
            idle.swap(m_idle);
        }
        for (auto &[languages, helper] : idle)
            helper.stop();
        // A drop still queued goes with m_context, and the timer with it.
    }

    Result<Helper> take(const QString &languages)
    {
        {
            std::lock_guard lock(m_mutex);
            ++m_lent;
            for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
                if (it->first == languages) {
                    const Helper helper = it->second;
                    m_idle.erase(it);
                    return helper;
                }
            }
        }
        return startHelper(languages); // outside the lock: bands start theirs side by side
    }

    // Every take() is matched by one giveBack(); a helper that failed is not given back.
    void giveBack(const QString &languages, std::optional<Helper> helper)
    {
        std::lock_guard lock(m_mutex);
        if (helper)
            m_idle.emplace_back(languages, *helper);
        if (--m_lent == 0) {
            scheduleDrop();
            m_allBack.notify_all();
        }
    }

    void warm(const QString &languages)
    {
        {
            std::lock_guard lock(m_mutex);
            for (const auto &idle : m_idle)
                if (idle.first == languages)
                    return;
            if (m_warming.contains(languages))
                return;
            m_warming.insert(languages);
            ++m_lent;
        }
        // On the shared pool: starting a helper blocks its thread until the model is loaded.
        QThreadPool::globalInstance()->start([this, languages] {
            Result<Helper> started = startHelper(languages);
            {
                std::lock_guard lock(m_mutex);
                m_warming.remove(languages);
            }
            giveBack(languages, started ? std::optional<Helper>(*started) : std::nullopt);
        });
    }

    void dropIdle()
    {
        std::vector<std::pair<QString, Helper>> idle;
        {
            std::lock_guard lock(m_mutex);
            if (m_lent > 0)
                return; // the last one back schedules the next drop
            idle.swap(m_idle);
        }
        for (auto &[languages, helper] : idle)
            helper.stop();
    }

    int idleCount()
    {
        std::lock_guard lock(m_mutex);
        return int(m_idle.size());
    }

private:
    // Called with the lock held, from any thread: the timer lives on the thread that made the
    // cache (the application's).
    void scheduleDrop()
    {
        if (!QCoreApplication::instance())
            return;
        QMetaObject::invokeMethod(
            m_context.get(),
            [this] {
                if (!m_timer) {
                    m_timer = new QTimer(m_context.get());
                    m_timer->setSingleShot(true);
                    m_timer->setInterval(TesseractEngine::idleRelease);
                    QObject::connect(m_timer, &QTimer::timeout, m_context.get(),
                                     [this] { dropIdle(); });
                }
                m_timer->start();
            },
            Qt::QueuedConnection);
    }

    std::mutex m_mutex;
    std::condition_variable m_allBack; // m_lent came down to 0
    int m_lent = 0;
    QSet<QString> m_warming;
    std::vector<std::pair<QString, Helper>> m_idle;
    const std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
    QTimer *m_timer = nullptr; // touched on m_context's thread only
};

namespace {

// One picture through a helper for `languages`; the helper goes back to the cache only when
// it answered in full.
Result<QList<EngineLine>> run(HelperCache &cache, const QString &languages, const QImage &grey,
                              bool withText)
{
    Result<Helper> taken = cache.take(languages);
    if (!taken) {
        cache.giveBack(languages, std::nullopt);
        return taken.error();
    }
    Helper helper = *taken;
    bool sent = recognizer::sendValue<std::uint32_t>(helper.channel, std::uint32_t(grey.width())) &&
                recognizer::sendValue<std::uint32_t>(helper.channel, std::uint32_t(grey.height()));
    for (int y = 0; sent && y < grey.height(); ++y)
        sent = recognizer::sendAll(helper.channel, grey.constScanLine(y), size_t(grey.width()));
    std::vector<recognizer::Line> lines;
    bool failed = false;
    if (!sent || !recognizer::receiveLines(helper.channel, lines, failed)) {
        helper.stop();
        cache.giveBack(languages, std::nullopt);
        return CaptureError::failed(QCoreApplication::translate(
            "TesseractEngine", "Text recognition stopped unexpectedly."));
    }
    cache.giveBack(languages, helper);
    if (failed)
        return CaptureError::failed(
            QCoreApplication::translate("TesseractEngine", "Text recognition failed."));
    QList<EngineLine> out;
    if (!withText) {
        for (const recognizer::Line &l : lines)
            out.append(EngineLine{
                QRect(QPoint(l.left, l.top), QPoint(l.right - 1, l.bottom - 1)), {}, l.block, {}});
        return out;
    }
    // Words come line by line; a line is the words that name it.
    int current = -1;
    for (const recognizer::Line &l : lines) {
        const QRect box(QPoint(l.left, l.top), QPoint(l.right - 1, l.bottom - 1));
        const QString text =
            l.hasText ? QString::fromUtf8(l.text.data(), qsizetype(l.text.size())).trimmed()
                      : QString();
        if (out.isEmpty() || l.line != current) {
            out.append(EngineLine{box, {}, l.block, {}});
            current = l.line;
        }
        EngineLine &line = out.last();
        line.box = line.box.united(box);
        if (text.isEmpty())
            continue;
        line.words.append(LayoutWord{box, text, l.confidence});
        line.text = line.text ? *line.text + QLatin1Char(' ') + text : text;
    }
    return out;
}

} // namespace

TesseractEngine::TesseractEngine() : m_helpers(std::make_unique<HelperCache>()) {}

TesseractEngine::~TesseractEngine() = default;

PreparedImage TesseractEngine::prepare(const QImage &image, double pixelBudget)
{
    PreparedImage out;
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    // Light text on a dark theme, a dark terminal in a light window: the engine wants dark
    // text on light, so each panel is turned the right way on its own.
    out.panels = PanelMap::of(grey);
    for (const PanelMap::Panel &p : out.panels.panels())
        out.inverted = out.inverted || p.lightOnDark;
    out.flat = out.panels.darkOnLight(grey);
    // UI text of 10–16 px is too small for the engine: enlarge up to three times, less for
    // big pictures, whose reading time grows with their area.
    const quint64 pixels = quint64(grey.width()) * quint64(grey.height());
    out.scale = pixels ? std::clamp(std::sqrt(pixelBudget / double(pixels)), 1.0, 3.0) : 1.0;
    // Text that is tall already (a doubled screen) is enlarged only as far as it needs.
    if (out.scale > 1.0)
        if (const double wanted = enlargement(out.flat); wanted > 0)
            out.scale = std::min(out.scale, wanted);
    out.grey = out.scale > 1.0 ? out.flat.scaled(out.flat.size() * out.scale, Qt::IgnoreAspectRatio,
                                                 Qt::SmoothTransformation)
                               : out.flat;
    return out;
}

double TesseractEngine::enlargement(const QImage &input)
{
    const QImage grey = input.format() == QImage::Format_Grayscale8
                            ? input
                            : input.convertToFormat(QImage::Format_Grayscale8);
    const int w = grey.width(), h = grey.height();
    if (w <= 0 || h <= 0)
        return 0;
    // Heights of the pieces of ink that look like glyphs: 8-connected, as high as wide or
    // narrower than four times their height (not rules), and more than a dot.
    constexpr int ink = 160;
    std::vector<int> heights;
    forEachInkComponent(grey, ink, [&](const std::vector<int> &, const QRect &bounds) {
        if (bounds.height() >= 3 && bounds.width() <= 4 * bounds.height())
            heights.push_back(bounds.height());
    });
    if (heights.empty())
        return 0;
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return std::clamp(glyphHeight / heights[heights.size() / 2], 1.0, 3.0);
}

Result<QList<EngineLine>> TesseractEngine::recognize(const QImage &grey, const QString &languages)
{
    if (grey.isNull())
        return QList<EngineLine>{};
    return run(*m_helpers, languages, grey.convertToFormat(QImage::Format_Grayscale8), true);
}

QList<EngineLine> TesseractEngine::layout(const QImage &grey)
{
    if (grey.isNull())
        return {};
    auto lines = run(*m_helpers, {}, grey.convertToFormat(QImage::Format_Grayscale8), false);
    return lines ? *lines : QList<EngineLine>{};
}

void TesseractEngine::warmUp(const QString &languages)
{
    m_helpers->warm(languages);
}

void TesseractEngine::releaseIdleEngines()
{
    m_helpers->dropIdle();
}

int TesseractEngine::idleEngineCount()
{
    return m_helpers->idleCount();
}

} // namespace vistrel
