#include "ShellTestSupport.h"
#include "foundation/FoundationKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorFilePaths.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/SharedInstance.h"
#include "platform/StatusBar.h"
#include "shell/AppDelegate.h"
#include "shell/TimeDateText.h"
#include "support/FakeClock.h"
#include "support/FakeFontResolver.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/ShellHarness.h"
#include "support/TestEnvironment.h"
#include "world/TalvorClockControl.h"
#include "world/TalvorFloatingClockCtrl.h"
#include "world/WorldKeys.h"

#include <QLabel>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace talvor {
namespace {

Date utc(int y, int mo, int d, int h, int mi, int s) {
    return Date::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()));
}

TEST(shellTimeDateText, TimeTextsFlashAndRepairOldPatterns) {
    struct Case {
        const char* pattern;
        int second;
        bool flash;
        const char* expected;
        const char* separator = ":";
    };
    const Case cases[] = {
        {"hh:mm:ss a", 1, true, "12 00 01 PM"},
        {"hh:mm:ss a", 2, true, "12:00:02 PM"},
        {"hh:mm:ss a", 1, false, "12:00:01 PM"},
        {"HH:mm", 1, true, "12 00"},
        // The old percent style is shown with the default pattern.
        {"%I:%M", 2, false, "12:00:02 PM"},
        // The separator setting stands for every ":", and flashes as wide as it is.
        {"hh:mm:ss a", 2, true, "12.00.02 PM", "."},
        {"HH:mm", 1, true, "12   00", " h "},
        {"HH:mm", 2, false, "12 h 00", " h "},
        {"HH:mm", 2, false, "12:00", ""},
    };
    TimeDateText texts;
    for (const Case& c : cases) {
        EXPECT_EQ(texts.timeText(QString::fromLatin1(c.pattern), utc(2024, 7, 1, 12, 0, c.second),
                                 QTimeZone::utc(), c.flash, QString::fromUtf8(c.separator)),
                  QString::fromLatin1(c.expected))
            << c.pattern << " at second " << c.second << " with \"" << c.separator << "\"";
    }
}

// A pattern that shows nothing would leave the item without width: gone from the bar, and
// with the time item the way to the settings and to Quit.
TEST(shellTimeDateText, PatternsThatShowNothingGiveTheDefaultAndSaySoOnce) {
    const Date noon = utc(2024, 7, 1, 12, 0, 2);
    const char* const blank[] = {"", "   ", "j", "t"};
    TimeDateText texts;
    test::LogCapture log;
    const auto said = [&log](const QString& text) {
        const QStringList lines = log.lines();
        return std::count_if(lines.begin(), lines.end(),
                             [&text](const QString& line) { return line.contains(text); });
    };
    for (const char* pattern : blank) {
        for (int tick = 0; tick < 2; ++tick) {
            EXPECT_EQ(texts.timeText(QString::fromLatin1(pattern), noon, QTimeZone::utc(), false),
                      QStringLiteral("12:00:02 PM"))
                << "time \"" << pattern << "\"";
            EXPECT_EQ(texts.dateText(QString::fromLatin1(pattern), noon, QTimeZone::utc()),
                      QStringLiteral("Mon 01 Jul"))
                << "date \"" << pattern << "\"";
        }
        for (const char* what : {"time", "date"}) {
            EXPECT_EQ(said(QStringLiteral("The %1 format \"%2\" shows nothing")
                               .arg(QLatin1String(what), QString::fromLatin1(pattern))),
                      1)
                << what << " \"" << pattern << "\"";
        }
    }
    EXPECT_EQ(texts.dateText(QStringLiteral("$*&$*&"), noon, QTimeZone::utc()),
              QStringLiteral("Mon 01 Jul"))
        << "a composite format of empty pieces";
}

