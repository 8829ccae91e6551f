#include "CalendarWindows.h"

#include "StatusItemsController.h"
#include "calendar/AppleCal.h"
#include "calendar/GCalender.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "calendar/VdirCalendarStore.h"
#include "calendarui/CalWindow.h"
#include "calendarui/CalendarPlacement.h"
#include "calendarui/CalendarUiKeys.h"
#include "calendarui/CreateEventController.h"
#include "calendarui/DeleteEventController.h"
#include "calendarui/EditEventController.h"
#include "calendarui/MinnowStatusView.h"
#include "calendarui/ztCalendarController.h"
#include "foundation/CalendarExtras.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/StatusBar.h"
#include "platform/UserDefaults.h"
#include "services/HotKey.h"
#include "services/HotKeyKeys.h"

#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

namespace talvor {
namespace {

// The mini calendar pane's box "Show the mini calendar in the menu bar".
const QString kShowMinnowCal = QStringLiteral("showMinnowCal");

QString address(const void* object) {
    return QStringLiteral("0x%1").arg(reinterpret_cast<quintptr>(object), 0, 16);
}

void hide(QWidget* window) {
    if (window != nullptr) {
        window->hide();
    }
}

// The mini calendar's new-event button and double click open the form on the day, its
// quick-add button the quick add, a day view row's delete button the question.
void bindEventSheets(MinnowCalendarController& mini) {
    mini.setCreateEventHandler([](Date day) {
        CreateEventController::controller().startWithDate(day, CalendarExtras::userCalendar());
    });
    mini.setQuickAddHandler([] { CreateEventController::controller().startQuickAdd(); });
    if (CalWindow* window = mini.calWindow()) {
        window->editEventController()->setDeleteEventHandler([](const CalEventPtr& event) {
            DeleteEventController::controller().deleteEvent(event);
        });
    }
}

}  // namespace

void installUserCalendars(platform::UserDefaults& defaults) {
    static VdirCalendarStore* const store = [&defaults] {
        auto* made = new VdirCalendarStore(VdirCalendarStore::configuredRoots(defaults));
        made->ensureDefaultCalendar();
        return made;
    }();
    platform::CalendarStore::setShared(store);
    AppleCal::sharedInterface().setEventStore(store);
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &AppleCal::sharedInterface());
    // Made when first asked for: making it opens the keyring, which start-up must not wait on.
    CalendarBackEnds::installLazily(CalendarBackEnds::Kind::Google,
                                    [] { return &GCalender::sharedInterface(); });
    platform::CalendarStore::setConsentPrompt([](const std::function<void(bool)>& reply) {
        auto* box = new QMessageBox(QMessageBox::Question, QObject::tr("Calendar Access"),
                                    QObject::tr("Talvor Pro would like to show and add events "
                                                "in your calendars."));
        box->setInformativeText(QObject::tr("Your calendars are the folders in %1.")
                                    .arg(store->roots().join(QStringLiteral(", "))));
        box->setAttribute(Qt::WA_DeleteOnClose);
        // Above the mini calendar, which stays on top.
        box->setWindowFlag(Qt::WindowStaysOnTopHint);
        QPushButton* allow = box->addButton(QObject::tr("Allow"), QMessageBox::AcceptRole);
        box->addButton(QObject::tr("Don't Allow"), QMessageBox::RejectRole);
        // Closing the box without an answer leaves the question for the next time.
        QObject::connect(box, &QMessageBox::buttonClicked, box,
                         [reply, allow](QAbstractButton* clicked) { reply(clicked == allow); });
        box->open();
    });
}

QRectF centerHotKeyFrame(const QPointF& mouse, const QSizeF& size, const QRectF& area) {
    return CalendarPlacement::keptOnScreen(QRectF(mouse, size), area);
}

CalendarWindows::CalendarWindows(StatusItemsController& items, ztCalendarMenuExtra& menuExtra,
                                 platform::UserDefaults& defaults, platform::Screens& screens)
    : items_(items), menuExtra_(menuExtra), defaults_(defaults), screens_(screens) {
    // Loading the calendar window's settings puts its calendar system under the month grids.
    TalvorCalPrefsSettings::sharedInstance().applyCalendarType();
}

CalendarWindows::CalendarWindows(StatusItemsController& items, ztCalendarMenuExtra& menuExtra)
    : CalendarWindows(items, menuExtra, platform::UserDefaults::standard(),
                      platform::Screens::shared()) {}

CalendarWindows::~CalendarWindows() {
    removeMinnowItem();
    // The controllers outlive us; they must not call back into a dead object.
    if (boundMinnow_ != nullptr && boundMinnow_->delegate() == this) {
        boundMinnow_->setDelegate(nullptr);
    }
    if (boundMinnow_ != nullptr && minnowView_ && boundMinnow_->statusView() == minnowView_.get()) {
        boundMinnow_->setStatusView(nullptr);
    }
    if (calCtrlWindow_ != nullptr && calCtrlWindow_->menuExtra() == &menuExtra_) {
        calCtrlWindow_->setMenuExtra(nullptr);
    }
}

bool CalendarWindows::bigCalendarChosen() const {
    return defaults_.stringForKey(keys::SelectedMenuCalendar) == keys::BigCal;
}

MinnowCalendarController& CalendarWindows::minnow() {
    MinnowCalendarController& controller = MinnowCalendarController::sharedInstance();
    if (boundMinnow_ != &controller) {
        controller.setDelegate(this);
        bindEventSheets(controller);
        boundMinnow_ = &controller;
    }
    return controller;
}

QRectF CalendarWindows::dateItemWindowFrame() const {
    const auto& item = items_.TalvorDate();
    return item ? item->windowFrame() : QRectF();
}

