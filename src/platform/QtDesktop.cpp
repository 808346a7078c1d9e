#include "platform/QtDesktop.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

#include <memory>
#include <utility>

namespace vistrel {

// --- screens as the toolkit knows them -------------------------------------------------------

quint32 displayIDFor(const QScreen *screen)
{
    // Stable for as long as the output keeps its name; 0 is kept for "no display".
    const quint32 id = qHash(screen->name(), 0x5673746cU);
    return id ? id : 1;
}

QList<ScreenInfo> toolkitScreens()
{
    QList<ScreenInfo> out;
    QScreen *primary = QGuiApplication::primaryScreen();
    for (QScreen *s : QGuiApplication::screens()) {
        ScreenInfo info{displayIDFor(s), s->devicePixelRatio(), s};
        if (s == primary)
            out.prepend(info);
        else
            out.append(info);
    }
    return out;
}

QList<DisplayInfo> toolkitDisplays()
{
    QList<DisplayInfo> out;
    for (QScreen *s : QGuiApplication::screens()) {
        DisplayInfo d;
        d.displayID = displayIDFor(s);
        d.frame = s->geometry();
        d.scale = s->devicePixelRatio();
        // The toolkit keeps a screen's top-left at its device position and scales the size.
        d.pixelOrigin = s->geometry().topLeft();
        out.append(d);
    }
    return out;
}

quint32 toolkitMainDisplayID()
{
    QScreen *primary = QGuiApplication::primaryScreen();
    return primary ? displayIDFor(primary) : 0;
}

OwnWindowsAside::OwnWindowsAside(const std::function<bool(const QWindow *)> &covers)
{
    for (QWindow *w : QGuiApplication::topLevelWindows()) {
        if (!w->isVisible() || w->property(keepInGrabsProperty).toBool() || (covers && !covers(w)))
            continue;
        w->setVisible(false);
        m_hidden.append(w);
    }
}

OwnWindowsAside::~OwnWindowsAside()
{
    for (const QPointer<QWindow> &w : m_hidden)
        if (w)
            w->setVisible(true);
}

void showCovering(QWidget *window, QScreen *screen)
{
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        window->setScreen(screen);
        window->showFullScreen();
    } else {
        window->show();
    }
}

// --- clipboard, save chooser, alerts ---------------------------------------------------------

void QtClipboard::setContents(const QList<std::pair<QString, QByteArray>> &formats)
{
    auto *data = new QMimeData;
    for (const auto &[type, bytes] : formats)
        data->setData(type, bytes);
    QGuiApplication::clipboard()->setMimeData(data);
}

void QtClipboard::setText(const QString &text)
{
    auto *data = new QMimeData;
    data->setText(text);
    QGuiApplication::clipboard()->setMimeData(data);
}

bool QtClipboard::holdsOwnContents() const
{
    return QGuiApplication::clipboard()->ownsClipboard();
}

NameOnlyFileIcons *NameOnlyFileIcons::shared()
{
    static NameOnlyFileIcons icons;
    return &icons;
}

QIcon NameOnlyFileIcons::icon(IconType type) const
{
    return QAbstractFileIconProvider::icon(type);
}

QIcon NameOnlyFileIcons::icon(const QFileInfo &info) const
{
    if (info.isDir())
        return QIcon::fromTheme(QStringLiteral("folder"), QAbstractFileIconProvider::icon(Folder));
    const QMimeType mime = m_types.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    return QIcon::fromTheme(
        mime.iconName(),
        QIcon::fromTheme(mime.genericIconName(), QAbstractFileIconProvider::icon(File)));
}

QString NameOnlyFileIcons::type(const QFileInfo &info) const
{
    if (info.isDir())
        return QCoreApplication::translate("QtSaveChooser", "Folder");
    const QMimeType mime = m_types.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    return mime.comment().isEmpty() ? mime.name() : mime.comment();
}

