#include "kit/HostApplication.h"

#include "kit/NotificationCenter.h"
#include "kit/Tally.h"

namespace talvor::kit {

void hostApplicationDidBecomeActive() {
    NotificationCenter::defaultCenter().post("NSApplicationDidBecomeActiveNotification");
}

void hostApplicationWillResignActive() {
    NotificationCenter::defaultCenter().post("NSApplicationWillResignActiveNotification");
}

void hostApplicationWillTerminate(std::chrono::milliseconds limit) {
    NotificationCenter::defaultCenter().post("NSApplicationWillTerminateNotification");
    Tally::drainForTermination(limit);
}

}  // namespace talvor::kit
