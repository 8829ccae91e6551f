// The mini calendar on an in-memory calendar store: its months, events, clicks, day view,
// reloads, the day check and its status view.
#include "calendar/AppleCal.h"
#include "calendar/CalendarBackEnd.h"
#include "calendarui/CalWindow.h"
#include "calendarui/CalendarApplication.h"
#include "calendarui/EditEventController.h"
#include "calendarui/GadgetController.h"
#include "calendarui/MinnowCalendarController.h"
#include "calendarui/MinnowStatusView.h"
#include "foundation/CalendarExtras.h"
#include "foundation/StringsBundle.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferenceStore.h"
#include "platform/ProcessLauncher.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "support/FakeCalendarStore.h"
#include "support/FakeClock.h"
#include "support/FakeScreens.h"
#include "support/FakeSystemEvents.h"
#include "support/FakeWorkspace.h"
#include "support/ScopedMachineZone.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::StoreOccurrence;

Date utc(const char* iso) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
    t.setTimeZone(QTimeZone::utc());
    return Date::fromQDateTime(t);
}

StoreOccurrence occurrence(const char* calendar, const char* title, const char* start,
                           const char* end, bool allDay = false) {
    StoreOccurrence o;
    o.eventId = QString::fromLatin1(title);
    o.calendarId = QString::fromLatin1(calendar);
    o.title = QString::fromLatin1(title);
    o.start = utc(start);
    o.end = utc(end);
    o.allDay = allDay;
    return o;
}

void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
}

class RecordingDelegate : public MinnowCalendarDelegate {
  public:
    QRectF dateStatusItemRect() const override { return QRectF(1000, 0, 90, 24); }
    void closeMinnowCalendar() override {}
};

class MinnowCalendar : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::setShared(&clock);
        store.setDefaults(&defaults);
        platform::CalendarStore::setAuthorizationStatus(defaults,
                                                        platform::CalendarAccess::Authorized);
        store.calendarList = {
            {"work", "Work", platform::StoreCalendar::Type::Local, QColor(200, 0, 0), true},
            {"home", "Home", platform::StoreCalendar::Type::Local, QColor(0, 120, 0), true}};
        store.occurrences = {
            occurrence("work", "Hour", "2025-03-10T10:00:00", "2025-03-10T11:00:00"),
            occurrence("home", "Dinner", "2025-03-10T18:00:00", "2025-03-10T20:00:00"),
            occurrence("home", "Trip", "2025-03-12T00:00:00", "2025-03-15T00:00:00", true),
            occurrence("work", "Review", "2025-03-05T09:00:00", "2025-03-05T09:30:00"),
        };
        AppleCal::setSharedInterface(&apple);
        CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &apple);
    }
    void TearDown() override {
        CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr);
        AppleCal::setSharedInterface(nullptr);
        platform::CalendarStore::setConsentPrompt(nullptr);
        platform::Clock::setShared(nullptr);
        CalMonth::setFirstWeekDay(1);
        CalendarExtras::resetForTesting();
    }
    std::unique_ptr<MinnowCalendarController> makeController() {
        auto mini = std::make_unique<MinnowCalendarController>(clock, defaults, screens);
        settle();  // the queued loads
        return mini;
    }
    static QStringList titles(const CalWindow& window) {
        QStringList out;
        for (const CalMonthView* view : window.monthViews()) {
            out << view->titleText();
        }
        return out;
    }

    test::ScopedMachineZone machine{"UTC", "en_US"};
    // Tuesday 4 March 2025.
    test::FakeClock clock{utc("2025-03-04T15:40:30"), QTimeZone::utc()};
    platform::MemoryPreferenceStore prefs{QStringLiteral("test")};
    platform::UserDefaults defaults{prefs};
    test::FakeScreens screens;
    test::FakeCalendarStore store;
    AppleCal apple{&store};
};

