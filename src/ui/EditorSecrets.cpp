#include "ui/EditorSecrets.h"

#include "ui/AnnotationCanvas.h"
#include "ui/Notifier.h"

#include <QGuiApplication>
#include <QPointer>

namespace vistrel {

EditorSecrets::EditorSecrets(AnnotationCanvas *canvas, const Platform &platform,
                             std::function<SecretRules()> rules, QObject *parent)
    : QObject(parent), m_canvas(canvas), m_platform(platform), m_rules(std::move(rules))
{
}

EditorSecrets::~EditorSecrets()
{
    stop();
}

QList<CanvasPicture> EditorSecrets::canvasPictures() const
{
    const CanvasModel &model = m_canvas->model();
    QList<CanvasPicture> pictures{{model.baseImage(), model.primaryRect()}};
    for (const PlacedImageRef &img : model.extraImages())
        pictures.append({img->picture, img->frame});
    return pictures;
}

void EditorSecrets::readPictures(std::function<void(QString)> then)
{
    m_afterReading.append(std::move(then));
    if (m_reading)
        return; // the reading under way answers this one too
    QList<QImage> missing;
    for (const CanvasPicture &p : canvasPictures())
        if (!m_words.contains(p.picture.cacheKey()) &&
            std::none_of(missing.cbegin(), missing.cend(),
                         [&](const QImage &m) { return m.cacheKey() == p.picture.cacheKey(); }))
            missing.append(p.picture);
    QPointer<EditorSecrets> self(this);
    auto finish = [self](const QString &error) {
        if (!self)
            return;
        self->m_reading = false;
        for (const auto &waiting : std::exchange(self->m_afterReading, {}))
            waiting(error);
    };
    if (missing.isEmpty())
        return finish(QString());
    if (!m_wordReader)
        return finish(tr("Text recognition is not available."));
    m_reading = true;
    auto left = std::make_shared<int>(int(missing.size()));
    auto error = std::make_shared<QString>();
    for (const QImage &picture : missing) {
        const qint64 key = picture.cacheKey();
        m_wordReader(picture, this,
                     [self, key, left, error, finish](Result<QList<LayoutLine>> words) {
                         if (!self)
                             return;
                         if (words)
                             self->m_words.insert(key, *words);
                         else if (error->isEmpty())
                             *error = words.error().errorDescription();
                         if (--*left == 0)
                             finish(*error);
                     });
    }
}

QList<PlacedFinding> EditorSecrets::findings() const
{
    const SecretFinder finder(m_rules ? m_rules() : SecretRules());
    QList<PlacedFinding> out;
    for (const CanvasPicture &p : canvasPictures()) {
        const auto words = m_words.constFind(p.picture.cacheKey());
        if (words != m_words.cend())
            out += Redaction::place(finder.find(*words, p.picture), p.picture, p.frame);
    }
    return out;
}

void EditorSecrets::redact()
{
    if (m_searching)
        return; // the search under way answers this press too
    m_canvas->commitEditors();
    m_platform.toasts->show(tr("Looking for secrets… Escape stops."));
    m_searching = true;
    const int round = ++m_round;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    QPointer<EditorSecrets> self(this);
    readPictures([self, round](const QString &error) {
        if (!self || !self->m_searching || self->m_round != round)
            return; // stopped: the words read stay for the next search
        self->stop();
        if (!error.isEmpty()) {
            Notifier::error(self->m_platform.alerts, error);
            return;
        }
        const QList<PlacedFinding> open =
            Redaction::uncovered(self->findings(), self->m_canvas->model().annotations());
        if (open.isEmpty()) {
            self->m_platform.toasts->show(tr("No uncovered secrets found"));
            return;
        }
        self->m_canvas->addMarks(Redaction::marksFor(open));
        self->m_platform.toasts->show(Redaction::summary(open));
    });
}

void EditorSecrets::stop()
{
    if (!std::exchange(m_searching, false))
        return;
    ++m_round;
    QGuiApplication::restoreOverrideCursor();
}

} // namespace vistrel
