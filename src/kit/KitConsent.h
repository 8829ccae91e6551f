#pragma once

// Whether the kits may send anything to the service.
namespace talvor::kit {

// False when the user has switched sharing data with the service off (the application's
// defaults, read through `ApplicationDefaults`, say NO under "ShareDataWithService");
// true when the key is absent.
bool TRLDataSharingAllowed();

}  // namespace talvor::kit
