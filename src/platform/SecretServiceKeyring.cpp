// libsecret's GLib headers name a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include "platform/SecretServiceKeyring.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <type_traits>

#include <dlfcn.h>

namespace vistrel {

namespace {

// libsecret, and the GLib parts it brings, are opened at the first keyring call rather than
// at start: most runs never touch the keyring, and they would add a megabyte and a half to
// every start. Without libsecret there is no keyring, and tokens go to their file.
struct LibSecret
{
    decltype(&secret_password_lookup_sync) lookup = nullptr;
    decltype(&secret_password_store_sync) store = nullptr;
    decltype(&secret_password_clear_sync) clear = nullptr;
    decltype(&secret_password_free) freePassword = nullptr;
    decltype(&g_cancellable_new) newCancellable = nullptr;
    decltype(&g_cancellable_cancel) cancel = nullptr;
    decltype(&g_object_unref) unref = nullptr;
    decltype(&g_error_free) freeError = nullptr;
    decltype(&g_io_error_quark) ioErrorQuark = nullptr;

    // Null when it cannot be had.
    static const LibSecret *get()
    {
        static const std::optional<LibSecret> loaded = []() -> std::optional<LibSecret> {
            void *library = ::dlopen("libsecret-1.so.0", RTLD_NOW | RTLD_LOCAL);
            if (!library)
                return std::nullopt;
            LibSecret f;
            bool all = true;
            auto bind = [&](auto &function, const char *name) {
                // Found in libsecret or the GLib libraries it depends on.
                function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                    ::dlsym(library, name));
                all = all && function;
            };
            bind(f.lookup, "secret_password_lookup_sync");
            bind(f.store, "secret_password_store_sync");
            bind(f.clear, "secret_password_clear_sync");
            bind(f.freePassword, "secret_password_free");
            bind(f.newCancellable, "g_cancellable_new");
            bind(f.cancel, "g_cancellable_cancel");
            bind(f.unref, "g_object_unref");
            bind(f.freeError, "g_error_free");
            bind(f.ioErrorQuark, "g_io_error_quark");
            if (!all)
                return std::nullopt;
            return f;
        }();
        return loaded ? &*loaded : nullptr;
    }
};

const SecretSchema *schema()
{
    static const SecretSchema ours = {
        "io.vistrel.Vistrel",
        SECRET_SCHEMA_NONE,
        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &ours;
}

// The error's text, freed; "the keyring did not answer in time" for a call we cancelled.
QString takeError(const LibSecret &f, GError *error, bool timedOut)
{
    if (!error)
        return {};
    const bool cancelled = error->domain == f.ioErrorQuark() && error->code == G_IO_ERROR_CANCELLED;
    QString text = cancelled && timedOut ? QStringLiteral("the keyring did not answer in time")
                   : cancelled           ? QStringLiteral("cancelled")
                                         : QString::fromUtf8(error->message);
    f.freeError(error);
    return text.isEmpty() ? QStringLiteral("the keyring refused") : text;
}

const QString noLibrary = QStringLiteral("libsecret cannot be loaded");

} // namespace

// One call into libsecret: its cancellable, cancelled by a watchdog at the time limit or by
// the keyring going.
class SecretServiceKeyring::Call
{
public:
    Call(SecretServiceKeyring &keyring, const LibSecret &f)
        : m_keyring(keyring), m_f(f), m_cancellable(f.newCancellable())
    {
        {
            std::lock_guard lock(m_keyring.m_mutex);
            if (m_keyring.m_closing)
                m_f.cancel(m_cancellable);
            m_keyring.m_calls.push_back(m_cancellable);
        }
        m_watchdog = std::thread([this] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::milliseconds(m_keyring.m_timeoutMs),
                                 [this] { return m_finished; })) {
                m_timedOut = true;
                m_f.cancel(m_cancellable);
            }
        });
    }
    ~Call()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_watchdog.join();
        {
            std::lock_guard lock(m_keyring.m_mutex);
            auto &calls = m_keyring.m_calls;
            calls.erase(std::remove(calls.begin(), calls.end(), m_cancellable), calls.end());
        }
        m_keyring.m_changed.notify_all();
        m_f.unref(m_cancellable);
    }
    GCancellable *cancellable() const { return m_cancellable; }
    QString error(GError *error)
    {
        std::lock_guard lock(m_mutex);
        return takeError(m_f, error, m_timedOut);
    }

private:
    SecretServiceKeyring &m_keyring;
    const LibSecret &m_f;
    GCancellable *m_cancellable;
    std::thread m_watchdog;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    bool m_timedOut = false;
};

SecretServiceKeyring::SecretServiceKeyring(int timeoutMs) : m_timeoutMs(timeoutMs) {}

SecretServiceKeyring::~SecretServiceKeyring()
{
    std::unique_lock lock(m_mutex);
    m_closing = true;
    if (const LibSecret *f = LibSecret::get()) // no call was made without it
        for (GCancellable *c : m_calls)
            f->cancel(c);
    m_changed.wait(lock, [this] { return m_calls.empty(); });
}

bool SecretServiceKeyring::running()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // Only a keyring that runs: asking it by name would have the bus start one.
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << QStringLiteral("org.freedesktop.secrets");
    const QDBusMessage answer = bus.call(ask, QDBus::Block, 2000);
    const bool owned = answer.type() == QDBusMessage::ReplyMessage &&
                       !answer.arguments().isEmpty() && answer.arguments().constFirst().toBool();
    return owned && LibSecret::get();
}

Result<std::optional<QString>> SecretServiceKeyring::lookup(const QString &name)
{
    const LibSecret *f = LibSecret::get();
    if (!f)
        return CaptureError::failed(noLibrary);
    Call call(*this, *f);
    GError *error = nullptr;
    const QByteArray service = name.toUtf8();
    gchar *secret =
        f->lookup(schema(), call.cancellable(), &error, "service", service.constData(), nullptr);
    if (error)
        return CaptureError::failed(call.error(error));
    if (!secret)
        return std::optional<QString>();
    const QString text = QString::fromUtf8(secret);
    f->freePassword(secret); // wipes it
    return std::optional<QString>(text);
}

QString SecretServiceKeyring::store(const QString &name, const QString &label,
                                    const QString &secret)
{
    const LibSecret *f = LibSecret::get();
    if (!f)
        return noLibrary;
    Call call(*this, *f);
    GError *error = nullptr;
    const QByteArray service = name.toUtf8();
    QByteArray bytes = secret.toUtf8();
    f->store(schema(), SECRET_COLLECTION_DEFAULT, label.toUtf8().constData(), bytes.constData(),
             call.cancellable(), &error, "service", service.constData(), nullptr);
    bytes.fill('\0');
    return call.error(error);
}

QString SecretServiceKeyring::clear(const QString &name)
{
    const LibSecret *f = LibSecret::get();
    if (!f)
        return noLibrary;
    Call call(*this, *f);
    GError *error = nullptr;
    const QByteArray service = name.toUtf8();
    f->clear(schema(), call.cancellable(), &error, "service", service.constData(), nullptr);
    return call.error(error);
}

} // namespace vistrel
