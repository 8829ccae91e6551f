#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../KitSandbox.h"
#include "../LogCapture.h"
#include "../ManualClock.h"
#include "../SettingsTestSupport.h"
#include "LoopbackTlsServer.h"
#include "NetworkTestSupport.h"
#include "kit/KitKeys.h"
#include "kit/NotificationCenter.h"
#include "kit/TRLHost.h"
#include "kit/Trellis.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLSettingsOnboardingManager.h"

namespace talvor::kit {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::LoopbackTlsServer;
using test::RecordedRequest;
using test::ScriptedResponse;
using test::TestPki;

const char kBundleInfo[] =
    "<key>CFBundleIdentifier</key><string>org.talvor/Pro app</string>"
    "<key>CFBundleName</key><string>Talvor Pro</string>"
    "<key>CFBundleShortVersionString</key><string>4.2</string>"
    "<key>CFBundleVersion</key><string>420</string>";
const char kSettingsPath[] = "/spi/v2/platforms/mac/apps/org.talvor_Pro%20app/settings";
const char kCreatePath[] = "/configure/spi/v1/platforms/mac/apps";
const char kUpdatePath[] = "/configure/spi/v1/platforms/mac/apps/org.talvor_Pro%20app";
const char kKnown[] = R"({"app":{"status":"activated"},"analytics":{"flush_interval_secs":60}})";
const char kNew[] = R"({"app":{"status":"new"}})";
const char kUpdate[] = R"({"app":{"status":"activated","update_required":true}})";

ScriptedResponse json(std::string body,
                      std::vector<std::pair<std::string, std::string>> headers = {}) {
    ScriptedResponse response = test::withBody(std::move(body), "application/json");
    response.headers = std::move(headers);
    return response;
}

std::optional<std::string> partValue(const RecordedRequest& request, const std::string& name) {
    for (const auto& part : request.parts) {
        if (part.name == name) {
            return part.content;
        }
    }
    return std::nullopt;
}

class KitSettingsFlowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::keepRequestsOnThisMachine();
        sandbox.useBundle(test::plist(kBundleInfo));
        observer = NotificationCenter::defaultCenter().addObserver(
            keys::TRLSettingsAvailableNotification, [this] {
                std::lock_guard lock(mutex);
                notifiedAfter.push_back(server.requestCount());
            });
    }
    void TearDown() override { NotificationCenter::defaultCenter().removeObserver(observer); }

    std::shared_ptr<TRLSettingsOnboardingManager> makeManager(bool withIcon = true) {
        auto model = TRLApplicationIdentiferModel::make(
            "install-1", {{"x86_64", "0123456789abcdef0123456789abcdef"}}, SDKVersion{2, 36, 0},
            SDKVersion{3, 2, 0},
            withIcon ? std::optional<TRLIcon>(TRLIcon(test::pngHeader(256, 256, "i"), {256, 256}))
                     : std::nullopt);
        auto manager =
            TRLSettingsOnboardingManager::initWithApplicationIdentifierModel(model, settingsDir);
        useLoopback(*manager);
        return manager;
    }
    void useLoopback(TRLSettingsOnboardingManager& manager) {
        manager.setNetworkClientFactory([this] {
            return std::shared_ptr<TRLNetworkClient>(TRLNetworkClient::initWithSessionConfiguration(
                test::loopbackConfiguration(), nullptr, std::nullopt,
                TRLNetworkClient::Seams{&clock, &random, [] { return false; }}));
        });
    }
    // Runs the flow until it has ended, moving the clock on for retries.
    bool run(TRLSettingsOnboardingManager& manager) {
        manager.beginSettingsAndOnboardingOperationsWithAPIKey(
            "api-key-1", {{"io.trellis.sdk.mac", "1.7.2"}, {"com.wreckord.sdk.mac", "3.10.1"}});
        return waitForEnd(manager);
    }
    bool waitForEnd(TRLSettingsOnboardingManager& manager) {
        for (int i = 0; i < 2000; ++i) {
            if (manager.networkingSessionFinished()) {
                return true;
            }
            if (clock.pendingTimers() > 0) {
                clock.advance(2s);
            }
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    std::vector<std::size_t> notifications() {
        std::lock_guard lock(mutex);
        return notifiedAfter;
    }
    void store(const std::string& document, const std::optional<std::string>& validators) {
        test::writeFile(settingsDir / "settings.json", document);
        if (validators) {
            test::writeFile(settingsDir / "settings.json.validators", *validators);
        }
    }
    std::optional<std::string> stored() { return test::readFile(settingsDir / "settings.json"); }

    test::KitSandbox sandbox;
    LoopbackTlsServer server{TestPki::shared().leafA};
    test::ScopedEnv settingsEndpoint{keys::TRLSettingsEndpointKey, server.url("")};
    test::ScopedEnv configureEndpoint{keys::TRLConfigureEndpointKey, server.url("/configure")};
    fs::path settingsDir = sandbox.dir / "settings";
    test::ManualClock clock;
    test::FixedRandom random{0.5};
    std::mutex mutex;  // guards notifiedAfter: the notification comes on the network's queue
    std::vector<std::size_t> notifiedAfter;  // the requests seen when each one came
    NotificationCenter::Token observer = 0;
};

TEST_F(KitSettingsFlowTest, FirstDownloadStoresTheDocumentAndTellsTheKitsOnce) {
    server.setScript([](const RecordedRequest&) {
        return json(kKnown,
                    {{"ETag", "\"v1\""}, {"Last-Modified", "Wed, 09 Dec 2026 10:00:00 GMT"}});
    });
    auto manager = makeManager();
    manager->setAdvertisingTokenSource([] { return std::optional<std::string>("ad-token"); });
    test::LogCapture logs;
    ASSERT_TRUE(run(*manager));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const RecordedRequest& get = requests[0];
    EXPECT_EQ(get.method, "GET");
    EXPECT_EQ(
        get.target,
        std::string(kSettingsPath) + "?build_version=420&display_version=4.2&instance=" +
            manager->settingsURL()->substr(manager->settingsURL()->find("instance=") + 9, 40) +
            "&icon_hash=" + *manager->appIconHash() + "&source=1");
    EXPECT_EQ(manager->appIconHash()->size(), 40u);
    const std::pair<const char*, std::optional<std::string>> headers[] = {
        {"Accept", "application/json"},
        {"X-Wreckord-Installation-ID", "install-1"},
        {"X-Wreckord-Device-Model", TRLHostModelInfo().value_or("")},
        {"X-Wreckord-OS-Build-Version", TRLHostOSBuildVersion().value_or("")},
        {"X-Wreckord-OS-Display-Version", TRLHostOSDisplayVersion()},
        {"X-Wreckord-API-Client-Version", "1.7.2"},
        {"X-Wreckord-Advertising-Token", "ad-token"},
        {"X-Wreckord-API-Key", "api-key-1"},
        {"X-Wreckord-Developer-Token", keys::TRLDeveloperToken},
        {"If-None-Match", std::nullopt},
        {"If-Modified-Since", std::nullopt},
    };
    for (const auto& [name, value] : headers) {
        EXPECT_EQ(get.header(name), value) << name;
    }

    EXPECT_EQ(stored(), kKnown);
    EXPECT_EQ(manager->settingsModel().settingsDictionary(), json::parse(kKnown));
    EXPECT_EQ(notifications(), std::vector<std::size_t>{1});
    EXPECT_FALSE(manager->hasAttemptedAppConfigure());
    EXPECT_TRUE(logs.lines.empty()) << logs.lines.front();

    // The next launch asks with the validators of what it has.
    auto next = makeManager();
    ASSERT_TRUE(run(*next));
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[1].header("If-None-Match"), "\"v1\"");
    EXPECT_EQ(server.requests()[1].header("If-Modified-Since"), "Wed, 09 Dec 2026 10:00:00 GMT");
}

