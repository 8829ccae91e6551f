#include "alarms/Alarm.h"
#include "foundation/PreferenceDomain.h"
#include "platform/PlistPreferenceStore.h"
#include "platform/Preferences.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace talvor {
namespace {

// A running copy of the application, offscreen, in the sandbox's home.
class RunningTalvor {
  public:
    RunningTalvor() {
        app_.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TALVOR_NO_MOVE_OFFER"), QStringLiteral("1"));
        app_.setProcessEnvironment(env);
        app_.start(QStringLiteral(TALVOR_EXECUTABLE), {});
    }
    ~RunningTalvor() {
        if (app_.state() != QProcess::NotRunning) {
            app_.kill();
            app_.waitForFinished(5000);
        }
    }
    bool waitFor(const QByteArray& text, int ms = 30000) {
        while (!output_.contains(text) && app_.waitForReadyRead(ms)) {
            output_ += app_.readAll();
        }
        output_ += app_.readAll();
        return output_.contains(text);
    }
    bool waitForExit(int ms = 30000) {
        const bool done = app_.waitForFinished(ms);
        output_ += app_.readAll();
        return done;
    }
    void signal(int number) { ::kill(static_cast<pid_t>(app_.processId()), number); }
    QProcess& process() { return app_; }
    const QByteArray& output() const { return output_; }

  private:
    QProcess app_;
    QByteArray output_;
};

const QString kStoredAlarms = QStringLiteral("AcitveAlarmsStoredKey");

// The application's settings file as another process sees it.
platform::PlistPreferenceStore settingsFile() {
    return platform::PlistPreferenceStore(appTalvor4Prefs,
                                          platform::Preferences::filePathFor(appTalvor4Prefs));
}

// Leaves an alarm for tomorrow in the settings, as a previous run would have.
void storeAnAlarmForTomorrow() {
    platform::PlistPreferenceStore store = settingsFile();
    const Date tomorrow = Date::fromQDateTime(QDateTime::currentDateTimeUtc().addDays(1));
    // An alarm on a date: one made with a time alone counts from its start and would ring at once.
    auto dentist = Alarm::initWithTime(tomorrow, QStringLiteral("dentist"));
    dentist->setSelRowNo(1);
    dentist->setIsTimeWithDate(true);
    store.setValue(kStoredAlarms, archivedAlarms({dentist}));
    ASSERT_TRUE(store.synchronize());
}

QStringList storedAlarmTitles() {
    platform::PlistPreferenceStore store = settingsFile();
    QStringList titles;
    if (const std::optional<AlarmList> alarms =
            unarchivedAlarms(store.value(kStoredAlarms).toByteArray())) {
        for (const auto& alarm : *alarms) {
            titles << alarm->title();
        }
    }
    return titles;
}

TEST(AppLifecycle, QuitsCleanlyOnTerminationSignals) {
    for (int s : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(s);
        test::XdgSandbox sandbox;
        RunningTalvor app;
        ASSERT_TRUE(app.waitFor("started")) << app.output().toStdString();
        app.signal(s);
        ASSERT_TRUE(app.waitForExit()) << app.output().toStdString();
        EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit) << app.output().toStdString();
        EXPECT_EQ(app.process().exitCode(), 0) << app.output().toStdString();
        EXPECT_TRUE(app.output().contains("Talvor Pro quit")) << app.output().toStdString();
    }
}

TEST(AppLifecycle, TheAlarmsSurviveAQuitBySignal) {
    test::XdgSandbox sandbox;
    storeAnAlarmForTomorrow();
    RunningTalvor app;
    ASSERT_TRUE(app.waitFor("started")) << app.output().toStdString();
    // Written over, so that only the quitting copy can have put the alarm back.
    {
        platform::PlistPreferenceStore store = settingsFile();
        store.setValue(kStoredAlarms, QByteArray());
        ASSERT_TRUE(store.synchronize());
    }
    app.signal(SIGTERM);
    ASSERT_TRUE(app.waitForExit()) << app.output().toStdString();
    EXPECT_EQ(storedAlarmTitles(), QStringList{QStringLiteral("dentist")})
        << app.output().toStdString();
}

TEST(AppLifecycle, ANewCopyTakesOverAfterTheRunningOneQuitCleanly) {
    test::XdgSandbox sandbox;
    storeAnAlarmForTomorrow();
    RunningTalvor first;
    ASSERT_TRUE(first.waitFor("started")) << first.output().toStdString();
    RunningTalvor second;
    ASSERT_TRUE(first.waitForExit()) << first.output().toStdString();
    EXPECT_EQ(first.process().exitCode(), 0);
    EXPECT_TRUE(first.output().contains("Talvor Pro quit")) << first.output().toStdString();
    ASSERT_TRUE(second.waitFor("started")) << second.output().toStdString();
    EXPECT_TRUE(second.output().contains("Asking the running copy"))
        << second.output().toStdString();
    second.signal(SIGTERM);
    ASSERT_TRUE(second.waitForExit());
    EXPECT_EQ(second.process().exitCode(), 0);
    // Read once nobody writes any more: the alarm went through both copies.
    EXPECT_EQ(storedAlarmTitles(), QStringList{QStringLiteral("dentist")})
        << second.output().toStdString();
}

}  // namespace
}  // namespace talvor
