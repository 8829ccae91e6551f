#pragma once

#include "NotificationCenter.h"

#include <QIcon>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <vector>

namespace talvor::platform {

// Posted on `Workspace::notificationCenter()` with the application's process id (qint64, 0
// when no window tells it) as the object.
inline const QString NSWorkspaceDidActivateApplicationNotification =
    QStringLiteral("NSWorkspaceDidActivateApplicationNotification");
inline const QString NSWorkspaceDidLaunchApplicationNotification =
    QStringLiteral("NSWorkspaceDidLaunchApplicationNotification");
inline const QString NSWorkspaceDidTerminateApplicationNotification =
    QStringLiteral("NSWorkspaceDidTerminateApplicationNotification");

// Regular applications have a window in the taskbar; accessory ones show only other windows
// (docks, dialogs, windows that skip the taskbar).
enum class ActivationPolicy { Regular, Accessory };

struct RunningApplication {
    qint64 processIdentifier = 0;  // 0 when no window tells it
    QString localizedName;
    // The id of its desktop entry; empty without one.
    QString bundleIdentifier;
    // Its desktop entry, else its executable; empty when neither is known.
    QUrl bundleURL;
    QIcon icon;
    ActivationPolicy activationPolicy = ActivationPolicy::Regular;
};

// The desktop around us: the applications the user runs and has used, the settings panels,
// icons of files, and opening things the way the desktop would. Main thread only.
class Workspace {
  public:
    Workspace();
    virtual ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // The process-wide workspace: the installed system's, else one without a desktop (no
    // applications, nothing opens). Tests put a fake in its place (nullptr: the real one).
    static Workspace& shared();
    static void setShared(Workspace* workspace);

    // Where activations, launches and terminations of applications are posted.
    NotificationCenter& notificationCenter() { return center_; }

    virtual std::optional<RunningApplication> frontmostApplication() const = 0;
    // Oldest first.
    virtual std::vector<RunningApplication> runningApplications() const = 0;

    // The names the recently used applications are known by, each once, in no set order.
    virtual QStringList recentApplicationNames() const = 0;
    // The desktop entry of the application known by `name`; nullopt when there is none.
    virtual std::optional<QString> fullPathForApplication(const QString& name) const = 0;

    // The folders holding the settings panels, in the order they are shown.
    virtual QStringList settingsPanelFolders() const = 0;
    // Full paths of the panels in one folder, in no set order; none when it is missing.
    virtual QStringList settingsPanelsInFolder(const QString& folder) const = 0;

    // The name the desktop shows for a file: an application's name for its desktop entry.
    virtual QString displayNameAtPath(const QString& path) const = 0;
    virtual QIcon iconForFile(const QString& path) const = 0;

    // A running application's URL brings it to the front; a desktop entry is launched;
    // anything else opens in its default application (a file: URL keeps its fragment). False
    // when nothing could be started or the file is missing.
    virtual bool openURL(const QUrl& url) = 0;
    virtual bool openFile(const QString& path) = 0;
    // Starts `application` (a program name or path) with the file as its argument.
    virtual bool openFile(const QString& path, const QString& application) = 0;

  private:
    NotificationCenter center_;
};

}  // namespace talvor::platform
