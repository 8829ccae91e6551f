#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <memory>
#include <thread>

using talvor::platform::Notification;
using talvor::platform::NotificationCenter;
using talvor::platform::Observation;
using talvor::platform::senderObject;

namespace {

struct Sender {
    int unused = 0;
};

TEST(platformNotificationCenter, DeliversByNameAndObject) {
    const Sender a, b;
    const QVariant any;
    const QVariant fromA = senderObject(&a);
    const QVariant fromB = senderObject(&b);
    const QVariant text = QStringLiteral("a");
    struct Case {
        const char* what;
        QString observedName;
        QVariant observedObject;
        QString postedName;
        QVariant postedObject;
        bool heard;
    };
    const Case cases[] = {
        {"any name, any object", {}, any, "N", fromA, true},
        {"any name, any object, no object posted", {}, any, "N", any, true},
        {"name matches", "N", any, "N", fromB, true},
        {"name differs", "N", any, "M", fromA, false},
        {"names differ only in case", "N", any, "n", fromA, false},
        {"object matches", {}, fromA, "N", fromA, true},
        {"object differs", {}, fromA, "N", fromB, false},
        {"object wanted, none posted", {}, fromA, "N", any, false},
        {"both match", "N", fromA, "N", fromA, true},
        {"name matches, object differs", "N", fromA, "N", fromB, false},
        {"object matches, name differs", "N", fromA, "M", fromA, false},
        {"string objects compare by value", {}, text, "N", QVariant(QStringLiteral("a")), true},
        {"a string is not a pointer", {}, text, "N", fromA, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NotificationCenter center;
        QList<Notification> heard;
        Observation o = center.addObserver(c.observedName, c.observedObject,
                                           [&](const Notification& n) { heard.append(n); });
        center.post(c.postedName, c.postedObject, {{"k", 7}});
        ASSERT_EQ(heard.size(), c.heard ? 1 : 0);
        if (c.heard) {
            EXPECT_EQ(heard[0].name, c.postedName);
            EXPECT_EQ(heard[0].object, c.postedObject);
            EXPECT_EQ(heard[0].userInfo, QVariantMap({{"k", 7}}));
        }
    }
}

TEST(platformNotificationCenter, DeliversSynchronouslyOnThePostingThread) {
    NotificationCenter center;
    std::thread::id heardOn;
    int heard = 0;
    Observation o = center.addObserver("N", {}, [&](const Notification&) {
        ++heard;
        heardOn = std::this_thread::get_id();
    });

    center.post("N");
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(heardOn, std::this_thread::get_id());

    std::thread::id worker;
    std::thread t([&] {
        worker = std::this_thread::get_id();
        center.post("N");
        EXPECT_EQ(heard, 2);
    });
    t.join();
    EXPECT_EQ(heard, 2);
    EXPECT_EQ(heardOn, worker);
}

TEST(platformNotificationCenter, ObserverRemovedDuringDeliveryIsNotCalled) {
    NotificationCenter center;
    QStringList calls;
    Observation first, second, third;
    first = center.addObserver("N", {}, [&](const Notification&) {
        calls << "first";
        first.reset();
        third.reset();
    });
    second = center.addObserver("N", {}, [&](const Notification&) { calls << "second"; });
    third = center.addObserver("N", {}, [&](const Notification&) { calls << "third"; });

    center.post("N");
    EXPECT_EQ(calls, QStringList({"first", "second"}));
    EXPECT_FALSE(first.isActive());
    EXPECT_FALSE(third.isActive());

    calls.clear();
    center.post("N");
    EXPECT_EQ(calls, QStringList({"second"}));
}

TEST(platformNotificationCenter, ObserverAddedDuringDeliveryHearsTheNextPost) {
    NotificationCenter center;
    int lateHeard = 0;
    Observation late;
    Observation adder = center.addObserver("N", {}, [&](const Notification&) {
        if (!late.isActive()) {
            late = center.addObserver("N", {}, [&](const Notification&) { ++lateHeard; });
        }
    });

    center.post("N");
    EXPECT_EQ(lateHeard, 0);
    center.post("N");
    EXPECT_EQ(lateHeard, 1);
}

TEST(platformNotificationCenter, ObservationOwnsItsObserver) {
    NotificationCenter center;
    int oldHeard = 0, newHeard = 0;

    Observation moved = center.addObserver("N", {}, [&](const Notification&) { ++oldHeard; });
    Observation kept = std::move(moved);
    EXPECT_FALSE(moved.isActive());
    moved.reset();  // the moved-from handle no longer owns the observer
    center.post("N");
    EXPECT_EQ(oldHeard, 1);

    kept = center.addObserver("N", {}, [&](const Notification&) { ++newHeard; });
    center.post("N");
    EXPECT_EQ(oldHeard, 1) << "assigning over an observation removes its observer";
    EXPECT_EQ(newHeard, 1);

    {
        Observation scoped = center.addObserver("N", {}, [&](const Notification&) { ++oldHeard; });
    }
    center.post("N");
    EXPECT_EQ(oldHeard, 1) << "a destroyed observation removes its observer";
    EXPECT_EQ(newHeard, 2);
}

TEST(platformNotificationCenter, ObservationMayOutliveTheCentre) {
    Observation kept, moved;
    {
        auto center = std::make_unique<NotificationCenter>();
        kept = center->addObserver("N", {}, [](const Notification&) {});
        moved = center->addObserver({}, {}, [](const Notification&) {});
        EXPECT_TRUE(kept.isActive());
    }
    EXPECT_FALSE(kept.isActive());
    kept.reset();
    Observation other = std::move(moved);
    EXPECT_FALSE(other.isActive());
}  // `other` is destroyed here, after its centre

}  // namespace
