#pragma once

#include "platform/Date.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <QVariantList>

#include <optional>
#include <set>

namespace talvor {

// The meeting planner's rows and arithmetic, without any widget: the chosen places, the
// moment chosen on a day, what each place's clock then reads, the working-hours grid and
// the exported plans.
class MeetingPlanner {
  public:
    // One place of the plan. `zoneId` empty: the machine's own zone (stored as "empty").
    struct Row {
        QString cityName;
        QString zoneId;
        // Only on the local-time row: whether the city name came from location services.
        std::optional<bool> actualCityName;
        bool operator==(const Row&) const = default;
    };
    // What a row shows at a moment.
    struct Times {
        QString time;  // "hh:mm"
        QString amPm;  // "AM" / "PM"
        QString date;  // "MM/dd"
        QString abbreviation;
        QString picture;  // "moon", "sunset", "sun", "moonset"
        int hour = 0;     // 0-23, in the row's zone
        bool working = false;
    };

    static constexpr int kMinutesADay = 1440;
    static const QString kLocalTime;  // "Local Time"

    // Working hours of every place: from 9:00 to before 17:00.
    int workStart = 9;
    int workEnd = 17;

    // The rows of a stored scheduler table; a missing table is empty. The local-time row is
    // added when neither a "Local Time" row nor one with "ActualCityName" is there, and then
    // `added` says the table should be saved.
    static MeetingPlanner fromTable(const std::optional<QVariantList>& table,
                                    bool* added = nullptr);
    QVariantList toTable() const;

    const QList<Row>& rows() const { return rows_; }
    // Appends a place unless a row already has its city name; false when refused.
    bool add(const Row& row);
    // Removes the given rows, never the local-time row; the row to select afterwards.
    int remove(const std::set<int>& indexes);
    static bool isLocalTimeRow(const Row& row);
    // Every row but one still reading "Local Time": once location services named the local
    // city, that row goes like any other.
    static bool isDeletable(const Row& row);
    // Location services named the local city: it replaces the first row.
    void setLocalCity(const QString& city);

    // `minutes` after midnight of `day` in `local`: elapsed minutes, so that on a day with a
    // clock change every position of the slider is a real, distinct moment, and the day's
    // year is kept.
    static Date momentAt(const QDate& day, int minutes, const QTimeZone& local);
    // The slider position of `now` on its own day in `local`.
    static int minutesIntoDay(Date now, const QTimeZone& local);

    // The zone of a row; the machine's (`local`) for the local-time row or an unknown id.
    static QTimeZone zoneOf(const Row& row, const QTimeZone& local);
    Times timesAt(const Row& row, Date moment, const QTimeZone& local) const;
    // The picture of an hour: moon before 6, sunset 6-8, sun 9-17, moonset 18-20, moon after.
    static QString pictureForHour(int hour);

    // Each row's 24 hours across the local day `day`: the hour the row's clock shows at
    // each local hour, and whether it is within working hours.
    QList<QList<Times>> dayGrid(const QDate& day, const QTimeZone& local) const;
    // The first local hour of `day` at which every row is within working hours; none when
    // the places never share one.
    std::optional<int> firstSharedWorkingHour(const QDate& day, const QTimeZone& local) const;

    // The plan as plain text and as an HTML table (texts escaped), from `moment` for
    // `duration` minutes.
    QString textExport(Date moment, int durationMinutes, const QTimeZone& local) const;
    QString htmlExport(Date moment, int durationMinutes, const QTimeZone& local) const;
    static QString webAddress();

  private:
    QList<Row> rows_;
};

}  // namespace talvor
