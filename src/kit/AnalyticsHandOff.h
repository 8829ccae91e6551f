#pragma once

#include <optional>
#include <string>

// What the crash kit tells the analytics kit. The crash kit starts the analytics at the end
// of its own start and reports the previous session's crash; the kit host also starts the
// analytics after the crash kit, so they run whether or not the crash kit started.
namespace talvor::kit {

// Starts the analytics kit once per process; later calls do nothing, whatever their token.
void startAnalytics(const std::optional<std::string>& betaToken);

// The previous session ended in a crash at `date` (seconds since 1970): the analytics record
// one "app_crashed" event carrying that session's metadata. Safe from any thread; a report
// made before the analytics have started is held until they start. Call it once per run, for
// the newest crash only: older crashes would be filed under the wrong session.
void reportPreviousSessionCrash(double date);

}  // namespace talvor::kit
