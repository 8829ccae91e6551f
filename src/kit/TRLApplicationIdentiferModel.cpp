#include "kit/TRLApplicationIdentiferModel.h"

#include <features.h>

#include "kit/TRLApplication.h"
#include "kit/TRLEncoding.h"

namespace talvor::kit {
namespace {

std::string versionText(SDKVersion v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.bugfix);
}

}  // namespace

std::optional<TRLApplicationIdentiferModel> TRLApplicationIdentiferModel::initWithInstallID(
    std::string installID) {
    const auto identity = mainExecutableIdentity();
    if (!identity || identity->buildID.empty()) {
        return std::nullopt;
    }
    return make(std::move(installID),
                {{identity->architecture, imageUUIDString(identity->buildID)}},
                SDKVersion{__GLIBC__, __GLIBC_MINOR__, 0}, identity->minimumOS,
                TRLAppIconUtility::applicationIcon());
}

std::optional<TRLApplicationIdentiferModel> TRLApplicationIdentiferModel::make(
    std::string installID, std::map<std::string, std::string> architectureUUIDMap,
    SDKVersion builtSDK, SDKVersion minimumSDK, std::optional<TRLIcon> icon) {
    if (architectureUUIDMap.empty()) {
        return std::nullopt;
    }
    TRLApplicationIdentiferModel model;
    model.instanceIdentifier_ = computeInstanceIdentifier(architectureUUIDMap);
    model.uuids_ = std::move(architectureUUIDMap);
    model.builtSDK_ = builtSDK;
    model.minimumSDK_ = minimumSDK;
    model.installID_ = std::move(installID);
    model.bundleIdentifier_ = TRLApplicationGetBundleIdentifier();
    model.icon_ = std::move(icon);
    return model;
}

std::string TRLApplicationIdentiferModel::computeInstanceIdentifier(
    const std::map<std::string, std::string>& architectureUUIDMap) {
    std::string joined;
    for (const auto& [architecture, uuid] : architectureUUIDMap) {
        joined += uuid;
    }
    return TRLHashNSData(joined);
}

std::string TRLApplicationIdentiferModel::builtSDKString() const {
    return versionText(builtSDK_);
}

std::string TRLApplicationIdentiferModel::minimumSDKString() const {
    return versionText(minimumSDK_);
}

}  // namespace talvor::kit
