#pragma once

#include "platform/LocationService.h"
#include "services/Manual.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QAbstractButton;
class QHBoxLayout;
class QPushButton;
class QWidget;

namespace talvor {

namespace platform {
class DistributedNotificationCenter;
enum class StatusItemsPlace;
}  // namespace platform

// What the settings panes ask of the application above them. Every member may be empty:
// the request is then dropped, except `openURL`, which falls back to the desktop's opener.
struct PaneDelegate {
    // The menu-calendar choice changed: show the chosen calendar if one is open.
    std::function<void()> updatedCalendar;
    // Create or remove the applications item after "ASMFlag" and "ASMIconFlag".
    std::function<void()> setupASMMenu;
    // Rebuild the applications menu.
    std::function<void()> applicationChange;
    // Apply "AppDockIconFlag" (in or out of the taskbar).
    std::function<void()> appDockIcon;
    std::function<void(const QUrl& url)> openURL;
    // Make the application's chime settings reload from the preference domain.
    std::function<void()> LoadTimerOptions;
    // Recreate the time and date items from their settings and draw them.
    std::function<void()> updateMenuBarItems;
    // Rebuild a group of the time menu (3: the alarm items, 6: the floating clocks, 10: the
    // meeting planner).
    std::function<void(qint32 code)> UpdateMenu;
    // Show or hide "Take 5..." after "take5Show".
    std::function<void()> UpdateTake5;
    // Show (or hide) the floating clocks now.
    std::function<void(bool show)> setShowFloating;
    // Show a new welcome window.
    std::function<void()> showBoardingScreen;
    // Open the locations window as a sheet on `window`.
    std::function<void(QWidget* window)> locationTimeZoneSetup;
    // Break reminders start from a new work period / stop.
    std::function<void()> enableTake5;
    std::function<void()> disableTake5;
    // Show the status items on our own strip or in the desktop's panel (already stored).
    std::function<void(platform::StatusItemsPlace place)> setStatusItemsPlace;
    // Where distributed notifications go; null: the default centre.
    platform::DistributedNotificationCenter* distributedCenter = nullptr;
    // Makes the position source of the meeting planner; empty: LocationService::create.
    std::function<std::unique_ptr<platform::LocationService>()> makeLocationManager;

    void call(const std::function<void()>& request) const {
        if (request) {
            request();
        }
    }
    void open(const QUrl& url) const;
    // The manual installed with the program, at the pane's section.
    void openManual(Manual::Section section) const;
    void postDistributed(const QString& name, const QString& object = QString()) const;
};

// The web pages every pane links to.
namespace PaneLinks {

QUrl changeLogPage();
QUrl homePage();
// "Version " and the program's version; none when the program has no version.
std::optional<QString> versionTitle();
// Titles the button with `versionTitle`, when there is one.
void titleVersionButton(QAbstractButton& button);

// The foot of a pane: the version button on the left, the help button ("?") on the right.
struct LinkRow {
    QHBoxLayout* layout;
    QPushButton* versionButton;
    QPushButton* helpButton;
};
LinkRow makeLinkRow(QWidget& parent, std::function<void()> onVersion, std::function<void()> onHelp);

}  // namespace PaneLinks

}  // namespace talvor
