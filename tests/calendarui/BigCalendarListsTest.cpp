// The big calendar's part under the months: the picked day's events and the to-dos of a
// calendar folder, and hiding and showing the part.
#include "calendar/AppleCal.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/VdirCalendarStore.h"
#include "calendarui/ztCalendarController.h"
#include "foundation/ColorExtras.h"
#include "foundation/TalvorDateSettings.h"
#include "platform/CalendarStore.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"

#include "support/FakeClock.h"
#include "support/FakeScreens.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace talvor {
namespace {

const Date kNow =
    Date::fromQDateTime(QDateTime(QDate(2026, 6, 10), QTime(12, 0), QTimeZone::utc()));

void writeCalendarFile(const QString& folder, const QString& name, const QString& body) {
    QFile file(QDir(folder).filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n%1"
                              "END:VCALENDAR\r\n")
                   .arg(body)
                   .toUtf8());
}

QString event(const QString& uid, const QString& title, const QString& start, const QString& end) {
    return QStringLiteral(
               "BEGIN:VEVENT\r\nUID:%1\r\nDTSTAMP:20260601T000000Z\r\nSUMMARY:%2\r\n"
               "DTSTART:%3\r\nDTEND:%4\r\nEND:VEVENT\r\n")
        .arg(uid, title, start, end);
}

QString todo(const QString& uid, const QString& title, const QString& extra) {
    return QStringLiteral(
               "BEGIN:VTODO\r\nUID:%1\r\nDTSTAMP:20260601T000000Z\r\nSUMMARY:%2\r\n%3"
               "END:VTODO\r\n")
        .arg(uid, title, extra);
}

class calendaruiBigCalendarLists : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        const QString home = root.path() + QStringLiteral("/home");
        QDir().mkpath(home);
        writeCalendarFile(
            home, QStringLiteral("standup.ics"),
            event(QStringLiteral("standup"), QStringLiteral("Standup"),
                  QStringLiteral("20260610T090000Z"), QStringLiteral("20260610T091500Z")));
        writeCalendarFile(
            home, QStringLiteral("dentist.ics"),
            event(QStringLiteral("dentist"), QStringLiteral("Dentist"),
                  QStringLiteral("20260615T100000Z"), QStringLiteral("20260615T110000Z")));
        writeCalendarFile(
            home, QStringLiteral("picnic.ics"),
            event(QStringLiteral("picnic"), QStringLiteral("Picnic"),
                  QStringLiteral("20260702T120000Z"), QStringLiteral("20260702T150000Z")));
        writeCalendarFile(home, QStringLiteral("taxes.ics"),
                          todo(QStringLiteral("taxes"), QStringLiteral("File taxes"),
                               QStringLiteral("STATUS:COMPLETED\r\nDUE:20260601T000000Z\r\n")));
        writeCalendarFile(home, QStringLiteral("mum.ics"),
                          todo(QStringLiteral("mum"), QStringLiteral("Call mum"), QString()));
        writeCalendarFile(home, QStringLiteral("milk.ics"),
                          todo(QStringLiteral("milk"), QStringLiteral("Buy milk"),
                               QStringLiteral("DUE:20260612T170000Z\r\n")));
        writeCalendarFile(home, QStringLiteral("party.ics"),
                          todo(QStringLiteral("party"), QStringLiteral("Cancelled party"),
                               QStringLiteral("STATUS:CANCELLED\r\n")));

        platform::Clock::setShared(&clock);
        calendars.setDefaults(&defaults);
        apple.setDefaults(&defaults);
        platform::CalendarStore::setAuthorizationStatus(defaults,
                                                        platform::CalendarAccess::Authorized);
        AppleCal::setSharedInterface(&apple);
        CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &apple);
        hiddenBefore = TalvorDateSettings::sharedInstance().hideToDoEventSection;
    }
    void TearDown() override {
        TalvorDateSettings::sharedInstance().hideToDoEventSection = hiddenBefore;
        CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr);
        AppleCal::setSharedInterface(nullptr);
        platform::Clock::setShared(nullptr);
    }
    static void setHidden(bool hidden) {
        TalvorDateSettings::sharedInstance().hideToDoEventSection = hidden;
    }
    static void showAndSettle(ztCalendarController& big) {
        big.belowView(QRectF());  // placed as the date item places it, before it shows
        big.window()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(big.window()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !big.isAnimatingSize(); }));
        QCoreApplication::processEvents();
    }
    // An hour's "Lunch" at noon of the day, in the calendar folder.
    void addLunch(const QDate& day) {
        const auto at = [&](int hour) {
            return Date::fromQDateTime(QDateTime(day, QTime(hour, 0), QTimeZone::utc()));
        };
        calendars.saveEvent({root.path() + QStringLiteral("/home"), QStringLiteral("Lunch"),
                             QString(), at(12), at(13), false, std::nullopt, std::nullopt});
    }
    static void clickDay(ztCalendarController& big, const QDate& day) {
        myCalProView* view = big.monthView();
        view->repaint();
        for (const myCalProView::DrawnMonth& month : view->drawnMonths()) {
            for (const myCalProView::DrawnDay& drawn : month.days) {
                if (drawn.date == day) {
                    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier,
                                      drawn.cell.center().toPoint());
                    return;
                }
            }
        }
        ADD_FAILURE() << "no cell for " << day.toString(Qt::ISODate).toStdString();
    }

    test::XdgSandbox sandbox;
    test::FakeClock clock{kNow, QTimeZone::utc()};
    platform::MemoryPreferenceStore store{QStringLiteral("test")};
    platform::UserDefaults defaults{store};
    test::FakeScreens screens;
    QTemporaryDir root;
    VdirCalendarStore calendars{{root.path()}};
    AppleCal apple{&calendars};
    bool hiddenBefore = true;
};

