#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "kit/KitJson.h"

// The crash kit's read-only view of its configuration: the settings document the kit host
// downloaded ("features", "session", "prompt"; absent values take their defaults) and four
// local keys, each looked up in the environment ("Wreckord" + key), then in the Info.plist
// dictionary "Wreckord", then in the defaults. There is no default reports endpoint: with
// none configured nothing is sent.
namespace talvor::crash {

inline constexpr char WRKReportsEndpointKey[] = "ReportsEndpoint";
inline constexpr char WRKPackageReportsKey[] = "PackageReports";
inline constexpr char WRKSubmitReportsKey[] = "SubmitReports";
inline constexpr char WRKUrgentReportsKey[] = "UrgentReports";

class WRKSettings {
  public:
    // Looks a prompt text up in the application's "Wreckord" strings table; none: not there.
    using StringsTable = std::function<std::optional<std::string>(const std::string& key)>;

    explicit WRKSettings(std::optional<kit::JsonValue> settingsDictionary = std::nullopt);
    // Over the kit host's current document.
    static WRKSettings current();
    // The application's strings table (none by default).
    static void setStringsTable(StringsTable table);

    const std::optional<kit::JsonValue>& settingsDictionary() const { return document_; }

    bool crashReportingEnabled() const;
    bool errorReportingEnabled() const;
    bool customExceptionsEnabled() const { return errorReportingEnabled(); }
    bool userPromptEnabled() const;
    std::uint32_t logBufferSize() const;
    std::uint32_t errorLogBufferSize() const { return logBufferSize(); }
    std::uint32_t maxCustomExceptions() const;
    std::uint32_t maxCustomKeys() const;

    std::string interactivePromptTitle() const;
    std::string interactivePromptMessage() const;
    std::string interactivePromptCancelTitle() const;
    std::string interactivePromptSendTitle() const;
    // Empty when the document or strings table make it empty: the prompt then has no such
    // button.
    std::string interactivePromptAlwaysSendTitle() const;

    // Environment, then Info.plist "Wreckord", then the defaults; an override from the
    // environment is said in the log.
    static std::optional<std::string> valueForConfigurationKey(const std::string& key);
    // The configured endpoint when it is an https URL; a configured one of another scheme is
    // refused with a log line.
    std::optional<std::string> reportsEndpoint() const;
    bool shouldPackageReports() const;
    bool shouldSubmitReports() const;
    bool canProcessUrgentReports() const;

    // The platform's reading of a text as a boolean: YES when its first significant
    // character is Y, y, T, t or a digit 1 to 9.
    static bool boolValue(const std::string& text);

  private:
    const kit::JsonValue* value(const char* section, const char* key) const;
    bool boolFor(const char* section, const char* key, bool fallback) const;
    std::uint32_t uint32For(const char* section, const char* key, std::uint32_t fallback) const;
    std::string promptText(const char* key, const char* localizedKey, const char* fallback) const;
    static bool switchFor(const char* key);

    std::optional<kit::JsonValue> document_;
};

}  // namespace talvor::crash
