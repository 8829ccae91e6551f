#include "kit/KitConsent.h"

#include "kit/ApplicationDefaults.h"
#include "kit/KitKeys.h"

namespace talvor::kit {

bool TRLDataSharingAllowed() {
    const auto value =
        ApplicationDefaults::standard()->objectForKey(keys::TalvorShareDataWithServiceKey);
    if (!value) {
        return true;
    }
    // A value of another kind (a list, a date) is no answer from the user.
    return value->boolValue().value_or(true);
}

}  // namespace talvor::kit