QString QtSaveChooser::withTypeExtension(const QString &path, const QStringList &filters,
                                         const QString &selected)
{
    // "PNG image (*.png)" → png; a name that already ends in one of the offered types keeps it.
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const QString &filter : filters)
        for (auto it = pattern.globalMatch(filter); it.hasNext();)
            if (it.next().captured(1).toLower() == suffix)
                return path;
    const auto first =
        pattern.match(selected.isEmpty() && !filters.isEmpty() ? filters.first() : selected);
    return first.hasMatch() ? path + QLatin1Char('.') + first.captured(1) : path;
}

void QtSaveChooser::choose(const SaveRequest &request, std::function<void(QString)> done)
{
    const QString folder = request.folder.isEmpty() ? QDir::homePath() : request.folder;
    auto *dialog = new QFileDialog(nullptr, QCoreApplication::translate("QtSaveChooser", "Save"),
                                   QDir(folder).filePath(request.suggestedName));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(request.nameFilters);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // Icons and types from names alone: reading a special file to sniff its type (/proc/kmsg)
    // can block for good, and with it the dialog, its file-list thread and quitting.
    dialog->setIconProvider(NameOnlyFileIcons::shared());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto answered = std::make_shared<bool>(false);
    QObject::connect(
        dialog, &QFileDialog::fileSelected, dialog,
        [dialog, request, done, answered](const QString &f) {
            *answered = true;
            done(withTypeExtension(f, request.nameFilters, dialog->selectedNameFilter()));
        });
    QObject::connect(dialog, &QFileDialog::finished, dialog, [done, answered](int) {
        if (!*answered) {
            *answered = true;
            done(QString());
        }
    });
    m_open = dialog;
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void QtAlerts::warn(const QString &title, const QString &message)
{
    // Not modal, and one box per message: a failure repeated by every hot-key press raises the
    // box already up instead of stacking another (or nesting event loops).
    const QString key = title + QLatin1Char('\n') + message;
    if (QPointer<QMessageBox> open = m_open.value(key)) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::Ok);
    box->setInformativeText(message);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    // Kept above an open save dialog without belonging to it: the message stays when the
    // dialog goes first.
    if (QFileDialog *dialog = m_saves ? m_saves->openDialog() : nullptr;
        dialog && dialog->isVisible()) {
        box->winId();
        if (QWindow *over = dialog->windowHandle())
            box->windowHandle()->setTransientParent(over);
    }
    m_open.insert(key, box);
    QObject::connect(box, &QObject::destroyed, box, [this, key] { m_open.remove(key); });
    box->show();
    box->raise();
    box->activateWindow();
}

void QtAlerts::ask(const Question &question, std::function<void(int)> done)
{
    auto *box = new QMessageBox(QMessageBox::Question, question.title, question.title,
                                QMessageBox::NoButton);
    box->setInformativeText(question.message);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QList<QAbstractButton *> buttons;
    for (int i = 0; i < question.choices.size(); ++i) {
        const auto role = i == question.cancelChoice    ? QMessageBox::RejectRole
                          : i == question.defaultChoice ? QMessageBox::AcceptRole
                                                        : QMessageBox::ActionRole;
        QAbstractButton *b = box->addButton(question.choices[i], role);
        buttons.append(b);
        if (i == question.defaultChoice)
            box->setDefaultButton(static_cast<QPushButton *>(b));
        if (i == question.cancelChoice)
            box->setEscapeButton(b);
    }
    // One answer: the button pressed, or the cancel choice when the box goes without one.
    auto answered = std::make_shared<bool>(false);
    auto finish = [done, answered](int choice) {
        if (std::exchange(*answered, true))
            return;
        done(choice);
    };
    QObject::connect(box, &QMessageBox::buttonClicked, box,
                     [buttons, finish](QAbstractButton *b) { finish(int(buttons.indexOf(b))); });
    const int cancel = question.cancelChoice;
    QObject::connect(box, &QObject::destroyed, [finish, cancel] { finish(cancel); });
    box->show();
    box->raise();
    box->activateWindow();
}

} // namespace vistrel
