#include "ApplicationsMenu.h"

#include "foundation/PreferenceDomain.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "prefs/PrefsKeys.h"

#include <QCollator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <utility>

namespace talvor {
namespace {

using platform::Menu;
using platform::MenuItem;

const QString kRecentItems = QStringLiteral("Recent Items");
// What the desktops call their settings panels.
const QString kSystemPreferences = QStringLiteral("System Settings");
const QString kPaneFolderMarker = QStringLiteral("---");
// Asked to open a panel when the desktop could not.
const QString kSystemSettingsApplication = QStringLiteral("gnome-control-center");

// Missing counts as `missing`.
bool flagOn(const QString& key, qint32 missing) {
    return PreferenceDomain::readInteger(key, missing) != 0;
}

QImage image16(const QIcon& icon) {
    const QSize size(16, 16);
    QImage image = icon.isNull() ? QImage() : icon.pixmap(size).toImage();
    if (!image.isNull() && image.size() != size) {
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

// Names here carry dots that are no extensions ("org.gnome.Nautilus", "Qt 6.4 Designer"):
// only the suffix of a desktop entry is one.
QString withoutExtension(const QString& name) {
    const QString suffix = QStringLiteral(".desktop");
    return name.endsWith(suffix) ? name.chopped(suffix.size()) : name;
}

QCollator caseInsensitiveCollator() {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

}  // namespace

ApplicationsMenu::ApplicationsMenu(std::function<void()> showAppMenuPreferences,
                                   platform::Workspace& workspace, platform::StatusBar& statusBar,
                                   platform::TaskbarPresence& presence)
    : showAppMenuPreferences_(std::move(showAppMenuPreferences)),
      workspace_(workspace),
      TalvorBar_(statusBar),
      presence_(presence) {}

ApplicationsMenu::~ApplicationsMenu() {
    if (TalvorASM_) {
        TalvorBar_.removeStatusItem(TalvorASM_.get());
    }
    // The items' actions point here; a presenter may still hold the menu.
    if (asmMenu_) {
        asmMenu_->setDelegate({});
        asmMenu_->removeAllItems();
    }
}

void ApplicationsMenu::setupASMMenu(bool withMenu) {
    if (!flagOn(keys::ASMFlag, 0)) {
        if (TalvorASM_) {
            TalvorBar_.removeStatusItem(TalvorASM_.get());
            TalvorASM_.reset();
        }
        return;
    }
    if (!TalvorASM_) {
        TalvorASM_ = TalvorBar_.statusItemWithLength(platform::VariableStatusItemLength);
        registerObservers();
    }
    TalvorASM_->setTitle(QString());
    applicationActived();
    if (withMenu || asmMenu_) {
        applicationChange();
        TalvorASM_->setMenu(asmMenu_);
    }
}

void ApplicationsMenu::buildMenu() {
    if (TalvorASM_ && !asmMenu_) {
        applicationChange();
        TalvorASM_->setMenu(asmMenu_);
    }
}

void ApplicationsMenu::registerObservers() {
    // Once for the life of the menu: the item may come and go many times.
    if (!observations_.empty()) {
        return;
    }
    platform::NotificationCenter& center = workspace_.notificationCenter();
    // Nothing shows the menu while the item is off, so it waits for the next setup.
    const auto whileShown = [this](void (ApplicationsMenu::*operation)()) {
        return [this, operation](const platform::Notification&) {
            if (TalvorASM_) {
                (this->*operation)();
            }
        };
    };
    observations_.push_back(
        center.addObserver(platform::NSWorkspaceDidActivateApplicationNotification, QVariant(),
                           whileShown(&ApplicationsMenu::applicationActived)));
    observations_.push_back(
        center.addObserver(platform::NSWorkspaceDidTerminateApplicationNotification, QVariant(),
                           whileShown(&ApplicationsMenu::applicationChange)));
    observations_.push_back(
        center.addObserver(platform::NSWorkspaceDidLaunchApplicationNotification, QVariant(),
                           whileShown(&ApplicationsMenu::applicationChange)));
}

void ApplicationsMenu::applicationActived() {
    if (!TalvorASM_) {
        return;
    }
    const std::optional<platform::RunningApplication> front = workspace_.frontmostApplication();
    TalvorASM_->setImage(front ? image16(front->icon) : QImage());
    if (!flagOn(keys::ASMIconFlag, 1)) {
        TalvorASM_->setTitle(front ? front->localizedName : QString());
    }
}

void ApplicationsMenu::applicationChange() {
    if (!asmMenu_) {
        asmMenu_ = Menu::create(QString());
        asmMenu_->setDelegate({.menuWillOpen = [this](Menu&) { retitleRunning(); },
                               .menuDidClose =
                                   [this](Menu&) {
                                       // Queued: the item chosen as the menu closed runs its action
                                       // first.
                                       if (std::exchange(rebuildWhenClosed_, false)) {
                                           QMetaObject::invokeMethod(
                                               asmMenu_.get(), [this] { applicationChange(); },
                                               Qt::QueuedConnection);
                                       }
                                   }});
    } else if (asmMenu_->isOpen()) {
        rebuildWhenClosed_ = true;
        return;
    } else {
        asmMenu_->removeAllItems();
    }

    const std::vector<platform::RunningApplication> running = workspace_.runningApplications();
    const Date now = platform::Clock::shared().now();
    QHash<QString, Date> seen;
    for (const platform::RunningApplication& app : running) {
        const QString id = app.bundleURL.toString();
        seen.insert(id, firstSeen_.value(id, now));
    }
    firstSeen_ = std::move(seen);
    if (flagOn(keys::RecentList, 1)) {
        // Each at the top: the newest application comes first.
        for (const platform::RunningApplication& app : running) {
            if (app.activationPolicy != platform::ActivationPolicy::Regular) {
                continue;
            }
            auto item = MenuItem::create(runningTitle(app),
                                         [this](MenuItem& sender) { openASMItem(sender); });
            item->setImage(image16(app.icon));
            item->setRepresentedObject(app.bundleURL);
            asmMenu_->insertItem(item, 0);
        }
    }
    if (flagOn(keys::RecentFlag, 1)) {
        addRecentOpenedAppItemsSubMenu();
    }
    if (flagOn(keys::PrefsFlag, 1)) {
        addSystemPrefsSubMenu();
    }
    if (asmMenu_->itemWithTag(kTalvorPreferencesTag) == nullptr) {
        asmMenu_->addItem(MenuItem::separatorItem());
        asmMenu_
            ->addItemWithTitle(QStringLiteral("Talvor Preferences"),
                               [this](MenuItem&) {
                                   if (showAppMenuPreferences_) {
                                       showAppMenuPreferences_();
                                   }
                               })
            ->setTag(kTalvorPreferencesTag);
    }
}

std::shared_ptr<Menu> ApplicationsMenu::appendSubmenu(const QString& title) {
    asmMenu_->addItem(MenuItem::separatorItem());
    std::shared_ptr<Menu> submenu = Menu::create(title);
    asmMenu_->setSubmenu(submenu, asmMenu_->addItemWithTitle(title).get());
    return submenu;
}

QString ApplicationsMenu::runningTitle(const platform::RunningApplication& app) const {
    const auto since = firstSeen_.constFind(app.bundleURL.toString());
    if (!flagOn(keys::PrefsTimingFlag, 1) || since == firstSeen_.cend()) {
        return app.localizedName;
    }
    const auto minutes = static_cast<qint64>(
        platform::Clock::shared().now().timeIntervalSince(since.value()) / 60.0);
    if (minutes < 1) {
        return app.localizedName;
    }
    const QString used = minutes < 60 ? QStringLiteral("%1 min").arg(minutes)
                         : minutes % 60 == 0
                             ? QStringLiteral("%1 h").arg(minutes / 60)
                             : QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
    return QStringLiteral("%1 (%2)").arg(app.localizedName, used);
}

void ApplicationsMenu::retitleRunning() {
    if (!asmMenu_) {
        return;
    }
    for (const platform::RunningApplication& app : workspace_.runningApplications()) {
        for (const auto& item : asmMenu_->itemArray()) {
            if (!item->isSeparatorItem() && !item->hasSubmenu() &&
                item->representedObject().toUrl() == app.bundleURL && !app.bundleURL.isEmpty()) {
                item->setTitle(runningTitle(app));
            }
        }
    }
}

void ApplicationsMenu::addRecentOpenedAppItemsSubMenu() {
    const std::shared_ptr<Menu> recent = appendSubmenu(kRecentItems);
    QStringList names = workspace_.recentApplicationNames();
    std::sort(names.begin(), names.end(), caseInsensitiveCollator());
    // One application is often recorded under several names.
    QSet<QString> listed;
    for (const QString& name : names) {
        const std::optional<QString> path = workspace_.fullPathForApplication(name);
        if (!path || listed.contains(*path)) {
            continue;
        }
        listed.insert(*path);
        auto item = recent->addItemWithTitle(withoutExtension(name),
                                             [this](MenuItem& sender) { openASMPrefs(sender); });
        item->setImage(image16(workspace_.iconForFile(*path)));
        item->setRepresentedObject(*path);
    }
    // An empty submenu looks broken: say there is nothing yet.
    if (recent->numberOfItems() == 0) {
        recent->addItemWithTitle(QStringLiteral("No Recent Items"))->setEnabled(false);
    }
}

void ApplicationsMenu::addSystemPrefsSubMenu() {
    struct Line {
        QString path;
        QString title;
    };
    std::vector<Line> lines;
    const QStringList folders = workspace_.settingsPanelFolders();
    const QCollator collator = caseInsensitiveCollator();
    for (qsizetype i = 0; i < folders.size(); ++i) {
        if (i > 0) {
            lines.push_back({kPaneFolderMarker, QString()});
        }
        std::vector<Line> panels;
        for (const QString& path : workspace_.settingsPanelsInFolder(folders[i])) {
            panels.push_back({path, workspace_.displayNameAtPath(path)});
        }
        // By the names shown, which here are not the file names.
        std::sort(panels.begin(), panels.end(), [&collator](const Line& a, const Line& b) {
            return collator.compare(a.title, b.title) < 0;
        });
        lines.insert(lines.end(), panels.begin(), panels.end());
    }

    const std::shared_ptr<Menu> prefs = appendSubmenu(kSystemPreferences);
    for (const Line& line : lines) {
        // ".DS_Store" and every other hidden file.
        if (QFileInfo(line.path).fileName().startsWith(QLatin1Char('.'))) {
            continue;
        }
        if (line.path == kPaneFolderMarker) {
            prefs->addItem(MenuItem::separatorItem());
            continue;
        }
        auto item =
            prefs->addItemWithTitle(line.title, [this](MenuItem& sender) { openASMPrefs(sender); });
        item->setImage(image16(workspace_.iconForFile(line.path)));
        item->setRepresentedObject(line.path);
    }
}

void ApplicationsMenu::openASMItem(platform::MenuItem& sender) {
    const QUrl url = sender.representedObject().toUrl();
    if (!workspace_.openURL(url)) {
        platform::log(QStringLiteral("failed to open %1").arg(url.toDisplayString()));
    }
}

void ApplicationsMenu::openASMPrefs(platform::MenuItem& sender) {
    const QString path = sender.representedObject().toString();
    if (workspace_.openFile(path)) {
        return;
    }
    platform::log(QStringLiteral("failed 1"));
    if (!workspace_.openFile(path, kSystemSettingsApplication)) {
        platform::log(QStringLiteral("failed"));
    }
}

void ApplicationsMenu::addRunningAppsItemsSubMenu() {
    const std::shared_ptr<Menu> running = appendSubmenu(kRecentItems);
    for (const platform::RunningApplication& app : workspace_.runningApplications()) {
        if (app.activationPolicy != platform::ActivationPolicy::Regular) {
            continue;
        }
        // The entry the desktop itself would pick for the application's id.
        const std::optional<QString> path =
            app.bundleIdentifier.isEmpty()
                ? std::nullopt
                : workspace_.fullPathForApplication(app.bundleIdentifier);
        if (!path) {
            continue;
        }
        auto item = running->addItemWithTitle(withoutExtension(app.localizedName),
                                              [this](MenuItem& sender) { openASMPrefs(sender); });
        item->setImage(image16(app.icon));
        item->setRepresentedObject(*path);
    }
}

void ApplicationsMenu::UpdateAppDockIcon() {
    presence_.setShowsInTaskbar(!flagOn(keys::AppDockIconFlag, 0));
}

}  // namespace talvor
