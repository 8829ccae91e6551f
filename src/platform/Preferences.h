#pragma once

#include "PreferenceStore.h"

#include <QString>

#include <functional>
#include <memory>

namespace talvor::platform {

// The application's bundle identifier; the user defaults live in the domain of this name.
inline const QString kMainBundleIdentifier = QStringLiteral("com.larkspindle.TalvorPro");

// The process-wide preference domains, one store per application id, each kept at
// "<config folder>/<id>.plist". Tests install in-memory stores in their place.
class Preferences {
  public:
    static PreferenceStore& domain(const QString& appId);
    // Puts `store` in place of the domain's store (tests; a domain with no writable home).
    static void install(std::unique_ptr<PreferenceStore> store);
    // Forgets every store, so that the next use opens them anew.
    static void resetAll();
    // Synchronises every open domain; false when any of them failed.
    static bool synchronizeAll();
    // Until releaseWrites, synchronising a domain takes in other writers' changes but keeps
    // its own pending: the start-up does not wait for the disk before its first frame.
    static void holdWrites();
    // Ends the hold and synchronises every domain with unsaved changes (nothing more when
    // none was held); false when any of them failed.
    static bool releaseWrites();
    // Where the file of a domain lies.
    static QString filePathFor(const QString& appId);

    // From now on a domain with unsaved changes is synchronised `delaySeconds` after its
    // first change, on the scheduler's main loop, so that a crash or a kill loses nothing
    // that was set more than a moment ago. The scheduler must outlive the registry's use.
    static void enableAutoSync(class Scheduler& scheduler, double delaySeconds = 1.0);
    // Stops it, dropping the synchronisations not yet due.
    static void disableAutoSync();

    // Told, on any thread, whenever a domain's file starts to fail being read or written
    // (at once for a domain failing already); nullptr stops it.
    static void setFailureHandler(std::function<void(const QString& domain, const QString& why)>);
};

}  // namespace talvor::platform
