#pragma once

#include <QFuture>
#include <QImage>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <optional>

namespace vistrel {

// Suggests a short descriptive file-name base for a screenshot by asking the user's
// `claude` command-line tool, from the recognised text or, when there is too little, from
// the picture itself. Any failure is simply no suggestion.
struct NamingLimits
{
    int timeoutMs = 20000;           // then the tool is asked to stop
    int killGraceMs = 2000;          // then it is killed
    qint64 maxOutputBytes = 1 << 20; // an answer is one short line
};

// The tools it runs and the threads that wait for them are this object's.
class SmartNaming
{
public:
    using Limits = NamingLimits;

    SmartNaming();
    // Drops the suggestions not started yet, ends the running ones (stopAll) and waits for
    // its threads; a tool that would start meanwhile is ended at once.
    ~SmartNaming();
    SmartNaming(const SmartNaming &) = delete;
    SmartNaming &operator=(const SmartNaming &) = delete;

    // False when the user set VISTREL_SMART_NAMES=0: no screenshot text or picture leaves
    // the process.
    static bool enabled();

    // Ends every tool still running (and what each started) and waits for their suggestions
    // to clean up.
    void stopAll();
    // Removes pictures that suggestions of earlier runs left in the temporary folder (a
    // killed app cannot), those older than `olderThanMs`.
    static void removeLeftovers(qint64 olderThanMs);

    // Runs on a worker thread of its own pool (the tool may take seconds); the future holds
    // the slug or nothing.
    QFuture<std::optional<QString>> suggest(const QString &ocrText, const QImage &image,
                                            Limits limits = {});
    // The same, blocking the calling thread.
    std::optional<QString> suggestNow(const QString &ocrText, const QImage &image,
                                      const Limits &limits = {});

    // The slug, a space and today's local date, e.g. "flight-booking-confirmation 2026-03-14".
    static QString filename(const QString &base);

    // The `claude` executable on PATH, else in ~/.local/bin or /usr/local/bin.
    static std::optional<QString> claudeExecutable();
    static QString textPrompt(const QString &excerpt);
    static QString imagePrompt(const QString &imagePath);

    // Runs the tool without ANTHROPIC_API_KEY in its environment and returns its standard
    // output, or nothing when it cannot start, does not exit with status 0, is not UTF-8 or is
    // too long. A tool still running at the time-out is stopped, and whatever it started is
    // ended when it ends.
    std::optional<QString> runClaude(const QStringList &arguments, const Limits &limits = {});

    static constexpr qsizetype minTextLength = 12;
    static constexpr qsizetype excerptLength = 1400;

private:
    std::optional<QString> slugFromImage(const QImage &image, const Limits &limits);
    // The process groups of the tools running now; false once the object is going.
    bool addRunning(qint64 group);
    void removeRunning(qint64 group);

    // Each suggestion blocks a thread while the tool thinks; kept off the shared pool, which
    // the picture work (encoding, recognition) needs.
    QThreadPool m_pool;
    QMutex m_mutex; // guards the two below
    QSet<qint64> m_running;
    bool m_ending = false;
};

} // namespace vistrel
