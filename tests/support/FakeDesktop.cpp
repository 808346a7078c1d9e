#include "FakeDesktop.h"

#include <QPainter>

#include <cmath>

namespace vistrel {

FakeDesktop::FakeDesktop() = default;

Platform FakeDesktop::platform()
{
    return {.screens = this,
            .hotkeys = this,
            .clipboard = this,
            .saveChooser = this,
            .alerts = this,
            .pointer = this,
            .escape = this,
            .limits = limits,
            .toasts = this,
            .pins = this,
            .windows = this};
}

DisplayInfo FakeDesktop::addDisplay(quint32 id, const QRectF &frame, qreal scale, QColor fill,
                                    bool listedInScreens)
{
    Display d;
    d.info.displayID = id;
    d.info.frame = frame;
    d.info.scale = scale;
    d.info.pixelOrigin = QPoint(qRound(frame.x() * scale), qRound(frame.y() * scale));
    const QSize px(qRound(frame.width() * scale), qRound(frame.height() * scale));
    d.picture = QImage(px, QImage::Format_RGB32);
    d.picture.fill(fill);
    // A diagonal gradient stripe so crops from different places differ.
    QPainter p(&d.picture);
    for (int x = 0; x < px.width(); x += 16)
        p.fillRect(x, 0, 8, px.height(), QColor::fromHsv((x / 16 * 37) % 360, 200, 220));
    p.end();
    m_displays.append(d);
    if (!listedInScreens)
        m_unlisted.append(id);
    return d.info;
}

WindowInfo FakeDesktop::addWindow(quint32 id, const QRectF &frame, std::optional<qint64> owner)
{
    WindowInfo w;
    w.windowID = id;
    w.frame = frame;
    w.ownerPid = owner;
    w.pixelFrame = frame.toRect();
    for (const Display &d : m_displays)
        if (d.info.frame.contains(frame.center()))
            w.pixelFrame = QRect((frame.topLeft() * d.info.scale).toPoint(),
                                 (frame.size() * d.info.scale).toSize());
    m_windows.append(w);
    return w;
}

FakeDesktop::Display *FakeDesktop::display(quint32 id)
{
    for (auto &d : m_displays)
        if (d.info.displayID == id)
            return &d;
    return nullptr;
}

Result<ScreenLayout> FakeDesktop::screenLayout()
{
    ++contentFetches;
    if (failContent)
        return CaptureError::failed(contentError);
    ScreenLayout c;
    for (const auto &d : m_displays)
        c.displays.append(d.info);
    c.windows = m_windows;
    return c;
}

quint32 FakeDesktop::primaryDisplayId() const
{
    if (mainID)
        return *mainID;
    return m_displays.isEmpty() ? 0 : m_displays.first().info.displayID;
}

QList<ScreenInfo> FakeDesktop::screens() const
{
    QList<ScreenInfo> out;
    // The main screen first, as the toolkit reports it.
    for (const auto &d : m_displays) {
        if (m_unlisted.contains(d.info.displayID))
            continue;
        ScreenInfo s{d.info.displayID, d.info.scale, screen};
        if (d.info.displayID == primaryDisplayId())
            out.prepend(s);
        else
            out.append(s);
    }
    return out;
}

Result<QImage> FakeDesktop::grabDisplayPixels(const DisplayInfo &info, const QRect &pixelRect)
{
    Display *d = display(info.displayID);
    if (!d)
        return CaptureError::failed(QStringLiteral("display %1 is gone").arg(info.displayID));
    if (d->failGrab)
        return CaptureError::failed(
            QStringLiteral("grab of display %1 failed").arg(info.displayID));
    if (d->outOfMemory)
        return CaptureError::outOfMemory();
    return d->picture.copy(pixelRect);
}

Result<QImage> FakeDesktop::grabWindowPixels(const WindowInfo &window, const QSize &pixelSize)
{
    for (const auto &d : m_displays) {
        if (d.failGrab || !d.info.frame.intersects(window.frame))
            continue;
        const QRectF local = window.frame.translated(-d.info.frame.topLeft());
        QImage part = d.picture.copy(QRect(
            QPoint(qRound(local.x() * d.info.scale), qRound(local.y() * d.info.scale)), pixelSize));
        return part;
    }
    return CaptureError::failed(
        QStringLiteral("window %1 is not on any display").arg(window.windowID));
}

bool FakeDesktop::grab(quint32 id, int digit)
{
    if (takenDigits.contains(digit))
        return false;
    grabbed.insert(id, digit);
    combinations.insert(id, Qt::CTRL | Qt::SHIFT | Qt::Key(Qt::Key_0 + digit));
    return true;
}

bool FakeDesktop::grabCombination(quint32 id, QKeyCombination combination)
{
    if (takenCombinations.contains(combination))
        return false;
    const int key = int(combination.key());
    if (combination.keyboardModifiers() == (Qt::ControlModifier | Qt::ShiftModifier) &&
        key >= Qt::Key_1 && key <= Qt::Key_9)
        return grab(id, key - Qt::Key_0);
    for (auto it = combinations.cbegin(); it != combinations.cend(); ++it)
        if (it.value() == combination && it.key() != id)
            return false; // as on X11: one grab per combination
    combinations.insert(id, combination);
    return true;
}

void FakeDesktop::ungrab(quint32 id)
{
    grabbed.remove(id);
    combinations.remove(id);
}

void FakeDesktop::setContents(const QList<std::pair<QString, QByteArray>> &formats)
{
    ++clipboardWrites;
    clipboardFormats = formats;
    clipboardText.clear();
}

void FakeDesktop::setText(const QString &text)
{
    ++clipboardWrites;
    clipboardFormats.clear();
    clipboardText = text;
}

void FakeDesktop::choose(const SaveRequest &request, std::function<void(QString)> done)
{
    saveRequests.append(request);
    done(saveAnswer);
}

bool FakeDesktop::scrollDown(QPoint globalPixel, int notches)
{
    wheelTurns.append({globalPixel, notches});
    pointerAt = globalPixel;
    if (onScrollDown)
        onScrollDown(notches);
    return true;
}

bool FakeDesktop::start(std::function<void()> onEscape)
{
    if (escapeTaken)
        return false;
    escapeHandler = std::move(onEscape);
    return true;
}

void FakeDesktop::warn(const QString &title, const QString &message)
{
    warnings.append({title, message});
}

} // namespace vistrel
