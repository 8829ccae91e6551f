#pragma once

namespace talvor {

// What every way of quitting ends with: the settings models in use write what they hold,
// and every preference domain reaches its file. False when a domain could not be written
// (logged).
bool saveSettingsForQuit();

}  // namespace talvor