TEST_F(KitSettingsFlowTest, NotModifiedKeepsTheStoredDocument) {
    const std::string validators =
        R"({"etag":"\"v1\"","last_modified":"Wed, 09 Dec 2026 10:00:00 GMT"})";
    struct Case {
        const char* name;
        std::optional<std::string> document;  // stored before the launch
        bool conditional;                     // the request carries the validators
        bool success;
    };
    const Case cases[] = {
        {"good document", std::string(kKnown), true, true},
        // Validators without a good document must not be sent: a "not modified" would then
        // leave the kits with nothing.
        {"damaged document", std::string(R"({"app":)"), false, false},
        {"no document", std::nullopt, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(settingsDir);
        if (c.document) {
            store(*c.document, validators);
        } else {
            test::writeFile(settingsDir / "settings.json.validators", validators);
        }
        const std::size_t before = server.requestCount();
        const std::size_t notifiedBefore = notifications().size();
        server.setScript([](const RecordedRequest&) { return test::answer(304); });
        auto manager = makeManager();
        test::LogCapture logs;
        ASSERT_TRUE(run(*manager));
        ASSERT_EQ(server.requestCount(), before + 1);
        const RecordedRequest get = server.requests().back();
        EXPECT_EQ(get.header("If-None-Match").has_value(), c.conditional);
        EXPECT_EQ(get.header("If-Modified-Since").has_value(), c.conditional);
        if (c.success) {
            EXPECT_EQ(stored(), kKnown);
            EXPECT_EQ(manager->settingsModel().settingsDictionary(), json::parse(kKnown));
            EXPECT_EQ(notifications().size(), notifiedBefore + 1);
            EXPECT_TRUE(logs.lines.empty()) << logs.lines.front();
        } else {
            EXPECT_EQ(notifications().size(), notifiedBefore);
            ASSERT_EQ(logs.lines.size(), 1u);
            EXPECT_EQ(logs.lines[0].rfind("[Trellis] failed to download settings ", 0), 0u)
                << logs.lines[0];
            EXPECT_FALSE(manager->settingsModel().settingsDictionary());
        }
    }
}