TEST_F(calendaruiBigCalendarLists, ListsTheEventsOfTheClickedDayElseToday) {
    setHidden(false);
    ztCalendarController big(clock, defaults, screens);
    showAndSettle(big);
    ASSERT_TRUE(big.bottomPart()->isVisible());
    // Nothing picked yet: today.
    EXPECT_EQ(big.selectedDay(), QDate(2026, 6, 10));
    EXPECT_EQ(big.listedItems(), QStringList{QStringLiteral("Standup")});

    const struct {
        QDate day;
        QStringList listed;
    } clicks[] = {
        {QDate(2026, 6, 15), {QStringLiteral("Dentist")}},
        {QDate(2026, 6, 16), {QStringLiteral("No events")}},
        {QDate(2026, 6, 10), {QStringLiteral("Standup")}},
    };
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.day.toString(Qt::ISODate).toStdString());
        clickDay(big, c.day);
        EXPECT_EQ(big.selectedDay(), c.day);
        EXPECT_EQ(big.listedItems(), c.listed);
    }
    // A click beside the days (above the first month's weekday names) keeps the day.
    clickDay(big, QDate(2026, 6, 15));
    const QRectF first = big.monthView()->drawnMonths().front().rect;
    QTest::mouseClick(big.monthView(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(int(first.center().x()), int(first.top()) + 3));
    EXPECT_EQ(big.selectedDay(), QDate(2026, 6, 15));
    clickDay(big, QDate(2026, 6, 10));
    // A day of another month is read from the calendars anew; the day keys move the day.
    big.nextMonth();
    clickDay(big, QDate(2026, 7, 2));
    EXPECT_EQ(big.listedItems(), QStringList{QStringLiteral("Picnic")});
    big.today();
    EXPECT_EQ(big.listedItems(), QStringList{QStringLiteral("Standup")});
    ASSERT_TRUE(big.handleCalendarKey(Qt::Key_Right, Qt::NoModifier));
    EXPECT_EQ(big.selectedDay(), QDate(2026, 6, 11));
    EXPECT_EQ(big.listedItems(), QStringList{QStringLiteral("No events")});

    // The calendars read again as the calendar pane asks. Google chosen but not set up: this
    // computer's events stay, and no sign-in from here.
    addLunch(QDate(2026, 6, 11));
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("loadCalendarEvents"));
    EXPECT_EQ(big.listedItems(), QStringList{QStringLiteral("Lunch")});
    defaults.setObject(QStringLiteral("Google"), QStringLiteral("SelectedCalendar"));
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("loadCalendarEvents"));
    EXPECT_EQ(big.listedItems(), QStringList{QStringLiteral("Lunch")});
}

