#include "PreferenceStore.h"

#include "PropertyList.h"

#include <atomic>
#include <cmath>

namespace talvor::platform {

PreferenceStore::PreferenceStore(QString domain) : domain_(std::move(domain)) {}

PreferenceStore::~PreferenceStore() = default;

QVariant PreferenceStore::value(const QString& key) const {
    std::lock_guard lock(mutex_);
    const auto p = pending_.constFind(key);
    if (p != pending_.cend()) {
        return *p;
    }
    return contents_.value(key);
}

bool PreferenceStore::setValue(const QString& key, const QVariant& value) {
    QVariant stored;
    if (value.isValid()) {
        stored = PropertyList::normalized(value);
        if (!stored.isValid()) {
            return false;
        }
    }
    std::function<void()> notify;
    {
        std::lock_guard lock(mutex_);
        const bool wasClean = pending_.isEmpty();
        pending_.insert(key, stored);
        if (wasClean) {
            notify = pendingHandler_;
        }
    }
    if (notify) {
        notify();
    }
    return true;
}

void PreferenceStore::applyPending(QVariantMap& contents, const QHash<QString, QVariant>& pending) {
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (it.value().isValid()) {
            contents.insert(it.key(), it.value());
        } else {
            contents.remove(it.key());
        }
    }
}

QVariantMap PreferenceStore::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    QVariantMap all = contents_;
    applyPending(all, pending_);
    return all;
}

QStringList PreferenceStore::keys() const {
    return dictionaryRepresentation().keys();
}

std::optional<qint64> PreferenceStore::integerValue(const QString& key) const {
    const QVariant v = value(key);
    switch (v.typeId()) {
        case QMetaType::LongLong:
            return v.toLongLong();
        case QMetaType::Bool:
            return v.toBool() ? 1 : 0;
        case QMetaType::Double: {
            const double d = v.toDouble();
            if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) {
                return std::nullopt;
            }
            return static_cast<qint64>(d);
        }
        default:
            return std::nullopt;
    }
}

std::optional<QString> PreferenceStore::stringValue(const QString& key) const {
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return v.toString();
}

bool PreferenceStore::exchangeNoting(const QHash<QString, QVariant>& pending, QVariantMap& contents,
                                     std::function<void()>& notify) {
    const bool wasFailing = failure_.has_value();
    const bool ok = exchange(contents_, pending, contents);
    if (!wasFailing && failure_ && failureHandler_) {
        notify = [handler = failureHandler_, why = *failure_] { handler(why); };
    }
    return ok;
}

namespace {
std::atomic<bool> gWritesHeld{false};
}  // namespace

void PreferenceStore::setWritesHeld(bool held) {
    gWritesHeld.store(held);
}

bool PreferenceStore::writesHeld() {
    return gWritesHeld.load();
}

bool PreferenceStore::synchronize() {
    if (gWritesHeld.load()) {
        return refresh();
    }
    std::function<void()> notify;
    bool ok = false;
    {
        std::lock_guard lock(mutex_);
        QVariantMap merged;
        // On failure keep what we know of the domain plus our own unsaved changes.
        ok = exchangeNoting(pending_, merged, notify);
        if (ok) {
            contents_ = std::move(merged);
            pending_.clear();
        }
    }
    if (notify) {
        notify();
    }
    return ok;
}

bool PreferenceStore::refresh() {
    std::function<void()> notify;
    bool ok = false;
    {
        std::lock_guard lock(mutex_);
        QVariantMap fresh;
        ok = exchangeNoting({}, fresh, notify);
        if (ok) {
            contents_ = std::move(fresh);
        }
    }
    if (notify) {
        notify();
    }
    return ok;
}

std::optional<QString> PreferenceStore::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

void PreferenceStore::setFailureHandler(std::function<void(const QString& why)> handler) {
    std::optional<QString> now;
    std::function<void(const QString&)> tell;
    {
        std::lock_guard lock(mutex_);
        failureHandler_ = std::move(handler);
        now = failure_;
        tell = failureHandler_;
    }
    if (now && tell) {
        tell(*now);
    }
}

bool PreferenceStore::hasPendingChanges() const {
    std::lock_guard lock(mutex_);
    return !pending_.isEmpty();
}

void PreferenceStore::setPendingChangesHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    pendingHandler_ = std::move(handler);
}

void PreferenceStore::loadInitialContents() {
    std::lock_guard lock(mutex_);
    QVariantMap loaded;
    if (exchange(contents_, {}, loaded)) {
        contents_ = std::move(loaded);
    }
}

MemoryPreferenceStore::MemoryPreferenceStore(QString domain) : PreferenceStore(std::move(domain)) {}

bool MemoryPreferenceStore::exchange(const QVariantMap&, const QHash<QString, QVariant>& pending,
                                     QVariantMap& contents) {
    ++synchronizeCount_;
    if (failSynchronize_) {
        noteFailure(QStringLiteral("the store is set to fail"));
        return false;
    }
    noteWorking();
    contents = backing_;
    applyPending(contents, pending);
    backing_ = contents;
    return true;
}

}  // namespace talvor::platform