TEST_F(KitSettingsFlowTest, AnExpiredDocumentIsReplacedAndReadersSeeTheNewOne) {
    const std::string fresh = R"({"app":{"status":"activated"},"analytics":{"sampling_rate":3}})";
    store(kKnown, R"({"etag":"\"v1\""})");
    server.setScript([&fresh](const RecordedRequest& request) {
        if (request.header("If-None-Match") == "\"v2\"") {
            return test::answer(304);
        }
        return json(fresh, {{"ETag", "\"v2\""}});
    });
    auto manager = makeManager();
    // A kit read the old document before the download.
    EXPECT_EQ(manager->settingsModel().settingsDictionary(), json::parse(kKnown));
    ASSERT_TRUE(run(*manager));
    EXPECT_EQ(server.requests().at(0).header("If-None-Match"), "\"v1\"");
    EXPECT_EQ(stored(), fresh);
    EXPECT_EQ(manager->settingsModel().settingsDictionary(), json::parse(fresh));
    EXPECT_EQ(notifications(), std::vector<std::size_t>{1});

    // The old validators went with the old document.
    auto next = makeManager();
    ASSERT_TRUE(run(*next));
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[1].header("If-None-Match"), "\"v2\"");
    EXPECT_EQ(next->settingsModel().settingsDictionary(), json::parse(fresh));
}

