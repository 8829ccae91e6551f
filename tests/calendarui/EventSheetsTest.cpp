// The new-event form, the quick add and the delete question, on back ends of the test's own,
// and once end to end on calendar folders under the mini calendar.
#include "calendar/AppleCal.h"
#include "calendar/CalEvent.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/VdirCalendarStore.h"
#include "calendarui/CalMonthView.h"
#include "calendarui/CalWindow.h"
#include "calendarui/CreateEventController.h"
#include "calendarui/DeleteEventController.h"
#include "calendarui/EditEventController.h"
#include "calendarui/MinnowCalendarController.h"
#include "foundation/CalendarExtras.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/FakeScreens.h"
#include "support/ScopedMachineZone.h"
#include "widgets/ProgressController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using Kind = CalendarBackEnds::Kind;
using platform::RemoveScope;

Date berlin(const char* iso) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
    t.setTimeZone(QTimeZone("Europe/Berlin"));
    return Date::fromQDateTime(t);
}

std::string berlinText(Date date) {
    return date.toQDateTime()
        .toTimeZone(QTimeZone("Europe/Berlin"))
        .toString(QStringLiteral("yyyy-MM-dd HH:mm"))
        .toStdString();
}

void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
}

// A back end that records what it is asked and answers at once or when told.
class RecordingBackEnd : public CalendarBackEnd {
  public:
    struct Created {
        CalSourcePtr source;
        QString title, notes;
        bool allDay = false;
        Date start, end;
        int recurrance = 0, minutes = 0, reminderType = 0;
    };
    void loadEventsInBatch(const std::shared_ptr<CalMonth>&) override {}
    std::vector<CalSourcePtr> getLocalEventCalendars_Parsed() override {
        ++listed;
        return sources;
    }
    void createNewEventForSource(const CalSourcePtr& source, const QString& title,
                                 const QString& notes, bool allDay, Date start, Date end,
                                 int recurrance, int minutes, int reminderType,
                                 const Completion& done) override {
        created.push_back(
            {source, title, notes, allDay, start, end, recurrance, minutes, reminderType});
        answer(done);
    }
    void addQuickEventwithTitle(const QString& title, const CalSourcePtr& source,
                                const Completion& done) override {
        quick.emplace_back(title, source);
        answer(done);
    }
    void deleteEvent(const CalEvent& event, RemoveScope scope, const Completion& done) override {
        deleted.emplace_back(event.editLink_(), scope);
        answer(done);
    }
    void answer(const Completion& done) {
        if (later) {
            pending = done;
        } else {
            done(!error, error);
        }
    }

    std::vector<CalSourcePtr> sources;
    std::vector<Created> created;
    std::vector<std::pair<QString, CalSourcePtr>> quick;
    std::vector<std::pair<QString, RemoveScope>> deleted;
    std::optional<QString> error;
    bool later = false;
    Completion pending;
    int listed = 0;
};

CalSourcePtr source(const char* name, bool canCreate = true, bool enabled = true) {
    auto s = CalSource::initWithToken(QString(), QString::fromLatin1(name), QUrl());
    s->setIdentifier(QString::fromLatin1(name).toLower());
    s->setCanCreate(canCreate);
    s->setEnabled(enabled);
    return s;
}

class EventSheets : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::setShared(&clock);
        for (RecordingBackEnd* b : {&apple, &google}) {
            b->sources = {source("Home"), source("Birthdays", false), source("Work"),
                          source("Hidden", true, false)};
        }
        CalendarBackEnds::install(Kind::Apple, &apple);
        CalendarBackEnds::install(Kind::Google, &google);
        watched = platform::NotificationCenter::defaultCenter().addObserver(
            QString(), QVariant(), [this](const platform::Notification& n) {
                if (n.name == QLatin1String("CalendarsLoaded") ||
                    n.name == QLatin1String("loadCalendarEvents")) {
                    notices << n.name;
                }
            });
    }
    void TearDown() override {
        ProgressController::controller().close();
        CalendarBackEnds::install(Kind::Apple, nullptr);
        CalendarBackEnds::install(Kind::Google, nullptr);
        platform::Clock::setShared(nullptr);
    }
    void choose(Kind kind) {
        defaults.setObject(
            kind == Kind::Google ? QStringLiteral("Google") : QStringLiteral("Apple"),
            QStringLiteral("SelectedCalendar"));
    }
    RecordingBackEnd& backEnd(Kind kind) { return kind == Kind::Google ? google : apple; }
    static QStringList items(const QComboBox* popup) {
        QStringList out;
        for (int i = 0; i < popup->count(); ++i) {
            out << popup->itemText(i);
        }
        return out;
    }
    // Sets the four pickers as a user would, one after another.
    void pick(const char* startDay, const char* startTime, const char* endDay,
              const char* endTime) {
        sheet.startDatePicker()->setDate(QDate::fromString(QLatin1String(startDay), Qt::ISODate));
        sheet.startTimePicker()->setTime(QTime::fromString(QLatin1String(startTime)));
        sheet.endDatePicker()->setDate(QDate::fromString(QLatin1String(endDay), Qt::ISODate));
        sheet.endTimePicker()->setTime(QTime::fromString(QLatin1String(endTime)));
    }

    test::ScopedMachineZone machine{"Europe/Berlin", "en_US"};
    test::FakeClock clock{berlin("2025-03-04T15:40:00"), QTimeZone("Europe/Berlin")};
    platform::MemoryPreferenceStore prefs{QStringLiteral("test")};
    platform::UserDefaults defaults{prefs};
    RecordingBackEnd apple, google;
    CreateEventController sheet{defaults};
    platform::Observation watched;
    QStringList notices;
};

