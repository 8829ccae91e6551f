#include "XdgWorkspace.h"

#include "platform/Log.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QPixmap>

#include <algorithm>
#include <iterator>
#include <utility>

namespace talvor::platform {
namespace {

bool isDesktopEntry(const QString& path) {
    return path.endsWith(QStringLiteral(".desktop"));
}

QString executableOfProcess(qint64 pid) {
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
}

QString keyOf(const ClientWindow& window) {
    if (window.pid) {
        return QStringLiteral("pid:%1").arg(*window.pid);
    }
    return window.wmClass.isEmpty() ? QStringLiteral("window:%1").arg(window.window)
                                    : QStringLiteral("class:") + window.wmClass;
}

std::vector<RunningApplication> applicationsOf(const std::vector<ResolvedApplication>& resolved) {
    std::vector<RunningApplication> apps;
    apps.reserve(resolved.size());
    for (const ResolvedApplication& r : resolved) {
        apps.push_back(r.application);
    }
    return apps;
}

}  // namespace

std::vector<ResolvedApplication> resolveApplications(
    const std::vector<ClientWindow>& windows, const DesktopApplicationIndex& index,
    const std::function<QString(qint64 pid)>& executableOf,
    const std::function<QIcon(quint32 window)>& windowIcon) {
    std::vector<ResolvedApplication> apps;
    for (const ClientWindow& window : windows) {
        const QString key = keyOf(window);
        auto it = std::find_if(apps.begin(), apps.end(),
                               [&](const ResolvedApplication& a) { return a.key == key; });
        if (it == apps.end()) {
            ResolvedApplication resolved;
            resolved.key = key;
            RunningApplication& app = resolved.application;
            app.processIdentifier = window.pid.value_or(0);
            app.activationPolicy = ActivationPolicy::Accessory;
            const QString exe = window.pid ? executableOf(*window.pid) : QString();
            if (const DesktopApplication* entry =
                    index.entryForWindow(window.wmInstance, window.wmClass, exe)) {
                app.localizedName = entry->name.isEmpty() ? entry->id : entry->name;
                app.bundleIdentifier = entry->id;
                app.bundleURL = QUrl::fromLocalFile(entry->path);
                app.icon = DesktopApplicationIndex::icon(*entry);
            } else {
                app.localizedName = window.wmClass.isEmpty() ? window.title : window.wmClass;
                if (!exe.isEmpty()) {
                    app.bundleURL = QUrl::fromLocalFile(exe);
                }
            }
            if (app.icon.isNull()) {
                app.icon = windowIcon(window.window);
            }
            apps.push_back(std::move(resolved));
            it = std::prev(apps.end());
        }
        it->windows.push_back(window.window);
        if (window.inTaskbar) {
            it->application.activationPolicy = ActivationPolicy::Regular;
        }
    }
    return apps;
}

XdgWorkspace::XdgWorkspace(std::unique_ptr<X11ClientWindows> windows, ProcessLauncher& launcher)
    : windows_(std::move(windows)), launcher_(launcher) {
    if (!windows_) {
        return;
    }
    connect(windows_.get(), &X11ClientWindows::clientListChanged, this,
            &XdgWorkspace::clientListChanged);
    connect(windows_.get(), &X11ClientWindows::activeWindowChanged, this,
            &XdgWorkspace::activeWindowChanged);
    for (const ResolvedApplication& app : resolved(false)) {
        running_[app.key] = app.application.processIdentifier;
    }
    if (const std::optional<ResolvedApplication> front = frontmost(false)) {
        frontmostKey_ = front->key;
    }
}

XdgWorkspace::~XdgWorkspace() = default;

std::unique_ptr<XdgWorkspace> XdgWorkspace::create() {
    QString why;
    std::unique_ptr<X11ClientWindows> windows = X11ClientWindows::open(&why);
    if (!windows) {
        log(QStringLiteral("Workspace: %1; running applications are not listed").arg(why));
    }
    return std::make_unique<XdgWorkspace>(std::move(windows));
}

const DesktopApplicationIndex& XdgWorkspace::index() const {
    if (!index_) {
        index_.emplace();
    }
    return *index_;
}

QIcon XdgWorkspace::windowIcon(quint32 window) const {
    const QImage image = windows_ ? windows_->icon(window, 16) : QImage();
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

std::vector<ResolvedApplication> XdgWorkspace::resolved(bool withIcons) const {
    if (!windows_) {
        return {};
    }
    return resolveApplications(
        windows_->clients(), index(), executableOfProcess,
        [this, withIcons](quint32 window) { return withIcons ? windowIcon(window) : QIcon(); });
}

std::optional<ResolvedApplication> XdgWorkspace::frontmost(bool withIcon) const {
    const std::optional<quint32> active = windows_ ? windows_->activeWindow() : std::nullopt;
    if (!active) {
        return std::nullopt;
    }
    std::optional<ResolvedApplication> front;
    for (ResolvedApplication& app : resolved(false)) {
        if (std::find(app.windows.begin(), app.windows.end(), *active) != app.windows.end()) {
            front = std::move(app);
            break;
        }
    }
    // Active windows outside the list (a desktop, a panel) still belong to someone.
    if (!front) {
        const std::optional<ClientWindow> window = windows_->describe(*active);
        if (!window) {
            return std::nullopt;
        }
        front = std::move(resolveApplications({*window}, index(), executableOfProcess, [](quint32) {
                              return QIcon();
                          }).front());
    }
    if (withIcon && front->application.icon.isNull()) {
        front->application.icon = windowIcon(*active);
    }
    return front;
}

std::optional<RunningApplication> XdgWorkspace::frontmostApplication() const {
    std::optional<ResolvedApplication> front = frontmost(true);
    if (!front) {
        return std::nullopt;
    }
    return std::move(front->application);
}

std::vector<RunningApplication> XdgWorkspace::runningApplications() const {
    return applicationsOf(resolved(true));
}

void XdgWorkspace::clientListChanged() {
    // A launch may come from a newly installed application.
    index_.reset();
    std::map<QString, qint64> now;
    for (const ResolvedApplication& app : resolved(false)) {
        now[app.key] = app.application.processIdentifier;
    }
    const std::map<QString, qint64> before = std::exchange(running_, now);
    for (const auto& [key, pid] : before) {
        if (now.count(key) == 0) {
            notificationCenter().post(NSWorkspaceDidTerminateApplicationNotification, pid);
        }
    }
    for (const auto& [key, pid] : now) {
        if (before.count(key) == 0) {
            notificationCenter().post(NSWorkspaceDidLaunchApplicationNotification, pid);
        }
    }
}

void XdgWorkspace::activeWindowChanged() {
    const std::optional<ResolvedApplication> front = frontmost(false);
    // Moving between windows of one application activates nothing.
    if (!front || front->key == frontmostKey_) {
        return;
    }
    frontmostKey_ = front->key;
    notificationCenter().post(NSWorkspaceDidActivateApplicationNotification,
                              front->application.processIdentifier);
}

QStringList XdgWorkspace::recentApplicationNames() const {
    index_.reset();
    return recentlyUsedApplicationNames(DesktopApplicationIndex::userDataDir() +
                                        QStringLiteral("/recently-used.xbel"));
}

std::optional<QString> XdgWorkspace::fullPathForApplication(const QString& name) const {
    const DesktopApplication* entry = index().entryForName(name);
    return entry != nullptr ? std::optional<QString>(entry->path) : std::nullopt;
}

QStringList XdgWorkspace::settingsPanelFolders() const {
    QStringList folders;
    for (const QString& dir : DesktopApplicationIndex::systemDataDirs()) {
        folders << dir + QStringLiteral("/applications");
    }
    folders << DesktopApplicationIndex::userDataDir() + QStringLiteral("/applications");
    folders.removeDuplicates();
    return folders;
}

QStringList XdgWorkspace::settingsPanelsInFolder(const QString& folder) const {
    return settingsPanelEntries(folder);
}

QString XdgWorkspace::displayNameAtPath(const QString& path) const {
    const QFileInfo file(path);
    if (!isDesktopEntry(path)) {
        return file.fileName();
    }
    const std::optional<DesktopApplication> entry = DesktopApplicationIndex::readEntry(path);
    return entry && !entry->name.isEmpty() ? entry->name : file.completeBaseName();
}

QIcon XdgWorkspace::iconForFile(const QString& path) const {
    if (isDesktopEntry(path)) {
        const std::optional<DesktopApplication> entry = DesktopApplicationIndex::readEntry(path);
        return entry ? DesktopApplicationIndex::icon(*entry) : QIcon();
    }
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    return QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
}

bool XdgWorkspace::openURL(const QUrl& url) {
    if (windows_ && !url.isEmpty()) {
        for (const ResolvedApplication& app : resolved(false)) {
            if (app.application.bundleURL == url && !app.windows.empty()) {
                windows_->activate(app.windows.back());
                return true;
            }
        }
    }
    if (url.isLocalFile()) {
        const QString path = url.toLocalFile();
        if (!url.hasFragment() && !url.hasQuery()) {
            return openFile(path);
        }
        // A place in a page (a manual's section): the whole URL goes to the viewer.
        return QFileInfo::exists(path) && openWithDesktop(url.toString(QUrl::FullyEncoded));
    }
    return openWithDesktop(url.toString(QUrl::FullyEncoded));
}

bool XdgWorkspace::openFile(const QString& path) {
    if (!QFileInfo::exists(path)) {
        return false;
    }
    return isDesktopEntry(path) ? launchEntry(path) : openWithDesktop(path);
}

bool XdgWorkspace::openFile(const QString& path, const QString& application) {
    const QString program = launcher_.findExecutable(application);
    if (program.isEmpty() || !QFileInfo::exists(path)) {
        return false;
    }
    return launcher_.startDetached(program, {path});
}

bool XdgWorkspace::launchEntry(const QString& path) {
    // gio follows the whole entry (terminal, D-Bus activation, startup notification).
    const QString gio = launcher_.findExecutable(QStringLiteral("gio"));
    if (!gio.isEmpty()) {
        return launcher_.startDetached(gio, {QStringLiteral("launch"), path});
    }
    const std::optional<DesktopApplication> entry = DesktopApplicationIndex::readEntry(path);
    if (!entry || entry->exec.isEmpty()) {
        return false;
    }
    const QString program = launcher_.findExecutable(entry->exec.front());
    return !program.isEmpty() && launcher_.startDetached(program, entry->exec.mid(1));
}

bool XdgWorkspace::openWithDesktop(const QString& target) {
    const QString xdgOpen = launcher_.findExecutable(QStringLiteral("xdg-open"));
    if (!xdgOpen.isEmpty()) {
        return launcher_.startDetached(xdgOpen, {target});
    }
    const QString gio = launcher_.findExecutable(QStringLiteral("gio"));
    if (!gio.isEmpty()) {
        return launcher_.startDetached(gio, {QStringLiteral("open"), target});
    }
    log(QStringLiteral("Workspace: neither xdg-open nor gio is installed; cannot open %1")
            .arg(target));
    return false;
}

}  // namespace talvor::platform
