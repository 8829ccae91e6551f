#pragma once

#include <QString>

namespace talvor {

// Notifications of the workspace (posted on the local centre by SystemEventMonitor).
inline const QString NSWorkspaceWillPowerOffNotification =
    QStringLiteral("NSWorkspaceWillPowerOffNotification");
inline const QString NSWorkspaceWillSleepNotification =
    QStringLiteral("NSWorkspaceWillSleepNotification");
inline const QString NSWorkspaceDidWakeNotification =
    QStringLiteral("NSWorkspaceDidWakeNotification");
inline const QString NSWorkspaceSessionDidBecomeActiveNotification =
    QStringLiteral("NSWorkspaceSessionDidBecomeActiveNotification");
inline const QString NSWorkspaceSessionDidResignActiveNotification =
    QStringLiteral("NSWorkspaceSessionDidResignActiveNotification");
inline const QString kScreenIsLockedNotification = QStringLiteral("com.apple.screenIsLocked");
inline const QString kScreenIsUnlockedNotification = QStringLiteral("com.apple.screenIsUnlocked");

// Posted on the distributed centre when the desktop's light/dark appearance changed.
inline const QString AppleInterfaceThemeChangedNotification =
    QStringLiteral("AppleInterfaceThemeChangedNotification");

// The reserved key name under which observers of every key are kept.
inline const QString IXSCNotificationCenterAnyNotification =
    QStringLiteral("IXSCNotificationCenterAnyNotification");
inline const QString kIXSCDefaultPattern = QStringLiteral("State:/Network/Interface/[^/]+/IPv4");
// The pattern the application shell watches (IPv4 and IPv6 keys).
inline const QString kIXSCShellPattern = QStringLiteral("State:/Network/Interface/[^/]+/IPv*.*");

// Settings (standard user defaults).
inline const QString kAppearanceSwitchKey = QStringLiteral("AppearanceSwitch");
inline const QString kLightModeTimeKey = QStringLiteral("LightModeTime");
inline const QString kDarkModeTimeKey = QStringLiteral("DarkModeTime");
inline const QString kCurrentLatitudeKey = QStringLiteral("CurrentLatitude");
inline const QString kCurrentLongitudeKey = QStringLiteral("CurrentLongitude");
inline const QString kStartAtLoginKey = QStringLiteral("StartAtLogin");
inline const QString kMoveToApplicationsFolderAlertSuppressKey =
    QStringLiteral("moveToApplicationsFolderAlertSuppress");

// The values of "AppearanceSwitch".
inline const QString kAppearanceSwitchOff = QStringLiteral("Off");
inline const QString kAppearanceSwitchManual = QStringLiteral("Manual");
inline const QString kAppearanceSwitchSunSetRise = QStringLiteral("SunSetRise");
inline const QString kAppearanceSwitchCustom = QStringLiteral("Custom");

}  // namespace talvor
