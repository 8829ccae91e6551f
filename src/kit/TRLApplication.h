#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Facts about the application, read from the main bundle (`MainBundle::main()`).
namespace talvor::kit {

// "CFBundleIdentifier" with every "/" as "_".
std::optional<std::string> TRLApplicationGetBundleIdentifier();
std::optional<std::string> TRLApplicationGetBundleVersion();
std::optional<std::string> TRLApplicationGetShortBundleVersion();
// "CFBundleDisplayName", else "CFBundleName", else the bundle version.
std::optional<std::string> TRLApplicationGetName();
bool TRLApplicationHasAppStoreReceipt();
bool TRLApplicationIsSignedForDistribution();
// 4 with a store receipt, else 3 when signed for distribution, else 1.
std::uint64_t TRLApplicationInstallationSource();
// Never in the host-analytics mode; else Info.plist "Trellis"/"ReportIdentifiers", else
// "WreckordCollectDeviceIdentifiers", else yes.
bool TRLApplicationShouldReportDeviceIdentifiers();

}  // namespace talvor::kit
