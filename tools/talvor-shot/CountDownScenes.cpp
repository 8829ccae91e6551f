#include "CountDownScenes.h"

#include "GrabWindow.h"
#include "SettingsScene.h"

#include "alarms/CountDownEditor.h"
#include "alarms/CountDownTiles.h"
#include "alarms/EventsWindowController.h"
#include "alarms/StopWatch.h"
#include "foundation/SharedInstance.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "prefs/CountDownTimerViewController.h"
#include "prefs/TalvorTake5WindowsController.h"
#include "shell/SettingsWindowHost.h"

#include <QCoreApplication>

namespace talvor::shot {
namespace {

QList<Event> demoEvents() {
    const Date now = platform::Clock::shared().now();
    return {
        Event(newUID(), QStringLiteral("Train to Lyon"), now.addingTimeInterval(40 * 60 + 12), 3,
              60, 0, 1, QString()),
        Event(newUID(), QStringLiteral("Tax return"),
              now.addingTimeInterval(2 * 86400 + 3 * 3600 + 20 * 60 + 5), 3, 8641, 0, 0, QString()),
        Event(newUID(), QStringLiteral("Holiday"), now.addingTimeInterval(23 * 86400 + 5 * 3600), 4,
              60481, 30, 0, QString()),
    };
}

}  // namespace

QImage renderTake5Pane(double scale) {
    TalvorTimeSettings time;
    time.showTake5 = true;
    SharedInstance<TalvorTimeSettings>::Override use(time);
    SettingsScene scene(11);
    return grabWindow(scene.window(), scale);
}

QImage renderCountDownPane(double scale) {
    TalvorTimeSettings time;
    time.showCountDown = true;
    SharedInstance<TalvorTimeSettings>::Override use(time);
    SettingsScene scene(21);
    auto* page = dynamic_cast<CountDownTimerViewController*>(scene.host().viewCtrl());
    if (page == nullptr) {
        return {};
    }
    for (const Event& e : demoEvents()) {
        storeEvent(e);
    }
    page->updateEventsGUI();
    page->form()->titleField()->setText(QStringLiteral("Concert"));
    scene.window().resize(scene.window().width(), 900);
    QCoreApplication::processEvents();
    return grabWindow(scene.window(), scale);
}

QImage renderCountDownTiles(double scale) {
    std::optional<EventsWindowController> window = EventsWindowController::init();
    if (!window) {
        return {};
    }
    window->setEventsArray(demoEvents());
    window->updateEventsUI();
    window->window()->resize(520, 260);
    return grabWindow(*window->window(), scale);
}

QImage renderStopWatch(double scale) {
    StopWatchWinController stopWatch;
    stopWatch.SetCountDown(5 * 60);
    stopWatch.ChangeTime(-17);
    stopWatch.OpenDrawer();
    stopWatch.adjustSize();
    return grabWindow(stopWatch, scale);
}

}  // namespace talvor::shot
