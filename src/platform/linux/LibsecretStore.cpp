#include "LibsecretStore.h"

#include "platform/Log.h"
#include "platform/SessionBus.h"

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace talvor::platform {

namespace {

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
    return error->domain == G_DBUS_ERROR || error->domain == G_IO_ERROR;
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

bool haveBus() {
    return SessionBus::address().has_value();
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
    secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, n.constData(), text.constData(),
                               nullptr, &error, "name", n.constData(), nullptr);
    return outcomeOf(error, "store");
}

SecretStore::Loaded LibsecretStore::load(const QString& name) {
    if (!haveBus()) {
        return {Outcome::Unavailable, std::nullopt};
    }
    GError* error = nullptr;
    const QByteArray n = name.toUtf8();
    gchar* text =
        secret_password_lookup_sync(schema(), nullptr, &error, "name", n.constData(), nullptr);
    if (error) {
        return {outcomeOf(error, "read"), std::nullopt};
    }
    if (!text) {
        return {Outcome::Done, std::nullopt};
    }
    QByteArray secret = QByteArray::fromBase64(QByteArray(text));
    secret_password_free(text);
    return {Outcome::Done, std::move(secret)};
}

SecretStore::Outcome LibsecretStore::remove(const QString& name) {
    if (!haveBus()) {
        return Outcome::Unavailable;
    }
    GError* error = nullptr;
    const QByteArray n = name.toUtf8();
    secret_password_clear_sync(schema(), nullptr, &error, "name", n.constData(), nullptr);
    return outcomeOf(error, "remove");
}

}  // namespace talvor::platform
