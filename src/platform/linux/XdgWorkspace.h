#pragma once

#include "X11ClientWindows.h"
#include "platform/DesktopApplications.h"
#include "platform/ProcessLauncher.h"
#include "platform/Workspace.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace talvor::platform {

// A running application with the windows it showed.
struct ResolvedApplication {
    RunningApplication application;
    std::vector<quint32> windows;
    QString key;  // tells applications apart between two looks at the windows
};

// Groups windows into applications: by process, or by window class when a window names no
// process; in the order of each one's first window. Names and icons come from the matching
// desktop entry, else from the windows (`windowIcon` is asked only then). Regular are the
// applications with a window in the taskbar.
std::vector<ResolvedApplication> resolveApplications(
    const std::vector<ClientWindow>& windows, const DesktopApplicationIndex& index,
    const std::function<QString(qint64 pid)>& executableOf,
    const std::function<QIcon(quint32 window)>& windowIcon);

// The workspace of a freedesktop desktop: running applications from the X server's windows,
// installed ones and settings panels from desktop entries in the XDG data folders, recent
// ones from the XDG recently-used list, and files opened through the desktop's tools.
class XdgWorkspace : public QObject, public Workspace {
    Q_OBJECT
  public:
    // `windows` nullptr: no X server, so no running applications and no events.
    explicit XdgWorkspace(std::unique_ptr<X11ClientWindows> windows,
                          ProcessLauncher& launcher = ProcessLauncher::shared());
    ~XdgWorkspace() override;
    // On the X display when there is one; without, says so once in the log.
    static std::unique_ptr<XdgWorkspace> create();

    std::optional<RunningApplication> frontmostApplication() const override;
    std::vector<RunningApplication> runningApplications() const override;
    QStringList recentApplicationNames() const override;
    std::optional<QString> fullPathForApplication(const QString& name) const override;
    QStringList settingsPanelFolders() const override;
    QStringList settingsPanelsInFolder(const QString& folder) const override;
    QString displayNameAtPath(const QString& path) const override;
    QIcon iconForFile(const QString& path) const override;
    bool openURL(const QUrl& url) override;
    bool openFile(const QString& path) override;
    bool openFile(const QString& path, const QString& application) override;

  private:
    const DesktopApplicationIndex& index() const;
    // Icons are the largest replies: leave them out when only telling applications apart.
    std::vector<ResolvedApplication> resolved(bool withIcons) const;
    std::optional<ResolvedApplication> frontmost(bool withIcon) const;
    QIcon windowIcon(quint32 window) const;
    void clientListChanged();
    void activeWindowChanged();
    bool launchEntry(const QString& path);
    bool openWithDesktop(const QString& target);

    std::unique_ptr<X11ClientWindows> windows_;
    ProcessLauncher& launcher_;
    // Read again when applications come or go, and for every look at the recent ones.
    mutable std::optional<DesktopApplicationIndex> index_;
    std::map<QString, qint64> running_;  // key -> process id
    std::optional<QString> frontmostKey_;
};

}  // namespace talvor::platform
