#pragma once

#include <QString>

namespace talvor {

// The recorded reminder messages. For now only where they live.
class ReminderStrings {
  public:
    // The folder of the recordings, "Zephyrel/Recordings" in the user's Application Support
    // folder, created with its parents when missing (a failure is not reported).
    static QString soundDirectory();
};

}  // namespace talvor
