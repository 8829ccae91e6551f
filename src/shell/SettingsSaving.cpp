#include "SettingsSaving.h"

#include "foundation/SharedInstance.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Log.h"
#include "platform/Preferences.h"

namespace talvor {

bool saveSettingsForQuit() {
    // Only models that were in use: making one now would load it just to write it back.
    if (TalvorTimeSettings* time = SharedInstance<TalvorTimeSettings>::existing()) {
        time->writePrefs();
    }
    if (TalvorDateSettings* date = SharedInstance<TalvorDateSettings>::existing()) {
        date->writePrefs();
    }
    platform::Preferences::disableAutoSync();
    if (!platform::Preferences::synchronizeAll()) {
        platform::log(QStringLiteral("Some settings could not be saved"));
        return false;
    }
    return true;
}

}  // namespace talvor
