#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "kit/KitJson.h"

// The kit settings document as stored on disk ("settings.json"): read on first use, kept
// until the download replaces it, and shared by every thread that reads it.
namespace talvor::kit {

class TRLSettings {
  public:
    // The largest document taken (a download or a file).
    static constexpr std::size_t kMaxDocumentBytes = 1024 * 1024;

    explicit TRLSettings(std::filesystem::path settingsPath);
    TRLSettings(const TRLSettings&) = delete;
    TRLSettings& operator=(const TRLSettings&) = delete;

    // A document's value when `bytes` are a JSON object within the size and depth limits;
    // nullopt otherwise (a top-level array or text is no document).
    static std::optional<JsonValue> parseDocument(std::string_view bytes);

    // The stored document (a JSON object); nullopt while there is no file. A file that does
    // not hold a document is logged, deleted and reads as none.
    std::optional<JsonValue> settingsDictionary();
    // Forgets the document read, so that the next read takes the file again.
    void clearSettingsDictionary();
    const std::filesystem::path& settingsPath() const { return settingsPath_; }

    // The "app" section when it is an object.
    std::optional<JsonObject> appSettings();
    // "app"/"status" when it is a text.
    std::optional<std::string> appStatus();
    // The service does not know the application yet: "status" is "new".
    bool appNeedsOnboarding();
    // "app"/"update_required" is true (a boolean, or a number other than 0).
    bool appUpdateRequired();

    static std::string appPlatform() { return "mac"; }
    static std::optional<std::string> appBundleIdentifier();
    static std::optional<std::string> appBuildVersion();
    static std::optional<std::string> appDisplayVersion();
    static std::uint64_t appSource();

    // `endpoint` + "/spi/v2/platforms/mac/apps/<bundle identifier>/settings" with the
    // application's versions, `instanceIdentifier`, `iconHash` and source as query
    // parameters (each only with a value); nullopt when that is not an absolute URL.
    static std::optional<std::string> settingsURLForEndpoint(
        std::string_view endpoint, const std::optional<std::string>& instanceIdentifier,
        const std::optional<std::string>& iconHash);

  private:
    const std::filesystem::path settingsPath_;
    std::mutex mutex_;  // guards cached_: the download clears it while the kits read it
    std::optional<JsonValue> cached_;
};

}  // namespace talvor::kit
