#include "CountDownScenes.h"

#include "DemoBar.h"
#include "GrabWindow.h"
#include "SettingsScene.h"

#include "alarms/CountDownEditor.h"
#include "alarms/CountDownTiles.h"
#include "alarms/EventsWindowController.h"
#include "alarms/StopWatch.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/OffscreenStatusBar.h"
#include "platform/PreferenceStore.h"
#include "platform/Screens.h"
#include "platform/SharedInstance.h"
#include "platform/UserDefaults.h"
#include "platform/WindowPlacement.h"
#include "prefs/CountDownTimerViewController.h"
#include "prefs/TalvorTake5WindowsController.h"
#include "shell/SettingsWindowHost.h"

#include <QCoreApplication>
#include <QPainter>

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
    SettingsScene scene(PaneTag::take5);
    return grabWindow(scene.window(), scale);
}

QImage renderCountDownPane(double scale) {
    TalvorTimeSettings time;
    time.showCountDown = true;
    SharedInstance<TalvorTimeSettings>::Override use(time);
    SettingsScene scene(PaneTag::countDown);
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

namespace {

// One screen of the scene's size, standing in for the desktop's.
class SceneScreen : public platform::Screens {
  public:
    explicit SceneScreen(const QRectF& area) : area_(area) { setShared(this); }
    ~SceneScreen() override { setShared(nullptr); }
    SceneScreen(const SceneScreen&) = delete;
    SceneScreen& operator=(const SceneScreen&) = delete;
    QPointF mouseLocation() const override { return area_.center(); }
    QRectF availableArea(const QPointF&) const override { return area_; }

  private:
    QRectF area_;
};

}  // namespace

QImage renderStopWatchBelowTheStrip(int width, double scale) {
    auto demo = makeDemoBar();
    platform::OffscreenStatusBar offscreen(demo->bar, QSize(width, 800));
    const QImage bar = offscreen.render(0, scale);
    const double stripHeight = bar.height() / scale;

    // No place kept yet: the program's own placement puts it where it first opens.
    platform::MemoryPreferenceStore store{QStringLiteral("talvor-shot")};
    platform::UserDefaults defaults{store};
    platform::UserDefaults::setStandard(&defaults);
    SceneScreen screen(QRectF(0, 0, width, 800));
    platform::Screens::reserve(&screen, QRectF(0, 0, width, stripHeight));
    StopWatchWinController stopWatch;
    stopWatch.SetCountDown(5 * 60);
    stopWatch.adjustSize();
    platform::restoreWindowFrame(stopWatch, StopWatchWinController::kAutosaveName);
    const QPoint at = stopWatch.pos();
    const QImage window = grabWindow(stopWatch, scale);
    platform::Screens::reserve(&screen, QRectF());
    platform::UserDefaults::setStandard(nullptr);

    const QSizeF windowSize = QSizeF(window.size()) / scale;
    QImage out((QSizeF(width, at.y() + windowSize.height() + 24) * scale).toSize(),
               QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(scale);
    out.fill(QColor(0x3a, 0x3f, 0x4b));
    QPainter p(&out);
    p.drawImage(QPointF(at), window);
    p.drawImage(QPointF(0, 0), bar);
    return out;
}

}  // namespace talvor::shot