TEST_F(KitSettingsFlowTest, AServerErrorIsTriedOnceMoreThenTheStoredDocumentStays) {
    for (const bool withDocument : {true, false}) {
        SCOPED_TRACE(withDocument ? "with a stored document" : "first launch");
        fs::remove_all(settingsDir);
        if (withDocument) {
            store(kKnown, std::nullopt);
        }
        const std::size_t before = server.requestCount();
        server.setScript([](const RecordedRequest&) { return json("{}", {}); });
        server.setScript([](const RecordedRequest&) { return test::answer(500); });
        auto manager = makeManager();
        test::LogCapture logs;
        ASSERT_TRUE(run(*manager));
        EXPECT_EQ(server.requestCount(), before + 2) << "one retry, no more";
        EXPECT_TRUE(notifications().empty());
        ASSERT_EQ(logs.lines.size(), 1u);
        EXPECT_EQ(logs.lines[0].rfind("[Trellis] failed to download settings ", 0), 0u)
            << logs.lines[0];
        if (withDocument) {
            EXPECT_EQ(stored(), kKnown);
            EXPECT_EQ(manager->settingsModel().settingsDictionary(), json::parse(kKnown));
        } else {
            EXPECT_FALSE(fs::exists(settingsDir / "settings.json"));
            EXPECT_FALSE(manager->settingsModel().settingsDictionary());
        }
    }
}

TEST_F(KitSettingsFlowTest, ABrokenReplyKeepsTheLastGoodDocumentWithOneLogLine) {
    struct Case {
        const char* name;
        ScriptedResponse reply;
    };
    const Case cases[] = {
        {"cut short", json(R"({"app":{"status":"activated"},"analy)")},
        {"not JSON", json("<html>maintenance</html>")},
        {"a list", json(R"([{"app":{}}])")},
        {"null", json("null")},
        {"empty", json("")},
        {"too large", json("{\"pad\":\"" + std::string(2 * 1024 * 1024, 'x') + "\"}")},
        {"another type", test::withBody(kKnown, "text/html")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store(kKnown, R"({"etag":"\"v1\""})");
        const std::size_t before = server.requestCount();
        server.setScript([&c](const RecordedRequest&) { return c.reply; });
        auto manager = makeManager();
        test::LogCapture logs;
        ASSERT_TRUE(run(*manager));
        EXPECT_EQ(server.requestCount(), before + 1);
        EXPECT_EQ(stored(), kKnown);
        EXPECT_EQ(manager->settingsModel().settingsDictionary(), json::parse(kKnown));
        EXPECT_TRUE(notifications().empty());
        ASSERT_EQ(logs.lines.size(), 1u);
        EXPECT_EQ(logs.lines[0].rfind("[Trellis] failed to download settings ", 0), 0u)
            << logs.lines[0];
    }
}

TEST_F(KitSettingsFlowTest, ANewAppIsCreatedThenSettingsAreDownloadedAgain) {
    bool created = false;
    server.setScript([&created](const RecordedRequest& request) {
        if (request.method == "POST") {
            created = true;
            return json(R"({"status":"created"})");
        }
        return json(created ? kKnown : kNew);
    });
    auto manager = makeManager();
    ASSERT_TRUE(run(*manager));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[2].method, "GET");
    EXPECT_EQ(requests[2].target, requests[0].target);
    // The kits hear once, after the second download.
    EXPECT_EQ(notifications(), std::vector<std::size_t>{3});
    EXPECT_TRUE(manager->hasAttemptedAppConfigure());
    EXPECT_EQ(stored(), kKnown);

    const RecordedRequest& post = requests[1];
    EXPECT_EQ(post.method, "POST");
    EXPECT_EQ(post.target, kCreatePath);
    EXPECT_EQ(post.header("X-Wreckord-API-Key"), "api-key-1");
    EXPECT_EQ(post.header("Content-Type").value_or("").rfind("multipart/form-data; boundary=", 0),
              0u);
    const std::pair<const char*, std::string> fields[] = {
        {"app[identifier]", "org.talvor_Pro app"},
        {"app[name]", "Talvor Pro"},
        {"app[build_version]", "420"},
        {"app[display_version]", "4.2"},
        {"app[source]", "1"},
        {"app[minimum_sdk_version]", "3.2.0"},
        {"app[built_sdk_version]", "2.36.0"},
        {"app[build][libraries][io.trellis.sdk.mac]", "1.7.2"},
        {"app[build][libraries][com.wreckord.sdk.mac]", "3.10.1"},
        {"app[slices][][arch]", "x86_64"},
        {"app[slices][][uuid]", "0123456789abcdef0123456789abcdef"},
        {"app[icon][hash]", *manager->appIconHash()},
        {"app[icon][prerendered]", "true"},
        {"app[icon][width]", "256"},
        {"app[icon][height]", "256"},
        {"app[icon][data]", test::pngHeader(256, 256, "i")},
    };
    for (const auto& [name, value] : fields) {
        EXPECT_EQ(partValue(post, name), value) << name;
    }
    EXPECT_EQ(post.parts.size(), std::size(fields) + 1);  // and the instance identifier
    for (const auto& part : post.parts) {
        if (part.name == "app[icon][data]") {
            EXPECT_EQ(part.fileName, "icon.png");
            EXPECT_EQ(part.contentType, "image/png");
        }
    }
}

