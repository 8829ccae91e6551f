#pragma once

// A workspace and a taskbar presence without a desktop: tests say what runs, what was used
// and which panels exist, and read back what was opened.

#include "platform/TaskbarPresence.h"
#include "platform/Workspace.h"

#include <QMap>
#include <QSet>

#include <vector>

namespace talvor::test {

class FakeWorkspace : public platform::Workspace {
  public:
    std::optional<platform::RunningApplication> frontmostApplication() const override {
        return frontmost;
    }
    std::vector<platform::RunningApplication> runningApplications() const override {
        ++runningApplicationsCalls;
        return running;
    }
    QStringList recentApplicationNames() const override { return recentNames; }
    std::optional<QString> fullPathForApplication(const QString& name) const override {
        const auto it = applicationPaths.find(name);
        return it == applicationPaths.end() ? std::nullopt : std::optional<QString>(*it);
    }
    QStringList settingsPanelFolders() const override { return panelFolders; }
    QStringList settingsPanelsInFolder(const QString& folder) const override {
        return panels.value(folder);
    }
    // The file name without ".desktop" unless told otherwise.
    QString displayNameAtPath(const QString& path) const override {
        const QString file = path.section(QLatin1Char('/'), -1);
        return displayNames.value(
            path, file.endsWith(QStringLiteral(".desktop")) ? file.chopped(8) : file);
    }
    QIcon iconForFile(const QString& path) const override { return icons.value(path); }
    bool openURL(const QUrl& url) override {
        openedURLs.push_back(url);
        return !failingOpens.contains(url.toString());
    }
    bool openFile(const QString& path) override {
        openedFiles.push_back(path);
        return !failingOpens.contains(path);
    }
    bool openFile(const QString& path, const QString& application) override {
        openedFiles.push_back(application + QStringLiteral(": ") + path);
        return !failingOpens.contains(application);
    }

    // Posts as the desktop would when an application comes, goes or comes to the front.
    void post(const QString& name, qint64 pid = 0) { notificationCenter().post(name, pid); }

    std::optional<platform::RunningApplication> frontmost;
    std::vector<platform::RunningApplication> running;
    QStringList recentNames;
    QMap<QString, QString> applicationPaths;  // name -> desktop entry
    QStringList panelFolders;
    QMap<QString, QStringList> panels;  // folder -> paths; a missing folder has none
    QMap<QString, QString> displayNames;
    QMap<QString, QIcon> icons;
    // URLs, paths and application names whose opening fails.
    QSet<QString> failingOpens;

    std::vector<QUrl> openedURLs;
    QStringList openedFiles;
    mutable int runningApplicationsCalls = 0;
};

class FakeTaskbarPresence : public platform::TaskbarPresence {
  public:
    bool showsInTaskbar() const override { return shows; }
    void setShowsInTaskbar(bool value) override {
        shows = value;
        ++changes;
    }
    bool shows = true;
    int changes = 0;
};

}  // namespace talvor::test
