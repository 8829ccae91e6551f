#pragma once

#include <map>
#include <optional>
#include <string>

#include "kit/ExecutableImage.h"
#include "kit/TRLIcon.h"

// The identity of the running build: one image UUID per architecture of the executable
// (on Linux the one architecture and its build-id), and from them the build instance
// identifier that tells one build of the application from another.
namespace talvor::kit {

class TRLApplicationIdentiferModel {
  public:
    // The model of the running executable, with the application's icon; nullopt when it has
    // no build-id, so that no instance identifier can be made.
    static std::optional<TRLApplicationIdentiferModel> initWithInstallID(std::string installID);
    // The model of given executable facts; nullopt for an empty map.
    static std::optional<TRLApplicationIdentiferModel> make(
        std::string installID, std::map<std::string, std::string> architectureUUIDMap,
        SDKVersion builtSDK, SDKVersion minimumSDK, std::optional<TRLIcon> icon = std::nullopt);

    // SHA-1 (40 hex digits) of the UUID texts joined in the order of their architecture
    // names, so that the order in which an executable lists its parts does not matter.
    static std::string computeInstanceIdentifier(
        const std::map<std::string, std::string>& architectureUUIDMap);

    const std::map<std::string, std::string>& architectureUUIDMap() const { return uuids_; }
    const std::string& installID() const { return installID_; }
    const std::optional<std::string>& bundleIdentifier() const { return bundleIdentifier_; }
    const std::string& instanceIdentifier() const { return instanceIdentifier_; }
    // The C library the kit was built against.
    SDKVersion builtSDK() const { return builtSDK_; }
    // The oldest kernel the executable runs on.
    SDKVersion minimumSDK() const { return minimumSDK_; }
    std::string builtSDKString() const;
    std::string minimumSDKString() const;
    // The application's icon, when it has one.
    const std::optional<TRLIcon>& icon() const { return icon_; }

  private:
    TRLApplicationIdentiferModel() = default;

    std::map<std::string, std::string> uuids_;
    std::string installID_;
    std::optional<std::string> bundleIdentifier_;
    std::string instanceIdentifier_;
    SDKVersion builtSDK_;
    SDKVersion minimumSDK_;
    std::optional<TRLIcon> icon_;
};

}  // namespace talvor::kit