TEST_F(EventSheets, TheFormOpensOnTheDayWithItsDefaults) {
    for (Kind kind : {Kind::Apple, Kind::Google}) {
        SCOPED_TRACE(kind == Kind::Google ? "Google" : "Apple");
        choose(kind);
        // A previous use that ended with the end before the start and other entries.
        sheet.startWithDate(berlin("2025-01-01T10:00:00"));
        sheet.titleField()->setText(QStringLiteral("Old"));
        sheet.descriptionField()->setText(QStringLiteral("old notes"));
        sheet.repeatPopup()->setCurrentIndex(3);
        sheet.reminderTimePopup()->setCurrentIndex(2);
        sheet.allDayButton()->setChecked(true);
        pick("2025-01-05", "08:00", "2025-01-02", "09:00");
        ASSERT_FALSE(sheet.okButton()->isEnabled());
        sheet.window()->close();

        sheet.startWithDate(berlin("2025-03-12T23:30:00"));
        EXPECT_TRUE(sheet.window()->isVisible());
        EXPECT_EQ(sheet.currWindow(), sheet.window());
        EXPECT_EQ(sheet.titleField()->text(), "New event");
        EXPECT_EQ(sheet.descriptionField()->text(), "");
        EXPECT_EQ(sheet.repeatPopup()->currentIndex(), 0);
        EXPECT_EQ(sheet.reminderTimePopup()->currentData().toInt(), 0);
        EXPECT_FALSE(sheet.allDayButton()->isChecked());
        EXPECT_TRUE(sheet.startTimePicker()->isVisibleTo(sheet.window()));
        EXPECT_EQ(berlinText(sheet.startDate()), "2025-03-12 08:00");
        EXPECT_EQ(berlinText(sheet.endDate()), "2025-03-12 12:00");
        EXPECT_TRUE(sheet.okButton()->isEnabled());
        EXPECT_FALSE(CreateEventController::isMarked(sheet.endDatePicker()));
        EXPECT_FALSE(CreateEventController::isMarked(sheet.endTimePicker()));
        // Only calendars that take new events, in each back end's order, the chosen back end's
        // first; this computer's are offered beside Google's, which say whose they are.
        const QStringList local{"Home", "Work", "Hidden"};
        const QStringList both{"Home (Google)", "Work (Google)", "Hidden (Google)",
                               "Home",          "Work",          "Hidden"};
        EXPECT_EQ(items(sheet.sourcePopup()), kind == Kind::Google ? both : local);
        EXPECT_EQ(sheet.selectedSource(sheet.sourcePopup())->name(), "Home");
        // The reminder kind is the Google back end's, and only with a reminder.
        EXPECT_EQ(sheet.reminderTypePopup()->isVisibleTo(sheet.window()), kind == Kind::Google);
        if (kind == Kind::Google) {
            // It goes with a calendar of this computer, and comes back with Google's.
            sheet.sourcePopup()->setCurrentIndex(3);
            EXPECT_FALSE(sheet.reminderTypePopup()->isVisibleTo(sheet.window()));
            sheet.sourcePopup()->setCurrentIndex(0);
            EXPECT_TRUE(sheet.reminderTypePopup()->isVisibleTo(sheet.window()));
        }
        EXPECT_FALSE(sheet.reminderTypePopup()->isEnabled());
        sheet.reminderTimePopup()->setCurrentIndex(3);
        EXPECT_TRUE(sheet.reminderTypePopup()->isEnabled());
        sheet.reminderTimePopup()->setCurrentIndex(0);
        EXPECT_FALSE(sheet.reminderTypePopup()->isEnabled());

        // Opened again while it shows: what was typed stays.
        sheet.titleField()->setText(QStringLiteral("Dentist"));
        sheet.repeatPopup()->setCurrentIndex(2);
        sheet.startWithDate(berlin("2025-06-01T10:00:00"));
        EXPECT_EQ(sheet.titleField()->text(), "Dentist");
        EXPECT_EQ(sheet.repeatPopup()->currentIndex(), 2);
        EXPECT_EQ(berlinText(sheet.startDate()), "2025-03-12 08:00");
        sheet.window()->close();
    }
    // Today's block never starts in the past: from 08:00 on it is the next whole hour.
    struct Case {
        const char* now;
        std::optional<const char*> day;
        const char *start, *end;
    };
    const Case cases[] = {
        {"2025-03-04T07:10:00", std::nullopt, "2025-03-04 08:00", "2025-03-04 12:00"},
        {"2025-03-04T15:40:00", std::nullopt, "2025-03-04 16:00", "2025-03-04 17:00"},
        {"2025-03-04T15:40:00", "2025-03-04T09:00:00", "2025-03-04 16:00", "2025-03-04 17:00"},
        {"2025-03-04T15:40:00", "2025-03-05T09:00:00", "2025-03-05 08:00", "2025-03-05 12:00"},
        {"2025-03-04T23:20:00", std::nullopt, "2025-03-05 00:00", "2025-03-05 01:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now);
        clock.set(berlin(c.now));
        sheet.startWithDate(c.day ? std::optional<Date>(berlin(*c.day)) : std::nullopt);
        EXPECT_EQ(berlinText(sheet.startDate()), c.start);
        EXPECT_EQ(berlinText(sheet.endDate()), c.end);
        EXPECT_TRUE(sheet.okButton()->isEnabled());
        sheet.window()->close();
    }
}

TEST_F(EventSheets, AnEndBeforeTheStartIsMarkedAndCannotBeSent) {
    struct Case {
        const char *startDay, *startTime, *endDay, *endTime;
        bool allDay;
        bool dayMarked, timeMarked;
    };
    const Case cases[] = {
        {"2025-03-12", "08:00", "2025-03-12", "12:00", false, false, false},
        {"2025-03-12", "12:00", "2025-03-12", "12:00", false, false, false},  // equal passes
        {"2025-03-12", "12:01", "2025-03-12", "12:00", false, false, true},
        {"2025-03-12", "12:01", "2025-03-12", "12:00", true, false, false},  // times do not count
        {"2025-03-12", "23:00", "2025-03-13", "01:00", false, false, false},
        {"2025-03-13", "08:00", "2025-03-12", "12:00", false, true, true},
        {"2025-03-13", "08:00", "2025-03-12", "12:00", true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.startDay) + " " + c.startTime + " - " + c.endDay + " " +
                     c.endTime + (c.allDay ? " all-day" : ""));
        sheet.startWithDate(berlin("2025-03-12T10:00:00"));
        sheet.allDayButton()->setChecked(c.allDay);
        pick(c.startDay, c.startTime, c.endDay, c.endTime);
        EXPECT_EQ(CreateEventController::isMarked(sheet.endDatePicker()), c.dayMarked);
        EXPECT_EQ(CreateEventController::isMarked(sheet.endTimePicker()), c.timeMarked);
        EXPECT_FALSE(CreateEventController::isMarked(sheet.startDatePicker()));
        const bool ok = !c.dayMarked && !c.timeMarked;
        EXPECT_EQ(sheet.okButton()->isEnabled(), ok);
        // The return key does not get round the mark.
        sheet.submit();
        EXPECT_EQ(apple.created.size(), ok ? 1u : 0u);
        apple.created.clear();
        sheet.window()->close();
    }
    // Switching all-day off brings a time mark back.
    sheet.startWithDate(berlin("2025-03-12T10:00:00"));
    sheet.allDayButton()->setChecked(true);
    pick("2025-03-12", "14:00", "2025-03-12", "12:00");
    EXPECT_TRUE(sheet.okButton()->isEnabled());
    EXPECT_FALSE(sheet.startTimePicker()->isVisibleTo(sheet.window()));
    sheet.allDayButton()->setChecked(false);
    EXPECT_FALSE(sheet.okButton()->isEnabled());
    EXPECT_TRUE(CreateEventController::isMarked(sheet.endTimePicker()));
}

