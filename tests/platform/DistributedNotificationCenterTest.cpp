#include "platform/DistributedNotificationCenter.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPoint>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <QThread>
#include <QTimeZone>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <thread>
#include <vector>

using talvor::platform::DistributedNotificationCenter;
using talvor::platform::Notification;
using talvor::platform::Observation;
using talvor::test::LogCapture;

// Readable failure messages.
void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
void PrintTo(const QJsonObject& o, std::ostream* os) {
    *os << QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}
void PrintTo(const QVariant& v, std::ostream* os) {
    QString text;
    QDebug(&text).nospace() << v;
    *os << text.toStdString();
}

struct Opaque {
    int unused = 0;
};
Q_DECLARE_METATYPE(Opaque)

namespace {

const char* const kBusVariable = "DBUS_SESSION_BUS_ADDRESS";
const QString kInProcessOnly = QStringLiteral("reach this process only");

// An upper bound for things that happen "soon", never a measure of speed.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(5);
    }
    return true;
}

// Names and objects unique to one test, so that tests sharing the bus do not hear each other.
QString uniqueToken() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

qsizetype countContaining(const QStringList& lines, const QString& text) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const QString& l) { return l.contains(text); });
}

// Records what an observer hears, and on which thread.
struct Recorder {
    QList<Notification> heard;
    bool allOnMainThread = true;
    std::function<void(const Notification&)> callback() {
        return [this](const Notification& n) {
            heard.append(n);
            allOnMainThread = allOnMainThread &&
                              QThread::currentThread() == QCoreApplication::instance()->thread();
        };
    }
    QStringList names() const {
        QStringList out;
        for (const auto& n : heard) {
            out << n.name;
        }
        return out;
    }
};

// The peer process (talvor_dnc_peer), read line by line.
class Peer {
  public:
    explicit Peer(const QStringList& args,
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        process_.setProcessEnvironment(env);
        process_.start(QStringLiteral(TALVOR_DNC_PEER), args);
    }
    ~Peer() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    bool waitForReady() {
        waitUntil([this] { return lines().contains("ready") || !running(); });
        return lines().contains("ready");
    }
    bool waitForExit() {
        return waitUntil([this] { return !running(); }, 30000) &&
               process_.exitStatus() == QProcess::NormalExit;
    }
    int exitCode() const { return process_.exitCode(); }
    QStringList errorLines() {
        stderr_ += QString::fromUtf8(process_.readAllStandardError());
        return stderr_.split(u'\n', Qt::SkipEmptyParts);
    }
    QStringList lines() {
        stdout_ += QString::fromUtf8(process_.readAllStandardOutput());
        return stdout_.split(u'\n', Qt::SkipEmptyParts);
    }
    // The notifications the peer printed, in order.
    QList<QJsonObject> notifications() {
        QList<QJsonObject> out;
        for (const QString& line : lines()) {
            if (line != QLatin1String("ready")) {
                out << QJsonDocument::fromJson(line.toUtf8()).object();
            }
        }
        return out;
    }

  private:
    bool running() const { return process_.state() != QProcess::NotRunning; }

    QProcess process_;
    QString stdout_;
    QString stderr_;
};

QJsonObject asJson(const QString& name, const QString& object, const QVariantMap& userInfo) {
    return QJsonObject{
        {"name", name}, {"object", object}, {"userInfo", QJsonObject::fromVariantMap(userInfo)}};
}

// Removes an environment variable for the life of the object.
class ScopedEnv {
  public:
    explicit ScopedEnv(const char* name) : name_(name), old_(qgetenv(name)) { qunsetenv(name); }
    ~ScopedEnv() {
        if (!old_.isNull()) {
            qputenv(name_, old_);
        }
    }

  private:
    const char* name_;
    QByteArray old_;
};

// Once flush returns, the bus has handed this process every post `center` made so far, so
// they wait in the main thread's queue (as do in-process deliveries): run them now. Lets a
// test tell "exactly once" from "at least once" without waiting for nothing to happen.
void deliverPending(DistributedNotificationCenter& center) {
    center.flush();
    QCoreApplication::sendPostedEvents();
}

class DistributedNotificationCenterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty(kBusVariable)) {
            GTEST_SKIP() << "needs a session bus: run under dbus-run-session";
        }
        center_ = std::make_unique<DistributedNotificationCenter>();
        ASSERT_TRUE(center_->isConnected());
    }

    const QString token_ = uniqueToken();
    std::unique_ptr<DistributedNotificationCenter> center_;
};

using platformDistributedNotificationCenter = DistributedNotificationCenterTest;

TEST_F(platformDistributedNotificationCenter, PostReachesAnotherProcessAndThePosterOnce) {
    Peer peer({"observe", "1", token_});
    ASSERT_TRUE(peer.waitForReady()) << peer.errorLines().join('\n').toStdString();
    Recorder local;
    Observation o = center_->addObserver({}, token_, local.callback());

    const QDateTime when(QDate(2024, 3, 31), QTime(1, 30, 15, 250), QTimeZone("Europe/Berlin"));
    const QVariantMap userInfo{
        {"text", "Grüße ✓"},
        {"count", 42},
        {"ratio", 0.25},
        {"flag", true},
        {"bytes", QByteArray("\x00\xff", 2)},
        {"when", when},
        {"nested", QVariantMap{{"list", QVariantList{1, "two", QVariantMap{{"deep", false}}}}}},
    };
    const QString name = QStringLiteral("Talvor test: a name / with.dots and spaces");
    center_->post(name, token_, userInfo);

    ASSERT_TRUE(peer.waitForExit());
    EXPECT_EQ(peer.exitCode(), 0) << "the peer timed out";
    QVariantMap inUtc = userInfo;
    inUtc["when"] = when.toUTC();
    EXPECT_EQ(peer.notifications(), QList<QJsonObject>({asJson(name, token_, inUtc)}));

    deliverPending(*center_);
    ASSERT_EQ(local.heard.size(), 1);
    const Notification& mine = local.heard[0];
    EXPECT_EQ(mine.name, name);
    EXPECT_EQ(mine.object, QVariant(token_));
    EXPECT_EQ(mine.userInfo.value("nested"), userInfo.value("nested"));
    EXPECT_EQ(mine.userInfo.value("bytes").typeId(), QMetaType::QByteArray);
    EXPECT_EQ(mine.userInfo.value("when").toDateTime(), when);
    EXPECT_EQ(mine.userInfo.value("when").toDateTime().timeSpec(), Qt::UTC);
    EXPECT_EQ(mine.userInfo, inUtc);
    EXPECT_TRUE(local.allOnMainThread);
}

// Programs of another scope share the bus but not the posts: each test program has one of
// its own (the tests' main sets it), and the programs it starts inherit it.
TEST_F(platformDistributedNotificationCenter, AnotherScopeIsNotHeard) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("TALVOR_NOTIFICATION_SCOPE"));
    EXPECT_TRUE(DistributedNotificationCenter::objectPath().startsWith(
        QLatin1String(DistributedNotificationCenter::kObjectPath) + QLatin1Char('/')));
    Recorder local;
    Observation o = center_->addObserver({}, token_, local.callback());
    QProcessEnvironment elsewhere = QProcessEnvironment::systemEnvironment();
    elsewhere.insert(QStringLiteral("TALVOR_NOTIFICATION_SCOPE"), QStringLiteral("elsewhere"));
    Peer other({"post", "from elsewhere", token_}, elsewhere);
    ASSERT_TRUE(other.waitForExit());
    EXPECT_EQ(other.exitCode(), 0) << "the peer did not hear its own post";
    Peer same({"post", "from here", token_});
    ASSERT_TRUE(waitUntil([&] { return !local.heard.isEmpty(); }));
    ASSERT_TRUE(same.waitForExit());
    deliverPending(*center_);
    ASSERT_EQ(local.heard.size(), 1);
    EXPECT_EQ(local.heard[0].name, "from here");
}

