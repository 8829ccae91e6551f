#include "crash/WRKSettings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "kit/KitJson.h"
#include "support/CrashTestSupport.h"

namespace talvor::crash {
namespace {

using test::ScopedEnv;

WRKSettings over(const char* json) {
    std::optional<kit::JsonValue> document = kit::json::parse(json);
    EXPECT_TRUE(document) << json;
    return WRKSettings(document);
}

struct Values {
    bool reporting, errors, prompt;
    std::uint32_t logBuffer, exceptions, keys;
};

Values valuesOf(const WRKSettings& settings) {
    EXPECT_EQ(settings.customExceptionsEnabled(), settings.errorReportingEnabled());
    EXPECT_EQ(settings.errorLogBufferSize(), settings.logBufferSize());
    return {settings.crashReportingEnabled(), settings.errorReportingEnabled(),
            settings.userPromptEnabled(),     settings.logBufferSize(),
            settings.maxCustomExceptions(),   settings.maxCustomKeys()};
}

TEST(crashSettings, DocumentValuesAndTheirDefaults) {
    struct Row {
        const char* document;  // nullptr: no document downloaded
        Values expected;
    };
    const Row rows[] = {
        {nullptr, {true, true, false, 65536, 16, 16}},
        {"{}", {true, true, false, 65536, 16, 16}},
        {R"({"features":{"collect_reports":false,"collect_logged_exceptions":false,
             "prompt_enabled":true},
             "session":{"log_buffer_size":1024,"max_custom_exception_events":4,
                        "max_custom_key_value_pairs":64}})",
         {false, false, true, 1024, 4, 64}},
        // Values of the wrong kind or out of range keep the defaults.
        {R"({"features":{"collect_reports":"no"},
             "session":{"log_buffer_size":-1,"max_custom_key_value_pairs":5000000000}})",
         {true, true, false, 65536, 16, 16}},
        {R"({"features":[],"session":7})", {true, true, false, 65536, 16, 16}},
    };
    for (const Row& row : rows) {
        const WRKSettings settings = row.document ? over(row.document) : WRKSettings();
        const Values actual = valuesOf(settings);
        const std::string what = row.document ? row.document : "(none)";
        EXPECT_EQ(actual.reporting, row.expected.reporting) << what;
        EXPECT_EQ(actual.errors, row.expected.errors) << what;
        EXPECT_EQ(actual.prompt, row.expected.prompt) << what;
        EXPECT_EQ(actual.logBuffer, row.expected.logBuffer) << what;
        EXPECT_EQ(actual.exceptions, row.expected.exceptions) << what;
        EXPECT_EQ(actual.keys, row.expected.keys) << what;
    }
}

// Each text: the application's strings table first, then the document, then the default.
TEST(crashSettings, PromptTextsComeFromTheStringsTableTheDocumentOrTheDefault) {
    const WRKSettings plain;
    EXPECT_EQ(plain.interactivePromptTitle(), "Send Crash Report?");
    EXPECT_EQ(plain.interactivePromptMessage(),
              "Looks like we crashed! Please help us fix the problem by sending a crash report.");
    EXPECT_EQ(plain.interactivePromptCancelTitle(), "Don't Send");
    EXPECT_EQ(plain.interactivePromptSendTitle(), "Send");
    EXPECT_EQ(plain.interactivePromptAlwaysSendTitle(), "Always Send");

    const WRKSettings fromDocument = over(
        R"({"prompt":{"title":"Report?","send_button_title":"Yes","always_send_button_title":""}})");
    EXPECT_EQ(fromDocument.interactivePromptTitle(), "Report?");
    EXPECT_EQ(fromDocument.interactivePromptSendTitle(), "Yes");
    EXPECT_EQ(fromDocument.interactivePromptAlwaysSendTitle(), "") << "no third button";
    EXPECT_EQ(fromDocument.interactivePromptCancelTitle(), "Don't Send");

    WRKSettings::setStringsTable([](const std::string& key) -> std::optional<std::string> {
        if (key == "WreckordCrashSubmissionPromptTitle") {
            return "Bericht senden?";
        }
        return std::nullopt;
    });
    EXPECT_EQ(fromDocument.interactivePromptTitle(), "Bericht senden?");
    EXPECT_EQ(fromDocument.interactivePromptSendTitle(), "Yes");
    WRKSettings::setStringsTable({});
    EXPECT_EQ(fromDocument.interactivePromptTitle(), "Report?");
}

TEST(crashSettings, TextsAsSwitches) {
    const struct {
        const char* text;
        bool expected;
    } rows[] = {
        {"YES", true}, {"yes", true},  {"true", true},   {"T", true},   {"1", true},
        {"9", true},   {"  y", true},  {"-007", true},   {"+1", true},  {"NO", false},
        {"no", false}, {"0", false},   {"false", false}, {"", false},   {"000", false},
        {" ", false},  {"off", false}, {"x1", false},    {"-0", false}, {"0x1", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WRKSettings::boolValue(row.text), row.expected) << '"' << row.text << '"';
    }
}

// Environment first (said in the log), then Info.plist "Wreckord", then the defaults; and
// no endpoint at all unless one is configured.
TEST(crashSettings, LocalKeysComeFromTheEnvironmentTheInfoPlistOrTheDefaults) {
    test::ScopedBundle bundle({{"Wreckord", kit::PlistDictionary{{"SubmitReports", true},
                                                                 {"PackageReports", "NO"},
                                                                 {"UrgentReports", 0}}}});
    ScopedEnv endpoint("WreckordReportsEndpoint", std::nullopt);
    ScopedEnv submit("WreckordSubmitReports", std::nullopt);
    ScopedEnv package("WreckordPackageReports", std::nullopt);
    ScopedEnv urgent("WreckordUrgentReports", std::nullopt);
    const WRKSettings settings;
    EXPECT_TRUE(settings.shouldSubmitReports());
    EXPECT_FALSE(settings.shouldPackageReports());
    EXPECT_FALSE(settings.canProcessUrgentReports());
    EXPECT_EQ(settings.reportsEndpoint(), std::nullopt);

    test::LogLines log;
    ScopedEnv off("WreckordSubmitReports", "NO");
    EXPECT_FALSE(settings.shouldSubmitReports());
    EXPECT_TRUE(log.contains("[Wreckord:Crash] override: 'SubmitReports' => 'NO'"));

    {
        test::ScopedBundle none({});
        EXPECT_TRUE(settings.shouldPackageReports()) << "on by default";
        EXPECT_TRUE(settings.canProcessUrgentReports()) << "on by default";
    }

    ScopedEnv https("WreckordReportsEndpoint", "https://reports.example.net/base/");
    EXPECT_EQ(settings.reportsEndpoint(), "https://reports.example.net/base/");
    ScopedEnv plainHttp("WreckordReportsEndpoint", "http://reports.example.net");
    EXPECT_EQ(settings.reportsEndpoint(), std::nullopt) << "reports go over HTTPS only";
}

}  // namespace
}  // namespace talvor::crash