TEST_F(KitSettingsFlowTest, AnUpdateIsSentAfterTheKitsAreTold) {
    for (const bool withIcon : {true, false}) {
        SCOPED_TRACE(withIcon ? "with an icon" : "without an icon");
        fs::remove_all(settingsDir);
        const std::size_t before = server.requestCount();
        server.setScript([](const RecordedRequest& request) {
            return request.method == "PUT" ? json("{}") : json(kUpdate);
        });
        auto manager = makeManager(withIcon);
        ASSERT_TRUE(run(*manager));
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), before + 2);
        EXPECT_EQ(requests[before].method, "GET");
        EXPECT_EQ(requests[before].target.find("icon_hash=") != std::string::npos, withIcon);
        const RecordedRequest& put = requests[before + 1];
        EXPECT_EQ(put.method, "PUT");
        EXPECT_EQ(put.target, kUpdatePath);
        EXPECT_EQ(partValue(put, "app[identifier]"), "org.talvor_Pro app");
        EXPECT_EQ(partValue(put, "app[icon][hash]").has_value(), withIcon);
        EXPECT_EQ(partValue(put, "app[icon][data]").has_value(), withIcon);
        // Told after the download, before the update.
        EXPECT_EQ(notifications().back(), before + 1);
        EXPECT_TRUE(manager->networkingSessionFinished());
    }
    EXPECT_EQ(notifications().size(), 2u);
}

TEST_F(KitSettingsFlowTest, WhatTheAppSectionSaysDecidesTheRequests) {
    struct Case {
        const char* document;
        std::vector<std::string> methods;
    };
    const Case cases[] = {
        {R"({"app":null})", {"GET"}},
        {R"({"features":{"collect_reports":true}})", {"GET"}},
        {R"({"app":{"status":null,"update_required":null}})", {"GET"}},
        {R"({"app":{"status":"activated","update_required":false}})", {"GET"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        const std::size_t before = server.requestCount();
        const std::size_t notifiedBefore = notifications().size();
        server.setScript([&c](const RecordedRequest&) { return json(c.document); });
        auto manager = makeManager();
        ASSERT_TRUE(run(*manager));
        std::vector<std::string> methods;
        const auto requests = server.requests();
        for (std::size_t i = before; i < requests.size(); ++i) {
            methods.push_back(requests[i].method);
        }
        EXPECT_EQ(methods, c.methods);
        EXPECT_EQ(notifications().size(), notifiedBefore + 1);
    }
}

TEST_F(KitSettingsFlowTest, DebugLinesTellTheFlowInOrder) {
    const std::string downloaded = "[Trellis] settings downloaded successfully";
    const std::string available = "[Trellis] Settings are available for consumption";
    struct Case {
        const char* name;
        const char* document;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"known", kKnown, {downloaded, available}},
        {"new",
         kNew,
         {downloaded, "[Trellis] Starting onboarding with app create",
          "[Trellis] completed configure", downloaded,
          "[Trellis] App already onboarded in this run of the app", available}},
        {"update",
         kUpdate,
         {downloaded, available, "[Trellis] Starting onboarding with app update",
          "[Trellis] completed application update"}},
    };
    setLogLevel(KitLogLevel::Debug);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(settingsDir);
        bool created = false;
        server.setScript([&c, &created](const RecordedRequest& request) {
            if (request.method != "GET") {
                created = true;
                return json("{}");
            }
            return json(created ? kKnown : c.document);
        });
        auto manager = makeManager();
        test::LogCapture logs;
        ASSERT_TRUE(run(*manager));
        std::vector<std::string> flow;
        for (const std::string& line : logs.lines) {
            if (line.find("settings") != std::string::npos ||
                line.find("Settings") != std::string::npos ||
                line.find("onboard") != std::string::npos ||
                line.find("completed") != std::string::npos) {
                flow.push_back(line);
            }
        }
        EXPECT_EQ(flow, c.lines);
    }
}

