#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <mutex>
#include <optional>

namespace talvor::platform {

// One preference domain: property-list values by key. Reads and writes work on memory;
// `synchronize` writes pending changes to the backing store and takes in what other writers
// put there, keeping ours where both touched a key. Safe to use from several threads.
class PreferenceStore {
  public:
    explicit PreferenceStore(QString domain);
    virtual ~PreferenceStore();
    PreferenceStore(const PreferenceStore&) = delete;
    PreferenceStore& operator=(const PreferenceStore&) = delete;

    const QString& domain() const { return domain_; }

    // The value in canonical property-list form, or an invalid QVariant when absent.
    QVariant value(const QString& key) const;
    bool contains(const QString& key) const { return value(key).isValid(); }
    // Stores a value; an invalid QVariant removes the key. A value that a property list
    // cannot hold is refused (false) and the key keeps its old value.
    bool setValue(const QString& key, const QVariant& value);
    void removeValue(const QString& key) { setValue(key, QVariant()); }

    QStringList keys() const;
    QVariantMap dictionaryRepresentation() const;

    // The integer stored under the key, when the key exists and holds a valid integer: an
    // integer, a boolean (0 or 1) or a finite real (truncated). Strings are not integers.
    std::optional<qint64> integerValue(const QString& key) const;
    // The string stored under the key; nullopt when absent or of another type.
    std::optional<QString> stringValue(const QString& key) const;

    // Writes pending changes and takes in other writers' changes. False when the backing
    // store could not be written; the changes stay pending and are tried again next time.
    // While writes are held (setWritesHeld) it only takes in, as refresh does.
    bool synchronize();
    // Process-wide: whether every store's synchronize holds back its own changes, so that a
    // start of the program does not wait for the disk before its first frame
    // (Preferences::releaseWrites ends it and writes them).
    static void setWritesHeld(bool held);
    static bool writesHeld();
    // Takes in other writers' changes and writes nothing: our pending changes stay pending
    // (and keep winning) until the next synchronize. False when the backing store could
    // not be read.
    bool refresh();
    bool hasPendingChanges() const;

    // Called, outside the store's lock, when a write leaves a synchronised store with
    // pending changes: the application schedules a synchronise so that nothing waits for quit.
    void setPendingChangesHandler(std::function<void()> handler);

    // Why the backing store could not be read or written the last time it was tried; none
    // while it works. A writer that holds it for a moment is no failure: that is tried again.
    std::optional<QString> failure() const;
    // Told, outside the store's lock, whenever the store starts failing (at once when it
    // already is), so that changes that cannot be saved are not lost in silence.
    void setFailureHandler(std::function<void(const QString& why)> handler);

  protected:
    // Merges `pending` (an invalid value means "removed") into the backing store and sets
    // `contents` to everything the domain now holds. `known` is the domain as last read, for
    // a backing store that turns out to be unreadable. Called with the store locked.
    virtual bool exchange(const QVariantMap& known, const QHash<QString, QVariant>& pending,
                          QVariantMap& contents) = 0;
    static void applyPending(QVariantMap& contents, const QHash<QString, QVariant>& pending);
    // For subclasses that load their contents at construction.
    void loadInitialContents();
    // For exchange, with the store locked: how the backing store did.
    void noteFailure(const QString& why) { failure_ = why; }
    void noteWorking() { failure_.reset(); }

  private:
    // Runs `exchange` and says whether it made a working store fail.
    bool exchangeNoting(const QHash<QString, QVariant>& pending, QVariantMap& contents,
                        std::function<void()>& notify);

    const QString domain_;
    mutable std::mutex mutex_;
    QVariantMap contents_;
    QHash<QString, QVariant> pending_;
    std::function<void()> pendingHandler_;
    std::optional<QString> failure_;
    std::function<void(const QString&)> failureHandler_;
};

// A domain kept in memory only: for tests and for running without a writable home.
class MemoryPreferenceStore : public PreferenceStore {
  public:
    explicit MemoryPreferenceStore(QString domain = QStringLiteral("memory"));
    // Makes the next synchronisations fail (or succeed again), as a full disk would.
    void setFailSynchronize(bool fail) { failSynchronize_ = fail; }
    int synchronizeCount() const { return synchronizeCount_; }

  protected:
    bool exchange(const QVariantMap& known, const QHash<QString, QVariant>& pending,
                  QVariantMap& contents) override;

  private:
    QVariantMap backing_;
    bool failSynchronize_ = false;
    int synchronizeCount_ = 0;
};

}  // namespace talvor::platform
