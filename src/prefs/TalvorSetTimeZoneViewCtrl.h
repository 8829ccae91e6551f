#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"
#include "platform/ProcessLauncher.h"
#include "platform/TimeZoneSetter.h"
#include "world/ZoneInfoTree.h"

#include <QComboBox>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace talvor {

using platform::openSystemSettings;
using platform::SettingsCommand;

// The "Set TimeZone" pane: picks a zone of the system's zone database and asks the system to
// make it the machine's zone; also opens the desktop's own date-and-time and region
// settings, a world map of the zones and the manual.
class TalvorSetTimeZoneViewCtrl : public PreferencePane {
    Q_OBJECT
  public:
    explicit TalvorSetTimeZoneViewCtrl(QString nibName, PaneDelegate delegate = {},
                                       ZoneInfoTree zoneTree = ZoneInfoTree());
    ~TalvorSetTimeZoneViewCtrl() override;

    static Manual::Section helpPage() { return Manual::Section::SetTimeZone; }
    static QUrl timeZoneMapPage();
    // The desktop tools of each kind, most common first.
    static const QList<SettingsCommand>& dateTimeSettings();
    static const QList<SettingsCommand>& regionSettings();

    // Asks the system for the zone chosen in the list; the answer shows in the status line.
    void setTimeZone();
    void openAppleTimeZone();
    void openAppleInt();
    void openTimeZoneMap();
    void helpBtnClicked();
    void OnVersionNoClicked();

    // Shows the zone `zoneId` in the lists; false when the database has no such zone.
    bool selectZone(const QString& zoneId);
    // The zone chosen in the list; none before the view is built or with an empty region.
    std::optional<QString> selectedZone() const;

    // Null until the view is built.
    QComboBox* regionPopUp() const { return regionPopUp_; }
    QComboBox* zonePopUp() const { return zonePopUp_; }
    QPushButton* setZoneButton() const { return setZoneButton_; }
    QLabel* currentZoneField() const { return currentZoneField_; }
    QLabel* statusField() const { return statusField_; }
    QPushButton* versionButton() const { return versionButton_; }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    void fillZones(const QString& regionTitle);
    void showCurrentZone();
    void answered(const QString& zoneId, const std::optional<platform::TimeZoneFailure>& failure);

    PaneDelegate delegate_;
    ZoneInfoTree zoneTree_;
    QPointer<QComboBox> regionPopUp_;
    QPointer<QComboBox> zonePopUp_;
    QPointer<QPushButton> setZoneButton_;
    QPointer<QLabel> currentZoneField_;
    QPointer<QLabel> statusField_;
    QPointer<QPushButton> versionButton_;
};

}  // namespace talvor
