#pragma once

#include <QString>

// Preference keys and notification names of the world room.
namespace talvor::keys {

// Floating clocks, in the preference domain.
inline const QString FloatingStates = QStringLiteral("FloatingStates");
inline const QString Floater = QStringLiteral("Floater");
inline const QString FloaterState = QStringLiteral("FloaterState");
inline const QString FloaterLeftAlign = QStringLiteral("FloaterLeftAlign");
inline const QString FloaterShowTimeZone = QStringLiteral("FloaterShowTimeZone");
inline const QString FloaterFont = QStringLiteral("FloaterFont");
inline const QString FloaterBGColor = QStringLiteral("FloaterBGColor");
inline const QString FloaterTextColor = QStringLiteral("FloaterTextColor");
// The calendar format ("%a %d, %I:%M %p" when absent) of the digital clocks' time.
inline const QString CustomFloatTime = QStringLiteral("CustomFloatTime");

// Floating clocks, in the standard user defaults.
inline const QString floatingTimeFormat = QStringLiteral("floatingTimeFormat");
inline const QString floatingDateFormat = QStringLiteral("floatingDateFormat");

// The floating-clock window's place, in the standard user defaults.
inline const QString TimeFloatWindowFrame =
    QStringLiteral("NSWindow Frame Talvor TimeFloat Window");
inline const QString TimeFloatScreen = QStringLiteral("NSScreenTalvorTimeFloat");
inline const QString TimeFloatAutosaveName = QStringLiteral("Talvor TimeFloat Window");

// The locations window.
inline const QString MenuBarOptBits = QStringLiteral("MenuBarOptBits");
inline const QString SortOrder = QStringLiteral("SortOrder");  // standard user defaults
inline const QString RowIndexDragType = QStringLiteral("Row Index");
inline const QString LocationsAutosaveName = QStringLiteral("Talvor Locations");

// Distributed notifications.
inline const QString TalvorFloatingClockPrefsChangeNotification =
    QStringLiteral("TalvorFloatingClockPrefsChangeNotification");
inline const QString TalvorLocationChangeNotification =
    QStringLiteral("TalvorLocationChangeNotification");

// The location picker's remembered choices, in the standard user defaults. The zone
// index is kept per region: "ZoneIndex" followed by the region's folder name.
inline const QString CategoryIndex = QStringLiteral("CategoryIndex");
inline const QString ZoneIndex = QStringLiteral("ZoneIndex");

}  // namespace talvor::keys