TEST_F(MinnowCalendar, MonthCentersPlaceTheGrid) {
    struct Case {
        int rows, cols;
        QStringList expected;
        int shownCols = 0;  // 0: cols
    };
    const std::vector<Case> cases = {
        {3,
         4,
         {"January 2025", "February 2025", "March 2025", "April 2025", "May 2025", "June 2025",
          "July 2025", "August 2025", "September 2025", "October 2025", "November 2025",
          "December 2025"}},
        {1, 3, {"February 2025", "March 2025", "April 2025"}},
        {1, 1, {"March 2025"}},
        {2, 2, {"March 2025", "April 2025", "May 2025", "June 2025"}},  // no entry: this month
        // Hand-edited settings out of range: 1 x 12 at most.
        {0,
         40,
         {"January 2025", "February 2025", "March 2025", "April 2025", "May 2025", "June 2025",
          "July 2025", "August 2025", "September 2025", "October 2025", "November 2025",
          "December 2025"},
         12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows * 10 + c.cols);
        defaults.setInteger(c.rows, QStringLiteral("TtNumRows"));
        defaults.setInteger(c.cols, QStringLiteral("TtNumCols"));
        auto mini = makeController();
        EXPECT_EQ(titles(*mini->calWindow()), c.expected);
        const auto& views = mini->calWindow()->monthViews();
        // Reading order: the first row on top, left to right.
        for (size_t i = 1; i < views.size(); ++i) {
            const QRect a = views[i - 1]->geometry();
            const QRect b = views[i]->geometry();
            if (i % (c.shownCols != 0 ? c.shownCols : c.cols) != 0) {
                EXPECT_EQ(a.top(), b.top());
                EXPECT_LT(a.right(), b.left());
            } else {
                EXPECT_LT(a.bottom(), b.top());
            }
        }
        const QRect frame = mini->calWindow()->geometry();
        EXPECT_GE(frame.width(), views.back()->geometry().right());
        EXPECT_GE(frame.height(), views.back()->geometry().bottom());
        EXPECT_EQ(mini->calWindow()->shadowedMonthView() != nullptr, views.size() >= 3)
            << "the current month stands out among three or more";
    }
}

TEST_F(MinnowCalendar, DaysCarryTheirEventsAndToolTips) {
    auto mini = makeController();
    const CalMonthView* march = mini->calWindow()->monthViews().front();
    // Grouped by calendar (Home before Work), not by time.
    EXPECT_EQ(march->toolTipForDay(10), "Dinner (Home)\nHour (Work)");
    EXPECT_EQ(march->toolTipForDay(5), "Review (Work)");
    EXPECT_EQ(march->toolTipForDay(6), "");
    // The trip is one band over three days: open to the right, then both ways, then closed.
    struct Band {
        int day;
        bool first, last;
    };
    for (const Band& b :
         std::vector<Band>{{12, true, false}, {13, false, false}, {14, false, true}}) {
        const CalFieldCell* cell = march->cellOfDay(b.day);
        ASSERT_NE(cell, nullptr);
        ASSERT_EQ(cell->representedEvents().size(), 1u) << b.day;
        EXPECT_EQ(cell->representedEvents()[0].isFirst, b.first) << b.day;
        EXPECT_EQ(cell->representedEvents()[0].isLast, b.last) << b.day;
        EXPECT_EQ(cell->representedEvents()[0].displayColor, QColor(0, 120, 0));
    }
    EXPECT_TRUE(march->cellOfDay(15)->representedEvents().empty()) << "the end is exclusive";
}

