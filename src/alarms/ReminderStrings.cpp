#include "ReminderStrings.h"

#include "platform/Paths.h"

namespace talvor {

QString ReminderStrings::soundDirectory() {
    QString dir = platform::Paths::dataDir() + QStringLiteral("/Zephyrel/Recordings");
    platform::Paths::makePath(dir);
    return dir;
}

}  // namespace talvor
