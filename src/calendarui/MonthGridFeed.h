#pragma once

#include <QDate>
#include <QString>

#include <optional>

namespace talvor {

class myCalSettings;

namespace platform {
class UserDefaults;
}

// Gives a month grid's settings what the user chose for every month grid: the picture
// behind the months ("CalBGImagePath"), the special days of "SpecialDays.txt" and of a
// calendar ("bSpecialDays", "CalSpecialDaysPath") and the birthdays ("showAddressBDays").
// Only what changed since the last call is loaded again, so it can run on every show; a
// picture address with date fields is fetched again on a new day.
class MonthGridFeed {
  public:
    void apply(myCalSettings& settings, const platform::UserDefaults& defaults, const QDate& today);
    // The first weekday (the user's choice, else the user calendar's own), the week numbers
    // ("iShowWeek", when set) and the second calendar whose month starts are marked
    // ("SecondaryCalendar").
    static void applyWeekLayout(myCalSettings& settings, const platform::UserDefaults& defaults);

  private:
    std::optional<QString> picture_;
    QDate pictureDay_;
    std::optional<bool> specialDaysFile_;
    QString specialDaysCalendar_;
};

}  // namespace talvor
