// The calendar window's settings, and month geometry checked against ICU over two centuries,
// every first weekday and six calendar systems.
#include "calendar/CalMonth.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "foundation/CalendarExtras.h"
#include "foundation/PreferenceDomain.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "support/FakeFontResolver.h"
#include "support/ScopedMachineZone.h"
#include "support/ScopedPreferences.h"
#include "support/SettingsRoundTrip.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QFont>

#include <unicode/calendar.h>

#include <gtest/gtest.h>

#include <optional>

namespace talvor {
namespace {

using platform::DistributedNotificationCenter;

class CalendarSettings : public ::testing::Test {
  protected:
    CalendarSettings() : defaults_(domain_.store()) {
        platform::UserDefaults::setStandard(&defaults_);
    }
    ~CalendarSettings() override {
        platform::UserDefaults::setStandard(nullptr);
        CalendarExtras::resetForTesting();
    }
    int announcementsAfter(const std::function<void()>& action) {
        int heard = 0;
        DistributedNotificationCenter& center = DistributedNotificationCenter::defaultCenter();
        platform::Observation watch =
            center.addObserver(QStringLiteral("TalvorCalendarPrefsChangeNotification"), QVariant(),
                               [&](const platform::Notification&) { ++heard; });
        action();
        center.flush();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return heard;
    }
    test::ScopedEnvVar noBus_{"DBUS_SESSION_BUS_ADDRESS", QString()};
    test::ScopedMemoryDomain domain_{appTalvor4Prefs};
    platform::UserDefaults defaults_;
    test::FakeFontResolver fonts_{{}, QStringLiteral("Helvetica")};
    test::ScopedFontResolver scopedFonts_{fonts_};
};

TEST_F(CalendarSettings, FreshDomainGivesTheDefaults) {
    TalvorCalPrefsSettings s;
    s.loadPrefs();
    EXPECT_EQ(s.CalendarWinType, 8223);
    EXPECT_EQ(s.CalendarWinLayer, 1);
    EXPECT_EQ(s.CalendarImageScaleing, 2);
    EXPECT_EQ(s.ShowNoOfCalendar, 0);
    EXPECT_EQ(s.CalendarType, QStringLiteral("gregorian"));
    EXPECT_EQ(s.CalendarWinRowGolor.rgba(),
              QColor::fromRgbF(230 / 255.f, 230 / 255.f, 230 / 255.f).rgba());
    EXPECT_EQ(s.CalendarWinBordarGolor.rgba(), QColor::fromRgbF(0.8f, 0.8f, 0.8f).rgba());
    EXPECT_EQ(s.CalendarWinMonthFontSize.pointSizeF(), 18);
    EXPECT_EQ(s.CalendarWinDayOfWeekFontSize.pointSizeF(), 14);
    EXPECT_TRUE(s.movableAndResizable());
    EXPECT_EQ(s.imageScaling(), TalvorCalPrefsSettings::Scaling::IndependentAxes);
}

TEST_F(CalendarSettings, EveryKeyRoundTripsUnderItsOwnName) {
    test::expectEveryRowRoundTrips<TalvorCalPrefsSettings>([] {
        auto s = std::make_unique<TalvorCalPrefsSettings>();
        s->loadPrefs();
        return s;
    });
    const QVariantMap stored = domain_.store().dictionaryRepresentation();
    for (const char* key :
         {"NoOfCalendarToShow", "CalDayNoLoction", "CalendarShortLongMonth", "CalendarWinBGolor",
          "CalendarWinMonthColor", "CalendarWinDayFontSizeName", "CalendarWinDayFontSizeTraits",
          "CalendarType"}) {
        EXPECT_TRUE(stored.contains(QString::fromLatin1(key))) << key;
    }
}

TEST_F(CalendarSettings, ResetKeepsTheCalendarSystemAndOnlySyncAnnounces) {
    TalvorCalPrefsSettings s;
    s.loadPrefs();
    s.CalendarType = QStringLiteral("hebrew");
    s.CalendarWinType = 0;
    s.CalendarImageScaleing = 1;
    EXPECT_FALSE(s.movableAndResizable());
    EXPECT_EQ(s.imageScaling(), TalvorCalPrefsSettings::Scaling::None);
    EXPECT_EQ(announcementsAfter([&] { s.writePrefs(); }), 0);
    EXPECT_EQ(announcementsAfter([&] { s.writePrefsAndSync(); }), 1);
    s.CalendarWinLayer = 4;
    s.resetPrefsToDefaults();
    EXPECT_EQ(s.CalendarType, QStringLiteral("hebrew"));
    EXPECT_EQ(s.CalendarWinType, 8223);
    EXPECT_EQ(s.CalendarWinLayer, 1);
    EXPECT_EQ(s.CalendarWinDayFontSize.family(), QStringLiteral("Helvetica"));
    // Loading makes the chosen system the one the month grids use.
    TalvorCalPrefsSettings other;
    other.loadPrefs();
    EXPECT_EQ(CalendarExtras::userCalendar().calendarIdentifier(), QStringLiteral("hebrew"));
}

// Without Helvetica a fresh start shows the title-bar font; a reset must give the same fonts,
// or a window reset in one session draws differently from the next start.
TEST_F(CalendarSettings, ResetGivesTheFontsAFreshStartShows) {
    test::FakeFontResolver withoutHelvetica{{}, QStringLiteral("DejaVu LGC Sans")};
    test::ScopedFontResolver scoped{withoutHelvetica};
    for (const bool helveticaKnown : {false, true}) {
        test::FakeFontResolver withHelvetica{{QStringLiteral("Helvetica")}};
        std::optional<test::ScopedFontResolver> known;
        if (helveticaKnown) {
            known.emplace(withHelvetica);
        }
        TalvorCalPrefsSettings fresh;
        fresh.loadPrefs();
        TalvorCalPrefsSettings reset;
        reset.loadPrefs();
        reset.CalendarWinDayFontSize = QFont(QStringLiteral("DejaVu Serif"), 17);
        reset.resetPrefsToDefaults();
        const TalvorCalPrefsSettings made;
        const TalvorCalPrefsSettings& wasReset = reset;
        for (const TalvorCalPrefsSettings* s : {&wasReset, &made}) {
            EXPECT_EQ(s->CalendarWinDayFontSize.family(), fresh.CalendarWinDayFontSize.family())
                << helveticaKnown;
            EXPECT_EQ(s->CalendarWinMonthFontSize.family(),
                      fresh.CalendarWinMonthFontSize.family());
            EXPECT_EQ(s->CalendarWinDayOfWeekFontSize.pointSizeF(), 14);
        }
        EXPECT_EQ(fresh.CalendarWinDayFontSize.family(),
                  helveticaKnown ? QStringLiteral("Helvetica") : QStringLiteral("DejaVu LGC Sans"));
    }
}

// For every month a calendar system has between 1900 and 2100 and every first weekday, the
// month's geometry agrees with ICU's own calendar: its length, the column of day 1, the
// previous month's length, the span, and (Gregorian) the week number of each row.
TEST(MonthGeometry, AgreesWithIcuOverTwoCenturies) {
    test::ScopedMachineZone machine{"UTC", "en_US"};
    const QStringList systems = {QStringLiteral("gregorian"),     QStringLiteral("buddhist"),
                                 QStringLiteral("hebrew"),        QStringLiteral("islamic"),
                                 QStringLiteral("islamic-civil"), QStringLiteral("japanese")};
    const Date first =
        Date::fromQDateTime(QDateTime(QDate(1900, 1, 15), QTime(12, 0), QTimeZone::utc()));
    const Date last =
        Date::fromQDateTime(QDateTime(QDate(2100, 12, 31), QTime(0, 0), QTimeZone::utc()));
    int checked = 0;
    for (const QString& id : systems) {
        const Calendar k = Calendar::create(id).withTimeZone(QTimeZone::utc());
        ASSERT_FALSE(k.isNull()) << id.toStdString();
        for (auto m = CalMonth::initWithDate(first, k); m->earliestDate() < last;
             m = m->nextMonth()) {
            std::unique_ptr<icu::Calendar> icu = k.icuCalendar(m->earliestDate());
            UErrorCode status = U_ZERO_ERROR;
            const std::string where = id.toStdString() + " " + m->description().toStdString();
            ASSERT_EQ(icu->get(UCAL_DATE, status), 1) << where;
            ASSERT_EQ(icu->get(UCAL_HOUR_OF_DAY, status), 0) << where;
            ASSERT_EQ(m->maxDay(), icu->getActualMaximum(UCAL_DATE, status)) << where;
            const int weekdayOfFirst = icu->get(UCAL_DAY_OF_WEEK, status);
            std::unique_ptr<icu::Calendar> next = k.icuCalendar(m->latestDate());
            ASSERT_EQ(next->get(UCAL_DATE, status), 1) << where;
            ASSERT_EQ((m->latestDate().timeIntervalSince(m->earliestDate())) / 86400, m->maxDay())
                << where;
            std::unique_ptr<icu::Calendar> before =
                k.icuCalendar(m->earliestDate().addingTimeInterval(-3600));
            ASSERT_EQ(m->lastMaxDay(), before->get(UCAL_DATE, status)) << where;
            for (int fw = 1; fw <= 7; ++fw) {
                CalMonth::setFirstWeekDay(fw);
                m->resetFirstWeekDay();
                ASSERT_EQ(m->firstDayOffset(), ((weekdayOfFirst - fw) % 7 + 7) % 7) << where;
                ASSERT_GE(m->numRows(), 4) << where;
                ASSERT_LE(m->numRows(), 6) << where;
                bool inMonth = false;
                ASSERT_EQ(m->dateForRow(0, m->firstDayOffset(), &inMonth), 1) << where;
                ASSERT_TRUE(inMonth);
                int32_t row = -1;
                int32_t col = -1;
                m->cellForDate(m->maxDay(), &row, &col);
                ASSERT_EQ(m->dateForRow(row, col, &inMonth), m->maxDay()) << where;
                ASSERT_EQ(row, m->numRows() - 1) << where;
                if (id == QLatin1String("gregorian")) {
                    std::unique_ptr<icu::Calendar> week = k.icuCalendar(m->earliestDate());
                    week->setFirstDayOfWeek(static_cast<UCalendarDaysOfWeek>(fw));
                    week->setMinimalDaysInFirstWeek(4);
                    for (int r = 0; r < m->numRows(); ++r) {
                        // The row's first day of this month.
                        const int day = std::max(1, 7 * r - m->firstDayOffset() + 1);
                        week->setTime(m->dateOfDay(day).toUDate(), status);
                        ASSERT_EQ(m->weekNumForRow(r), week->get(UCAL_WEEK_OF_YEAR, status))
                            << where << " first weekday " << fw << " row " << r;
                    }
                }
                ++checked;
            }
        }
    }
    CalMonth::setFirstWeekDay(1);
    EXPECT_GT(checked, 6 * 7 * 2400);
}

}  // namespace
}  // namespace talvor