// Every back end is called through the one interface, so each gets the interface's numbers
// (-1 none .. 3 yearly) and turns them into its own; an e-mail reminder only where the
// back end offers the choice.
TEST_F(EventSheets, EveryBackEndGetsTheFormInTheInterfacesNumbers) {
    struct Case {
        Kind kind;
        int repeatIndex;
        int sent;
        int typeIndex;  // of the reminder-type pop-up: 0 pop-up, 1 e-mail
        int typeSent;
    };
    const Case cases[] = {{Kind::Apple, 0, -1, 1, 1}, {Kind::Apple, 1, 0, 0, 1},
                          {Kind::Apple, 2, 1, 0, 1},  {Kind::Apple, 3, 2, 0, 1},
                          {Kind::Apple, 4, 3, 0, 1},  {Kind::Google, 0, -1, 0, 1},
                          {Kind::Google, 1, 0, 1, 2}, {Kind::Google, 2, 1, 0, 1},
                          {Kind::Google, 3, 2, 1, 2}, {Kind::Google, 4, 3, 0, 1}};
    ASSERT_EQ(CreateEventController::kRepeatItems, 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.repeatIndex) + (c.kind == Kind::Google ? " Google" : ""));
        choose(c.kind);
        sheet.startWithDate(berlin("2025-03-12T10:00:00"));
        ASSERT_EQ(sheet.repeatPopup()->count(), CreateEventController::kRepeatItems);
        sheet.titleField()->setText(QStringLiteral("Choir"));
        sheet.descriptionField()->setText(QStringLiteral("Bring the score"));
        sheet.sourcePopup()->setCurrentIndex(1);
        sheet.repeatPopup()->setCurrentIndex(c.repeatIndex);
        sheet.reminderTimePopup()->setCurrentIndex(sheet.reminderTimePopup()->findData(30));
        sheet.reminderTypePopup()->setCurrentIndex(c.typeIndex);
        sheet.allDayButton()->setChecked(true);
        pick("2025-03-12", "19:00", "2025-03-14", "21:30");
        sheet.submit();
        RecordingBackEnd& b = backEnd(c.kind);
        ASSERT_EQ(b.created.size(), 1u);
        const auto& made = b.created[0];
        EXPECT_EQ(made.recurrance, c.sent);
        EXPECT_EQ(made.minutes, 30);
        EXPECT_EQ(made.reminderType, c.typeSent);
        EXPECT_EQ(made.title, "Choir");
        EXPECT_EQ(made.notes, "Bring the score");
        EXPECT_EQ(made.source->name(), "Work");
        EXPECT_TRUE(made.allDay);
        // The hidden time pickers still give their hours.
        EXPECT_EQ(berlinText(made.start), "2025-03-12 19:00");
        EXPECT_EQ(berlinText(made.end), "2025-03-14 21:30");
        b.created.clear();
    }
}

