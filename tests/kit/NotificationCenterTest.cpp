// The kit's notification centre: delivery on the posting thread, by name and sender.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "kit/NotificationCenter.h"

namespace talvor::kit {
namespace {

TEST(kitNotificationCenter, PostOnPostingThread) {
    NotificationCenter center;
    std::thread::id deliveredOn;
    std::string userInfo;
    const auto token =
        center.addObserver("TRLSettingsAvailableNotification", nullptr, [&](const Notification& n) {
            deliveredOn = std::this_thread::get_id();
            userInfo = *n.userInfo.at("k").string();
        });
    std::thread::id poster;
    std::thread([&] {
        poster = std::this_thread::get_id();
        center.post("TRLSettingsAvailableNotification", nullptr, {{"k", PlistValue("v")}});
    }).join();
    EXPECT_EQ(deliveredOn, poster);
    EXPECT_EQ(userInfo, "v");
    center.removeObserver(token);
}

TEST(kitNotificationCenter, ObserversMatchByNameAndSender) {
    NotificationCenter center;
    const int senderA = 0;
    const int senderB = 0;
    std::vector<std::string> seen;
    auto watch = [&](std::string who, std::string name, const void* object) {
        return center.addObserver(std::move(name), object, [&seen, who](const Notification& n) {
            seen.push_back(who + ":" + n.name);
        });
    };
    watch("any-sender", "N", nullptr);
    watch("from-a", "N", &senderA);
    watch("every-name", "", nullptr);
    center.addObserver("N", [&] { seen.push_back("plain:N"); });

    const struct {
        const char* name;
        const void* object;
        std::vector<std::string> seen;
    } cases[] = {
        {"N", nullptr, {"any-sender:N", "every-name:N", "plain:N"}},
        {"N", &senderA, {"any-sender:N", "from-a:N", "every-name:N", "plain:N"}},
        {"N", &senderB, {"any-sender:N", "every-name:N", "plain:N"}},
        {"M", &senderA, {"every-name:M"}},
    };
    for (const auto& c : cases) {
        seen.clear();
        center.post(c.name, c.object);
        EXPECT_EQ(seen, c.seen) << c.name;
    }
}

TEST(kitNotificationCenter, AnObserverRemovedDuringAPostIsNotCalled) {
    NotificationCenter center;
    std::vector<int> calls;
    NotificationCenter::Token second = 0;
    center.addObserver("N", [&] {
        calls.push_back(1);
        center.removeObserver(second);
    });
    second = center.addObserver("N", [&] { calls.push_back(2); });
    center.post("N");
    center.post("N");
    EXPECT_EQ(calls, (std::vector<int>{1, 1}));
}

}  // namespace
}  // namespace talvor::kit
