#include "SecretStore.h"

#include "AtomicFile.h"
#include "Log.h"
#include "Paths.h"
#include "SystemServices.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace talvor::platform {

namespace {

SecretStore* g_override = nullptr;

// Names become file names: anything but letters, digits, '-', '_' and '.' is escaped.
QString fileNameFor(const QString& name) {
    QString out;
    for (const QChar c : name) {
        if ((c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('-') ||
            c == QLatin1Char('_') || c == QLatin1Char('.')) {
            out += c;
        } else {
            out +=
                QLatin1Char('%') + QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        }
    }
    return out.startsWith(QLatin1Char('.')) ? QStringLiteral("%002e") + out.mid(1) : out;
}

}  // namespace

SecretStore& SecretStore::shared() {
    if (g_override) {
        return *g_override;
    }
    static KeyringOrFileSecretStore store(
        systemServices().secretStore ? systemServices().secretStore() : nullptr,
        std::make_unique<FileSecretStore>(Paths::dataDir() + QStringLiteral("/Secrets")));
    return store;
}

void SecretStore::setShared(SecretStore* store) {
    g_override = store;
}

FileSecretStore::FileSecretStore(QString folder) : folder_(std::move(folder)) {}

QString FileSecretStore::pathFor(const QString& name) const {
    return folder_ + QLatin1Char('/') + fileNameFor(name);
}

SecretStore::Outcome FileSecretStore::save(const QString& name, const QByteArray& secret) {
    if (!Paths::makePath(folder_)) {
        log(QStringLiteral("Secrets: cannot make the folder %1").arg(folder_));
        return Outcome::Failed;
    }
    ::chmod(QFile::encodeName(folder_).constData(), 0700);
    const QString path = pathFor(name);
    // A replacement keeps the old file's mode: make sure that is private before writing.
    ::chmod(QFile::encodeName(path).constData(), 0600);
    QString error;
    if (!writeFileAtomically(path, secret, &error)) {
        log(QStringLiteral("Secrets: cannot write %1: %2").arg(path, error));
        return Outcome::Failed;
    }
    return Outcome::Done;
}

SecretStore::Loaded FileSecretStore::load(const QString& name) {
    QFile file(pathFor(name));
    if (!file.exists()) {
        return {Outcome::Done, std::nullopt};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        log(QStringLiteral("Secrets: cannot read %1: %2").arg(file.fileName(), file.errorString()));
        return {Outcome::Failed, std::nullopt};
    }
    return {Outcome::Done, file.readAll()};
}

SecretStore::Outcome FileSecretStore::remove(const QString& name) {
    QFile file(pathFor(name));
    if (file.exists() && !file.remove()) {
        log(QStringLiteral("Secrets: cannot remove %1: %2")
                .arg(file.fileName(), file.errorString()));
        return Outcome::Failed;
    }
    return Outcome::Done;
}

KeyringOrFileSecretStore::KeyringOrFileSecretStore(std::unique_ptr<SecretStore> keyring,
                                                   std::unique_ptr<SecretStore> file)
    : keyring_(std::move(keyring)), file_(std::move(file)) {}

void KeyringOrFileSecretStore::warnOnce() {
    if (!warned_) {
        warned_ = true;
        log(QStringLiteral(
            "Secrets: no keyring answers; sign-ins are kept in a private file (mode 0600) "
            "instead"));
    }
}

SecretStore::Outcome KeyringOrFileSecretStore::save(const QString& name, const QByteArray& secret) {
    if (keyring_) {
        const Outcome o = keyring_->save(name, secret);
        if (o != Outcome::Unavailable) {
            if (o == Outcome::Done) {
                file_->remove(name);  // a copy from a time without keyring is stale now
            }
            return o;
        }
    }
    warnOnce();
    return file_->save(name, secret);
}

SecretStore::Loaded KeyringOrFileSecretStore::load(const QString& name) {
    if (keyring_) {
        Loaded l = keyring_->load(name);
        if (l.outcome == Outcome::Failed || l.secret) {
            return l;
        }
        if (l.outcome == Outcome::Unavailable) {
            warnOnce();
        }
    } else {
        warnOnce();
    }
    return file_->load(name);
}

SecretStore::Outcome KeyringOrFileSecretStore::remove(const QString& name) {
    Outcome o = Outcome::Unavailable;
    if (keyring_) {
        o = keyring_->remove(name);
    }
    const Outcome f = file_->remove(name);
    if (o == Outcome::Failed) {
        return o;
    }
    return f;
}

}  // namespace talvor::platform