TEST_F(MinnowCalendar, AClickPostsTheDayAndOpensTheDayView) {
    auto mini = makeController();
    CalMonthView* march = mini->calWindow()->monthViews().front();
    std::vector<std::pair<const void*, int>> posted;
    platform::Observation seen = platform::NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("DaySelectedNotitifcation"), QVariant(),
        [&](const platform::Notification& n) {
            posted.emplace_back(n.object.value<const void*>(),
                                n.userInfo.value(QStringLiteral("SelectedDay")).toInt());
        });
    const int heightBefore = mini->calWindow()->targetFrame().height();
    QTest::mouseClick(march, Qt::LeftButton, {}, march->frameOfDay(10)->center().toPoint());
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].first, march->currMonth().get());
    EXPECT_EQ(posted[0].second, 10);

    CalWindow* window = mini->calWindow();
    EXPECT_TRUE(window->isDayViewShown());
    EXPECT_EQ(window->viewedDay(), 10);
    EXPECT_GT(window->targetFrame().height(), heightBefore) << "the window grows by the day view";
    QStringList rows;
    for (QLabel* label :
         window->editEventController()->view()->findChildren<QLabel*>("eventTitle")) {
        if (label->isVisibleTo(window->editEventController()->view())) {
            rows << label->text();
        }
    }
    EXPECT_EQ(rows, QStringList({"Hour", "Dinner"}));
    EXPECT_EQ(window->editEventController()->dateField()->text(), "Monday, March 10, 2025");

    // A neighbouring month's day (the first cell: 23 February) and the header post nothing.
    QTest::mouseClick(march, Qt::LeftButton, {},
                      QPoint(static_cast<int>(march->frameOfDay(1)->left()) - 2,
                             static_cast<int>(march->frameOfDay(1)->center().y())));
    QTest::mouseClick(march, Qt::LeftButton, {}, QPoint(march->width() / 2, 2));
    EXPECT_EQ(posted.size(), 1u);

    // An empty day says so.
    QTest::mouseClick(march, Qt::LeftButton, {}, march->frameOfDay(20)->center().toPoint());
    const auto labels = window->editEventController()->view()->findChildren<QLabel*>("eventTitle");
    QStringList shown;
    for (QLabel* label : labels) {
        if (label->isVisibleTo(window->editEventController()->view())) {
            shown << label->text();
        }
    }
    EXPECT_EQ(shown, QStringList({"No events"}));
}

TEST_F(MinnowCalendar, DoubleClicksAskForANewEventAndTheDayViewCountsDays) {
    defaults.setBool(true, QStringLiteral("ShowDateCalulations"));
    auto mini = makeController();
    std::vector<Date> asked;
    mini->setCreateEventHandler([&](Date d) { asked.push_back(d); });
    CalWindow* window = mini->calWindow();
    const CalMonthPtr march = window->monthViews().front()->currMonth();
    auto click = [&](int day, double afterSeconds) {
        clock.advance(afterSeconds);
        platform::NotificationCenter::defaultCenter().post(
            QStringLiteral("DaySelectedNotitifcation"), platform::senderObject(march.get()),
            {{QStringLiteral("SelectedDay"), day}});
    };
    click(10, 0);
    EXPECT_TRUE(asked.empty());
    click(10, 0.1);  // a double click
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], march->dateOfDay(10));
    click(10, 0.1);  // right after a double click: again one
    EXPECT_EQ(asked.size(), 2u);
    click(11, 0.1);  // another day
    click(11, 5.0);  // too slow
    EXPECT_EQ(asked.size(), 2u);

    // The day view's extra line: how far the day is from today (4 March).
    auto auxLines = [&] {
        QStringList out;
        for (QLabel* l : window->editEventController()->view()->findChildren<QLabel*>("auxLine")) {
            if (l->isVisibleTo(window->editEventController()->view())) {
                out << l->text();
            }
        }
        return out;
    };
    EXPECT_EQ(auxLines(), QStringList{"in 7 days"});
    clock.set(utc("2025-03-04T16:00:00"));
    click(4, 0);
    EXPECT_TRUE(auxLines().isEmpty()) << "today has no phrase";
    click(3, 5);
    EXPECT_EQ(auxLines(), QStringList{"yesterday"});

    // Without access to a calendar a double click asks for nothing.
    store.calendarList.clear();
    click(20, 5);
    click(20, 0.1);
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(MinnowCalendar, TheGooglePageOfTheAccount) {
    struct Case {
        int accountType;
        const char* user;
        const char* url;
    };
    for (const Case& c : std::vector<Case>{
             {0, "", "https://calendar.google.com/calendar"},
             {2, "anna@example.org", "https://calendar.google.com/calendar/hosted/example.org"},
             {2, "anna@GMAIL.com", "https://calendar.google.com/calendar"},
             {1, "anna@example.org", "https://calendar.google.com/calendar"},
             {2, "anna@a@b", "https://calendar.google.com/calendar"},
             {2, "anna@", "https://calendar.google.com/calendar"},
         }) {
        defaults.setInteger(c.accountType, QStringLiteral("AccountType"));
        defaults.setObject(QString::fromLatin1(c.user), QStringLiteral("Username"));
        EXPECT_EQ(MinnowCalendarController::googleCalendarUrl(defaults).toString(), c.url)
            << c.user;
    }
}