TEST(shellTimeDateText, CompositeDateFormatsFormatOnlyTheirTokens) {
    struct Case {
        const char* format;
        const char* expected;
    };
    const Case cases[] = {
        {"EEEE$*&, $*&d$*&. $*&MMMM", "Monday, 1. July"},
        // A piece that is no token is copied as it stands, pattern letters included.
        {"EEE$*& $*&dd'x'", "Mon dd'x'"},
        {"EEE dd MMM", "Mon 01 Jul"},
        {"%d %b", "01 Jul 2024"},
    };
    TimeDateText texts;
    for (const Case& c : cases) {
        EXPECT_EQ(texts.dateText(QString::fromLatin1(c.format), utc(2024, 7, 1, 12, 0, 0),
                                 QTimeZone::utc()),
                  QString::fromLatin1(c.expected))
            << c.format;
    }
    EXPECT_EQ(dateFormatTokens().size(), 31);
}

TEST(shellTimeDateText, AMinuteChangeIsSeenByLateAndSkippedTicks) {
    struct Case {
        double previous, now;
        bool changed;
    };
    const Case cases[] = {{59.9, 60.0, true},
                          {60.0, 60.999, false},
                          {58.0, 61.5, true},
                          {30, 150, true},
                          {0, 59, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(minuteChanged(Date::fromReference(c.previous), Date::fromReference(c.now)),
                  c.changed)
            << c.previous << " -> " << c.now;
    }
}

class shellTick : public ::testing::Test, protected test::ShellEnvironment {
  protected:
    shellTick() : test::ShellEnvironment(utc(2024, 7, 1, 11, 59, 58)) {}
};

TEST_F(shellTick, TheTickWritesTheItemsEverySecond) {
    TalvorTimeSettings time;
    time.flashSeparator = true;
    time.writePrefs();
    TalvorDateSettings date;
    SharedInstance<TalvorTimeSettings>::Override useTime(time);
    SharedInstance<TalvorDateSettings>::Override useDate(date);
    AppDelegate delegate({.showPanel = false});
    delegate.statusItems().updateMenuBarItems();
    ASSERT_TRUE(delegate.statusItems().TalvorTime());
    delegate.updateTimeDate();
    EXPECT_EQ(delegate.statusItems().TalvorTime()->title(), QStringLiteral("11:59:58 AM"));
    EXPECT_EQ(delegate.lastDay, 1);
    clock_.set(utc(2024, 7, 1, 12, 0, 1));
    delegate.updateTimeDate();
    EXPECT_EQ(delegate.statusItems().TalvorTime()->title(), QStringLiteral("12 00 01 PM"));
    clock_.set(utc(2024, 7, 1, 12, 0, 2));
    delegate.updateTimeDate();
    EXPECT_EQ(delegate.statusItems().TalvorTime()->title(), QStringLiteral("12:00:02 PM"));
    // The stored old-style pattern is shown repaired and left as it is in the store.
    domain_->store().setValue(keys::CustomTime, QStringLiteral("%H:%M"));
    TalvorTimeSettings::sharedInstance().timeFormat = QStringLiteral("%H:%M");
    delegate.updateTimeDate();
    EXPECT_EQ(delegate.statusItems().TalvorTime()->title(), QStringLiteral("12:00:02 PM"));
    EXPECT_EQ(domain_->store().value(keys::CustomTime), QVariant(QStringLiteral("%H:%M")));
    // The time pane's separator reaches the item at the next tick.
    TalvorTimeSettings::sharedInstance().timeSeparator = QStringLiteral(".");
    delegate.updateTimeDate();
    EXPECT_EQ(delegate.statusItems().TalvorTime()->title(), QStringLiteral("12.00.02 PM"));
}

TEST_F(shellTick, AnEmptyTimeFormatKeepsTheTimeItemAndItsWayToQuit) {
    TalvorTimeSettings time;
    time.timeFormat = QString(QLatin1String(""));
    TalvorDateSettings date;
    SharedInstance<TalvorTimeSettings>::Override useTime(time);
    SharedInstance<TalvorDateSettings>::Override useDate(date);
    AppDelegate delegate({.showPanel = false});
    delegate.statusItems().updateMenuBarItems();
    delegate.updateTimeDate();
    ASSERT_TRUE(delegate.statusItems().TalvorTime());
    EXPECT_EQ(delegate.statusItems().TalvorTime()->title(), QStringLiteral("11:59:58 AM"));
    ASSERT_TRUE(delegate.statusItems().TalvorTime()->menu());
    EXPECT_GE(delegate.statusItems().TalvorTime()->menu()->indexOfItemWithTitle(
                  QStringLiteral("Quit Talvor")),
              0);
}

TEST_F(shellTick, ATimeZoneChangeForcesAFullUpdate) {
    TalvorTimeSettings time;
    TalvorDateSettings date;
    SharedInstance<TalvorTimeSettings>::Override useTime(time);
    SharedInstance<TalvorDateSettings>::Override useDate(date);
    AppDelegate delegate({.showPanel = false});
    delegate.updateTimeDate();
    EXPECT_EQ(delegate.lastDay, 1);
    clock_.setZone(QTimeZone("Pacific/Auckland"));
    EXPECT_EQ(delegate.lastDay, -1);
}

TEST_F(shellTick, EveryMinuteGetsItsChimeOnceEvenWhenTicksAreLate) {
    TalvorTimeSettings time;
    TalvorDateSettings date;
    SharedInstance<TalvorTimeSettings>::Override useTime(time);
    SharedInstance<TalvorDateSettings>::Override useDate(date);
    AppDelegate delegate({.showPanel = false});
    struct Step {
        int minute, second;       // of 12:mm:ss
        std::vector<int> chimed;  // minutes struck by this tick
    };
    // The policy's own cases are the alarms room's; these show the tick keeps its last tick
    // and chimes what the policy gives.
    const Step steps[] = {
        {0, 30, {}},     // the first tick, not on second 0
        {1, 0, {1}},     // on time
        {4, 0, {4}},     // a long gap: only the current minute
        {5, 1, {5}},     // a second late
        {7, 0, {6, 7}},  // a skipped minute is caught up
        {3, 0, {}},      // the clock set back: nothing again
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(::testing::Message() << "12:" << step.minute << ":" << step.second);
        const std::size_t before = delegate.chimedMinutes().size();
        clock_.set(utc(2024, 7, 1, 12, step.minute, step.second));
        delegate.updateTimeDate();
        std::vector<int> struck;
        for (std::size_t i = before; i < delegate.chimedMinutes().size(); ++i) {
            struck.push_back(delegate.chimedMinutes()[i].toQDateTime().time().minute());
        }
        EXPECT_EQ(struck, step.chimed);
    }
}

TEST_F(shellTick, AZoneChangeRedrawsTheItemsAtOnce) {
    TalvorTimeSettings time;
    time.timeFormat = QStringLiteral("HH:mm");
    time.writePrefs();
    TalvorDateSettings date;
    SharedInstance<TalvorTimeSettings>::Override useTime(time);
    SharedInstance<TalvorDateSettings>::Override useDate(date);
    AppDelegate delegate({.showPanel = false});
    delegate.statusItems().updateMenuBarItems();
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(delegate.statusItems().TalvorTime()->title(), QStringLiteral("11:59"));
    clock_.setZone(QTimeZone("Asia/Tokyo"));
    EXPECT_EQ(delegate.statusItems().TalvorTime()->title(), QStringLiteral("20:59"));
    delegate.applicationWillTerminate();
}

// The bar is drawn again whenever an item says it changed: an item must say so only when
// what it shows changed, so that with seconds hidden the bar is drawn once a minute.
TEST_F(shellTick, ItemsChangeOnlyWhenWhatTheyShowChanges) {
    struct Case {
        const char* pattern;
        int timeChanges;  // ticks, of the 60 up to midnight, in which the item changed
        int dateChanges;
    };
    const Case cases[] = {
        {"hh:mm a", 1, 1},
        {"hh:mm:ss a", 60, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        clock_.set(utc(2024, 7, 1, 23, 59, 0));
        TalvorTimeSettings time;
        time.timeFormat = QString::fromLatin1(c.pattern);
        time.writePrefs();
        TalvorDateSettings date;
        SharedInstance<TalvorTimeSettings>::Override useTime(time);
        SharedInstance<TalvorDateSettings>::Override useDate(date);
        date.showMoon = true;
        AppDelegate delegate({.showPanel = false});
        delegate.statusItems().updateMenuBarItems();
        QSignalSpy timeSpy(delegate.statusItems().TalvorTime().get(),
                           &platform::StatusItem::changed);
        QSignalSpy dateSpy(delegate.statusItems().TalvorDate().get(),
                           &platform::StatusItem::changed);
        int timeChanges = 0;
        int dateChanges = 0;
        for (int second = 1; second <= 60; ++second) {
            clock_.advance(1.0);
            delegate.updateTimeDate();
            timeChanges += timeSpy.isEmpty() ? 0 : 1;
            dateChanges += dateSpy.isEmpty() ? 0 : 1;
            timeSpy.clear();
            dateSpy.clear();
        }
        EXPECT_EQ(timeChanges, c.timeChanges);
        EXPECT_EQ(dateChanges, c.dateChanges);
        EXPECT_EQ(
            delegate.statusItems().customDateStatusItem()->dateButton()->attributedTitle().string(),
            QStringLiteral("Tue 02 Jul"));
    }
}

// The floating clocks live on the application's one-second tick: nothing else moves them.
TEST(shellTickFloating, TheTickMovesTheFloatingClocks) {
    test::ShellHarness harness(utc(2024, 7, 1, 11, 58, 30));
    harness.store().setValue(keys::Floater, true);
    harness.store().setValue(keys::FloaterState, true);
    LocationTable locations;
    for (const char* zone : {"Europe/Paris", "Asia/Tokyo"}) {
        locations.append(
            QVariant(QVariantList{QString(), QString::fromLatin1(zone), QString(),
                                  QStringLiteral("Land"), QString::fromLatin1(zone), QString(),
                                  QString(), QString(), QString(), QString(), false, true}));
    }
    ASSERT_TRUE(TalvorFilePaths::TalvorSaveLocationTable(locations));
    AppDelegate& delegate = harness.launch();
    QCoreApplication::processEvents();
    TalvorFloatingClockCtrl* floating = delegate.floatingClocks();
    ASSERT_TRUE(floating->isFloating());
    ASSERT_EQ(floating->clocks().size(), 2u);
    const TalvorFloatingClockCtrl::FloatingClock& tokyo = floating->clocks()[1];

    const auto shown = [&] {
        QCoreApplication::processEvents();
        return std::make_pair(tokyo.dial->grab().toImage(), tokyo.above->text());
    };
    harness.scheduler_.advanceBy(1);  // 11:58:31 UTC, 20:58:31 in Tokyo
    const auto [dial, above] = shown();
    EXPECT_EQ(tokyo.dial->stringValue(), QStringLiteral("20:58:31"));
    EXPECT_EQ(above, QStringLiteral("Monday 8:58\n7/1/24"));

    // A second on, the second hand has moved; a minute on, the time above too.
    harness.scheduler_.advanceBy(1);
    EXPECT_NE(shown().first, dial);
    EXPECT_EQ(tokyo.dial->stringValue(), QStringLiteral("20:58:32"));
    harness.scheduler_.advanceBy(28);
    EXPECT_EQ(shown().second, QStringLiteral("Monday 8:59\n7/1/24"));
    EXPECT_EQ(tokyo.dial->stringValue(), QStringLiteral("20:59:00"));
}

}  // namespace
}  // namespace talvor