// A closed window's list is not remade at every change of the calendars: it is made when the
// window opens again, from the calendars as they are then.
TEST_F(calendaruiBigCalendarLists, AClosedWindowsListIsMadeWhenItOpens) {
    setHidden(false);
    ztCalendarController big(clock, defaults, screens);
    showAndSettle(big);
    EXPECT_EQ(big.listedItems(), QStringList{QStringLiteral("Standup")});
    big.window()->hide();
    addLunch(QDate(2026, 6, 10));
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("loadCalendarEvents"));
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("EventsLoaded"));
    EXPECT_EQ(big.listedItems(), QStringList{QStringLiteral("Standup")});
    showAndSettle(big);
    EXPECT_EQ(big.listedItems(), (QStringList{QStringLiteral("Standup"), QStringLiteral("Lunch")}));
}

TEST_F(calendaruiBigCalendarLists, ToDoModeListsTheCalendarsToDos) {
    setHidden(false);
    ztCalendarController big(clock, defaults, screens);
    showAndSettle(big);
    big.todoButton()->click();
    EXPECT_EQ(big.listMode(), ztCalendarController::ListMode::Todos);
    EXPECT_TRUE(big.todoButton()->isChecked());
    EXPECT_FALSE(big.eventsButton()->isChecked());
    // Open ones first by due day (none last), the finished one after them, cancelled none.
    const QStringList listed = big.listedItems();
    ASSERT_EQ(listed.size(), 3) << listed.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(listed[0].startsWith(QStringLiteral("☐ Buy milk — due ")))
        << listed[0].toStdString();
    EXPECT_EQ(listed[1], QStringLiteral("☐ Call mum"));
    EXPECT_TRUE(listed[2].startsWith(QStringLiteral("☑ File taxes"))) << listed[2].toStdString();

    // The to-dos stay while a day is picked; going back lists that day's events.
    clickDay(big, QDate(2026, 6, 15));
    EXPECT_EQ(big.listedItems(), listed);
    big.eventsButton()->click();
    EXPECT_EQ(big.listMode(), ztCalendarController::ListMode::Events);
    EXPECT_TRUE(big.eventsButton()->isChecked());
    EXPECT_EQ(big.listedItems(), QStringList{QStringLiteral("Dentist")});
}

// What the to-do pane sets reaches the list: the priorities' texts and colours, the menu
// icon on the switch and the menu, and the archive of finished items, written once.
TEST_F(calendaruiBigCalendarLists, TheToDoPanesSettingsReachTheListAndTheArchive) {
    writeCalendarFile(
        root.path() + QStringLiteral("/home"), QStringLiteral("rent.ics"),
        todo(QStringLiteral("rent"), QStringLiteral("Pay rent"), QStringLiteral("PRIORITY:1\r\n")));
    setHidden(false);
    ztCalendarController big(clock, defaults, screens);
    showAndSettle(big);
    big.todoButton()->click();
    const auto row = [&](const QString& start) -> const QLabel* {
        for (const QLabel* label : big.bottomPart()->findChildren<QLabel*>()) {
            if (label->text().startsWith(start)) {
                return label;
            }
        }
        return nullptr;
    };
    EXPECT_NE(row(QStringLiteral("☐ Hot: Pay rent")), nullptr)
        << big.listedItems().join(QLatin1Char('|')).toStdString();
    EXPECT_NE(row(QStringLiteral("☐ Call mum")), nullptr) << "no priority, no word";
    EXPECT_TRUE(big.todoButton()->text().startsWith(QStringLiteral("\u2713")));
    const QImage checkIcon = big.hideShowMenuItem()->icon().pixmap(32).toImage();

    defaults.setObject(QVariantMap{{QStringLiteral("9"), QStringLiteral("Urgent")}},
                       QStringLiteral("TodoPriorityText"));
    defaults.setObject(QVariantMap{{QStringLiteral("9"), ColorExtras::asData(QColor(1, 2, 3))}},
                       QStringLiteral("TodoPriorityColors"));
    defaults.setInteger(2, QStringLiteral("TodoPrefsICON"));
    const QString archive = root.path() + QStringLiteral("/Done.txt");
    defaults.setObject(QVariantMap{{QStringLiteral("path"), archive},
                                   {QStringLiteral("state"), true},
                                   {QStringLiteral("when"), 0}},
                       QStringLiteral("TodoArchiveOptionsKey"));
    big.updateCalPrefs();  // as on the pane's "TodoPreferencesChanged"
    const QLabel* urgent = row(QStringLiteral("☐ Urgent: Pay rent"));
    ASSERT_NE(urgent, nullptr) << big.listedItems().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(urgent->styleSheet().contains(QStringLiteral("#010203")));
    EXPECT_TRUE(big.todoButton()->text().startsWith(QStringLiteral("\u2630")));
    EXPECT_NE(big.hideShowMenuItem()->icon().pixmap(32).toImage(), checkIcon);

    QFile written(archive);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()), QStringLiteral("- File taxes\n"));
    written.close();
    big.updateCalPrefs();
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()), QStringLiteral("- File taxes\n"))
        << "each item once";
}

