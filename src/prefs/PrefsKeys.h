#pragma once

#include <QString>

// Preference keys and notification names the settings panes write. The shell reads the same
// keys to build what they describe.
namespace talvor::keys {

// The applications item: 32-bit integers 0 or 1 in the application preference domain.
inline const QString ASMFlag = QStringLiteral("ASMFlag");
inline const QString ASMIconFlag = QStringLiteral("ASMIconFlag");
inline const QString PrefsFlag = QStringLiteral("PrefsFlag");
inline const QString RecentFlag = QStringLiteral("RecentFlag");
// Despite its name, whether the menu lists the running applications.
inline const QString RecentList = QStringLiteral("RecentList");
inline const QString MenuExtraFlag = QStringLiteral("MenuExtraFlag");
inline const QString PrefsTimingFlag = QStringLiteral("PrefsTimingFlag");
inline const QString RecentSortFlag = QStringLiteral("RecentSortFlag");
// Non-zero: the program stays out of the taskbar.
inline const QString AppDockIconFlag = QStringLiteral("AppDockIconFlag");
// Distributed: the applications-item or taskbar settings were written.
inline const QString TalvorASMPrefsUdpateNotification =
    QStringLiteral("TalvorASMPrefsUdpateNotification");

// Whether the program may send usage data and crash reports to its developer (standard user
// defaults, a bool; absent means yes).
inline const QString ShareDataWithService = QStringLiteral("ShareDataWithService");

// The IP-echo page that answers a POST with the caller's address as text (application
// preference domain, text): a full http(s) URL, or a bare host or origin. Absent or empty:
// no external address is fetched. Set in the Menu Items pane, read by the time menu.
inline const QString IPEchoURL = QStringLiteral("IPEchoURL");

}  // namespace talvor::keys
