#include "crash/WRKSettings.h"

#include <cctype>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "kit/KitLog.h"
#include "kit/MainBundle.h"
#include "kit/Trellis.h"

namespace talvor::crash {
namespace {

std::mutex& tableMutex() {
    static std::mutex mutex;
    return mutex;
}

WRKSettings::StringsTable& tableSlot() {
    static WRKSettings::StringsTable table;
    return table;
}

const kit::PlistValue* infoEntry(const std::string& key) {
    const kit::PlistValue* section =
        kit::MainBundle::main()->objectForInfoDictionaryKey("Wreckord");
    if (section == nullptr || section->dictionary() == nullptr) {
        return nullptr;
    }
    return kit::find(*section->dictionary(), key);
}

}  // namespace

WRKSettings::WRKSettings(std::optional<kit::JsonValue> settingsDictionary)
    : document_(std::move(settingsDictionary)) {}

WRKSettings WRKSettings::current() {
    return WRKSettings(kit::Trellis::sharedSDK().settings());
}

void WRKSettings::setStringsTable(StringsTable table) {
    std::lock_guard lock(tableMutex());
    tableSlot() = std::move(table);
}

const kit::JsonValue* WRKSettings::value(const char* section, const char* key) const {
    if (!document_) {
        return nullptr;
    }
    const kit::JsonObject* root = document_->object();
    const kit::JsonValue* part = root != nullptr ? root->find(section) : nullptr;
    const kit::JsonObject* object = part != nullptr ? part->object() : nullptr;
    return object != nullptr ? object->find(key) : nullptr;
}

bool WRKSettings::boolFor(const char* section, const char* key, bool fallback) const {
    const kit::JsonValue* found = value(section, key);
    if (found == nullptr) {
        return fallback;
    }
    if (const bool* flag = found->boolean()) {
        return *flag;
    }
    if (const auto number = found->numberAsDouble()) {
        return *number != 0;
    }
    return fallback;
}

std::uint32_t WRKSettings::uint32For(const char* section, const char* key,
                                     std::uint32_t fallback) const {
    const kit::JsonValue* found = value(section, key);
    const auto number = found != nullptr ? found->numberAsDouble() : std::nullopt;
    if (!number || *number < 0 || *number > std::numeric_limits<std::uint32_t>::max()) {
        return fallback;
    }
    return static_cast<std::uint32_t>(*number);
}

bool WRKSettings::crashReportingEnabled() const {
    return boolFor("features", "collect_reports", true);
}

bool WRKSettings::errorReportingEnabled() const {
    return boolFor("features", "collect_logged_exceptions", true);
}

bool WRKSettings::userPromptEnabled() const {
    return boolFor("features", "prompt_enabled", false);
}

std::uint32_t WRKSettings::logBufferSize() const {
    return uint32For("session", "log_buffer_size", 65536);
}

std::uint32_t WRKSettings::maxCustomExceptions() const {
    return uint32For("session", "max_custom_exception_events", 16);
}

std::uint32_t WRKSettings::maxCustomKeys() const {
    return uint32For("session", "max_custom_key_value_pairs", 16);
}

std::string WRKSettings::promptText(const char* key, const char* localizedKey,
                                    const char* fallback) const {
    const kit::JsonValue* found = value("prompt", key);
    std::string text = found != nullptr && found->string() != nullptr ? *found->string() : fallback;
    StringsTable table;
    {
        std::lock_guard lock(tableMutex());
        table = tableSlot();
    }
    if (table) {
        if (auto localized = table(localizedKey)) {
            return *localized;
        }
    }
    return text;
}

std::string WRKSettings::interactivePromptTitle() const {
    return promptText("title", "WreckordCrashSubmissionPromptTitle", "Send Crash Report?");
}

std::string WRKSettings::interactivePromptMessage() const {
    return promptText("message", "WreckordCrashSubmissionPromptMessage",
                      "Looks like we crashed! Please help us fix the problem by sending a crash "
                      "report.");
}

std::string WRKSettings::interactivePromptCancelTitle() const {
    return promptText("cancel_button_title", "WreckordCrashSubmissionCancelTitle", "Don't Send");
}

std::string WRKSettings::interactivePromptSendTitle() const {
    return promptText("send_button_title", "WreckordCrashSubmissionSendTitle", "Send");
}

std::string WRKSettings::interactivePromptAlwaysSendTitle() const {
    return promptText("always_send_button_title", "WreckordCrashSubmissionAlwaysSendTitle",
                      "Always Send");
}

std::optional<std::string> WRKSettings::valueForConfigurationKey(const std::string& key) {
    const std::string variable = "Wreckord" + key;
    if (const char* value = std::getenv(variable.c_str()); value != nullptr) {
        kit::log("[Wreckord:Crash] override: '" + key + "' => '" + value + "'");
        return std::string(value);
    }
    if (const kit::PlistValue* entry = infoEntry(key)) {
        if (const std::string* text = entry->string()) {
            return *text;
        }
        if (const bool* flag = entry->get<bool>()) {
            return std::string(*flag ? "YES" : "NO");
        }
        if (const std::int64_t* number = entry->get<std::int64_t>()) {
            return std::to_string(*number);
        }
        if (const double* number = entry->get<double>()) {
            return std::string(*number != 0 ? "1" : "0");
        }
    }
    if (key == WRKPackageReportsKey || key == WRKSubmitReportsKey || key == WRKUrgentReportsKey) {
        return std::string("YES");
    }
    return std::nullopt;
}

bool WRKSettings::boolValue(const std::string& text) {
    // Blanks, a sign and leading zeros are passed over ("-007" counts as YES).
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '0') {
            continue;
        }
        return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
    }
    return false;
}

bool WRKSettings::switchFor(const char* key) {
    const auto value = valueForConfigurationKey(key);
    return value && boolValue(*value);
}

std::optional<std::string> WRKSettings::reportsEndpoint() const {
    auto endpoint = valueForConfigurationKey(WRKReportsEndpointKey);
    if (!endpoint || endpoint->empty()) {
        return std::nullopt;
    }
    if (endpoint->rfind("https://", 0) != 0) {
        kit::log("[Wreckord:Crash] The reports endpoint '" + *endpoint +
                 "' is not an https URL; nothing is sent");
        return std::nullopt;
    }
    return endpoint;
}

bool WRKSettings::shouldPackageReports() const {
    return switchFor(WRKPackageReportsKey);
}

bool WRKSettings::shouldSubmitReports() const {
    return switchFor(WRKSubmitReportsKey);
}

bool WRKSettings::canProcessUrgentReports() const {
    return switchFor(WRKUrgentReportsKey);
}

}  // namespace talvor::crash