TEST_F(EventSheets, WhatTheUserSeesAfterTheBackEndAnswers) {
    struct Case {
        Kind kind;
        int sourceIndex;  // in the pop-up
        std::optional<QString> error;
        QStringList notices;
        const char* alertTitle;  // null: none
        const char* alertText;
        bool staysOpen;  // after the alert, if any
    };
    const Case cases[] = {
        {Kind::Apple,
         0,
         std::nullopt,
         {"CalendarsLoaded", "loadCalendarEvents"},
         nullptr,
         "",
         false},
        {Kind::Google, 0, std::nullopt, {"loadCalendarEvents"}, nullptr, "", false},
        {Kind::Apple, 2, std::nullopt, {}, "Calendar Not Enabled", "Hidden not enabled", false},
        {Kind::Google, 2, std::nullopt, {}, "Calendar Not Enabled", "Hidden not enabled", false},
        {Kind::Apple,
         0,
         "The disk is full.",
         {},
         "Error Creating Event",
         "The disk is full.",
         true},
        {Kind::Google, 1, "Forbidden", {}, "Error Creating Event", "Forbidden", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alertText);
        choose(c.kind);
        RecordingBackEnd& b = backEnd(c.kind);
        b.error = c.error;
        b.later = c.kind == Kind::Google;  // Google answers when its request ends
        sheet.startWithDate(berlin("2025-03-12T10:00:00"));
        sheet.titleField()->setText(QStringLiteral("Dentist"));
        sheet.descriptionField()->setText(QStringLiteral("Bring the card"));
        sheet.sourcePopup()->setCurrentIndex(c.sourceIndex);
        sheet.repeatPopup()->setCurrentIndex(2);
        notices.clear();
        const int listedBefore = b.listed;
        sheet.submit();
        if (b.later) {
            EXPECT_TRUE(ProgressController::controller().window()->isVisible());
            EXPECT_EQ(ProgressController::controller().titleField()->text(), "Creating event...");
            EXPECT_TRUE(sheet.window()->isVisible());
            b.pending(!c.error, c.error);
        }
        EXPECT_FALSE(ProgressController::controller().window()->isVisible());
        EXPECT_EQ(notices, c.notices);
        // Only the local back end lists its calendars again after a creation.
        EXPECT_EQ(b.listed - listedBefore,
                  c.kind == Kind::Apple && !c.error && c.sourceIndex == 0 ? 1 : 0);
        if (c.alertTitle == nullptr) {
            EXPECT_EQ(sheet.alert(), nullptr);
            EXPECT_FALSE(sheet.window()->isVisible());
            continue;
        }
        ASSERT_NE(sheet.alert(), nullptr);
        EXPECT_TRUE(sheet.alert()->isVisible());
        EXPECT_EQ(sheet.alert()->text(), c.alertTitle);
        EXPECT_EQ(sheet.alert()->informativeText(), c.alertText);
        EXPECT_EQ(sheet.alert()->parentWidget(), sheet.window());
        EXPECT_TRUE(sheet.window()->isVisible()) << "the window waits for the alert";
        sheet.alert()->button(QMessageBox::Ok)->click();
        settle();
        EXPECT_EQ(sheet.window()->isVisible(), c.staysOpen);
        if (c.staysOpen) {
            // Everything typed is there for another try, which can succeed.
            EXPECT_EQ(sheet.titleField()->text(), "Dentist");
            EXPECT_EQ(sheet.descriptionField()->text(), "Bring the card");
            EXPECT_EQ(sheet.repeatPopup()->currentIndex(), 2);
            EXPECT_EQ(sheet.sourcePopup()->currentIndex(), c.sourceIndex);
            b.error.reset();
            b.later = false;
            sheet.submit();
            EXPECT_FALSE(sheet.window()->isVisible());
            EXPECT_FALSE(notices.isEmpty());
        }
        b.error.reset();
        b.later = false;
        b.created.clear();
    }
}

TEST_F(EventSheets, TheQuickAdd) {
    sheet.startWithDate(berlin("2025-03-12T10:00:00"));
    sheet.startQuickAdd();
    EXPECT_FALSE(sheet.window()->isVisible()) << "one or the other";
    EXPECT_TRUE(sheet.quickAddWindow()->isVisible());
    EXPECT_EQ(sheet.currWindow(), sheet.quickAddWindow());
    EXPECT_EQ(items(sheet.quickAddSourcePopup()), (QStringList{"Home", "Work", "Hidden"}));

    // Opened again while it shows: the text and choice stay.
    sheet.quickAddField()->setText(QStringLiteral("Call Anna"));
    sheet.quickAddSourcePopup()->setCurrentIndex(1);
    sheet.startQuickAdd();
    EXPECT_EQ(sheet.quickAddField()->text(), "Call Anna");
    sheet.submitQuick();
    ASSERT_EQ(apple.quick.size(), 1u);
    EXPECT_EQ(apple.quick[0].first, "Call Anna");
    EXPECT_EQ(apple.quick[0].second->name(), "Work");
    EXPECT_EQ(notices, (QStringList{"CalendarsLoaded", "loadCalendarEvents"}));
    EXPECT_FALSE(sheet.quickAddWindow()->isVisible());

    // A new quick add starts empty; blank text closes it and sends nothing.
    sheet.startQuickAdd();
    EXPECT_EQ(sheet.quickAddField()->text(), "");
    sheet.quickAddField()->setText(QStringLiteral("   "));
    sheet.submitQuick();
    EXPECT_EQ(apple.quick.size(), 1u);
    EXPECT_FALSE(sheet.quickAddWindow()->isVisible());

    // A failure is reported on the quick-add window, which keeps the text.
    apple.error = QStringLiteral("The calendar of the event no longer exists.");
    sheet.startQuickAdd();
    sheet.quickAddField()->setText(QStringLiteral("Lunch"));
    sheet.submitQuick();
    ASSERT_NE(sheet.alert(), nullptr);
    EXPECT_EQ(sheet.alert()->parentWidget(), sheet.quickAddWindow());
    sheet.alert()->button(QMessageBox::Ok)->click();
    settle();
    EXPECT_TRUE(sheet.quickAddWindow()->isVisible());
    EXPECT_EQ(sheet.quickAddField()->text(), "Lunch");
}

TEST_F(EventSheets, ReturnSendsOnceAndEscapeCloses) {
    // Return in a field sends the form once; with the end marked it sends nothing.
    apple.later = true;
    sheet.startWithDate(berlin("2025-03-12T10:00:00"));
    QTest::keyClick(sheet.titleField(), Qt::Key_Return);
    EXPECT_EQ(apple.created.size(), 1u);
    apple.pending(true, std::nullopt);
    apple.later = false;
    EXPECT_FALSE(sheet.window()->isVisible());
    sheet.startWithDate(berlin("2025-03-12T10:00:00"));
    pick("2025-03-12", "13:00", "2025-03-12", "12:00");
    QTest::keyClick(sheet.endTimePicker(), Qt::Key_Return);
    EXPECT_EQ(apple.created.size(), 1u);
    QTest::keyClick(sheet.titleField(), Qt::Key_Escape);
    EXPECT_FALSE(sheet.window()->isVisible());

    // Also while the answer is awaited, with the window still open.
    apple.later = true;
    sheet.startQuickAdd();
    sheet.quickAddField()->setText(QStringLiteral("Call Anna"));
    QTest::keyClick(sheet.quickAddField(), Qt::Key_Return);
    EXPECT_EQ(apple.quick.size(), 1u);
    apple.pending(true, std::nullopt);
    apple.later = false;
    EXPECT_FALSE(sheet.quickAddWindow()->isVisible());
    sheet.startQuickAdd();
    QTest::keyClick(sheet.quickAddField(), Qt::Key_Escape);
    EXPECT_FALSE(sheet.quickAddWindow()->isVisible());
    EXPECT_EQ(apple.quick.size(), 1u);

    DeleteEventController question;
    for (const char* series : {"s", "r"}) {
        SCOPED_TRACE(series);
        auto e = CalEvent::initWithStartTime(berlin("2025-03-12T10:00:00"), 3600,
                                             QStringLiteral("Choir"), QString(), nullptr);
        e->setEditLink_(QStringLiteral("s"));
        e->setOriginalEditLink(QString::fromLatin1(series));
        question.deleteEvent(e);
        ASSERT_TRUE(question.currWindow()->isVisible());
        QTest::keyClick(question.currWindow(), Qt::Key_Escape);
        EXPECT_FALSE(question.currWindow()->isVisible());
        EXPECT_EQ(question.currentEvent(), nullptr);
    }
    EXPECT_TRUE(apple.deleted.empty());
}