void CalendarWindows::showCal() {
    dateStatusItemRect_ = dateItemWindowFrame();
    if (bigCalendarChosen()) {
        ztCalendarController& big = ztCalendarController::sharedInstance();
        calCtrlWindow_ = &big;
        platform::debugLog(QStringLiteral("MenuExtra: showCal %1").arg(address(&big)));
        platform::debugLog(
            QStringLiteral("MenuExtra: window of cal %1").arg(address(big.window())));
        MinnowCalendarController& mini = minnow();
        if (mini.isWindowVisible()) {
            hide(mini.window());
        }
        big.setMenuExtra(&menuExtra_);
        if (big.window() == nullptr) {
            return;  // the application is quitting
        }
        if (!big.isWindowVisible()) {
            // Placed before it shows, so that it never flashes at its old place.
            big.belowView(dateStatusItemRect_);
            big.window()->show();
            big.window()->raise();
            // Takes the keyboard too, so that Escape closes it.
            big.window()->activateWindow();
            big.showCalBGImg();
        } else {
            hide(big.window());
        }
        return;
    }

    if (calCtrlWindow_ != nullptr && calCtrlWindow_->isWindowVisible()) {
        hide(calCtrlWindow_->window());
    }
    MinnowCalendarController& mini = minnow();
    QWidget* window = mini.window();
    if (window == nullptr) {
        return;
    }
    if (!mini.isWindowVisible()) {
        mini.calculateWindowFrame();
        window->show();
        window->raise();
        window->activateWindow();
    } else {
        window->hide();
    }
}

void CalendarWindows::removeMinnowItem() {
    if (minnowItem_ && minnowItem_->statusBar() != nullptr) {
        minnowItem_->statusBar()->removeStatusItem(minnowItem_.get());
    }
    minnowItem_.reset();
}

void CalendarWindows::updateMinnowItem() {
    removeMinnowItem();
    if (!defaults_.boolForKey(kShowMinnowCal)) {
        if (minnowView_ && minnowView_->isVisible()) {
            minnowView_->hideWindow();  // it hung from the item that went
        }
        return;
    }
    MinnowCalendarController& mini = minnow();
    if (!minnowView_) {
        minnowView_ = std::make_shared<MinnowStatusView>();
        // The window hangs from this item now: the mini calendar's later re-anchoring (a new
        // month, other settings) keeps it there.
        minnowView_->setAnchorProvider([this] {
            const QRectF item = minnowItem_ ? minnowItem_->windowFrame() : QRectF();
            dateStatusItemRect_ = item;
            return std::make_pair(
                item, screens_.freeArea(item.isEmpty() ? screens_.mouseLocation() : item.center()));
        });
    }
    minnowView_->setWindow(mini.calWindow());
    mini.setStatusView(minnowView_.get());
    mini.updateStatusDay();
    minnowItem_ = items_.statusBar().statusItemWithLength(platform::VariableStatusItemLength);
    minnowItem_->setView(minnowView_);
    minnowItem_->setToolTip(QObject::tr("Mini calendar"));
}

void CalendarWindows::showCal(QObject*) {
    showCal();
}

void CalendarWindows::updatedCalendar() {
    if (minnow().isWindowVisible() ||
        (calCtrlWindow_ != nullptr && calCtrlWindow_->isWindowVisible())) {
        showCal();
    }
}

void CalendarWindows::CalendarPrefsUpdates(const platform::Notification&) {
    TalvorCalPrefsSettings::sharedInstance().loadPrefs();
    ztCalendarController::sharedInstance().updateCalendarPrefs();
}

void CalendarWindows::closeMinnowCalendar() {
    MinnowCalendarController& mini = minnow();
    if (mini.isWindowVisible()) {
        hide(mini.window());
    }
}

void CalendarWindows::showMenubarCalendarPrefs() {
    menuExtra_.showMenubarCalendarPrefs();
}

void CalendarWindows::hotKeyDown(const HotKey& hotKey) {
    if (bigCalendarChosen()) {
        return;
    }
    if (hotKey.name() == keys::ToggleHotKey) {
        showCal();
    } else if (hotKey.name() == keys::CenterHotKey) {
        centerHotKeyDown();
    }
}

void CalendarWindows::hotKeyUp(const HotKey& hotKey) {
    if (bigCalendarChosen() || hotKey.name() != keys::CenterHotKey) {
        return;
    }
    centerHotKeyUp();
}

void CalendarWindows::centerHotKeyDown() {
    if (dateStatusItemRect_ == QRectF()) {
        dateStatusItemRect_ = dateItemWindowFrame();
    }
    MinnowCalendarController& mini = minnow();
    QWidget* window = mini.window();
    if (window == nullptr) {
        return;
    }
    // A key that repeats while held sends more downs: the first one tells what was showing.
    if (!centerHeld_) {
        wasVisible_ = mini.isWindowVisible();
        oldOrigin_ = dateItemWindowFrame().topLeft();
        centerHeld_ = true;
    }
    const QPointF mouse = screens_.mouseLocation();
    const QRectF frame = centerHotKeyFrame(mouse, window->size(), screens_.availableArea(mouse));
    window->move(frame.topLeft().toPoint());
    window->show();
    window->raise();
}

void CalendarWindows::centerHotKeyUp() {
    if (!centerHeld_) {
        return;  // a release without its press (the key was bound while held)
    }
    centerHeld_ = false;
    MinnowCalendarController& mini = minnow();
    if (wasVisible_) {
        mini.calculateWindowFrame();
    } else if (mini.isWindowVisible()) {
        hide(mini.window());
    }
}

}  // namespace talvor
