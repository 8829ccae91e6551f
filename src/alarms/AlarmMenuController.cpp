#include "AlarmMenuController.h"

#include "AlarmsKeys.h"
#include "Clock.h"
#include "foundation/IcuDates.h"
#include "foundation/MenuItemExtras.h"
#include "platform/Clock.h"
#include "platform/Menu.h"

#include <unicode/smpdtfmt.h>

#include <algorithm>
#include <climits>

namespace talvor {

namespace {
AlarmMenuController* gShared = nullptr;
}  // namespace

AlarmMenuController::~AlarmMenuController() {
    QObject::disconnect(opening_);
    if (gShared == this) {
        gShared = nullptr;
    }
}

const std::shared_ptr<platform::Menu>& AlarmMenuController::alarmMenu() {
    if (!alarmMenu_) {
        alarmMenu_ = platform::Menu::create(QStringLiteral("Alarms"));
        opening_ = QObject::connect(alarmMenu_.get(), &platform::Menu::willOpen,
                                    [this] { rebuildAlarmMenu(); });
        rebuildAlarmMenu();
    }
    return alarmMenu_;
}

void AlarmMenuController::awakeFromNib(AlarmMenuHost* host) {
    host_ = host;
    if (host_ == nullptr) {
        willAppear_ = {};
        return;
    }
    willAppear_ = platform::NotificationCenter::defaultCenter().addObserver(
        keys::ZephyrelMainMenuWillAppear, QVariant(),
        [this](const platform::Notification&) { rebuildAlarmMenu(); });
    host_->addItem(alarmMenu());
}

namespace {

// The formatter of the due weekday and time, in the clock form the user's language prefers.
std::unique_ptr<icu::SimpleDateFormat> dueFormat() {
    const std::unique_ptr<icu::SimpleDateFormat> style = IcuDates::createTimeStyleFormat();
    icu::UnicodeString pattern;
    if (style) {
        style->toPattern(pattern);
    }
    const bool twelveHour = pattern.indexOf(u'a') >= 0;
    return IcuDates::createPatternFormat(twelveHour ? QStringLiteral("E, h:mm a")
                                                    : QStringLiteral("E, H:mm"));
}

}  // namespace

void AlarmMenuController::rebuildAlarmMenu() {
    platform::Menu& menu = *alarmMenu();
    menu.removeAllItems();
    menu.addItemWithTitle(QStringLiteral("Active alarms:"));
    const AlarmList& alarms = Clock::sharedClock().allAlarms();
    if (alarms.empty()) {
        menu.addItemWithTitle(QStringLiteral("No Alarms"));
    }
    const std::unique_ptr<icu::SimpleDateFormat> format = alarms.empty() ? nullptr : dueFormat();
    // The soonest first, as a list of times reads.
    AlarmList byTime(alarms.begin(), alarms.end());
    std::stable_sort(byTime.begin(), byTime.end(),
                     [](const std::shared_ptr<Alarm>& a, const std::shared_ptr<Alarm>& b) {
                         return a->time() < b->time();
                     });
    for (const std::shared_ptr<Alarm>& alarm : byTime) {
        // Choosing the line edits the alarm: a submenu holding only "Edit..." was a detour.
        auto line = platform::MenuItem::create(
            QString(), [this](platform::MenuItem&) { editAlarm(); }, QString());
        MenuItemExtras::setTitle(
            *line, format ? IcuDates::format(*format, alarm->time()) : QString(), alarm->title());
        line->setToolTip(QStringLiteral("Edit this alarm"));
        menu.addItem(line);
    }
    menu.addItem(platform::MenuItem::separatorItem());
    menu.addItemWithTitle(QStringLiteral("Create alarm..."),
                          [this](platform::MenuItem&) { editAlarm(); });
}

void AlarmMenuController::editAlarm() {
    if (host_ != nullptr) {
        host_->showPrefs();
        host_->doOnMain(22);
    }
}

AlarmMenuController& AlarmMenuController::mainMenuController() {
    if (gShared == nullptr) {
        gShared = new AlarmMenuController();  // lives for the process
    }
    return *gShared;
}

void AlarmMenuController::setMainMenuController(AlarmMenuController* controller) {
    gShared = controller;
}

void AlarmMenuController::updateStatusView() {
    statusView_.stopFlashing();
    const std::shared_ptr<Alarm> nearest = Clock::sharedClock().nearestAlarm();
    if (!nearest) {
        statusView_.setAngleEnd(0, 0);
        return;
    }
    int64_t minutes = 0;
    int64_t seconds = 0;
    nearest->minutesFromNow(&minutes, &seconds);
    if (seconds != 0) {
        ++minutes;
    }
    statusView_.setAngleEnd(nearest->minute(), static_cast<int32_t>(std::clamp<int64_t>(
                                                   minutes, INT32_MIN, INT32_MAX)));
}

void AlarmMenuController::alarmTriggered(Alarm& alarm) {
    nextAlarm_ = alarm.weak_from_this().lock();
    activateAlarm(alarm);
}

void AlarmMenuController::activateAlarm(Alarm& alarm) {
    alarm.setIsTriggered(true);
    statusView_.startFlashing();
}

}  // namespace talvor