TEST_F(EventSheets, NoBackEndInstalledIsReportedNotSilent) {
    CalendarBackEnds::install(Kind::Apple, nullptr);
    sheet.startWithDate(berlin("2025-03-12T10:00:00"));
    EXPECT_EQ(sheet.sourcePopup()->count(), 0);
    sheet.submit();
    ASSERT_NE(sheet.alert(), nullptr);
    EXPECT_EQ(sheet.alert()->text(), "Error Creating Event");
    EXPECT_FALSE(ProgressController::controller().window()->isVisible());
}

// --- the delete question ---

// An event of this computer's calendars.
CalEventPtr event(const char* title, const char* start, const char* link, const char* series) {
    auto e = CalEvent::initWithStartTime(berlin(start), 3600, QString::fromLatin1(title), QString(),
                                         nullptr);
    e->setEditLink_(QString::fromLatin1(link));
    e->setOriginalEditLink(QString::fromLatin1(series));
    e->setOrigin(Kind::Apple);
    return e;
}

class DeleteSheet : public EventSheets {
  protected:
    DeleteEventController question;
};

TEST_F(DeleteSheet, TheQuestionFitsTheEvent) {
    struct Case {
        const char* link;
        const char* series;
        const char* shown;  // "single", "recur" or none
    };
    const Case cases[] = {
        {"a.ics#uid", "a.ics#uid", "single"},  // a single event names itself as its series
        {"a.ics#uid", "", "single"},
        {"a.ics#uid|1741770000", "a.ics#uid", "recur"},
        {"", "series-id", "recur"},  // an occurrence even without its own link
        {"", "", nullptr},           // nothing to remove it by
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.link) + " / " + c.series);
        question.deleteEvent(event("Choir", "2025-03-12T10:00:00", c.link, c.series));
        if (c.shown == nullptr) {
            EXPECT_EQ(question.currentEvent(), nullptr);
            EXPECT_FALSE(question.window()->isVisible());
            EXPECT_FALSE(question.recurWindow()->isVisible());
            continue;
        }
        const bool recur = std::string(c.shown) == "recur";
        EXPECT_EQ(question.currWindow(), recur ? question.recurWindow() : question.window());
        EXPECT_TRUE(question.currWindow()->isVisible());
        QLabel* label = recur ? question.recurTitle() : question.singleTitle();
        EXPECT_TRUE(label->text().contains("\"Choir\"")) << label->text().toStdString();
        question.cancel();
        EXPECT_FALSE(question.currWindow()->isVisible());
        EXPECT_EQ(question.currentEvent(), nullptr) << "closing forgets the event";
        EXPECT_TRUE(apple.deleted.empty());
    }
}

TEST_F(DeleteSheet, ALongTitleMakesTheWindowTallerByWhatTheTextNeeds) {
    question.deleteEvent(event("Tea", "2025-03-12T10:00:00", "t", "t"));
    const int labelBefore = question.singleTitle()->height();
    const int windowBefore = question.window()->height();
    question.cancel();
    const QString longTitle = QStringLiteral("A very long title ").repeated(20);
    question.deleteEvent(event(longTitle.toUtf8().constData(), "2025-03-12T10:00:00", "t", "t"));
    QLabel* label = question.singleTitle();
    EXPECT_EQ(label->height(), label->heightForWidth(label->width()));
    EXPECT_GT(label->height(), labelBefore + 40);
    EXPECT_EQ(question.window()->height() - windowBefore, label->height() - labelBefore);
    question.cancel();
    // And smaller again for a short one.
    question.deleteEvent(event("Tea", "2025-03-12T10:00:00", "t", "t"));
    EXPECT_EQ(question.singleTitle()->height(), labelBefore);
    EXPECT_EQ(question.window()->height(), windowBefore);
}