TEST_F(MinnowCalendar, ADragMovesTheWindowOnlyWhileTheButtonIsDown) {
    auto mini = makeController();
    RecordingDelegate delegate;
    mini->setDelegate(&delegate);
    mini->calculateWindowFrame();
    CalWindow* window = mini->calWindow();
    window->show();
    const QPoint home = window->geometry().topLeft();
    ASSERT_EQ(home, QPoint(1000, 24));
    auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(global - window->geometry().topLeft()), QPointF(global),
                          Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &event);
    };
    const QPoint start = home + QPoint(100, 5);
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    send(QEvent::MouseMove, start + QPoint(15, 15), Qt::LeftButton);
    EXPECT_FALSE(window->isDragging());
    EXPECT_EQ(window->geometry().topLeft(), home) << "15 points is not yet a drag";
    send(QEvent::MouseMove, start + QPoint(16, 0), Qt::LeftButton);
    EXPECT_TRUE(window->isDragging());
    send(QEvent::MouseMove, start + QPoint(-200, 300), Qt::LeftButton);
    EXPECT_EQ(window->geometry().topLeft(), home + QPoint(-200, 300));
    send(QEvent::MouseButtonRelease, start + QPoint(-200, 300), Qt::NoButton);
    EXPECT_FALSE(window->isDragging());
    EXPECT_EQ(window->geometry().topLeft(), home) << "back under the date item";
}

TEST_F(MinnowCalendar, LoadsRedrawTheEventsWithoutClosingTheDayView) {
    auto mini = makeController();
    CalWindow* window = mini->calWindow();
    CalMonthView* march = window->monthViews().front();
    QTest::mouseClick(march, Qt::LeftButton, {}, march->frameOfDay(5)->center().toPoint());
    ASSERT_TRUE(window->isDayViewShown());

    // A new event arrives: the store's change reloads, the month keeps its view, the day view
    // stays open and lists it.
    store.occurrences.push_back(
        occurrence("home", "Dentist", "2025-03-05T14:00:00", "2025-03-05T15:00:00"));
    const int loadsBefore = store.eventCalls;
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("loadCalendarEvents"));
    for (int i = 0; i < 5; ++i) {
        platform::NotificationCenter::defaultCenter().post(QStringLiteral("EventsLoaded"));
    }
    settle();
    EXPECT_GT(store.eventCalls, loadsBefore);
    EXPECT_EQ(window->monthViews().front(), march) << "not rebuilt";
    EXPECT_TRUE(window->isDayViewShown());
    EXPECT_EQ(window->viewedDay(), 5);
    EXPECT_EQ(march->toolTipForDay(5), "Dentist (Home)\nReview (Work)");
    QStringList rows;
    for (QLabel* label :
         window->editEventController()->view()->findChildren<QLabel*>("eventTitle")) {
        if (label->isVisibleTo(window->editEventController()->view())) {
            rows << label->text();
        }
    }
    EXPECT_EQ(rows, QStringList({"Review", "Dentist"}));
}

TEST_F(MinnowCalendar, WeekNumbersWidenEachMonth) {
    defaults.setInteger(2, QStringLiteral("FirstDayOfWeek"));
    auto mini = makeController();
    const int plainWidth = mini->calWindow()->monthViews().front()->width();
    EXPECT_TRUE(mini->calWindow()->monthViews().front()->weekNumbers().empty());

    defaults.setBool(true, QStringLiteral("ShowWeekNumbers"));
    mini->updateMonths();
    const CalMonthView* march = mini->calWindow()->monthViews().front();
    // Monday-first March 2025: ISO weeks 9 to 14, the first row included.
    EXPECT_EQ(march->weekNumbers(), (std::vector<int32_t>{9, 10, 11, 12, 13, 14}));
    EXPECT_GT(march->leftMarginWidth(), 0);
    EXPECT_EQ(march->width(), plainWidth + static_cast<int>(march->leftMarginWidth()));
    EXPECT_GE(march->frameOfDay(3)->left(), march->leftMarginWidth()) << "the grid moves right";
}

