#include "CalendarScenes.h"

#include "GrabWindow.h"

#include "calendar/AppleCal.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "calendarui/CalWindow.h"
#include "calendarui/EditEventController.h"
#include "calendarui/MAAttachedWindow.h"
#include "calendarui/MinnowCalendarController.h"
#include "calendarui/myCalView.h"
#include "calendarui/ztCalendarController.h"
#include "platform/CalendarStore.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferenceStore.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "shell/MoonDisplay.h"

#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QWidget>

#include <vector>

namespace talvor::shot {
namespace {

// 2025-05-12 12:00:01 UTC.
class StillClock : public platform::Clock {
  public:
    Date now() const override { return Date::fromUnix(1747051201); }
    QTimeZone currentZone() const override { return QTimeZone::utc(); }
};

class DemoMoon : public ztCalendarMenuExtra {
  public:
    QImage mooonImage(Date) override { return moonPicture(QStringLiteral("MM3")); }
    QString addNextMoons(const std::optional<QString>&, Date) override {
        return QStringLiteral(
            "Current Moon: Waxing Gibbous\nNext Full Moon: Tue 13 May 2025\n"
            "Next New Moon: Tue 27 May 2025");
    }
    void showMenubarCalendarPrefs() override {}
};

// Two calendars with a week of May 2025: meetings, a dinner, a three-day trip.
class DemoCalendars : public platform::CalendarStore {
  public:
    std::vector<platform::StoreCalendar> calendars() const override {
        return {{QStringLiteral("work"), QStringLiteral("Work"),
                 platform::StoreCalendar::Type::Local, QColor(0xD8, 0x1B, 0x60), true},
                {QStringLiteral("home"), QStringLiteral("Home"),
                 platform::StoreCalendar::Type::Local, QColor(0x1E, 0x88, 0xE5), true}};
    }
    std::vector<platform::StoreOccurrence> events(Date start, Date end,
                                                  const QStringList&) const override {
        auto at = [](int day, int hour, int minute) {
            return Date::fromUnix(1746057600 + (day - 1) * 86400.0 + hour * 3600.0 + minute * 60.0);
        };
        auto make = [](const char* calendar, const char* title, Date from, Date to, bool allDay) {
            platform::StoreOccurrence o;
            o.eventId = QLatin1String(title);
            o.calendarId = QLatin1String(calendar);
            o.title = QLatin1String(title);
            o.start = from;
            o.end = to;
            o.allDay = allDay;
            return o;
        };
        const std::vector<platform::StoreOccurrence> all = {
            make("work", "Planning", at(5, 9, 30), at(5, 10, 30), false),
            make("work", "Design review", at(12, 14, 0), at(12, 15, 0), false),
            make("home", "Dinner with Anna", at(12, 19, 0), at(12, 21, 0), false),
            make("home", "Trip to the coast", at(15, 0, 0), at(18, 0, 0), true),
            make("work", "Release", at(21, 11, 0), at(21, 12, 0), false),
        };
        std::vector<platform::StoreOccurrence> out;
        for (const auto& o : all) {
            if (o.end > start && o.start < end) {
                out.push_back(o);
            }
        }
        return out;
    }
    platform::StoreSaveResult saveEvent(const platform::NewStoreEvent&) override {
        return {QString(), QStringLiteral("read-only")};
    }
    std::optional<QString> removeEvent(const platform::StoreOccurrence&,
                                       platform::RemoveScope) override {
        return QStringLiteral("read-only");
    }
};

struct Setting {
    StillClock clock;
    platform::MemoryPreferenceStore store{QStringLiteral("talvor-shot")};
    platform::UserDefaults defaults{store};
    Setting() { defaults.setInteger(2, QStringLiteral("FirstDayOfWeek")); }
};

}  // namespace

QImage renderMiniCalendar(double scale) {
    Setting s;
    DemoCalendars calendars;
    calendars.setDefaults(&s.defaults);
    platform::CalendarStore::setAuthorizationStatus(s.defaults,
                                                    platform::CalendarAccess::Authorized);
    AppleCal apple(&calendars);
    AppleCal::setSharedInterface(&apple);
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &apple);
    platform::Clock::setShared(&s.clock);
    s.defaults.setInteger(3, QStringLiteral("TtNumCols"));
    QImage picture;
    {
        MinnowCalendarController mini(s.clock, s.defaults, platform::Screens::shared());
        // The queued loads, then their one redraw.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        // The day view's rows as the program shows them, with their delete buttons.
        mini.calWindow()->editEventController()->setDeleteEventHandler([](const CalEventPtr&) {});
        const CalMonthPtr may = mini.calWindow()->monthViews().at(1)->currMonth();
        platform::NotificationCenter::defaultCenter().post(
            QStringLiteral("DaySelectedNotitifcation"), platform::senderObject(may.get()),
            {{QStringLiteral("SelectedDay"), 12}});
        picture = grabWindow(*mini.window(), scale);
    }
    platform::Clock::setShared(nullptr);
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr);
    AppleCal::setSharedInterface(nullptr);
    return picture;
}

QImage renderBigCalendar(double scale) {
    Setting s;
    DemoMoon moon;
    ztCalendarController big(s.clock, s.defaults, platform::Screens::shared());
    big.setMenuExtra(&moon);
    big.showCalBGImg();
    return grabWindow(*big.window(), scale);
}