TEST_F(DeleteSheet, EachButtonRemovesItsScope) {
    struct Case {
        const char* button;
        const char* link;
        const char* series;
        RemoveScope scope;
        const char* progress;
    };
    const Case cases[] = {
        {"deleteSingleButton", "s", "s", RemoveScope::ThisEvent, "Deleting event..."},
        {"deleteSingleButton", "r|1", "r", RemoveScope::ThisEvent, "Deleting event..."},
        {"deleteAfterButton", "r|1", "r", RemoveScope::ThisAndFuture, "Deleting events..."},
        {"deleteAllButton", "r|1", "r", RemoveScope::All, "Deleting events..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        apple.later = true;
        question.deleteEvent(event("Choir", "2025-03-12T10:00:00", c.link, c.series));
        auto* button = question.currWindow()->findChild<QPushButton*>(QLatin1String(c.button));
        ASSERT_NE(button, nullptr);
        notices.clear();
        button->click();
        ASSERT_EQ(apple.deleted.size(), 1u);
        EXPECT_EQ(apple.deleted[0].first, c.link);
        EXPECT_EQ(apple.deleted[0].second, c.scope);
        EXPECT_EQ(ProgressController::controller().titleField()->text(), c.progress);
        EXPECT_TRUE(ProgressController::controller().window()->isVisible());
        apple.pending(true, std::nullopt);
        EXPECT_FALSE(ProgressController::controller().window()->isVisible());
        EXPECT_EQ(notices, QStringList{"loadCalendarEvents"});
        EXPECT_FALSE(question.currWindow()->isVisible());
        EXPECT_EQ(question.currentEvent(), nullptr);
        apple.deleted.clear();
    }
}

// Whichever back end is chosen for new events, an event goes from the calendar it came from.
TEST_F(DeleteSheet, EachEventIsRemovedWhereItCameFrom) {
    struct Case {
        Kind chosen;
        std::optional<Kind> origin;
        const char* removedBy;  // "apple", "google" or "" (none)
    };
    const Case cases[] = {
        {Kind::Google, Kind::Apple, "apple"},  {Kind::Google, Kind::Google, "google"},
        {Kind::Apple, Kind::Google, "google"}, {Kind::Apple, Kind::Apple, "apple"},
        {Kind::Google, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.removedBy);
        choose(c.chosen);
        auto e = CalEvent::initWithStartTime(berlin("2025-03-12T10:00:00"), 3600,
                                             QStringLiteral("Choir"), QString(), nullptr);
        e->setEditLink_(QStringLiteral("s"));
        e->setOriginalEditLink(QStringLiteral("s"));
        if (c.origin) {
            e->setOrigin(*c.origin);
        }
        question.deleteEvent(e);
        question.deleteSingle();
        const std::string by = c.removedBy;
        EXPECT_EQ(apple.deleted.size(), by == "apple" ? 1u : 0u);
        EXPECT_EQ(google.deleted.size(), by == "google" ? 1u : 0u);
        if (by.empty()) {
            ASSERT_NE(question.alert(), nullptr);
            EXPECT_EQ(question.alert()->informativeText(), "No calendar can remove events.");
            question.alert()->button(QMessageBox::Ok)->click();
            settle();
        }
        apple.deleted.clear();
        google.deleted.clear();
    }
}

TEST_F(DeleteSheet, AFailureIsReportedUnderItsOwnTitle) {
    struct Case {
        std::optional<QString> error;
        const char* shown;
    };
    for (const Case& c : {Case{QStringLiteral("The event's file cannot be removed."),
                               "The event's file cannot be removed."},
                          Case{QString(), "Unknown"}}) {
        SCOPED_TRACE(c.shown);
        apple.error = c.error;
        question.deleteEvent(event("Choir", "2025-03-12T10:00:00", "r|1", "r"));
        notices.clear();
        question.deleteAll();
        ASSERT_NE(question.alert(), nullptr);
        EXPECT_EQ(question.alert()->text(), "Error Deleting Event");
        EXPECT_EQ(question.alert()->informativeText(), c.shown);
        EXPECT_TRUE(notices.isEmpty());
        EXPECT_TRUE(question.recurWindow()->isVisible());
        question.alert()->button(QMessageBox::Ok)->click();
        settle();
        EXPECT_FALSE(question.recurWindow()->isVisible());
    }
}

TEST_F(DeleteSheet, ThisAndTheFollowingBeginAMinuteBeforeTheOccurrence) {
    struct Case {
        const char* start;
        const char* cutOff;
    };
    for (const Case& c : {Case{"2025-03-12T10:00:00", "2025-03-12 09:59"},
                          Case{"2025-03-13T00:00:00", "2025-03-12 23:59"}}) {
        EXPECT_EQ(berlinText(DeleteEventController::cutOffDate(*event("x", c.start, "r|1", "r"))),
                  c.cutOff);
    }
}

TEST_F(DeleteSheet, RowsOfTheDayViewOfferDeletionWhenTheyCan) {
    std::vector<CalEventPtr> asked;
    const auto handler = [&](const CalEventPtr& e) { asked.push_back(e); };
    const Calendar calendar = Calendar::current();
    auto day = [&](const CalEventPtr& e) { return CalEventDay(e->startDate(), e, calendar); };
    const CalEventPtr removable = event("Choir", "2025-03-12T10:00:00", "r|1", "r");
    const CalEventPtr fixed = event("Holiday", "2025-03-12T00:00:00", "", "");
    EventView withButton(day(removable), 220, nullptr, handler);
    EventView withoutLinks(day(fixed), 220, nullptr, handler);
    EventView withoutHandler(day(removable), 220, nullptr);
    EventView empty(std::nullopt, 220, nullptr, handler);
    EXPECT_EQ(withoutLinks.deleteButton(), nullptr);
    EXPECT_EQ(withoutHandler.deleteButton(), nullptr);
    EXPECT_EQ(empty.deleteButton(), nullptr);
    ASSERT_NE(withButton.deleteButton(), nullptr);
    // The title leaves the button its room.
    EXPECT_LE(withButton.titleField()->geometry().right(), withButton.deleteButton()->x());
    withButton.deleteButton()->click();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], removable);
}

// --- end to end on calendar folders ---

