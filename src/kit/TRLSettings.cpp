#include "kit/TRLSettings.h"

#include <system_error>
#include <utility>

#include "kit/FileBytes.h"
#include "kit/KitLog.h"
#include "kit/TRLApplication.h"
#include "kit/network/TRLURLBuilder.h"

namespace talvor::kit {
namespace {

constexpr std::size_t kMaxDocumentDepth = 64;

}  // namespace

TRLSettings::TRLSettings(std::filesystem::path settingsPath)
    : settingsPath_(std::move(settingsPath)) {}

std::optional<JsonValue> TRLSettings::parseDocument(std::string_view bytes) {
    auto document = json::parse(bytes, kMaxDocumentDepth, kMaxDocumentBytes);
    if (!document || !document->object()) {
        return std::nullopt;
    }
    return document;
}

std::optional<JsonValue> TRLSettings::settingsDictionary() {
    std::lock_guard lock(mutex_);
    if (cached_) {
        return cached_;
    }
    std::error_code error;
    if (!std::filesystem::exists(settingsPath_, error)) {
        return std::nullopt;
    }
    const auto bytes = readRegularFile(settingsPath_, kMaxDocumentBytes);
    std::optional<JsonValue> document;
    if (bytes) {
        document = parseDocument(*bytes);
    }
    if (!document) {
        log(std::string("[Trellis] Could not load settings with error: ") +
            (bytes ? "the file is not a JSON object" : "the file cannot be read") + " (" +
            settingsPath_.string() + ")");
        // Deleted so that it cannot fail again; the next download writes a new one.
        std::filesystem::remove(settingsPath_, error);
        return std::nullopt;
    }
    cached_ = std::move(document);
    return cached_;
}

void TRLSettings::clearSettingsDictionary() {
    std::lock_guard lock(mutex_);
    cached_.reset();
}

std::optional<JsonObject> TRLSettings::appSettings() {
    const auto document = settingsDictionary();
    if (!document) {
        return std::nullopt;
    }
    const JsonValue* app = document->object()->find("app");
    if (app == nullptr || !app->object()) {
        return std::nullopt;
    }
    return *app->object();
}

std::optional<std::string> TRLSettings::appStatus() {
    const auto app = appSettings();
    const JsonValue* status = app ? app->find("status") : nullptr;
    if (status == nullptr || !status->string()) {
        return std::nullopt;
    }
    return *status->string();
}

bool TRLSettings::appNeedsOnboarding() {
    return appStatus() == "new";
}

bool TRLSettings::appUpdateRequired() {
    const auto app = appSettings();
    const JsonValue* required = app ? app->find("update_required") : nullptr;
    if (required == nullptr) {
        return false;
    }
    const auto number = required->numberAsDouble();
    return number && *number != 0;
}

std::optional<std::string> TRLSettings::appBundleIdentifier() {
    return TRLApplicationGetBundleIdentifier();
}

std::optional<std::string> TRLSettings::appBuildVersion() {
    return TRLApplicationGetBundleVersion();
}

std::optional<std::string> TRLSettings::appDisplayVersion() {
    return TRLApplicationGetShortBundleVersion();
}

std::uint64_t TRLSettings::appSource() {
    return TRLApplicationInstallationSource();
}

std::optional<std::string> TRLSettings::settingsURLForEndpoint(
    std::string_view endpoint, const std::optional<std::string>& instanceIdentifier,
    const std::optional<std::string>& iconHash) {
    TRLURLBuilder builder = TRLURLBuilder::URLWithBase(endpoint);
    builder.appendComponent("/spi/v2/platforms/");
    builder.escapeAndAppendComponent(appPlatform());
    builder.appendComponent("/apps/");
    builder.escapeAndAppendComponent(appBundleIdentifier().value_or(""));
    builder.appendComponent("/settings");
    builder.appendValue(appBuildVersion(), "build_version");
    builder.appendValue(appDisplayVersion(), "display_version");
    builder.appendValue(instanceIdentifier, "instance");
    builder.appendValue(iconHash, "icon_hash");
    builder.appendValue(std::to_string(appSource()), "source");
    return builder.URL();
}

}  // namespace talvor::kit
