#pragma once

namespace talvor {

// What every way of quitting ends with: the settings models in use write what they hold,
// and every preference domain reaches its file. False when a domain could not be written
// (logged).
bool saveSettingsForQuit();

// From now on a settings file that starts failing to be read or written is said in a notice
// (and the log line "Talvor cannot save its settings: ..."), one at a time, naming where the
// alarms are kept meanwhile.
void noticeSettingsThatCannotBeSaved();

}  // namespace talvor