class SheetsOnFolders : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        QDir().mkpath(root.path() + QStringLiteral("/home"));
        platform::Clock::setShared(&clock);
        store.setDefaults(&defaults);
        platform::CalendarStore::setAuthorizationStatus(defaults,
                                                        platform::CalendarAccess::Authorized);
        AppleCal::setSharedInterface(&apple);
        CalendarBackEnds::install(Kind::Apple, &apple);
    }
    void TearDown() override {
        ProgressController::controller().close();
        CalendarBackEnds::install(Kind::Apple, nullptr);
        CalendarBackEnds::install(Kind::Google, nullptr);
        AppleCal::setSharedInterface(nullptr);
        platform::Clock::setShared(nullptr);
        CalendarExtras::resetForTesting();
    }
    QStringList files() const {
        return QDir(root.path() + QStringLiteral("/home"))
            .entryList({QStringLiteral("*.ics")}, QDir::Files);
    }
    // The mini calendar with its new-event form and delete question, wired as the program
    // wires them.
    struct Windows {
        explicit Windows(SheetsOnFolders& f)
            : mini(f.clock, f.defaults, f.screens), sheet(f.defaults) {
            mini.setCreateEventHandler([this](Date day) { sheet.startWithDate(day); });
            mini.calWindow()->editEventController()->setDeleteEventHandler(
                [this](const CalEventPtr& e) { question.deleteEvent(e); });
        }
        MinnowCalendarController mini;
        CreateEventController sheet;
        DeleteEventController question;
    };
    // The titles of the events drawn on the day (from its tool tip), none without a mark.
    static QStringList marked(const CalMonthView& month, int day) {
        if (month.cellOfDay(day)->representedEvents().empty()) {
            return {};
        }
        QStringList out;
        for (const QString& line : month.toolTipForDay(day).split(QLatin1Char('\n'))) {
            out << line.section(QStringLiteral(" ("), 0, 0);
        }
        return out;
    }

    test::ScopedMachineZone machine{"Europe/Berlin", "en_US"};
    test::FakeClock clock{berlin("2025-03-04T15:40:00"), QTimeZone("Europe/Berlin")};
    platform::MemoryPreferenceStore prefs{QStringLiteral("test")};
    platform::UserDefaults defaults{prefs};
    QTemporaryDir root;
    VdirCalendarStore store{{root.path()}};
    AppleCal apple{&store};
    test::FakeScreens screens;
};

TEST_F(SheetsOnFolders, ANewEventBecomesAFileAndADotAndGoesAgainByScope) {
    Windows windows(*this);
    MinnowCalendarController& mini = windows.mini;
    CreateEventController& sheet = windows.sheet;
    DeleteEventController& question = windows.question;
    settle();
    CalMonthView* march = mini.calWindow()->monthViews().front();
    ASSERT_TRUE(marked(*march, 12).isEmpty());

    // The new-event button of the day view opens the form on the day looked at.
    mini.calWindow()->editEventController()->newEventButton()->click();
    ASSERT_TRUE(sheet.window()->isVisible());
    sheet.titleField()->setText(QStringLiteral("Choir"));
    sheet.repeatPopup()->setCurrentIndex(1);  // daily
    sheet.reminderTimePopup()->setCurrentIndex(sheet.reminderTimePopup()->findData(15));
    sheet.startDatePicker()->setDate(QDate(2025, 3, 12));
    sheet.endDatePicker()->setDate(QDate(2025, 3, 12));
    sheet.startTimePicker()->setTime(QTime(19, 0));
    sheet.endTimePicker()->setTime(QTime(21, 0));
    sheet.submit();
    EXPECT_EQ(sheet.alert(), nullptr);
    EXPECT_FALSE(sheet.window()->isVisible());
    ASSERT_EQ(files().size(), 1);
    settle();
    march = mini.calWindow()->monthViews().front();
    for (int day : {12, 13, 31}) {
        EXPECT_EQ(marked(*march, day), QStringList{"Choir"}) << day;
    }
    EXPECT_TRUE(marked(*march, 11).isEmpty());
    const auto alarms =
        apple.eventAlarms(berlin("2025-03-12T00:00:00"), berlin("2025-03-13T00:00:00"));
    ASSERT_EQ(alarms.size(), 1u);

    // The 14th's row in the day view: this and the following go.
    mini.calWindow()->editEventsIn(march->currMonth(), 14, false);
    EventView* row = nullptr;
    for (QWidget* w : mini.calWindow()->editEventController()->eventViews()) {
        if (auto* v = qobject_cast<EventView*>(w); v && v->deleteButton()) {
            row = v;
        }
    }
    ASSERT_NE(row, nullptr);
    row->deleteButton()->click();
    ASSERT_EQ(question.currWindow(), question.recurWindow());
    EXPECT_EQ(berlinText(DeleteEventController::cutOffDate(*question.currentEvent())),
              "2025-03-14 18:59");
    question.deleteAfter();
    EXPECT_FALSE(question.recurWindow()->isVisible());
    settle();
    march = mini.calWindow()->monthViews().front();
    EXPECT_EQ(marked(*march, 13), QStringList{"Choir"});
    EXPECT_TRUE(marked(*march, 14).isEmpty());
    EXPECT_TRUE(marked(*march, 20).isEmpty());

    // The 12th alone, then the rest of the series with its file.
    mini.calWindow()->editEventsIn(march->currMonth(), 12, false);
    for (QWidget* w : mini.calWindow()->editEventController()->eventViews()) {
        if (auto* v = qobject_cast<EventView*>(w); v && v->deleteButton()) {
            v->deleteButton()->click();
        }
    }
    question.deleteSingle();
    settle();
    march = mini.calWindow()->monthViews().front();
    EXPECT_TRUE(marked(*march, 12).isEmpty());
    EXPECT_EQ(marked(*march, 13), QStringList{"Choir"});
    ASSERT_EQ(files().size(), 1);

    mini.calWindow()->editEventsIn(march->currMonth(), 13, false);
    for (QWidget* w : mini.calWindow()->editEventController()->eventViews()) {
        if (auto* v = qobject_cast<EventView*>(w); v && v->deleteButton()) {
            v->deleteButton()->click();
        }
    }
    question.deleteAll();
    settle();
    EXPECT_TRUE(files().isEmpty());
    march = mini.calWindow()->monthViews().front();
    EXPECT_TRUE(marked(*march, 13).isEmpty());
}

