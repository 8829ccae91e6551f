#include "kit/TLYMetadata.h"

#include <unistd.h>

#include <cstdlib>

#include "kit/FileBytes.h"
#include "kit/TLYFileUtils.h"
#include "kit/TRLApplication.h"
#include "kit/TRLHost.h"
#include "kit/Trellis.h"

namespace talvor::kit {

std::optional<std::string> TLYMetadata::unwrapBetaToken(const std::optional<std::string>& token) {
    if (!token) {
        return std::nullopt;
    }
    const auto colon = token->find(':');
    if (colon == std::string::npos || token->find(':', colon + 1) != std::string::npos ||
        token->compare(0, colon, "2") != 0) {
        return std::nullopt;
    }
    return token->substr(colon + 1);
}

std::string TLYMetadata::currentLocaleIdentifier() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) {
            continue;
        }
        std::string locale(value);
        locale = locale.substr(0, locale.find_first_of(".@"));
        if (locale == "C" || locale == "POSIX" || locale.empty()) {
            return "en_US";
        }
        return locale;
    }
    return "en_US";
}

TLYMetadata TLYMetadata::initWithTrellis(Trellis& trellis, std::optional<std::string> betaToken) {
    TLYMetadata m;
    m.APIKey = trellis.APIKey();
    m.betaToken = std::move(betaToken);
    m.buildVersion = TRLApplicationGetBundleVersion();
    m.bundleIdentifier = TRLApplicationGetBundleIdentifier();
    m.displayVersion = TRLApplicationGetShortBundleVersion();
    m.executionIdentifier = trellis.executionIdentifier();
    m.hostModel = TRLHostModelInfo();
    m.installationId = trellis.installID();
    m.instanceIdentifier = trellis.instanceIdentifier();
    m.locale = currentLocaleIdentifier();
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    m.numberOfCores = cores > 0 ? std::uint32_t(cores) : 1;
    m.OSBuildVersion = TRLHostOSBuildVersion();
    m.OSDisplayVersion = TRLHostOSDisplayVersion();
    return m;
}

JsonObject TLYMetadata::dictionaryRepresentationWithStartTime(std::uint64_t startTime) const {
    JsonObject d;
    const auto text = [&d](const char* key, const std::optional<std::string>& value) {
        if (value) {
            d.set(key, *value);
        }
    };
    d.set("generator", "Tally Mac SDK/1.3.7");
    text("api_key", APIKey);
    text("session_id", executionIdentifier);
    d.set("started_at", std::int64_t(std::min<std::uint64_t>(startTime, INT64_MAX)));
    text("beta_tester_token", unwrapBetaToken(betaToken));
    d.set("links_ad_support", false);
    d.set("advertising_tracking_enabled", false);
    text("install_id", installationId);
    text("model", hostModel);
    text("machine", hostModel);
    text("locale", locale);
    text("os_build", OSBuildVersion);
    text("os_version", OSDisplayVersion);
    d.set("platform", platform);
    d.set("platform_code", std::int64_t(platformCode()));
    d.set("cores", std::int64_t(numberOfCores));
    d.set("jailbroken", isJailbroken);
    text("bundle_id", bundleIdentifier);
    text("bundle_version", buildVersion);
    text("bundle_short_version", displayVersion);
    text("instance_id", instanceIdentifier);
    return d;
}

std::optional<JsonObject> TLYCrashMetadata::readSerializedDictionaryFromURL(
    const std::filesystem::path& file) {
    const auto bytes = readRegularFile(file);
    if (!bytes) {
        return std::nullopt;
    }
    const auto value = json::parse(*bytes);
    if (!value || !value->object()) {
        return std::nullopt;
    }
    return *value->object();
}

bool TLYCrashMetadata::writeSerializedDictionary(const JsonObject& dictionary,
                                                 const std::filesystem::path& file) {
    const auto text = json::serialize(JsonValue(dictionary));
    return text && TLYFileUtils::writeAtomically(file, *text);
}

}  // namespace talvor::kit
