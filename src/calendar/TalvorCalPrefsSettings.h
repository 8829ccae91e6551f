#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace talvor {

namespace settings {
template <class Model>
struct Row;
}  // namespace settings

// The calendar window's settings, kept in the preference domain: months shown, window style
// and layer, picture scaling, double-click application, day-number place, month-name form,
// seven colours, three fonts and the calendar system. Main thread only.
class TalvorCalPrefsSettings {
  public:
    // The defaults; the shared instance is loaded from the domain.
    TalvorCalPrefsSettings();

    static TalvorCalPrefsSettings& sharedInstance();
    static std::unique_ptr<TalvorCalPrefsSettings> makeShared();

    enum ResetGroup { All };
    static const std::vector<settings::Row<TalvorCalPrefsSettings>>& table();

    // Synchronises the domain (a failure is logged), reads every key (absent or malformed:
    // the default), and makes the calendar system the one the month grids and the tick use.
    void loadPrefs();
    // Writes every key and synchronises; announces nothing.
    void writePrefs();
    // writePrefs, then "TalvorCalendarPrefsChangeNotification" to every process.
    void writePrefsAndSync();
    // Every default in memory, but the calendar system, which stays as stored.
    void resetPrefsToDefaults();
    // The calendar system becomes the user calendar (CalendarExtras) of this process; one ICU
    // does not know leaves the locale's own calendar in use.
    void applyCalendarType() const;

    static QString gregorian() { return QStringLiteral("gregorian"); }

    int32_t ShowNoOfCalendar = 0;
    int32_t CalendarWinType = 8223;
    int32_t CalendarWinLayer = 1;
    int32_t CalendarDoubleClickApp = 0;
    int32_t CalendarImageScaleing = 2;
    int32_t CalDayNoLocation = 0;
    int32_t ShortLongMonthName = 0;
    QColor CalendarWinBGolor;
    QColor CalendarWinBordarGolor;
    QColor CalendarWinRowGolor;
    QColor CalendarWinFrameGolor;
    QColor CalendarWinDayGolor;
    QColor CalendarWinDayOfWeekGolor;
    QColor CalendarWinMonthColor;
    QFont CalendarWinMonthFontSize;
    QFont CalendarWinDayFontSize;
    QFont CalendarWinDayOfWeekFontSize;
    QString CalendarType = gregorian();

    // What the window makes of the numbers.
    bool movableAndResizable() const { return CalendarWinType != 0; }
    enum class Scaling { Proportional, None, IndependentAxes };
    Scaling imageScaling() const;
};

}  // namespace talvor
