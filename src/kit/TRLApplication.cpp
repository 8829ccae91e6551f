#include "kit/TRLApplication.h"

#include <algorithm>
#include <system_error>

#include "kit/MainBundle.h"
#include "kit/TRLHost.h"
#include "kit/Trellis.h"

namespace talvor::kit {
namespace {

std::optional<std::string> infoString(const std::string& key) {
    const auto bundle = MainBundle::main();
    const PlistValue* value = bundle->objectForInfoDictionaryKey(key);
    if (value == nullptr || value->string() == nullptr) {
        return std::nullopt;
    }
    return *value->string();
}

std::optional<bool> infoBool(const PlistValue* value) {
    if (value == nullptr || !value->isNumber()) {
        return std::nullopt;
    }
    return value->boolValue();
}

}  // namespace

std::optional<std::string> TRLApplicationGetBundleIdentifier() {
    auto identifier = infoString("CFBundleIdentifier");
    if (identifier) {
        std::replace(identifier->begin(), identifier->end(), '/', '_');
    }
    return identifier;
}

std::optional<std::string> TRLApplicationGetBundleVersion() {
    return infoString("CFBundleVersion");
}

std::optional<std::string> TRLApplicationGetShortBundleVersion() {
    return infoString("CFBundleShortVersionString");
}

std::optional<std::string> TRLApplicationGetName() {
    if (auto name = infoString("CFBundleDisplayName")) {
        return name;
    }
    if (auto name = infoString("CFBundleName")) {
        return name;
    }
    return TRLApplicationGetBundleVersion();
}

bool TRLApplicationHasAppStoreReceipt() {
    if (TRLHostGetNormalizedOSVersion() < 1070) {
        return false;
    }
    const auto receipt = MainBundle::main()->appStoreReceiptPath();
    std::error_code error;
    return receipt && std::filesystem::exists(*receipt, error);
}

bool TRLApplicationIsSignedForDistribution() {
    const auto bundle = MainBundle::main();
    return infoBool(bundle->objectForInfoDictionaryKey("WreckordSignedForDistribution"))
        .value_or(false);
}

std::uint64_t TRLApplicationInstallationSource() {
    if (TRLApplicationHasAppStoreReceipt()) {
        return 4;
    }
    return TRLApplicationIsSignedForDistribution() ? 3 : 1;
}

bool TRLApplicationShouldReportDeviceIdentifiers() {
    if (Trellis::sharedSDK().nimbusMode()) {
        return false;
    }
    const auto bundle = MainBundle::main();
    if (const PlistValue* trellis = bundle->objectForInfoDictionaryKey("Trellis");
        trellis != nullptr && trellis->dictionary() != nullptr) {
        if (const auto report = infoBool(find(*trellis->dictionary(), "ReportIdentifiers"))) {
            return *report;
        }
    }
    return infoBool(bundle->objectForInfoDictionaryKey("WreckordCollectDeviceIdentifiers"))
        .value_or(true);
}

}  // namespace talvor::kit
