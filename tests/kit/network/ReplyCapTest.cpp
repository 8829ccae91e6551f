// Every reply a kit session reads is capped while it streams, whatever the task (the
// onboarding's data tasks, the event and report uploads, the settings download, the urgent
// report's blocking request) and whatever the framing; a request without a cap of its own
// gets the session's.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "LoopbackTlsServer.h"
#include "NetworkTestSupport.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/WRKURLSession.h"

namespace talvor::kit {
namespace {

using namespace std::chrono_literals;
using test::Awaited;
using test::LoopbackTlsServer;
using test::Outcome;
using test::RecordedRequest;
using test::ScriptedResponse;
using test::TestPki;

enum class Task { Data, Upload, Download, Blocking };

const char* nameOf(Task task) {
    switch (task) {
        case Task::Data:
            return "data task";
        case Task::Upload:
            return "upload task";
        case Task::Download:
            return "download task";
        case Task::Blocking:
            return "blocking request";
    }
    return "";
}

class KitReplyCapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::keepRequestsOnThisMachine();
        std::ofstream(body_, std::ios::binary) << "{\"events\":[]}";
    }
    void TearDown() override { std::filesystem::remove(body_); }

    // One request of `task` kind for `url` on a session of `configuration`; the outcome and,
    // for a download, the size of the file it was handed.
    Outcome send(Task task, const URLRequest& request,
                 const WRKURLSessionConfiguration& configuration) {
        if (task == Task::Blocking) {
            auto result =
                WRKURLSession::sendSynchronousRequest(request, configuration, body_.string());
            return {result.data, result.response, result.error};
        }
        auto session = WRKURLSession::sessionWithConfiguration(configuration);
        Awaited<Outcome> done;
        const auto finished = [&](const std::string& data, const auto& response,
                                  const auto& error) {
            done.set({data, response, error});
        };
        WRKURLSessionTaskRef made;
        if (task == Task::Data) {
            made = session->dataTaskWithRequest(request, finished);
        } else if (task == Task::Upload) {
            made = session->uploadTaskWithRequest(request, body_.string(), finished);
        } else {
            made = session->downloadTaskWithRequest(
                request, [&](const std::optional<std::string>& file, const auto& response,
                             const auto& error) {
                    done.set({file ? std::to_string(std::filesystem::file_size(*file)) : "",
                              response, error});
                });
        }
        made->resume();
        const auto outcome = done.get(60s);
        EXPECT_TRUE(outcome) << "no end";
        return outcome.value_or(Outcome{});
    }

    LoopbackTlsServer server{TestPki::shared().leafA};
    std::filesystem::path body_ = std::filesystem::temp_directory_path() /
                                  ("talvor-reply-cap-" + std::to_string(::getpid()) + ".json");
};

// A reply without end, in chunks or announced as a gigabyte, ends in "too long" (never tried
// again) once the session's cap is passed, long before the server gives up: the client
// hung up.
TEST_F(KitReplyCapTest, EveryTaskStopsAnEndlessReplyAtTheSessionsCap) {
    struct Reply {
        const char* what;
        ScriptedResponse response;
    };
    const Reply replies[] = {
        {"endless chunks", test::endless()},
        {"a gigabyte announced", test::streamed(std::uint64_t{1} << 30)},
    };
    const auto configuration = test::loopbackConfiguration();
    ASSERT_EQ(configuration.maximumResponseBytes,
              WRKURLSessionConfiguration::kDefaultMaximumResponseBytes);
    for (const Task task : {Task::Data, Task::Upload, Task::Download, Task::Blocking}) {
        for (const Reply& reply : replies) {
            SCOPED_TRACE(std::string(nameOf(task)) + ", " + reply.what);
            server.setScript([&reply](const RecordedRequest&) { return reply.response; });
            const std::uint64_t before = server.streamedBytesSent();
            URLRequest request = test::requestFor(server.url("/reply"));
            request.HTTPMethod = task == Task::Upload || task == Task::Blocking ? "POST" : "GET";
            const Outcome outcome = send(task, request, configuration);
            ASSERT_TRUE(outcome.error);
            EXPECT_EQ(outcome.error->domain, keys::NSURLErrorDomain);
            EXPECT_EQ(outcome.error->code, keys::NSURLErrorDataLengthExceedsMaximum);
            EXPECT_FALSE(outcome.response);
            EXPECT_LE(outcome.data.size(), configuration.maximumResponseBytes);
            // The cap and what the sockets hold on the way; the server would go to 64 MiB.
            EXPECT_LT(server.streamedBytesSent() - before, 16u << 20);
        }
    }
}

// The session's cap is the configuration's; a request's own cap goes before it, larger or
// smaller.
TEST_F(KitReplyCapTest, ARequestsOwnCapGoesBeforeTheSessions) {
    struct Case {
        std::uint64_t sessionCap;
        std::optional<std::uint64_t> requestCap;
        std::uint64_t bodyBytes;
        bool fits;
    };
    const Case cases[] = {
        {4096, std::nullopt, 4096, true},
        {4096, std::nullopt, 4097, false},
        {4096, 8192, 8192, true},
        {1 << 20, 4096, 4097, false},
    };
    for (const Task task : {Task::Data, Task::Download}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(nameOf(task)) + ", " + std::to_string(c.bodyBytes) + " bytes");
            server.setScript([&c](const RecordedRequest&) {
                ScriptedResponse response = test::endless();
                response.streamedBytes = c.bodyBytes;
                return response;
            });
            auto configuration = test::loopbackConfiguration();
            configuration.maximumResponseBytes = c.sessionCap;
            URLRequest request = test::requestFor(server.url("/reply"));
            request.maximumResponseBytes = c.requestCap;
            const Outcome outcome = send(task, request, configuration);
            if (c.fits) {
                EXPECT_FALSE(outcome.error);
                EXPECT_EQ(task == Task::Download ? std::stoull(outcome.data) : outcome.data.size(),
                          c.bodyBytes);
            } else {
                ASSERT_TRUE(outcome.error);
                EXPECT_EQ(outcome.error->code, keys::NSURLErrorDataLengthExceedsMaximum);
            }
        }
    }
}

}  // namespace
}  // namespace talvor::kit
