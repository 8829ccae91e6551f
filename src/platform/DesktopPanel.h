#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace talvor::platform {

class StatusBar;

// Where the status items show: the strip of our own, or the desktop's own panel.
enum class StatusItemsPlace { Strip, DesktopPanel };

// The user's choice, stored under `StatusItemsPlaceKey` as "strip" or "panel"; no value
// while the user has not chosen (then the panel serves where a host is present).
extern const QString StatusItemsPlaceKey;
std::optional<StatusItemsPlace> storedStatusItemsPlace();
void storeStatusItemsPlace(StatusItemsPlace place);
// The place used, given whether the desktop's panel has a host now.
StatusItemsPlace effectiveStatusItemsPlace(std::optional<StatusItemsPlace> chosen,
                                           bool hostPresent);

// The desktop's own panel as a presenter of the status bar: each status item shown in it,
// with its menu, while the presenter returned by `present` lives. Hosts come and go with
// the desktop's shell, so whether one is present is asked, never assumed.
class DesktopPanel {
  public:
    virtual ~DesktopPanel();

    // Answers on the main thread, once, whether a host shows status items now; `context`
    // going away first drops the answer.
    virtual void findHost(QObject* context, std::function<void(bool present)> answer) = 0;
    // Shows `bar`'s items in the panel; the bar must outlive the presenter. nullptr where
    // the panel cannot show them.
    virtual std::unique_ptr<QObject> present(StatusBar& bar) = 0;

    // The installed system's panel (on Linux: StatusNotifierItems over D-Bus), else one
    // without a host that says so once in the log. Created on first use, kept to exit.
    static DesktopPanel& shared();
    // Replaces the shared panel (tests); nullptr restores the real one.
    static void setShared(DesktopPanel* panel);
};

}  // namespace talvor::platform