TEST_F(platformDistributedNotificationCenter, PostFromAnotherProcessReachesThisOne) {
    Recorder local;
    Observation o = center_->addObserver({}, token_, local.callback());

    Peer peer({"post", "from the peer", token_, R"({"k":"v","n":[1,2.5,null]})"});
    ASSERT_TRUE(waitUntil([&] { return !local.heard.isEmpty(); }));
    ASSERT_TRUE(peer.waitForExit());
    EXPECT_EQ(peer.exitCode(), 0) << "the peer did not hear its own post";

    // JSON null has no D-Bus form: the peer dropped it.
    const QVariantMap expected{{"k", "v"}, {"n", QVariantList{1, 2.5}}};
    EXPECT_EQ(peer.notifications(),
              QList<QJsonObject>({asJson("from the peer", token_, expected)}));
    ASSERT_EQ(local.heard.size(), 1);
    EXPECT_EQ(local.heard[0].name, "from the peer");
    EXPECT_EQ(local.heard[0].object, QVariant(token_));
    EXPECT_EQ(QJsonObject::fromVariantMap(local.heard[0].userInfo),
              QJsonObject::fromVariantMap(expected));
}

TEST_F(platformDistributedNotificationCenter, AnyTextIsAName) {
    const QStringList names{
        "",
        "plain",
        "org.talvor.SomethingChanged",
        "with spaces, commas; and/slashes",
        "Ünïcødé ✓ 日本語 😀",
        "line\nbreak\ttab",
        "quotes \"double\" 'single' \\back",
        QString(2000, u'x'),
    };
    Recorder heard;
    Observation o = center_->addObserver({}, token_, heard.callback());
    for (const QString& name : names) {
        center_->post(name, token_);
    }
    deliverPending(*center_);
    EXPECT_EQ(heard.names(), names);
}

TEST_F(platformDistributedNotificationCenter, NameWithNulIsRefusedNotTruncated) {
    LogCapture log;
    Recorder heard;
    Observation o = center_->addObserver({}, token_, heard.callback());
    center_->post(QString::fromUtf16(u"cut\0here", 8), token_);
    center_->post("after", token_);
    deliverPending(*center_);
    EXPECT_EQ(heard.names(), QStringList({"after"}));
    EXPECT_EQ(countContaining(log.lines(), "NUL"), 1) << log.lines().join('\n').toStdString();
}

TEST_F(platformDistributedNotificationCenter, FiltersByNameAndObject) {
    const QString nameA = token_ + "/A", nameB = token_ + "/B";
    const QString objX = token_ + "/X", objY = token_ + "/Y";
    struct Filter {
        const char* what;
        QString name;
        QVariant object;
        QStringList expected;  // "name object" of each post heard
    };
    const QString aX = nameA + " " + objX, aY = nameA + " " + objY, aNone = nameA + " ";
    const QString bX = nameB + " " + objX, bY = nameB + " " + objY;
    const Filter filters[] = {
        {"name only", nameA, {}, {aX, aY, aNone}},
        {"name and object", nameA, objX, {aX}},
        {"object only", {}, objX, {aX, bX}},
        {"object given as bytes compares as text", {}, objX.toUtf8(), {aX, bX}},
        {"other name and object", nameB, objY, {bY}},
        {"object that is never posted", nameA, token_ + "/Z", {}},
    };
    std::vector<Recorder> recorders(std::size(filters));
    std::vector<Observation> observations;
    for (std::size_t i = 0; i < std::size(filters); ++i) {
        observations.push_back(
            center_->addObserver(filters[i].name, filters[i].object, recorders[i].callback()));
    }

    center_->post(nameA, objX);
    center_->post(nameA, objY);
    center_->post(nameA);
    center_->post(nameB, objX);
    center_->post(nameB, objY);
    deliverPending(*center_);

    for (std::size_t i = 0; i < std::size(filters); ++i) {
        SCOPED_TRACE(filters[i].what);
        QStringList got;
        for (const Notification& n : recorders[i].heard) {
            got << n.name + " " + n.object.toString();
            if (n.object.isValid()) {
                EXPECT_EQ(n.object.typeId(), QMetaType::QString);
            }
        }
        EXPECT_EQ(got, filters[i].expected);
    }
    ASSERT_EQ(recorders[0].heard.size(), 3);
    EXPECT_FALSE(recorders[0].heard[2].object.isValid()) << "posted without an object";
}