TEST_F(KitSettingsFlowTest, TheAdvertisingTokenIsSentOnlyWhenAllowedAndGiven) {
    struct Case {
        const char* name;
        std::string info;
        std::optional<std::string> token;
        std::optional<std::string> header;
    };
    const Case cases[] = {
        {"allowed", kBundleInfo, "ad-1", "ad-1"},
        {"none", kBundleInfo, std::nullopt, std::nullopt},
        {"empty", kBundleInfo, "", std::nullopt},
        {"identifiers not reported",
         std::string(kBundleInfo) +
             "<key>Trellis</key><dict><key>ReportIdentifiers</key><false/></dict>",
         "ad-1", std::nullopt},
    };
    server.setScript([](const RecordedRequest&) { return json(kKnown); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.useBundle(test::plist(c.info));
        auto manager = makeManager();
        manager->setAdvertisingTokenSource([&c] { return c.token; });
        ASSERT_TRUE(run(*manager));
        EXPECT_EQ(server.requests().back().header("X-Wreckord-Advertising-Token"), c.header);
    }
}

TEST_F(KitSettingsFlowTest, AFailedCreateEndsTheFlowWithoutTellingTheKits) {
    server.setScript([](const RecordedRequest& request) {
        return request.method == "POST" ? test::answer(422) : json(kNew);
    });
    auto manager = makeManager();
    test::LogCapture logs;
    ASSERT_TRUE(run(*manager));
    EXPECT_EQ(server.requestCount(), 2u) << "a refused create is not retried";
    EXPECT_TRUE(notifications().empty());
    ASSERT_EQ(logs.lines.size(), 1u);
    EXPECT_EQ(logs.lines[0].rfind("[Trellis] unable to complete application configure: ", 0), 0u)
        << logs.lines[0];
}

TEST_F(KitSettingsFlowTest, WithoutAConfigureEndpointNoFormIsSent) {
    test::ScopedEnv noConfigure(keys::TRLConfigureEndpointKey, std::nullopt);
    server.setScript([](const RecordedRequest&) { return json(kNew); });
    auto manager = makeManager();
    test::LogCapture logs;
    ASSERT_TRUE(run(*manager));
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_TRUE(notifications().empty());
    ASSERT_EQ(logs.lines.size(), 1u);
    EXPECT_NE(logs.lines[0].find("no configure endpoint"), std::string::npos) << logs.lines[0];
}

TEST_F(KitSettingsFlowTest, EndpointsThatAreNotHttpsAreNotUsed) {
    const std::string plain = "http://127.0.0.1:" + server.url("").substr(18);
    struct Case {
        const char* name;
        std::optional<std::string> settings, configure;
        std::vector<std::string> methods;
        const char* line;
    };
    const Case cases[] = {
        {"plain settings endpoint",
         plain,
         server.url("/configure"),
         {},
         "[Trellis] failed to download settings: the settings endpoint is not an https URL"},
        {"no scheme",
         "127.0.0.1",
         server.url("/configure"),
         {},
         "[Trellis] failed to download settings: the settings endpoint is not an https URL"},
        {"plain configure endpoint",
         server.url(""),
         plain + "/configure",
         {"GET"},
         "[Trellis] unable to complete application configure: the configure endpoint is not an "
         "https URL"},
        {"upper-case scheme",
         "HTTPS" + server.url("").substr(5),
         server.url("/configure"),
         {"GET", "POST", "GET"},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(settingsDir);
        test::ScopedEnv settings(keys::TRLSettingsEndpointKey, c.settings);
        test::ScopedEnv configure(keys::TRLConfigureEndpointKey, c.configure);
        const std::size_t before = server.requestCount();
        bool created = false;
        server.setScript([&created](const RecordedRequest& request) {
            if (request.method == "POST") {
                created = true;
                return json("{}");
            }
            return json(created ? kKnown : kNew);
        });
        auto manager = makeManager();
        test::LogCapture logs;
        ASSERT_TRUE(run(*manager));
        std::vector<std::string> methods;
        const auto requests = server.requests();
        for (std::size_t i = before; i < requests.size(); ++i) {
            methods.push_back(requests[i].method);
        }
        EXPECT_EQ(methods, c.methods);
        if (c.line != nullptr) {
            EXPECT_EQ(logs.lines, std::vector<std::string>{c.line});
        } else {
            EXPECT_TRUE(logs.lines.empty()) << logs.lines.front();
        }
    }
}

// The host starts the exchange only with an endpoint and the user's consent, and never on
// the calling thread.
TEST_F(KitSettingsFlowTest, TheHostSendsOnlyWithAnEndpointAndConsent) {
    struct Case {
        const char* name;
        bool endpoint;
        std::optional<PlistValue> sharing;
        bool sends;
        const char* line;  // the host's one line when nothing is sent
    };
    const Case cases[] = {
        {"no endpoint", false, std::nullopt, false, "[Trellis] No service endpoints"},
        {"sharing switched off", true, PlistValue(false), false,
         "[Trellis] Sharing data with the service is switched off"},
        {"endpoint and sharing", true, std::nullopt, true, nullptr},
        {"endpoint and sharing allowed", true, PlistValue(true), true, nullptr},
    };
    const std::string withKey =
        std::string(kBundleInfo) +
        "<key>Trellis</key><dict><key>APIKey</key><string>api-key-1</string>"
        "<key>Kits</key><array/></dict>";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedEnv endpoint(
            keys::TRLSettingsEndpointKey,
            c.endpoint ? std::optional<std::string>(server.url("")) : std::nullopt);
        sandbox.defaults->values.erase(keys::TalvorShareDataWithServiceKey);
        if (c.sharing) {
            sandbox.defaults->values[keys::TalvorShareDataWithServiceKey] = *c.sharing;
        }
        Trellis& sdk = sandbox.install(test::plist(withKey));
        useLoopback(*sdk.settingsAndOnboardingManager());
        const std::size_t before = server.requestCount();
        ScriptedResponse reply = json(kKnown);
        reply.hold = true;  // the call must return while the service has not answered
        server.setScript([&reply](const RecordedRequest&) { return reply; });
        test::LogCapture logs;
        sdk.onboardAppAndDownloadSettings();
        sdk.onboardAppAndDownloadSettings();  // at start-up once; a second call says no more
        if (!c.sends) {
            EXPECT_FALSE(server.waitForRequests(before + 1, 300ms));
            ASSERT_EQ(logs.lines.size(), 1u);
            EXPECT_EQ(logs.lines[0].rfind(c.line, 0), 0u) << logs.lines[0];
            continue;
        }
        ASSERT_TRUE(server.waitForRequests(before + 1));
        server.release();
        ASSERT_TRUE(waitForEnd(*sdk.settingsAndOnboardingManager()));
        EXPECT_EQ(server.requestCount(), before + 1) << "one exchange per run";
        EXPECT_EQ(server.requests().at(before).header("X-Wreckord-API-Key"), "api-key-1");
        EXPECT_EQ(sdk.settings(), json::parse(kKnown));
        Trellis::setSharedSDK(nullptr);
    }
}

}  // namespace
}  // namespace talvor::kit
