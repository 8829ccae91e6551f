#include "LibsecretStore.h"

#include "platform/Log.h"
#include "platform/SessionBus.h"

#include <dlfcn.h>

#include <mutex>

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace talvor::platform {

namespace {

// libsecret, opened the first time the keyring is used: linked, it brought GIO and the
// half-dozen libraries under it into every start, before the strip's first frame, for a
// keyring only the Google sign-in touches.
struct Libsecret {
    decltype(&secret_password_store_sync) store = nullptr;
    decltype(&secret_password_lookup_sync) lookup = nullptr;
    decltype(&secret_password_clear_sync) clear = nullptr;
    decltype(&secret_password_free) free = nullptr;

    bool loaded() const { return store && lookup && clear && free; }
};

const Libsecret& libsecret() {
    static Libsecret library;
    static std::once_flag once;
    std::call_once(once, [] {
        void* handle = ::dlopen("libsecret-1.so.0", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = ::dlerror();
            log(QStringLiteral("Keyring: libsecret could not be loaded (%1): secrets are kept "
                               "in files")
                    .arg(QString::fromLocal8Bit(why != nullptr ? why : "no reason given")));
            return;
        }
        library.store = reinterpret_cast<decltype(library.store)>(
            ::dlsym(handle, "secret_password_store_sync"));
        library.lookup = reinterpret_cast<decltype(library.lookup)>(
            ::dlsym(handle, "secret_password_lookup_sync"));
        library.clear = reinterpret_cast<decltype(library.clear)>(
            ::dlsym(handle, "secret_password_clear_sync"));
        library.free =
            reinterpret_cast<decltype(library.free)>(::dlsym(handle, "secret_password_free"));
        if (!library.loaded()) {
            log(
                QStringLiteral("Keyring: libsecret lacks the calls we use: secrets are kept "
                               "in files"));
        }
    });
    return library;
}

const SecretSchema* schema() {
    static const SecretSchema s = {
        "com.larkspindle.TalvorPro.Secret",
        SECRET_SCHEMA_NONE,
        {{"name", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &s;
}

// Nobody to ask: no session bus (libsecret would otherwise have one launched), or no
// Secret Service on it.
bool isUnavailable(const GError* error) {
    // GIO's error domains by their names: GIO itself comes only with libsecret.
    return error->domain == g_quark_from_static_string("g-dbus-error-quark") ||
           error->domain == g_quark_from_static_string("g-io-error-quark");
}

SecretStore::Outcome outcomeOf(GError* error, const char* what) {
    if (!error) {
        return SecretStore::Outcome::Done;
    }
    const bool unavailable = isUnavailable(error);
    if (!unavailable) {
        log(QStringLiteral("Keyring: cannot %1 a secret: %2")
                .arg(QLatin1String(what), QString::fromUtf8(error->message)));
    }
    g_error_free(error);
    return unavailable ? SecretStore::Outcome::Unavailable : SecretStore::Outcome::Failed;
}

// Without a bus libsecret would have one launched.
bool haveBus() {
    return SessionBus::address().has_value() && libsecret().loaded();
}

}  // namespace

SecretStore::Outcome LibsecretStore::save(const QString& name, const QByteArray& secret) {
    if (!haveBus()) {
        return Outcome::Unavailable;
    }
    GError* error = nullptr;
    const QByteArray n = name.toUtf8();
    // The secret is text to libsecret: kept as base64 so any bytes survive.
    const QByteArray text = secret.toBase64();
    libsecret().store(schema(), SECRET_COLLECTION_DEFAULT, n.constData(), text.constData(), nullptr,
                      &error, "name", n.constData(), nullptr);
    return outcomeOf(error, "store");
}

SecretStore::Loaded LibsecretStore::load(const QString& name) {
    if (!haveBus()) {
        return {Outcome::Unavailable, std::nullopt};
    }
    GError* error = nullptr;
    const QByteArray n = name.toUtf8();
    gchar* text = libsecret().lookup(schema(), nullptr, &error, "name", n.constData(), nullptr);
    if (error) {
        return {outcomeOf(error, "read"), std::nullopt};
    }
    if (!text) {
        return {Outcome::Done, std::nullopt};
    }
    QByteArray secret = QByteArray::fromBase64(QByteArray(text));
    libsecret().free(text);
    return {Outcome::Done, std::move(secret)};
}

SecretStore::Outcome LibsecretStore::remove(const QString& name) {
    if (!haveBus()) {
        return Outcome::Unavailable;
    }
    GError* error = nullptr;
    const QByteArray n = name.toUtf8();
    libsecret().clear(schema(), nullptr, &error, "name", n.constData(), nullptr);
    return outcomeOf(error, "remove");
}

}  // namespace talvor::platform
