#pragma once

#include "AppleInterfaceStyle.h"
#include "platform/Date.h"
#include "platform/LocationService.h"
#include "platform/ProcessLauncher.h"

#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;

namespace talvor {

// What the pane asks of the application above it.
struct SwitchLightDarkDelegate {
    std::function<void(int code)> UpdateMenu;  // 11: the light/dark items
    std::function<void()> openLocationSystemPrefrences;
    std::function<void(const QUrl& url)> openURL;  // empty: the desktop's browser
    // Shows the warning when the position is refused; empty: a message box.
    std::function<void(const QString& informativeText)> showLocationDeniedAlert;
    // Makes the position source; empty: LocationService::create.
    std::function<std::unique_ptr<platform::LocationService>()> makeLocationManager;
};

// Two exclusive segments, "Light" (0) and "Dark" (1).
class SegmentedControl : public QWidget {
    Q_OBJECT
  public:
    explicit SegmentedControl(const QStringList& labels, QWidget* parent = nullptr);
    int selectedSegment() const;
    void setSelectedSegment(int segment);
    QAbstractButton* segmentButton(int segment) const;

  signals:
    void activated(int segment);

  private:
    QButtonGroup* group_;
};

// The light/dark settings pane: the mode (Off, Manual, SunSetRise, Custom) in
// "AppearanceSwitch", the two times of the custom mode, the hand-set appearance, the
// position for the sunrise mode, and whether the time menu shows the light/dark command.
class SwitchLightDarkVC : public QWidget {
    Q_OBJECT
  public:
    static constexpr const char* kHelpHost = "https://larkspindle.com";

    explicit SwitchLightDarkVC(SwitchLightDarkDelegate delegate = {}, QWidget* parent = nullptr);
    ~SwitchLightDarkVC() override;

    // The defaults of the custom times: 06:00 and 18:00 on 2019-01-11 in the current zone.
    // The desktop's location settings (GNOME Settings' Location page; KDE has none): what the
    // denied alert leads to.
    static const QList<platform::SettingsCommand>& locationSettings();
    static Date defaultLightModeTime();
    static Date defaultDarkModeTime();

    // Actions.
    void switchAppearanceAt(int row);
    void switchSelectedApperanceMode(int segment);
    void lightmodeTime();
    void darkmodeTime();
    void showLightDarkModeMenu(Qt::CheckState state);
    void helpButtonClicked();
    void OnVersionNoClicked();

    // The location delegate.
    void didUpdateLocation(double latitude, double longitude);
    void didFailWithError(const QString& error);
    void didChangeAuthorization(platform::LocationService::Authorization status);

    // The controls, for the host and for tests.
    SegmentedControl* selectedModeSegment() const { return selectedModeSegment_; }
    QButtonGroup* radioBtnSwitch() const { return radioBtnSwitch_; }
    QLabel* label_light() const { return labelLight_; }
    QLabel* label_dark() const { return labelDark_; }
    QDateTimeEdit* timePicker_light() const { return timePickerLight_; }
    QDateTimeEdit* timePicker_dark() const { return timePickerDark_; }
    QCheckBox* menuBtn() const { return menuBtn_; }
    QPushButton* versionNoBtn() const { return versionNoBtn_; }
    platform::LocationService* locationManager() const { return locationManager_.get(); }
    // The selected row, -1 when none.
    int selectedRow() const;

  private:
    void viewDidLoad();
    void listenForChanges();
    ChangeReactorResponse react(AppleInterfaceStyle style);
    void setTimeControlsVisible(bool visible);
    void selectRow(int row);
    void startLocationUpdates();
    void openPage(const QString& path);

    SwitchLightDarkDelegate delegate_;
    SegmentedControl* selectedModeSegment_ = nullptr;
    QButtonGroup* radioBtnSwitch_ = nullptr;
    QLabel* labelLight_ = nullptr;
    QLabel* labelDark_ = nullptr;
    QDateTimeEdit* timePickerLight_ = nullptr;
    QDateTimeEdit* timePickerDark_ = nullptr;
    QCheckBox* menuBtn_ = nullptr;
    QPushButton* versionNoBtn_ = nullptr;
    std::unique_ptr<platform::LocationService> locationManager_;
    AppearanceObservation reactor_;
};

}  // namespace talvor
