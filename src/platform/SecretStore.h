#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace talvor::platform {

// Small secrets kept for the user under a name (a sign-in's tokens): the desktop's keyring.
// Main thread only. Never log what goes in or comes out.
class SecretStore {
  public:
    virtual ~SecretStore() = default;

    enum class Outcome {
        Done,
        // Nobody answers (no keyring service, no session bus): the caller may fall back.
        Unavailable,
        // The keyring answered with a refusal (locked and not unlocked, an I/O error).
        Failed,
    };
    struct Loaded {
        Outcome outcome = Outcome::Done;
        std::optional<QByteArray> secret;  // none when nothing is stored under the name
    };

    virtual Outcome save(const QString& name, const QByteArray& secret) = 0;
    virtual Loaded load(const QString& name) = 0;
    // Removing a name that holds nothing is Done.
    virtual Outcome remove(const QString& name) = 0;

    // The process-wide store: the installed keyring, falling back to a private file (see
    // KeyringOrFileSecretStore); tests put a fake in its place (nullptr: the real one).
    static SecretStore& shared();
    static void setShared(SecretStore* store);
};

// One file per name in a folder of its own (created 0700), each written whole with mode
// 0600: for machines where no keyring runs.
class FileSecretStore : public SecretStore {
  public:
    explicit FileSecretStore(QString folder);
    Outcome save(const QString& name, const QByteArray& secret) override;
    Loaded load(const QString& name) override;
    Outcome remove(const QString& name) override;
    QString pathFor(const QString& name) const;

  private:
    QString folder_;
};

// The keyring while it answers; where it does not, the file store, with one warning in the
// log for the life of the process. A keyring that answers with a refusal is reported, never
// bypassed: the secret does not silently land in a file instead. Loading also looks in the
// file when the keyring holds nothing, so a secret kept while no keyring ran is still found.
class KeyringOrFileSecretStore : public SecretStore {
  public:
    // `keyring` may be null (no keyring adapter installed).
    KeyringOrFileSecretStore(std::unique_ptr<SecretStore> keyring,
                             std::unique_ptr<SecretStore> file);
    Outcome save(const QString& name, const QByteArray& secret) override;
    Loaded load(const QString& name) override;
    Outcome remove(const QString& name) override;

  private:
    void warnOnce();

    std::unique_ptr<SecretStore> keyring_;
    std::unique_ptr<SecretStore> file_;
    bool warned_ = false;
};

}  // namespace talvor::platform
