#include "kit/AdsKit.h"

namespace talvor::kit {

AdsKit& AdsKit::sharedInstance() {
    static AdsKit instance;
    return instance;
}

}  // namespace talvor::kit
