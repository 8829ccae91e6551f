#include "Preferences.h"

#include "Paths.h"
#include "PlistPreferenceStore.h"

#include <QHash>

#include <mutex>

namespace talvor::platform {
namespace {

struct Registry {
    std::mutex mutex;
    QHash<QString, std::shared_ptr<PreferenceStore>> stores;
    // Stores replaced while the process runs stay alive: a caller may still hold a reference.
    std::vector<std::shared_ptr<PreferenceStore>> retired;
};

Registry& registry() {
    static Registry r;
    return r;
}

}  // namespace

QString Preferences::filePathFor(const QString& appId) {
    return Paths::configDir() + QLatin1Char('/') + appId + QStringLiteral(".plist");
}

PreferenceStore& Preferences::domain(const QString& appId) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.stores.find(appId);
    if (it == r.stores.end()) {
        it = r.stores.insert(appId, std::make_shared<PlistPreferenceStore>(appId, filePathFor(appId)));
    }
    return **it;
}

void Preferences::install(std::unique_ptr<PreferenceStore> store) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const QString id = store->domain();
    if (auto old = r.stores.take(id)) {
        r.retired.push_back(std::move(old));
    }
    r.stores.insert(id, std::shared_ptr<PreferenceStore>(std::move(store)));
}

void Preferences::resetAll() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto& s : r.stores) {
        r.retired.push_back(std::move(s));
    }
    r.stores.clear();
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

}  // namespace talvor::platform