TEST_F(calendaruiBigCalendarLists, HidingAndShowingResizesThePanelAndRetitlesTheItem) {
    setHidden(false);
    ztCalendarController big(clock, defaults, screens);
    QAction* item = big.hideShowMenuItem();
    ASSERT_NE(item, nullptr);
    ASSERT_TRUE(big.settingsMenu()->actions().contains(item));
    showAndSettle(big);
    const QRect full = big.window()->geometry();
    EXPECT_EQ(item->text(), QStringLiteral("Hide Events/To Do Items"));

    item->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !big.isAnimatingSize(); }));
    EXPECT_TRUE(big.isBottomHidden());
    EXPECT_FALSE(big.bottomPart()->isVisible());
    EXPECT_EQ(big.window()->width(), full.width());
    EXPECT_LE(big.window()->height(), full.height() - big.bottomPart()->height());
    EXPECT_EQ(item->text(), QStringLiteral("Show Events/To Do Items"));
    EXPECT_TRUE(TalvorDateSettings::sharedInstance().hideToDoEventSection) << "the choice stays";
    // A change of other date settings leaves the choice alone.
    big.updateCalPrefs();
    EXPECT_TRUE(big.isBottomHidden());

    item->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !big.isAnimatingSize(); }));
    EXPECT_FALSE(big.isBottomHidden());
    EXPECT_TRUE(big.bottomPart()->isVisible());
    EXPECT_EQ(big.window()->geometry(), full);
    EXPECT_EQ(item->text(), QStringLiteral("Hide Events/To Do Items"));
    EXPECT_FALSE(TalvorDateSettings::sharedInstance().hideToDoEventSection);
    EXPECT_EQ(big.listedItems(), QStringList{QStringLiteral("Standup")});

    // Two changes in a row end where the second one goes.
    big.hideShowTaskEvents();
    big.hideShowTaskEvents();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !big.isAnimatingSize(); }));
    EXPECT_EQ(big.window()->geometry(), full);

    // The months can go too; hiding them first brings the lower part back.
    big.hideShowTaskEvents();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !big.isAnimatingSize(); }));
    big.hideShowMiniCalendar();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !big.isAnimatingSize(); }));
    EXPECT_FALSE(big.isBottomHidden());
    EXPECT_TRUE(big.topPart()->isHidden());
    big.hideShowMiniCalendar();
    EXPECT_FALSE(big.topPart()->isHidden());
    EXPECT_FALSE(big.isBottomHidden());
}

TEST_F(calendaruiBigCalendarLists, TheDateSettingHidesThePartAtStartAndWhenItChanges) {
    for (const bool hidden : {true, false}) {
        SCOPED_TRACE(hidden);
        setHidden(hidden);
        ztCalendarController big(clock, defaults, screens);
        EXPECT_EQ(big.isBottomHidden(), hidden);
        EXPECT_EQ(big.bottomPart()->isHidden(), hidden);
        EXPECT_EQ(big.hideShowMenuItem()->text(), hidden
                                                      ? QStringLiteral("Show Events/To Do Items")
                                                      : QStringLiteral("Hide Events/To Do Items"));
        const int height = big.window()->height();
        // The to-do pane's box, announced to the window.
        setHidden(!hidden);
        big.updateCalPrefs();
        EXPECT_EQ(big.isBottomHidden(), !hidden);
        EXPECT_EQ(big.window()->height() > height, hidden) << height;
    }
}

}  // namespace
}  // namespace talvor
