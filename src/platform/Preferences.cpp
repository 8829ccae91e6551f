#include "Preferences.h"

#include "Paths.h"
#include "PlistPreferenceStore.h"
#include "Scheduler.h"

#include <QHash>

#include <map>
#include <mutex>

namespace talvor::platform {
namespace {

struct Registry {
    std::mutex mutex;
    QHash<QString, std::shared_ptr<PreferenceStore>> stores;
    // Stores replaced while the process runs stay alive: a caller may still hold a reference.
    std::vector<std::shared_ptr<PreferenceStore>> retired;
    Scheduler* autoSync = nullptr;
    double autoSyncDelay = 1.0;
    // One pending synchronise a domain; touched on the main thread only.
    std::map<QString, TimerHandle> syncTimers;
    std::function<void(const QString&, const QString&)> failureHandler;
};

Registry& registry() {
    static Registry r;
    return r;
}

// A failed save is tried again, less and less often, so that a full disk does not turn
// into a busy loop and a passing failure does not leave changes unsaved until quit.
constexpr double kMaxRetryDelay = 300.0;

// Called when `store` gets its first unsaved change, possibly on another thread; `delay` 0
// means the configured one.
void armAutoSync(const std::weak_ptr<PreferenceStore>& weakStore, double delay = 0) {
    Registry& r = registry();
    Scheduler* scheduler = nullptr;
    {
        std::lock_guard lock(r.mutex);
        scheduler = r.autoSync;
        if (delay <= 0) {
            delay = r.autoSyncDelay;
        }
    }
    if (scheduler == nullptr) {
        return;
    }
    scheduler->postToMain([scheduler, delay, weakStore] {
        auto store = weakStore.lock();
        if (!store) {
            return;
        }
        Registry& reg = registry();
        std::lock_guard lock(reg.mutex);
        // Switched off (or to another scheduler) since this was posted.
        if (reg.autoSync != scheduler) {
            return;
        }
        reg.syncTimers[store->domain()] = scheduler->scheduleAfter(delay, [weakStore, delay] {
            auto s = weakStore.lock();
            if (s && !s->synchronize() && s->hasPendingChanges()) {
                armAutoSync(weakStore, std::min(delay * 2, kMaxRetryDelay));
            }
        });
    });
}

// Reads the handler at each failure, so that one set later applies to every store.
void reportFailures(PreferenceStore& store) {
    store.setFailureHandler([domain = store.domain()](const QString& why) {
        std::function<void(const QString&, const QString&)> handler;
        {
            Registry& r = registry();
            std::lock_guard lock(r.mutex);
            handler = r.failureHandler;
        }
        if (handler) {
            handler(domain, why);
        }
    });
}

void watchForChanges(const std::shared_ptr<PreferenceStore>& store) {
    std::weak_ptr<PreferenceStore> weak = store;
    store->setPendingChangesHandler([weak] { armAutoSync(weak); });
}

}  // namespace

void Preferences::enableAutoSync(Scheduler& scheduler, double delaySeconds) {
    Registry& r = registry();
    std::vector<std::shared_ptr<PreferenceStore>> dirty;
    {
        std::lock_guard lock(r.mutex);
        r.autoSync = &scheduler;
        r.autoSyncDelay = delaySeconds;
        for (const auto& s : r.stores) {
            if (s->hasPendingChanges()) {
                dirty.push_back(s);
            }
        }
    }
    for (const auto& s : dirty) {
        armAutoSync(s);
    }
}

QString Preferences::filePathFor(const QString& appId) {
    return Paths::configDir() + QLatin1Char('/') + appId + QStringLiteral(".plist");
}

PreferenceStore& Preferences::domain(const QString& appId) {
    Registry& r = registry();
    std::shared_ptr<PreferenceStore> opened;
    {
        std::lock_guard lock(r.mutex);
        auto it = r.stores.find(appId);
        if (it != r.stores.end()) {
            return **it;
        }
        opened = std::make_shared<PlistPreferenceStore>(appId, filePathFor(appId));
        watchForChanges(opened);
        r.stores.insert(appId, opened);
    }
    // Outside the registry's lock: a file that could not be read reports at once.
    reportFailures(*opened);
    return *opened;
}

void Preferences::install(std::unique_ptr<PreferenceStore> store) {
    Registry& r = registry();
    std::shared_ptr<PreferenceStore> shared(std::move(store));
    {
        std::lock_guard lock(r.mutex);
        const QString id = shared->domain();
        if (auto old = r.stores.take(id)) {
            r.retired.push_back(std::move(old));
        }
        watchForChanges(shared);
        r.stores.emplace(id, shared);
    }
    reportFailures(*shared);
}

void Preferences::resetAll() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto& s : r.stores) {
        r.retired.push_back(std::move(s));
    }
    r.stores.clear();
}

void Preferences::disableAutoSync() {
    Registry& r = registry();
    std::map<QString, TimerHandle> timers;
    {
        std::lock_guard lock(r.mutex);
        r.autoSync = nullptr;
        timers.swap(r.syncTimers);
    }
}

void Preferences::setFailureHandler(
    std::function<void(const QString& domain, const QString& why)> handler) {
    std::vector<std::shared_ptr<PreferenceStore>> open;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        r.failureHandler = std::move(handler);
        for (const auto& s : r.stores) {
            open.push_back(s);
        }
    }
    // Outside the registry's lock: a store failing already reports at once.
    for (const auto& s : open) {
        reportFailures(*s);
    }
}

bool Preferences::synchronizeAll() {
    std::vector<std::shared_ptr<PreferenceStore>> open;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        for (const auto& s : r.stores) {
            open.push_back(s);
        }
    }
    bool ok = true;
    for (const auto& s : open) {
        ok = s->synchronize() && ok;
    }
    return ok;
}

void Preferences::holdWrites() {
    PreferenceStore::setWritesHeld(true);
}

bool Preferences::releaseWrites() {
    if (!PreferenceStore::writesHeld()) {
        return true;
    }
    PreferenceStore::setWritesHeld(false);
    std::vector<std::shared_ptr<PreferenceStore>> dirty;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        for (const auto& s : r.stores) {
            if (s->hasPendingChanges()) {
                dirty.push_back(s);
            }
        }
    }
    bool ok = true;
    for (const auto& s : dirty) {
        ok = s->synchronize() && ok;
    }
    return ok;
}

}  // namespace talvor::platform