TEST_F(platformDistributedNotificationCenter, DeliveryComesAfterPostReturns) {
    Recorder heard;
    bool removedHeard = false;
    Observation o = center_->addObserver({}, token_, heard.callback());
    Observation removed =
        center_->addObserver({}, token_, [&](const Notification&) { removedHeard = true; });

    center_->post("queued", token_);
    EXPECT_TRUE(heard.heard.isEmpty()) << "delivered inside post";
    removed.reset();

    deliverPending(*center_);
    EXPECT_EQ(heard.names(), QStringList({"queued"}));
    EXPECT_FALSE(removedHeard) << "an observer removed after the post was still called";
    EXPECT_TRUE(heard.allOnMainThread);
}

TEST_F(platformDistributedNotificationCenter, CentreDestroyedWithPostsInFlightIsSafe) {
    Recorder control;
    Observation c = center_->addObserver({}, token_, control.callback());

    auto doomed = std::make_unique<DistributedNotificationCenter>();
    int doomedHeard = 0;
    Observation outliving =
        doomed->addObserver({}, token_, [&](const Notification&) { ++doomedHeard; });
    doomed->post("in flight", token_);
    doomed->flush();
    doomed.reset();

    ASSERT_TRUE(waitUntil([&] { return !control.heard.isEmpty(); }));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(doomedHeard, 0);
    EXPECT_FALSE(outliving.isActive());
    outliving.reset();
}

TEST_F(platformDistributedNotificationCenter, PostsFromOtherThreadsAreHeardOnTheMainThreadOnce) {
    Recorder heard;
    Observation o = center_->addObserver({}, token_, heard.callback());
    constexpr int kThreads = 4, kPosts = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPosts; ++i) {
                center_->post(QStringLiteral("%1-%2").arg(t).arg(i), token_);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    deliverPending(*center_);

    const QStringList names = heard.names();
    EXPECT_EQ(names.size(), kThreads * kPosts);
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), kThreads * kPosts);
    EXPECT_TRUE(heard.allOnMainThread);
}

TEST_F(platformDistributedNotificationCenter, UserInfoValuesWithoutADBusFormAreConvertedOrDropped) {
    LogCapture log;
    Recorder heard;
    Observation o = center_->addObserver({}, token_, heard.callback());
    const QVariantMap userInfo{
        {"kept", "text"},
        {"ratio", 0.5f},
        {"link", QUrl("https://example.org/a?b=c")},
        {"opaque", QVariant::fromValue(Opaque{})},
        {"nothing", QVariant()},
        {"withNul", QString::fromUtf16(u"a\0b", 3)},
        {"hash", QVariantHash{{"x", 1}}},
        {"nested",
         QVariantMap{{"list", QVariantList{QVariant(), 3, QVariant::fromValue(Opaque{})}}}},
    };
    center_->post("odd values", token_, userInfo);
    deliverPending(*center_);
    ASSERT_EQ(heard.heard.size(), 1);

    const QVariantMap expected{
        {"kept", "text"},
        {"ratio", 0.5},
        {"link", "https://example.org/a?b=c"},
        {"hash", QVariantMap{{"x", 1}}},
        {"nested", QVariantMap{{"list", QVariantList{3}}}},
    };
    EXPECT_EQ(heard.heard[0].userInfo, expected);
    EXPECT_EQ(heard.heard[0].userInfo.value("ratio").typeId(), QMetaType::Double);

    ASSERT_EQ(countContaining(log.lines(), "odd values"), 1)
        << log.lines().join('\n').toStdString();
    const QString line = log.lines().filter("odd values").first();
    for (const char* key :
         {"ratio", "link", "opaque", "nothing", "withNul", "nested.list[0]", "nested.list[2]"}) {
        EXPECT_TRUE(line.contains(QLatin1String(key)))
            << key << " missing from: " << line.toStdString();
    }
    EXPECT_FALSE(line.contains("kept"));
}

