#pragma once

#include "EDSunriseSet.h"
#include "SunLocation.h"

#include "foundation/LocationRecord.h"

#include <QDate>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace talvor {

namespace platform {
class Clock;
}

class SunInfoWindow;

// The sun window: for one city of the location table and one chosen day, the eight sun
// times in the city's own zone. One controller is made on first use and kept; each later
// request sets the city and refreshes, and the day stays where the user left it.
//
// A city found in the table without a position (added from the picker or the address book)
// or not found at all shows its name with "?" times and a note, never another city's times.
class SunInfoWindowController : public QObject {
    Q_OBJECT
  public:
    // Where the table comes from; asked at each refresh. nullopt: no table to read.
    using LocationSource = std::function<std::optional<LocationTable>()>;
    // The live location table as the time menu reads it.
    static std::optional<LocationTable> liveLocations();

    // The window is made here, hidden, on today's date of the clock's zone.
    explicit SunInfoWindowController(platform::Clock& clock,
                                     LocationSource locations = liveLocations,
                                     QObject* parent = nullptr);
    ~SunInfoWindowController() override;

    const QString& cityName() const { return cityName_; }
    void setCityName(const QString& cityName) { cityName_ = cityName; }

    // Looks the city up again and recomputes the chosen day's times.
    void showInfoForSelectedCity();

    // The chosen day, a calendar day of the city (not of the machine's zone).
    QDate day() const { return day_; }
    // The day chooser's action: shows `day` and refreshes.
    void dateChanged(const QDate& day);

    // The last place found and its computed day; empty while the city is unknown.
    const std::optional<SunLocation>& location() const { return location_; }
    const std::optional<EDSunriseSet>& sunriset() const { return sunriset_; }

    int numberOfRowsInTableView() const;
    // Column 0: the row's caption; column 1: its time. "?" outside the rows.
    QString objectValueForTableColumn(int column, int row) const;

    SunInfoWindow* window() const { return window_.get(); }
    // Shows the window and brings it to the front.
    void showWindow();

  private:
    platform::Clock& clock_;
    LocationSource locations_;
    QString cityName_;
    QDate day_;
    std::optional<SunLocation> location_;
    std::optional<EDSunriseSet> sunriset_;
    QStringList resultsLabels_;
    QStringList times_;
    std::unique_ptr<SunInfoWindow> window_;
};

}  // namespace talvor
