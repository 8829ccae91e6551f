#pragma once

#include <QString>

// Preference keys and notification names of the foundation room.
namespace talvor::keys {

// Time item and time menu.
inline const QString TalvorShowTimeMenuPref = QStringLiteral("TalvorShowTimeMenuPref");
inline const QString TalvorTimeICONPref = QStringLiteral("TalvorTimeICONPref");
inline const QString TalvorTimeFlashSepPref = QStringLiteral("TalvorTimeFlashSepPref");
// The text between the hours, minutes and seconds of the time item (":" when absent).
inline const QString TimeSeparator = QStringLiteral("TimeSeparator");
inline const QString timeDrowShadow = QStringLiteral("timeDrowShadow");
inline const QString TimeFont = QStringLiteral("TimeFont");
inline const QString TextColorTime = QStringLiteral("TextColorTime");
inline const QString TextColorTimeDMode = QStringLiteral("TextColorTimeDMode");
inline const QString CustomTime = QStringLiteral("CustomTime");
inline const QString alarmShow = QStringLiteral("alarmShow");
inline const QString take5Show = QStringLiteral("take5Show");
inline const QString dateDiffCalcShow = QStringLiteral("dateDiffCalcShow");
inline const QString globalSchedulerShow = QStringLiteral("globalSchedulerShow");
inline const QString lightDarkModeShow = QStringLiteral("lightDarkModeShow");
inline const QString countDownShow = QStringLiteral("countDownShow");
inline const QString timeShowLocation = QStringLiteral("timeShowLocation");
inline const QString ipShow = QStringLiteral("ipShow");
inline const QString internalIpShow = QStringLiteral("internalIpShow");
inline const QString ipv4IpShow = QStringLiteral("ipv4IpShow");
inline const QString ipv6IpShow = QStringLiteral("ipv6IpShow");
inline const QString TimeHideCountry = QStringLiteral("TimeHideCountry");
inline const QString TimeOnlineInfo = QStringLiteral("TimeOnlineInfo");
inline const QString timeLocDrowShadow = QStringLiteral("timeLocDrowShadow");
inline const QString LocFont = QStringLiteral("LocFont");
inline const QString TextColorLoc = QStringLiteral("TextColorLoc");
inline const QString CustomLocTime = QStringLiteral("CustomLocTime");
inline const QString hasUpgradedTimeFormat = QStringLiteral("hasUpgradedTimeFormat");

// Date item, moon and calendar window.
inline const QString TalvorCalMoonPref = QStringLiteral("TalvorCalMoonPref");
inline const QString TalvorCalMoonHemPref = QStringLiteral("TalvorCalMoonHemPref");
inline const QString TalvorCalMoonToolTipPref = QStringLiteral("TalvorCalMoonToolTipPref");
inline const QString calEnableWindowClickStrKey = QStringLiteral("calEnableWindowClickStrKey");
inline const QString calHideToDoEventSectionStrKey =
    QStringLiteral("calHideToDoEventSectionStrKey");
inline const QString TalvorCalFloatOnTopPref = QStringLiteral("TalvorCalFloatOnTopPref");
inline const QString TalvorCalAttachedPref = QStringLiteral("TalvorCalAttachedPref");
inline const QString TalvorShowDateMenuPref = QStringLiteral("TalvorShowDateMenuPref");
inline const QString TalvorCalDateInMenuPref = QStringLiteral("TalvorCalDateInMenuPref");
inline const QString dateDrowShadow = QStringLiteral("dateDrowShadow");
inline const QString DateFont = QStringLiteral("DateFont");
inline const QString TextColorDate = QStringLiteral("TextColorDate");
inline const QString TextColorDateDMode = QStringLiteral("TextColorDateDMode");
inline const QString CustomDate = QStringLiteral("CustomDate");
inline const QString hasUpgradedDateFormat = QStringLiteral("hasUpgradedDateFormat");

// The global domain's appearance.
inline const QString AppleInterfaceStyle = QStringLiteral("AppleInterfaceStyle");

// Distributed: the time or date settings were written.
inline const QString TalvorMenuBarDatePrefsChangeNotification =
    QStringLiteral("TalvorMenuBarDatePrefsChangeNotification");
// Distributed: the menu-bar settings changed outside the time and date models.
inline const QString TalvorMenuBarPrefsChangeNotification =
    QStringLiteral("TalvorMenuBarPrefsChangeNotification");
// Distributed: a pane stored settings that other processes should re-read.
inline const QString TalvorSettingsUpdatedNotification =
    QStringLiteral("TalvorSettingsUpdatedNotification");

}  // namespace talvor::keys