TEST_F(platformDistributedNotificationCenter, SignalsFromOtherSendersAreReadSafely) {
    Recorder heard;
    Observation o = center_->addObserver({}, token_, heard.callback());
    const auto signal = [](const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createSignal(DistributedNotificationCenter::objectPath(),
                                                    DistributedNotificationCenter::kInterface,
                                                    DistributedNotificationCenter::kSignal);
        m.setArguments(args);
        return m;
    };
    const QDateTime localTime(QDate(2024, 6, 1), QTime(12, 0), Qt::LocalTime);
    QDBusConnection other = QDBusConnection::sessionBus();
    ASSERT_TRUE(other.send(signal({token_ + "/wrong shape", token_, QVariantList{1}})));
    ASSERT_TRUE(
        other.send(signal({token_ + "/foreign", token_,
                           QVariantMap{{"when", localTime},
                                       {"point", QPoint(1, 2)},
                                       {"deep", QVariantMap{{"list", QStringList{"a"}}}}}})));

    // One sender's signals arrive in order: had the first been taken, it would be here.
    ASSERT_TRUE(waitUntil([&] { return !heard.heard.isEmpty(); }));
    ASSERT_EQ(heard.names(), QStringList({token_ + "/foreign"}));
    const QVariantMap info = heard.heard[0].userInfo;
    EXPECT_EQ(info.value("when").toDateTime(), localTime);
    EXPECT_EQ(info.value("when").toDateTime().timeSpec(), Qt::UTC);
    EXPECT_EQ(info.value("point"), QVariantList({1, 2}));
    EXPECT_EQ(info.value("deep"), QVariantMap({{"list", QStringList{"a"}}}));
}

TEST(platformDistributedNotificationCenterWithoutBus, DeliversToItsOwnObserversAndLogsOnce) {
    ScopedEnv noBus(kBusVariable);
    ScopedEnv noUserBus("XDG_RUNTIME_DIR");  // whose socket "bus" would be found instead
    LogCapture log;
    DistributedNotificationCenter first, second;
    EXPECT_FALSE(first.isConnected());
    EXPECT_FALSE(second.isConnected());
    Recorder firstHeard, secondHeard;
    Observation a = first.addObserver({}, {}, firstHeard.callback());
    Observation b = second.addObserver("only", "mine", secondHeard.callback());

    const QDateTime when(QDate(2025, 1, 2), QTime(3, 4, 5), QTimeZone("Asia/Tokyo"));
    first.post("only", "mine", {{"when", when}, {"ratio", 0.5f}});
    EXPECT_TRUE(firstHeard.heard.isEmpty()) << "delivered inside post";
    std::thread([&] { first.post("from a thread"); }).join();
    second.post("only", "mine");
    second.post("only", "not mine");
    deliverPending(first);
    deliverPending(second);

    EXPECT_EQ(firstHeard.names(), QStringList({"only", "from a thread"}));
    EXPECT_EQ(firstHeard.heard.value(0).object, QVariant(QStringLiteral("mine")));
    EXPECT_EQ(firstHeard.heard.value(0).userInfo,
              QVariantMap({{"when", when.toUTC()}, {"ratio", 0.5}}));
    EXPECT_FALSE(firstHeard.heard.value(1).object.isValid());
    EXPECT_TRUE(firstHeard.allOnMainThread);
    EXPECT_EQ(secondHeard.names(), QStringList({"only"}));

    EXPECT_EQ(countContaining(log.lines(), kInProcessOnly), 1)
        << log.lines().join('\n').toStdString();
}

TEST(platformDistributedNotificationCenterWithoutBus, AFreshProcessHearsItsOwnPostAndLogsOnce) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(kBusVariable);
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    Peer peer({"post", "alone", "here", R"({"n":1})"}, env);
    ASSERT_TRUE(peer.waitForExit());
    EXPECT_EQ(peer.exitCode(), 0) << "the peer did not hear its own post";
    const QList<QJsonObject> heard = peer.notifications();
    ASSERT_EQ(heard.size(), 1);
    EXPECT_EQ(heard[0], asJson("alone", "here", {{"n", 1}}));
    EXPECT_EQ(countContaining(peer.errorLines(), kInProcessOnly), 1)
        << peer.errorLines().join('\n').toStdString();
}

}  // namespace
