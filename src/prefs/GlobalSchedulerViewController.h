#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"
#include "world/MeetingPlanner.h"
#include "world/ZoneInfoTree.h"

#include <QDate>
#include <QPointer>

#include <memory>
#include <optional>
#include <utility>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QTableWidget;

namespace talvor {

// The meeting planner: the chosen places side by side, what their clocks read at a moment
// chosen on a day, their working hours across that day, the end of a meeting of a given
// length, and the plan exported by e-mail or to the clipboard. The places are kept in the
// scheduler table after every change; one row always stands for the local time.
class GlobalSchedulerViewController : public PreferencePane {
    Q_OBJECT
  public:
    explicit GlobalSchedulerViewController(QString nibName, PaneDelegate delegate = {},
                                           ZoneInfoTree zones = ZoneInfoTree());
    ~GlobalSchedulerViewController() override;

    const MeetingPlanner& planner() const { return planner_; }
    // The moment the slider and the date choose (now until either is moved).
    Date moment() const;
    int durationMinutes() const;

    // Actions of the controls.
    void ZoneDidChange();
    // Adds the zone chosen in the picker; false when it is there already.
    bool addChosenZone();
    void deleteSelectedTimeZone();
    // Moves the moment; adding and deleting wait for "Now".
    void sliderChanged(int minutes);
    // "Now": the moment back to now and the duration back to 60 minutes.
    void resetTime();
    void actScheduleMeeting(bool on);
    void actEmailBtnClicked();
    void actTextBtnClicked();
    void showGlobalScheduler(bool on);
    // Shows the planner's rows again at the current moment.
    void reload();

    // The position source's delegate: updates are asked for while allowed or not yet
    // decided; a refusal stops them and says how to allow them; a new position names the
    // local-time row after the nearest city of the bundled city table.
    void didChangeAuthorization(platform::LocationService::Authorization status);
    void didUpdateLocation(double latitude, double longitude);
    void didFailWithError(const QString& error);

    QTableWidget* rowsTable() const;
    QTableWidget* gridTable() const;

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    // The steps of loadView, in the order the controls appear.
    void buildShowBox(QWidget& view, QBoxLayout& root);
    void buildMoment(QWidget& view, QBoxLayout& root);
    void buildPlacesTable(QWidget& view, QBoxLayout& root);
    void buildHourGrid(QWidget& view, QBoxLayout& root);
    void buildPlaceEditor(QWidget& view, QBoxLayout& root);
    void buildMeeting(QWidget& view, QBoxLayout& root);
    void buildLinks(QWidget& view, QBoxLayout& root);
    void save();
    // The moment back to now (the slider, the day), adding enabled; the duration stays.
    void backToNow();
    void startLocating();
    QTimeZone localZone() const;
    QDate chosenDay() const;

    PaneDelegate delegate_;
    ZoneInfoTree zones_;
    MeetingPlanner planner_;
    bool isScrollUpdate_ = false;
    QPointer<QTableWidget> rows_;
    QPointer<QTableWidget> grid_;
    QPointer<QSlider> slider_;
    QPointer<QDateEdit> date_;
    QPointer<QLabel> momentLabel_;
    QPointer<QComboBox> region_;
    QPointer<QComboBox> zone_;
    QPointer<QPushButton> add_;
    QPointer<QPushButton> delete_;
    QPointer<QPushButton> reset_;
    QPointer<QCheckBox> meeting_;
    QPointer<QSlider> durationSlider_;
    QPointer<QSpinBox> duration_;
    QPointer<QPushButton> email_;
    QPointer<QPushButton> copy_;
    std::unique_ptr<platform::LocationService> locationManager_;
    std::optional<std::pair<double, double>> lastPosition_;
};

}  // namespace talvor
