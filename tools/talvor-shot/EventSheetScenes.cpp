#include "EventSheetScenes.h"

#include "GrabWindow.h"

#include "calendar/CalEvent.h"
#include "calendar/CalSource.h"
#include "calendar/CalendarBackEnd.h"
#include "calendarui/CreateEventController.h"
#include "calendarui/DeleteEventController.h"
#include "platform/Clock.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QTimeEdit>
#include <QTimeZone>

namespace talvor::shot {
namespace {

// Two calendars that take new events; nothing is written.
class DemoBackEnd : public CalendarBackEnd {
  public:
    void loadEventsInBatch(const std::shared_ptr<CalMonth>&) override {}
    std::vector<CalSourcePtr> getLocalEventCalendars_Parsed() override {
        std::vector<CalSourcePtr> out;
        for (const char* name : {"Work", "Home"}) {
            auto s = CalSource::initWithToken(QString(), QLatin1String(name), QUrl());
            s->setCanCreate(true);
            s->setEnabled(true);
            out.push_back(s);
        }
        return out;
    }
};

struct Setting {
    platform::MemoryPreferenceStore store{QStringLiteral("talvor-shot")};
    platform::UserDefaults defaults{store};
    DemoBackEnd backEnd;
    Setting() { CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &backEnd); }
    ~Setting() { CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr); }
};

// 2025-05-12 12:00 UTC.
Date demoDay() {
    return Date::fromUnix(1747051200);
}

}  // namespace

QImage renderCreateEventSheet(double scale) {
    Setting s;
    CreateEventController sheet(s.defaults);
    sheet.startWithDate(demoDay(), Calendar::current().withTimeZone(QTimeZone::utc()));
    sheet.titleField()->setText(QStringLiteral("Design review"));
    sheet.descriptionField()->setText(QStringLiteral("Room 4, bring the prototypes"));
    sheet.repeatPopup()->setCurrentIndex(2);
    sheet.reminderTimePopup()->setCurrentIndex(sheet.reminderTimePopup()->findData(15));
    sheet.startTimePicker()->setTime(QTime(14, 0));
    sheet.endTimePicker()->setTime(QTime(13, 30));
    return grabWindow(*sheet.window(), scale);
}

QImage renderDeleteEventSheet(double scale) {
    Setting s;
    DeleteEventController question;
    auto event = CalEvent::initWithStartTime(demoDay(), 3600, QStringLiteral("Weekly planning"),
                                             QString(), nullptr);
    event->setEditLink_(QStringLiteral("work/planning.ics#planning|1747051200"));
    event->setOriginalEditLink(QStringLiteral("work/planning.ics#planning"));
    question.deleteEvent(event);
    return grabWindow(*question.currWindow(), scale);
}

}  // namespace talvor::shot
