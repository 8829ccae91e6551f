#pragma once

#include <QString>

// Preference keys and notification names of the application shell.
namespace talvor::keys {

// The applications item (integers in the application preference domain; each one's meaning
// when missing is given where it is read).
inline const QString ASMFlag = QStringLiteral("ASMFlag");
inline const QString ASMIconFlag = QStringLiteral("ASMIconFlag");
inline const QString RecentList = QStringLiteral("RecentList");
inline const QString RecentFlag = QStringLiteral("RecentFlag");
inline const QString PrefsFlag = QStringLiteral("PrefsFlag");
inline const QString AppDockIconFlag = QStringLiteral("AppDockIconFlag");
// Posted on the distributed centre by the applications-menu pane after it wrote the keys.
inline const QString TalvorASMPrefsUdpateNotification =
    QStringLiteral("TalvorASMPrefsUdpateNotification");

}  // namespace talvor::keys
