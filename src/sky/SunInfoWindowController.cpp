#include "SunInfoWindowController.h"

#include "SunInfoWindow.h"
#include "SunTimeTexts.h"

#include "foundation/TalvorFilePaths.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QLabel>

namespace talvor {

std::optional<LocationTable> SunInfoWindowController::liveLocations() {
    return TalvorFilePaths::TalvorLoadLocationFile();
}

SunInfoWindowController::SunInfoWindowController(platform::Clock& clock, LocationSource locations,
                                                 QObject* parent)
    : QObject(parent),
      clock_(clock),
      locations_(std::move(locations)),
      day_(clock.now().toQDateTime().toTimeZone(clock.currentZone()).date()),
      resultsLabels_(SunTimeTexts::resultsLabels()),
      times_(SunTimeTexts::unknownTexts()),
      window_(std::make_unique<SunInfoWindow>()) {
    window_->setDay(day_);
    connect(window_.get(), &SunInfoWindow::dayChanged, this, &SunInfoWindowController::dateChanged);
}

SunInfoWindowController::~SunInfoWindowController() = default;

void SunInfoWindowController::dateChanged(const QDate& day) {
    if (!day.isValid()) {
        return;
    }
    day_ = day;
    window_->setDay(day);
    showInfoForSelectedCity();
}

void SunInfoWindowController::showInfoForSelectedCity() {
    const std::optional<LocationTable> table = locations_ ? locations_() : std::nullopt;
    location_ = table ? SunLocation::find(*table, cityName_) : std::nullopt;
    if (location_) {
        // Noon of the chosen day in the city's zone, so that the city's calendar day is the
        // one chosen whatever the machine's zone.
        const Date noon = Date::fromQDateTime(QDateTime(day_, QTime(12, 0), location_->zone));
        sunriset_.emplace(noon, location_->zone, location_->latitude, location_->longitude);
        times_ = SunTimeTexts::timeTexts(*sunriset_);
        window_->setNote(QString());
    } else {
        sunriset_.reset();
        times_ = SunTimeTexts::unknownTexts();
        window_->setNote(QStringLiteral("No position is known for this city."));
    }
    resultsLabels_ = SunTimeTexts::resultsLabels();
    window_->lblCityName()->setText(cityName_);
    window_->setRows(resultsLabels_, times_);
}

int SunInfoWindowController::numberOfRowsInTableView() const {
    return static_cast<int>(resultsLabels_.size());
}

QString SunInfoWindowController::objectValueForTableColumn(int column, int row) const {
    if (row < 0 || row >= resultsLabels_.size()) {
        return SunTimeTexts::kUnknown;
    }
    return column == 0 ? resultsLabels_.at(row) : times_.value(row, SunTimeTexts::kUnknown);
}

void SunInfoWindowController::showWindow() {
    window_->show();
    window_->raise();
    window_->activateWindow();
}

}  // namespace talvor