TEST_F(MinnowCalendar, RefusedAccessShowsTheTextAndNoEvents) {
    platform::CalendarStore::setAuthorizationStatus(defaults, platform::CalendarAccess::Denied);
    auto mini = makeController();
    EXPECT_EQ(mini->lastAlertText(),
              "Talvor Pro may not read your calendars. Allow it to show their events and "
              "reminders.");
    EXPECT_EQ(mini->calWindow()->monthViews().front()->toolTipForDay(10), "");
    EXPECT_EQ(store.eventCalls, 0);

    // The alert's first button asks again; a yes loads the events.
    QMessageBox* alert = mini->accessAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->buttons().front()->text(), "Ask Again");
    int asked = 0;
    platform::CalendarStore::setConsentPrompt([&](std::function<void(bool)> reply) {
        ++asked;
        reply(true);
    });
    alert->buttons().front()->click();
    settle();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(store.authorizationStatus(), platform::CalendarAccess::Authorized);
    EXPECT_EQ(mini->calWindow()->monthViews().front()->toolTipForDay(10),
              "Dinner (Home)\nHour (Work)");
}

TEST_F(MinnowCalendar, TheDayCheckMovesTodayAndANewMonthRebuilds) {
    auto mini = makeController();
    auto bordered = [&] {
        std::vector<int> days;
        const CalMonthView* view = mini->calWindow()->monthViews().front();
        for (int d = 1; d <= 31; ++d) {
            if (const CalFieldCell* cell = view->cellOfDay(d); cell && cell->isBordered()) {
                days.push_back(d);
            }
        }
        return days;
    };
    EXPECT_EQ(bordered(), std::vector<int>{4});
    clock.set(utc("2025-03-05T00:00:30"));
    mini->checkDate();
    EXPECT_EQ(bordered(), std::vector<int>{5});
    EXPECT_EQ(titles(*mini->calWindow()), QStringList{"March 2025"});
    clock.set(utc("2025-04-01T00:00:30"));
    mini->checkDate();
    EXPECT_EQ(titles(*mini->calWindow()), QStringList{"April 2025"});
    EXPECT_EQ(bordered(), std::vector<int>{1});
}

TEST_F(MinnowCalendar, SettingsRelayTheMonths) {
    auto mini = makeController();
    EXPECT_EQ(mini->calWindow()->monthViews().front()->currMonth()->weekDays(true).front(), "S");
    defaults.setInteger(2, QStringLiteral("FirstDayOfWeek"));
    mini->updateMonths();
    EXPECT_EQ(mini->calWindow()->monthViews().front()->currMonth()->weekDays(true).front(), "M");
    EXPECT_EQ(mini->monthIndexCount(), 1);

    // Bigger numbers and titles make bigger months.
    const QSize small = mini->calWindow()->monthViews().front()->size();
    defaults.setInteger(16, QStringLiteral("NumberFontSize"));
    defaults.setInteger(18, QStringLiteral("TitleFontSize"));
    mini->updateMonths();
    const QSize large = mini->calWindow()->monthViews().front()->size();
    EXPECT_GT(large.width(), small.width());
    EXPECT_GT(large.height(), small.height());

    defaults.setObject(QStringLiteral("hebrew"), QStringLiteral("CustomCalendar"));
    mini->updateMonths();
    EXPECT_EQ(mini->monthIndexCount(), 1) << "the old calendar's months are dropped";
    EXPECT_TRUE(titles(*mini->calWindow()).front().contains("5785"))
        << titles(*mini->calWindow()).front().toStdString();
}

TEST_F(MinnowCalendar, RelativeDayPhrases) {
    StringsBundle bundle;
    bundle.setTable("Future",
                    {{"1", "tomorrow"}, {"ends in 1", "in %d day"}, {"default", "in %d days"}});
    bundle.setTable("Past", {{"1", "yesterday"}, {"default", "%d days ago"}});
    struct Case {
        int days;
        const char* expected;
    };
    for (const Case& c : std::vector<Case>{{1, "tomorrow"},
                                           {21, "in 21 day"},
                                           {3, "in 3 days"},
                                           {-1, "yesterday"},
                                           {-21, "21 days ago"}}) {
        EXPECT_EQ(relativeString(c.days, bundle), c.expected) << c.days;
    }
    StringsBundle empty;
    EXPECT_EQ(relativeString(-2, empty), "2 days ago") << "built-in phrases without tables";
    EXPECT_EQ(relativeString(1, empty), "tomorrow");
}