QImage renderBigCalendarYear(double scale) {
    Setting s;
    DemoMoon moon;
    TalvorCalPrefsSettings& prefs = TalvorCalPrefsSettings::sharedInstance();
    const int kept = prefs.ShowNoOfCalendar;
    prefs.ShowNoOfCalendar = 12;
    ztCalendarController big(s.clock, s.defaults, platform::Screens::shared());
    big.setMenuExtra(&moon);
    QWidget& window = *big.window();
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.move(0, 0);
    window.show();
    big.showCalBGImg();
    window.resize(4 * ztCalendarController::monthCell().width() + 20,
                  3 * ztCalendarController::monthCell().height() + 274 + 100);
    const QImage calendar = grabWindow(window, scale);
    // The moon of the 20th in its window, pointing at the day.
    myCalProView& view = *big.monthView();
    QPointF day;
    for (const auto& month : view.drawnMonths()) {
        for (const auto& d : month.days) {
            if (d.date == QDate(2025, 5, 20)) {
                day = d.cell.center();
            }
        }
    }
    big.toggleMoonWindow(QDate(2025, 5, 20), view.mapTo(&window, day));
    prefs.ShowNoOfCalendar = kept;
    MAAttachedWindow* attached = big.attachedWindow();
    if (attached == nullptr) {
        return calendar;
    }
    attached->setAttribute(Qt::WA_DontShowOnScreen);
    const QRect moonFrame = attached->geometry();
    const QImage moonWindow = grabWindow(*attached, scale);
    const QRect all = QRect(QPoint(0, 0), window.size()).united(moonFrame);
    QImage image((QSizeF(all.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.drawImage(QPoint(0, 0) - all.topLeft(), calendar);
    painter.drawImage(moonFrame.topLeft() - all.topLeft(), moonWindow);
    painter.end();
    big.closeAttachedWindow();
    return image;
}

QImage renderBigCalendarSecondCalendar(double scale) {
    Setting s;
    s.defaults.setObject(QStringLiteral("hebrew"), QStringLiteral("SecondaryCalendar"));
    DemoMoon moon;
    TalvorCalPrefsSettings& prefs = TalvorCalPrefsSettings::sharedInstance();
    const int kept = prefs.ShowNoOfCalendar;
    prefs.ShowNoOfCalendar = 6;
    ztCalendarController big(s.clock, s.defaults, platform::Screens::shared());
    big.setMenuExtra(&moon);
    QWidget& window = *big.window();
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.move(0, 0);
    window.show();
    big.showCalBGImg();
    // Cells wide enough for the new months' names beside the bars.
    window.resize(3 * ztCalendarController::monthCell().width() * 3 / 2 + 20,
                  2 * ztCalendarController::monthCell().height() * 3 / 2 + 274 + 100);
    const QImage calendar = grabWindow(window, scale);
    prefs.ShowNoOfCalendar = kept;
    return calendar;
}

QImage renderCalendarLeaves(double scale) {
    constexpr double kHeight = 22.0;
    const QFont font(QStringLiteral("DejaVu Sans"));
    std::vector<QImage> leaves;
    std::vector<QSizeF> sizes;
    double width = 8.0;
    for (const int day : {1, 9, 10, 28}) {
        QSizeF size;
        leaves.push_back(calendarLeafPicture(day, font, Qt::black, day == 28, kHeight, &size));
        sizes.push_back(size);
        width += size.width() + 12.0;
    }
    QImage image((QSizeF(width, kHeight + 8.0) * scale).toSize(),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(QColor(236, 236, 236));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    double x = 8.0;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        painter.drawImage(QRectF(QPointF(x, 4.0), sizes[i]), leaves[i]);
        x += sizes[i].width() + 12.0;
    }
    return image;
}

QImage renderMonthGridLayout(int layout, double scale) {
    StillClock clock;
    // A landscape drawn here: sky, a sun, two hills.
    QImage landscape(640, 420, QImage::Format_RGB32);
    {
        QPainter painter(&landscape);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient sky(0, 0, 0, 420);
        sky.setColorAt(0, QColor(90, 150, 220));
        sky.setColorAt(1, QColor(200, 225, 245));
        painter.fillRect(landscape.rect(), sky);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(250, 210, 80));
        painter.drawEllipse(QPointF(470, 110), 48, 48);
        painter.setBrush(QColor(70, 140, 70));
        painter.drawEllipse(QRectF(-160, 260, 620, 320));
        painter.setBrush(QColor(50, 115, 60));
        painter.drawEllipse(QRectF(260, 290, 560, 300));
    }
    QTemporaryDir folder;
    const QString picture = QDir(folder.path()).filePath(QStringLiteral("landscape.png"));
    landscape.save(picture);

    myCalView view;
    view.setClock(&clock);
    myCalSettings& settings = view.calSettings();
    const bool corner = layout == 8;
    settings.SetCntH(corner ? 1 : 2);
    settings.SetCntV(1);
    settings.SetImageStyle(layout);
    settings.SetImageScaleType(0);
    settings.SetFirstDayOfWeek(1);
    settings.SetShowWeekNum(1);
    settings.SetGridLines(2, 0);
    settings.SetMargin(2);
    settings.SetMarginC(6);
    settings.SetDrawFrame(corner ? 2 : 0);
    settings.setSImagePath(picture);
    settings.LoadImage(picture);
    view.SetoCurDate(QDate(2025, 5, 12));
    view.resize(corner ? QSize(720, 480) : QSize(760, 520));
    return grabWindow(view, scale);
}

}  // namespace talvor::shot
