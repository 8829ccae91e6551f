#include "TalvorCalPrefsSettings.h"

#include "foundation/CalendarExtras.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/SettingsTable.h"
#include "foundation/TalvorLoadFonts.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/SharedInstance.h"

namespace talvor {

namespace {

QColor grey(double level) {
    return QColor::fromRgbF(static_cast<float>(level), static_cast<float>(level),
                            static_cast<float>(level), 1.0f);
}

// The stored calendar system, or Gregorian.
QString storedCalendarType() {
    return PreferenceDomain::readText(QStringLiteral("CalendarType"),
                                      TalvorCalPrefsSettings::gregorian());
}

// The calendar window's fonts with nothing stored: Helvetica where it exists, else what a
// load without a stored font gives, so that a reset shows what a fresh start does.
QFont defaultCalendarFont(float size) {
    return TalvorLoadFonts::TalvorDefaultFont(size, QStringLiteral("Helvetica"));
}

}  // namespace

const std::vector<settings::Row<TalvorCalPrefsSettings>>& TalvorCalPrefsSettings::table() {
    using namespace settings;
    using S = TalvorCalPrefsSettings;
    static const Table<S> rows = {
        row<Integer>(QStringLiteral("NoOfCalendarToShow"), &S::ShowNoOfCalendar, 0).reset(All, 0),
        row<Integer>(QStringLiteral("CalDayNoLoction"), &S::CalDayNoLocation, 0).reset(All, 0),
        row<Integer>(QStringLiteral("CalendarShortLongMonth"), &S::ShortLongMonthName, 0)
            .reset(All, 0),
        row<Integer>(QStringLiteral("CalendarWinType"), &S::CalendarWinType, 8223).reset(All, 8223),
        row<Integer>(QStringLiteral("CalendarWinLayer"), &S::CalendarWinLayer, 1).reset(All, 1),
        row<Integer>(QStringLiteral("CalendarImageScaleing"), &S::CalendarImageScaleing, 2)
            .reset(All, 2),
        row<Integer>(QStringLiteral("CalendarDoubleClickApp"), &S::CalendarDoubleClickApp, 0)
            .reset(All, 0),
        row<Colour>(QStringLiteral("CalendarWinBGolor"), &S::CalendarWinBGolor, grey(1.0))
            .reset(All, grey(1.0)),
        row<Colour>(QStringLiteral("CalendarWinBordarGolor"), &S::CalendarWinBordarGolor, grey(0.8))
            .reset(All, grey(0.8)),
        row<Colour>(QStringLiteral("CalendarWinRowGolor"), &S::CalendarWinRowGolor,
                    grey(230.0 / 255.0))
            .reset(All, grey(230.0 / 255.0)),
        row<Colour>(QStringLiteral("CalendarWinFrameGolor"), &S::CalendarWinFrameGolor, grey(0.4))
            .reset(All, grey(0.4)),
        row<Colour>(QStringLiteral("CalendarWinDayGolor"), &S::CalendarWinDayGolor, grey(0.0))
            .reset(All, grey(0.0)),
        row<Colour>(QStringLiteral("CalendarWinDayOfWeekGolor"), &S::CalendarWinDayOfWeekGolor,
                    grey(0.0))
            .reset(All, grey(0.0)),
        row<Colour>(QStringLiteral("CalendarWinMonthColor"), &S::CalendarWinMonthColor, grey(0.0))
            .reset(All, grey(0.0)),
        row<Font>(QStringLiteral("CalendarWinMonthFontSize"), &S::CalendarWinMonthFontSize,
                  FontSpec{QStringLiteral("Helvetica"), 18})
            .reset(All, std::function<QFont()>([] { return defaultCalendarFont(18); })),
        row<Font>(QStringLiteral("CalendarWinDayFontSize"), &S::CalendarWinDayFontSize,
                  FontSpec{QStringLiteral("Helvetica"), 12})
            .reset(All, std::function<QFont()>([] { return defaultCalendarFont(12); })),
        row<Font>(QStringLiteral("CalendarWinDayOfWeekFontSize"), &S::CalendarWinDayOfWeekFontSize,
                  FontSpec{QStringLiteral("Helvetica"), 14})
            .reset(All, std::function<QFont()>([] { return defaultCalendarFont(14); })),
        row<Text>(QStringLiteral("CalendarType"), &S::CalendarType, gregorian())
            .reset(All, std::function<QString()>(storedCalendarType)),
    };
    return rows;
}

TalvorCalPrefsSettings::TalvorCalPrefsSettings() {
    settings::applyDefaults(table(), *this);
    CalendarWinMonthFontSize = defaultCalendarFont(18);
    CalendarWinDayFontSize = defaultCalendarFont(12);
    CalendarWinDayOfWeekFontSize = defaultCalendarFont(14);
}

TalvorCalPrefsSettings& TalvorCalPrefsSettings::sharedInstance() {
    return SharedInstance<TalvorCalPrefsSettings>::get();
}

std::unique_ptr<TalvorCalPrefsSettings> TalvorCalPrefsSettings::makeShared() {
    auto made = std::make_unique<TalvorCalPrefsSettings>();
    made->loadPrefs();
    return made;
}

void TalvorCalPrefsSettings::loadPrefs() {
    PreferenceDomain::synchronize(
        QStringLiteral("loading Date/Cal prefs CFPreferencesSynchronize failed"));
    settings::loadAll(table(), *this);
    applyCalendarType();
}

void TalvorCalPrefsSettings::writePrefs() {
    settings::writeAll(table(), *this);
    PreferenceDomain::synchronize(QStringLiteral("Date/Cal prefs CFPreferencesSynchronize failed"));
}

void TalvorCalPrefsSettings::writePrefsAndSync() {
    writePrefs();
    platform::DistributedNotificationCenter::defaultCenter().post(
        QStringLiteral("TalvorCalendarPrefsChangeNotification"));
}

void TalvorCalPrefsSettings::resetPrefsToDefaults() {
    settings::resetGroup(table(), *this, All);
}

void TalvorCalPrefsSettings::applyCalendarType() const {
    CalendarExtras::setUserCalendarIdentifier(CalendarType);
}

TalvorCalPrefsSettings::Scaling TalvorCalPrefsSettings::imageScaling() const {
    switch (CalendarImageScaleing) {
        case 0:
            return Scaling::Proportional;
        case 1:
            return Scaling::None;
        default:
            return Scaling::IndependentAxes;
    }
}

}  // namespace talvor