TEST_F(MinnowCalendar, TheCalendarApplicationIsTheDefaultForCalendarFiles) {
    QTemporaryDir dir;
    const QString config = dir.filePath("config");
    const QString apps = dir.filePath("apps");
    QDir().mkpath(config);
    QDir().mkpath(apps + "/kde");
    auto write = [](const QString& path, const QByteArray& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write(apps + "/handles.desktop",
          "[Desktop Entry]\nName=Any\nMimeType=text/plain;text/calendar;\n");
    EXPECT_EQ(calendarApplicationEntry({config}, {apps}), apps + "/handles.desktop")
        << "no default: an application that handles calendars";

    write(apps + "/kde/cal.desktop", "[Desktop Entry]\nName=K\n");
    write(config + "/mimeapps.list",
          "[Added Associations]\ntext/calendar=other.desktop;\n[Default Applications]\n"
          "text/calendar=missing.desktop;kde-cal.desktop;\n");
    EXPECT_EQ(calendarApplicationEntry({config}, {apps}), apps + "/kde/cal.desktop");

    QFile::remove(apps + "/handles.desktop");
    QFile::remove(apps + "/kde/cal.desktop");
    EXPECT_EQ(calendarApplicationEntry({config}, {apps}), std::nullopt);
}

// The desktop's calendar application starts by its own command line; its entry file is never
// handed to an opener (which would show the file in an editor).
TEST_F(MinnowCalendar, TheCalendarApplicationStartsByItsCommand) {
    test::XdgSandbox sandbox;
    const QString root = sandbox.root();
    test::ScopedEnvVar configDirs("XDG_CONFIG_DIRS", root + "/etc");
    test::ScopedEnvVar dataDirs("XDG_DATA_DIRS", root + "/usr");
    const QString apps = root + "/data/applications";
    QDir().mkpath(apps + "/kde");
    QDir().mkpath(root + "/config");
    auto write = [](const QString& path, const QByteArray& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write(apps + "/kde/cal.desktop",
          "[Desktop Entry]\nType=Application\nName=K\nExec=kcal --open %U\n");
    write(root + "/config/mimeapps.list",
          "[Default Applications]\ntext/calendar=kde-cal.desktop;\n");
    test::FakeProcessLauncher launcher;
    platform::ProcessLauncher::setShared(&launcher);
    test::FakeWorkspace workspace;
    platform::Workspace::setShared(&workspace);

    EXPECT_EQ(CalendarApplication::defaultHandlerId(), QStringLiteral("kde-cal.desktop"));
    EXPECT_TRUE(openCalendarApplication());
    EXPECT_TRUE(CalendarApplication::launch()) << "one way to start it";
    ASSERT_EQ(launcher.launches.size(), 2u);
    for (const auto& launch : launcher.launches) {
        EXPECT_EQ(launch.program, QStringLiteral("kcal"));
        EXPECT_EQ(launch.arguments, QStringList{QStringLiteral("--open")});
    }

    launcher.launches.clear();
    launcher.failing = QStringList{QStringLiteral("kcal")};
    EXPECT_FALSE(openCalendarApplication()) << "it would not start";
    QFile::remove(apps + "/kde/cal.desktop");
    launcher.launches.clear();
    EXPECT_FALSE(openCalendarApplication()) << "none installed";
    EXPECT_TRUE(launcher.launches.empty());
    EXPECT_TRUE(workspace.openedURLs.empty());
    EXPECT_TRUE(workspace.openedFiles.empty());
    platform::Workspace::setShared(nullptr);
    platform::ProcessLauncher::setShared(nullptr);
}

TEST_F(MinnowCalendar, StatusViewOpensOnClickAndClosesOnHoldOrOtherApplications) {
    auto mini = makeController();
    MinnowStatusView view;
    view.setWindow(mini->calWindow());
    view.setAnchorProvider(
        [] { return std::make_pair(QRectF(1000, 0, 30, 24), QRectF(0, 24, 1280, 776)); });
    struct Case {
        double down, up;
        bool open;
    };
    for (const Case& c :
         std::vector<Case>{{10.0, 10.1, true}, {20.0, 20.3, false}, {30.0, 31.0, false}}) {
        view.hideWindow();
        view.mouseDownAt(c.down);
        view.mouseUpAt(c.up);
        EXPECT_EQ(view.isVisible(), c.open) << c.up - c.down;
        EXPECT_EQ(mini->calWindow()->isVisible(), c.open);
    }
    view.showWindow();
    EXPECT_EQ(mini->calWindow()->geometry().topLeft(), QPoint(1000, 24));
    view.mouseDownAt(40.0);  // a click while open closes
    EXPECT_FALSE(view.isVisible());

    view.showWindow();
    view.applicationSwitched("org.example.first", "talvor");
    EXPECT_TRUE(view.isVisible()) << "the first one seen is remembered only";
    view.applicationSwitched("talvor", "talvor");
    EXPECT_TRUE(view.isVisible());
    view.applicationSwitched("org.example.second", "talvor");
    EXPECT_FALSE(view.isVisible());

    view.showWindow();
    view.menuClicked(QCoreApplication::applicationPid());
    EXPECT_TRUE(view.isVisible()) << "our own menus leave it open";
    view.menuClicked(0);
    EXPECT_TRUE(view.isVisible());
    view.menuClicked(QCoreApplication::applicationPid() + 1);
    EXPECT_FALSE(view.isVisible());

    mini->updateStatusDay();  // no status view set: nothing happens
    mini->setStatusView(&view);
    mini->updateStatusDay();
    EXPECT_EQ(view.stringValue(), "4");
    const int narrow = view.width();
    view.setTopString("Tue");
    view.setBottomString("March");
    EXPECT_GT(view.width(), narrow);
}

// An event with a web gadget is a button in the day view's strip, not a row; its window hangs
// on the button and closes with the calendar window.
TEST_F(MinnowCalendar, AGadgetEventIsAButtonWhoseWindowClosesWithTheCalendar) {
    auto mini = makeController();
    CalWindow* window = mini->calWindow();
    window->show();
    auto march = window->monthViews().front()->currMonth();
    ASSERT_NE(march, nullptr);
    auto weather = CalEvent::initWithStartTime(utc("2025-03-10T00:00:00"), 86400,
                                               QStringLiteral("Weather"), QString(), nullptr);
    weather->setIsAllDay(true);
    weather->setGadget(Gadget{300, 200, QStringLiteral("https://example.org/weather"), QString()});
    std::vector<CalEventDay> day = weather->adjustedDaysForCalendar(march->calendar());
    const auto hour = CalEvent::initWithStartTime(utc("2025-03-10T10:00:00"), 3600,
                                                  QStringLiteral("Hour"), QString(), nullptr);
    for (const CalEventDay& d : hour->adjustedDaysForCalendar(march->calendar())) {
        day.push_back(d);
    }
    EXPECT_TRUE(day.front().mark().hasGadget);
    EditEventController* dayView = window->editEventController();
    dayView->showDate(QStringLiteral("Monday, March 10, 2025"), {}, &day, false);
    QStringList rows;
    for (QLabel* label : dayView->view()->findChildren<QLabel*>("eventTitle")) {
        if (!label->isHidden()) {
            rows << label->text();
        }
    }
    EXPECT_EQ(rows, QStringList{"Hour"});
    ASSERT_EQ(dayView->gadgetButtons().size(), 1u);
    QToolButton* button = dayView->gadgetButtons().front();
    EXPECT_EQ(button->toolTip(), "Weather");

    GadgetController& gadgets = GadgetController::controller();
    button->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gadgets.isAttached(); }, 2000));
    ASSERT_NE(gadgets.window(), nullptr);
    EXPECT_TRUE(gadgets.window()->isVisible());
    EXPECT_EQ(gadgets.initialURL(), QUrl(QStringLiteral("https://example.org/weather")));
    mini->closeWindow();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(gadgets.window()->isVisible()) << "closed with its calendar window";
}

}  // namespace
}  // namespace talvor
