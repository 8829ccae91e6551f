#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

namespace talvor::platform {

// One application entry of the desktop (a desktop entry file of type Application).
struct DesktopApplication {
    QString id;  // "org.gnome.Nautilus" for applications/org.gnome.Nautilus.desktop
    QString path;
    QString name;  // in the user's language where the entry has it
    QString icon;  // a theme icon name or an absolute path
    QString startupWMClass;
    QStringList exec;  // the Exec line split into arguments
    QStringList categories;
    bool noDisplay = false;
};

// The installed applications as the desktop sees them: the desktop entries of the XDG data
// folders, the user's own first, an id seen once (later copies are shadowed). A snapshot:
// built when made, read from disk again only by a new one.
class DesktopApplicationIndex {
  public:
    // `folders`: the applications folders, strongest first.
    explicit DesktopApplicationIndex(const QStringList& folders = applicationFolders());

    // $XDG_DATA_HOME; each of $XDG_DATA_DIRS (by default /usr/local/share, /usr/share); the
    // applications folders of both, the user's first.
    static QString userDataDir();
    static QStringList systemDataDirs();
    static QStringList applicationFolders();

    // The entry at `path`; nullopt unless it is a readable application entry that is not
    // marked Hidden. `id` names it (empty: the file name without ".desktop").
    static std::optional<DesktopApplication> readEntry(const QString& path,
                                                       const QString& id = QString());
    static QIcon icon(const DesktopApplication& entry);

    const std::vector<DesktopApplication>& entries() const { return entries_; }
    const DesktopApplication* entryWithId(const QString& id) const;
    // The entry of the application whose windows carry this WM_CLASS (instance, class) and
    // whose process runs `executable` (empty: unknown), or nullptr.
    const DesktopApplication* entryForWindow(const QString& wmInstance, const QString& wmClass,
                                             const QString& executable) const;
    // The entry of an application known by `name`: its id, its name, its program or its
    // window class (case does not matter), or nullptr.
    const DesktopApplication* entryForName(const QString& name) const;

  private:
    // The canonical path of the entry's program; empty when it is not installed.
    QString programOf(const DesktopApplication& entry) const;

    std::vector<DesktopApplication> entries_;
    mutable std::map<QString, QString> programs_;
};

// The applications named in an XDG recently-used list (recently-used.xbel): each name once,
// in the order first met. A list that cannot be read gives none, or those read before the
// damage, with a log line.
QStringList recentlyUsedApplicationNames(const QString& xbelPath);

// The desktop entries in `folder` that open a settings panel: category Settings, not
// Hidden. Full paths, hidden files included, in no set order.
QStringList settingsPanelEntries(const QString& folder);

}  // namespace talvor::platform