// A Google of the test's own: its "Team" calendar has a stand-up on the 12th; it answers a
// month's load when told, as Google does when its requests end.
class LaterGoogle : public RecordingBackEnd {
  public:
    LaterGoogle() {
        sources = {source("Team")};
        standup = CalEvent::initWithStartTime(berlin("2025-03-12T09:00:00"), 900,
                                              QStringLiteral("Standup"), QString(), sources[0]);
        standup->setEditLink_(QStringLiteral("standup"));
        standup->setOriginalEditLink(QStringLiteral("standup"));
        standup->setOrigin(Kind::Google);
    }
    void loadEventsInBatch(const std::shared_ptr<CalMonth>& month) override {
        asked.push_back(month);
    }
    void answerLoads() {
        for (const std::weak_ptr<CalMonth>& weak : std::exchange(asked, {})) {
            if (const auto month = weak.lock()) {
                month->removeEventsOf(Kind::Google);
                for (const CalEventDay& d : standup->adjustedDaysForCalendar(month->calendar())) {
                    if (d.year() == month->year() && d.month() == month->month()) {
                        month->addEvent(d, d.day());
                    }
                }
                month->finalizeEventAdd();
            }
        }
        platform::NotificationCenter::defaultCenter().post(QStringLiteral("EventsLoaded"));
    }

    CalEventPtr standup;
    std::vector<std::weak_ptr<CalMonth>> asked;
};

// A user with calendars on this computer who chooses Google keeps them: both show, a new event
// goes to the calendar picked for it, a local event is removed from its folder, and a reload
// of one leaves the other's events in place.
TEST_F(SheetsOnFolders, ChoosingGoogleKeepsTheCalendarsOfThisComputer) {
    LaterGoogle google;
    CalendarBackEnds::install(Kind::Google, &google);
    defaults.setObject(QStringLiteral("Google"), QStringLiteral("SelectedCalendar"));
    Windows windows(*this);
    MinnowCalendarController& mini = windows.mini;
    CreateEventController& sheet = windows.sheet;
    DeleteEventController& question = windows.question;
    settle();
    google.answerLoads();
    settle();
    CalMonthView* march = mini.calWindow()->monthViews().front();
    EXPECT_EQ(marked(*march, 12), QStringList{"Standup"});

    // A new event in the folder's calendar, picked beside Google's.
    mini.calWindow()->editEventController()->newEventButton()->click();
    ASSERT_TRUE(sheet.window()->isVisible());
    ASSERT_EQ(sheet.sourcePopup()->count(), 2);
    EXPECT_EQ(sheet.sourcePopup()->itemText(0), "Team (Google)");
    sheet.sourcePopup()->setCurrentIndex(1);
    sheet.titleField()->setText(QStringLiteral("Choir"));
    sheet.startDatePicker()->setDate(QDate(2025, 3, 12));
    sheet.endDatePicker()->setDate(QDate(2025, 3, 12));
    sheet.startTimePicker()->setTime(QTime(19, 0));
    sheet.endTimePicker()->setTime(QTime(21, 0));
    sheet.submit();
    EXPECT_EQ(sheet.alert(), nullptr);
    EXPECT_TRUE(google.created.empty());
    ASSERT_EQ(files().size(), 1);
    // The folder is read again at once; Google's answer is still to come, and its event stays.
    settle();
    ASSERT_FALSE(google.asked.empty());
    march = mini.calWindow()->monthViews().front();
    EXPECT_EQ(marked(*march, 12), (QStringList{"Standup", "Choir"}));
    google.answerLoads();
    settle();
    EXPECT_EQ(marked(*march, 12), (QStringList{"Standup", "Choir"}));

    // The folder's event goes from the folder, not from Google.
    mini.calWindow()->editEventsIn(march->currMonth(), 12, false);
    QStringList offered;
    for (QWidget* w : mini.calWindow()->editEventController()->eventViews()) {
        if (auto* v = qobject_cast<EventView*>(w); v && v->deleteButton()) {
            offered << v->titleField()->text();
            if (v->titleField()->text() == QLatin1String("Choir")) {
                v->deleteButton()->click();
            }
        }
    }
    EXPECT_EQ(offered, (QStringList{"Standup", "Choir"}));
    ASSERT_EQ(question.currWindow(), question.window());
    question.deleteSingle();
    EXPECT_EQ(question.alert(), nullptr);
    EXPECT_TRUE(google.deleted.empty());
    EXPECT_TRUE(files().isEmpty());
    settle();
    google.answerLoads();
    settle();
    EXPECT_EQ(marked(*march, 12), QStringList{"Standup"});
}

TEST_F(SheetsOnFolders, AllDayEventsCoverTheirDaysWhateverTheHiddenTimes) {
    MinnowCalendarController mini(clock, defaults, screens);
    CreateEventController sheet(defaults);
    settle();
    struct Case {
        const char *from, *to;
        const char* startTime;  // of the hidden pickers
        const char* endTime;
        std::vector<int> days;
    };
    const Case cases[] = {
        {"2025-03-12", "2025-03-12", "08:00", "12:00", {12}},
        {"2025-03-12", "2025-03-12", "23:30", "00:00", {12}},
        {"2025-03-20", "2025-03-22", "08:00", "12:00", {20, 21, 22}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from + std::string(" - ") + c.to + " " + c.startTime);
        // The folder starts empty for each case.
        for (const QString& f : files()) {
            QFile::remove(root.path() + QStringLiteral("/home/") + f);
        }
        sheet.startWithDate(berlin("2025-03-12T10:00:00"));
        sheet.titleField()->setText(QStringLiteral("Away"));
        sheet.allDayButton()->setChecked(true);
        sheet.startTimePicker()->setTime(QTime::fromString(QLatin1String(c.startTime)));
        sheet.endTimePicker()->setTime(QTime::fromString(QLatin1String(c.endTime)));
        sheet.startDatePicker()->setDate(QDate::fromString(QLatin1String(c.from), Qt::ISODate));
        sheet.endDatePicker()->setDate(QDate::fromString(QLatin1String(c.to), Qt::ISODate));
        ASSERT_TRUE(sheet.okButton()->isEnabled());
        sheet.submit();
        ASSERT_EQ(sheet.alert(), nullptr);
        ASSERT_EQ(files().size(), 1);
        settle();
        const CalMonthView* march = mini.calWindow()->monthViews().front();
        std::vector<int> days;
        for (int day = 1; day <= 31; ++day) {
            if (marked(*march, day).contains(QStringLiteral("Away"))) {
                days.push_back(day);
            }
        }
        EXPECT_EQ(days, c.days);
    }
}

}  // namespace
}  // namespace talvor
