#include "AlarmMenuController.h"

#include "ActiveAlarms.h"
#include "AlarmDates.h"
#include "AlarmsKeys.h"
#include "Clock.h"
#include "SavedAlarms.h"
#include "TimeTexts.h"
#include "foundation/MenuItemExtras.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Menu.h"
#include "platform/SharedInstance.h"
#include "platform/SoundPlayer.h"
#include "platform/StatusBar.h"
#include "services/AudioStorageController.h"
#include "services/SoundFadeOut.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

namespace talvor {

namespace {

// Made on first use, lives for the process; the owner may install its own.
using SharedMenuController = SharedInstance<AlarmMenuController, SharedLifetime::ForProcess>;

// When a saved alarm rings once set again: a relative one by its interval (its due time
// would move with the clock), any other by its due time.
QString savedAlarmWhen(const Alarm& alarm) {
    if (alarm.isTimeWithDate() || alarm.selRowNo() >= 2) {
        return formatTime(alarm.time());
    }
    const qint64 units = alarm.ringWithinUnits();
    const QString length = alarm.isMinuteUnits() ? QStringLiteral("%1 min").arg(units)
                           : units == 1          ? QStringLiteral("1 hour")
                                                 : QStringLiteral("%1 hours").arg(units);
    return (alarm.shouldRepeat() ? QStringLiteral("Every ") : QStringLiteral("In ")) + length;
}

Date now() {
    return platform::Clock::shared().now();
}

// A hold of its own on a window's alarm: the window, and its hold, may go while it is told.
std::shared_ptr<Alarm> keptAlarm(const SnoozeWindowController& window) {
    return window.windowAlarm();
}

// Long enough for any interval a user can type; a bound, so that a clear never spins.
constexpr int kMaxIntervalSteps = 1'000'000;

}  // namespace

AlarmMenuController::AlarmMenuController()
    : statusView_(std::make_shared<StatusView>()),
      activeAlarmMenu_(platform::Menu::create(QStringLiteral("Active alarms"))) {
    statusView_->setDelegate(this);
    statusView_->setAlarmMenu(activeAlarmMenu_);
}

AlarmMenuController::~AlarmMenuController() {
    QObject::disconnect(opening_);
    stopPlayingSound();
    if (statusItem_ != nullptr && statusItem_->statusBar() != nullptr) {
        statusItem_->statusBar()->removeStatusItem(statusItem_.get());
    }
    SharedMenuController::withdraw(this);
}

AlarmMenuController& AlarmMenuController::mainMenuController() {
    return SharedMenuController::get();
}

void AlarmMenuController::setMainMenuController(AlarmMenuController* controller) {
    SharedMenuController::replace(controller);
}

void AlarmMenuController::awakeFromNib(AlarmMenuHost* host) {
    host_ = host;
    if (host_ == nullptr) {
        willAppear_ = {};
        refreshTimer_.cancel();
        if (statusItem_ != nullptr) {
            if (platform::StatusBar* bar = statusItem_->statusBar()) {
                bar->removeStatusItem(statusItem_.get());
            }
            statusItem_->setView(nullptr);
            statusItem_.reset();
            statusView_->setStatusItem(nullptr);
        }
        return;
    }
    if (statusItem_ == nullptr) {
        statusItem_ = platform::StatusBar::systemStatusBar().statusItemWithLength(
            platform::VariableStatusItemLength);
        statusItem_->setHighlightMode(true);
        statusView_->setStatusItem(statusItem_);
        statusItem_->setView(statusView_);
    }
    willAppear_ = platform::NotificationCenter::defaultCenter().addObserver(
        keys::ZephyrelMainMenuWillAppear, QVariant(),
        [this](const platform::Notification&) { rebuildAlarmMenu(); });
    // The wedge moves with the minutes; it is redrawn only when it changes.
    platform::Scheduler& scheduler = platform::Scheduler::shared();
    refreshTimer_ = scheduler.scheduleRepeating(
        Date::fromReference(std::floor(scheduler.clock().now().timeIntervalSinceReferenceDate()))
            .addingTimeInterval(1.0),
        1.0, [this] { refreshStatusItem(); });
    host_->addItem(alarmMenu());
    refreshStatusItem();
}

// --- The item -------------------------------------------------------------------------------

void AlarmMenuController::updateStatusView() {
    statusView_->stopFlashing();
    const AlarmList& alarms = Clock::sharedClock().allAlarms();
    statusView_->setShown(!alarms.empty());
    const std::shared_ptr<Alarm> nearest = Clock::sharedClock().nearestAlarm();
    if (!nearest) {
        statusView_->setAngleEnd(0, 0);
        if (statusItem_) {
            statusItem_->setToolTip(QString());
        }
        return;
    }
    int64_t minutes = 0;
    int64_t seconds = 0;
    nearest->minutesFromNow(&minutes, &seconds);
    if (seconds != 0) {
        ++minutes;
    }
    statusView_->setAngleEnd(nearest->minute(), static_cast<int32_t>(std::clamp<int64_t>(
                                                    minutes, INT32_MIN, INT32_MAX)));
    if (statusItem_) {
        const QString title = nearest->shownTitle();
        const QString when = formatTime2(nearest->time());
        statusItem_->setToolTip(title.isEmpty() ? when : when + QStringLiteral(": ") + title);
    }
}

void AlarmMenuController::refreshStatusItem() {
    if (ringing_.empty()) {
        updateStatusView();
    } else {
        statusView_->setShown(true);
    }
}

void AlarmMenuController::alarmsChanged() {
    platform::NotificationCenter::defaultCenter().post(keys::ZephyrelMainMenuWillAppear);
    refreshStatusItem();
}

// --- Firing ---------------------------------------------------------------------------------

void AlarmMenuController::alarmTriggered(Alarm& alarm) {
    nextAlarm_ = alarm.weak_from_this().lock();
    activateAlarm(alarm);
}

void AlarmMenuController::activateAlarm(Alarm& alarm) {
    std::shared_ptr<Alarm> shared = alarm.weak_from_this().lock();
    auto it = std::find_if(ringing_.begin(), ringing_.end(),
                           [&](const Ringing& r) { return r.alarm.get() == &alarm; });
    if (it == ringing_.end()) {
        ringing_.push_back({shared, nullptr, nullptr});
        it = ringing_.end() - 1;
    }
    // The item takes its room first, so that the window opens under it.
    statusView_->setShown(true);
    if (!it->window) {
        it->window = SnoozeWindowController::showCloseTo(
            statusItem_ ? statusItem_->windowFrame() : QRectF(), this, shared);
    } else {
        it->window->showWindow();
    }
    alarm.setContext(it->window.get());
    alarm.setIsTriggered(true);
    if (alarm.isSpeakAlarmName() && !alarm.voiceName().isEmpty()) {
        if (!it->speaker) {
            it->speaker = std::make_unique<TextSpeaker>();
        }
        TextSpeaker& speaker = *it->speaker;
        speaker.setDelegate(this);
        speaker.setContext(shared);
        const int index = speaker.indexOfVoice(alarm.voiceName());
        if (index == 0) {
            platform::log(QStringLiteral("The voice \"%1\" is not installed; the default voice "
                                         "speaks the alarm")
                              .arg(alarm.voiceName()));
        }
        speaker.speakText(alarm.shownTitle(), index);
    } else {
        soundAlarm(alarm);
    }
    statusView_->setShown(true);
    statusView_->startFlashing();
    // Seen even when the alarm item is not: another workspace, a locked screen.
    const UserNotification shown{QStringLiteral("Zephyrel"), formatTime(alarm.time()),
                                 alarm.shownTitle(), now()};
    if (notifier_) {
        notifier_(shown);
    } else {
        showDesktopNotification(shown);
    }
}

void AlarmMenuController::textSpeakerFinishedSpeakingText(TextSpeaker& speaker) {
    const auto* alarm = std::any_cast<std::shared_ptr<Alarm>>(&speaker.context());
    if (alarm != nullptr && *alarm && (*alarm)->isTriggered()) {
        soundAlarm(**alarm);
    }
}

void AlarmMenuController::soundAlarm(Alarm& alarm) {
    if (!alarm.isPlaySound()) {
        return;
    }
    stopPlayingSound();
    const QString path = alarm.soundPath();
    const bool system = isSystemSound_
                            ? isSystemSound_(path)
                            : AudioStorageController::sharedController().isSystemSound(path);
    if (system) {
        playingRepeat_ = Repeat::playSoundAtPath(path, 3);
        playingAlarm_ = &alarm;
        return;
    }
    std::shared_ptr<platform::SoundPlayer> sound =
        platform::SoundSystem::shared().soundWithContentsOfFile(path);
    if (!sound) {
        platform::log(QStringLiteral("The alarm sound %1 cannot be played").arg(path));
        platform::beep();
        return;
    }
    playingSound_ = sound;
    playingAlarm_ = &alarm;
    const std::weak_ptr<platform::SoundPlayer> weak = sound;
    sound->didFinishPlaying = [this, weak](bool) {
        if (playingSound_ == weak.lock()) {
            playingSound_.reset();
            playingAlarm_ = nullptr;
        }
    };
    if (alarm.shouldFadeIn()) {
        FadeOut::playFor(sound, 20.0, 10.0);
    } else {
        sound->play();
    }
}

void AlarmMenuController::stopPlayingSound() {
    if (playingSound_) {
        playingSound_->didFinishPlaying = nullptr;
        playingSound_->stop();
        playingSound_.reset();
    }
    playingRepeat_.cancel();
    playingAlarm_ = nullptr;
}

void AlarmMenuController::deactivateAlarm(Alarm& alarm) {
    alarm.setIsTriggered(false);
    if (playingAlarm_ == &alarm) {
        stopPlayingSound();
    }
}

void AlarmMenuController::endRinging(const Alarm* alarm) {
    auto it = std::find_if(ringing_.begin(), ringing_.end(),
                           [&](const Ringing& r) { return r.alarm.get() == alarm; });
    if (it != ringing_.end()) {
        if (it->window) {
            it->window->close();
        }
        it->alarm->setContext({});
        // Destroyed later in this turn: the window's own button may be what ends it.
        auto ended = std::make_shared<Ringing>(std::move(*it));
        ringing_.erase(it);
        platform::Scheduler::shared().postToMain([ended] {});
    }
    if (ringing_.empty()) {
        statusView_->stopFlashing();
    }
}

SnoozeWindowController* AlarmMenuController::snoozeWindowFor(const Alarm* alarm) const {
    for (const Ringing& r : ringing_) {
        if (r.alarm.get() == alarm) {
            return r.window.get();
        }
    }
    return nullptr;
}

std::size_t AlarmMenuController::openSnoozeWindowCount() const {
    return static_cast<std::size_t>(std::count_if(
        ringing_.begin(), ringing_.end(), [](const Ringing& r) { return r.window != nullptr; }));
}

void AlarmMenuController::snoozeWindowDidSnooze(SnoozeWindowController& controller) {
    const std::shared_ptr<Alarm> alarm = keptAlarm(controller);
    if (!alarm) {
        return;
    }
    deactivateAlarm(*alarm);
    alarm->snooze(static_cast<int32_t>(alarm->snoozeTime()));
    endRinging(alarm.get());
    Clock::sharedClock().noteAlarmsChanged();
    alarmsChanged();
}

void AlarmMenuController::snoozeWindowDidClear(SnoozeWindowController& controller) {
    const std::shared_ptr<Alarm> alarm = keptAlarm(controller);
    if (!alarm) {
        return;
    }
    deactivateAlarm(*alarm);
    unscheduleAlarm(*alarm);
    endRinging(alarm.get());
    alarmsChanged();
}

void AlarmMenuController::menuClicked() {
    for (Ringing& r : ringing_) {
        if (r.window) {
            r.window->showWindow();
        }
    }
}

// --- Scheduling -----------------------------------------------------------------------------

void AlarmMenuController::scheduleAlarm(const std::shared_ptr<Alarm>& alarm) {
    alarm->setDelegate(this);
    Clock::sharedClock().insertAlarm(alarm);
    refreshStatusItem();
}

void AlarmMenuController::removeAlarm(Alarm& alarm) {
    Clock::sharedClock().removeAlarm(&alarm);
}

void AlarmMenuController::unscheduleAlarm(Alarm& alarm) {
    Clock& clock = Clock::sharedClock();
    const Date current = now();
    if (alarm.selRowNo() != 2) {
        if (alarm.isTimeWithDate() && alarm.shouldUseEveryDay()) {
            alarm.setRunTime(std::nullopt);
            AlarmDates::Change nextDay;
            nextDay.addDays = 1;
            Date next = AlarmDates::changed(alarm.time(), nextDay);
            // Cleared days late: the next day still to come.
            if (next <= current) {
                const AlarmDates::DayDifference d = AlarmDates::difference(next, current);
                AlarmDates::Change catchUp;
                catchUp.addDays = d.days;
                next = AlarmDates::changed(next, catchUp);
                if (next <= current) {
                    next = AlarmDates::changed(next, nextDay);
                }
            }
            alarm.setTime(next);
        } else if (!alarm.isTimeWithDate() && alarm.shouldRepeat()) {
            alarm.setSnoozedMinutes(0);
            alarm.setRunTime(alarm.time());
            // Intervals that passed unheard are skipped, not rung one after another.
            for (int i = 0;
                 i < kMaxIntervalSteps && alarm.ringWithinUnits() > 0 && alarm.time() <= current;
                 ++i) {
                alarm.setRunTime(alarm.time());
            }
        } else {
            clock.removeAlarm(&alarm);
            return;
        }
        clock.noteAlarmsChanged();
        return;
    }
    const int32_t today = weekdayCode(current);
    if (!alarm.shouldUseForever()) {
        setRunOnWeekday(alarm, today, false);
    }
    const std::optional<Date> next = calculateNextDate(today, alarm);
    if (!next) {
        clock.removeAlarm(&alarm);
        return;
    }
    alarm.setTime(next);
    alarm.setRunTime(alarm.time());
    SavedAlarms::updateAlarmList(alarm, false);
    clock.noteAlarmsChanged();
}

void AlarmMenuController::acceptedAlarm(const std::shared_ptr<Alarm>& alarm,
                                        const Alarm* editingOne) {
    if (!alarm) {
        return;
    }
    const AlarmList& active = Clock::sharedClock().allAlarms();
    const bool editingActive =
        editingOne != nullptr && std::any_of(active.begin(), active.end(),
                                             [&](const auto& a) { return a.get() == editingOne; });
    if (editingActive) {
        if (alarm->selRowNo() == 2) {
            alarm->setRunTime(alarm->time());
        } else if (!alarm->storedRunTime()) {
            alarm->setRunTime(platform::Clock::shared().now());
        }
        Clock::sharedClock().replaceAlarm(editingOne, alarm);
    } else {
        // A saved alarm, or one cleared meanwhile, starts now like a new one.
        Clock::sharedClock().insertAlarm(alarm);
    }
    alarm->setDelegate(this);
    alarmsChanged();
}

void AlarmMenuController::acceptedAlarm(AlarmEditor& controller,
                                        const std::shared_ptr<Alarm>& alarm) {
    acceptedAlarm(alarm, controller.editingOne().get());
}

void AlarmMenuController::setAlarmSetController(AlarmEditor* controller) {
    alarmSetController_ = controller != nullptr ? controller->watch() : AlarmEditor::Watch();
    if (controller != nullptr) {
        controller->setDelegate(this);
        controller->showWithAlarm(nullptr);
    }
}

void AlarmMenuController::acceptedPreAlarm(AlarmSetPreController&,
                                           const std::shared_ptr<Alarm>& alarm) {
    Clock::sharedClock().insertAlarm(alarm);
    alarm->setDelegate(this);
    alarmsChanged();
}

void AlarmMenuController::createPreAlarm(int32_t minutes) {
    AlarmSetPreController maker;
    maker.setDelegate(this);
    maker.setDefault(minutes);
}

// --- The menu's commands --------------------------------------------------------------------

void AlarmMenuController::clearFromMenu(const std::shared_ptr<Alarm>& alarm) {
    if (!alarm) {
        return;
    }
    deactivateAlarm(*alarm);
    removeAlarm(*alarm);
    // Only this alarm's window: another alarm may still be ringing.
    endRinging(alarm.get());
    alarmsChanged();
}

void AlarmMenuController::saveFromMenu(const std::shared_ptr<Alarm>& alarm) {
    if (!alarm || alarm->isExisInActiveAlarmList()) {
        return;
    }
    alarm->setIsExisInActiveAlarmList(true);
    // A title no longer in the saved list is added, not silently dropped.
    SavedAlarms::updateAlarmList(*alarm, true);
    Clock::sharedClock().noteAlarmsChanged();
    alarmsChanged();
}

void AlarmMenuController::deleteFromMenu(const std::shared_ptr<Alarm>& saved) {
    if (!saved) {
        return;
    }
    SavedAlarms::remove(saved->title());
    alarmsChanged();
}

void AlarmMenuController::setAlarm(const std::shared_ptr<Alarm>& saved) {
    if (!saved) {
        return;
    }
    scheduleAlarm(saved);
    alarmsChanged();
}

void AlarmMenuController::editAlarm(const std::shared_ptr<Alarm>& alarm) {
    editingAlarm_ = alarm;
    if (host_ != nullptr) {
        host_->showAlarmEditor();
    }
    // Loading the page shows an empty form: the alarm to edit comes after.
    if (AlarmEditor* editor = alarmSetController_.get()) {
        editor->showWithAlarm(alarm);
    }
}

// --- The menu -------------------------------------------------------------------------------

const std::shared_ptr<platform::Menu>& AlarmMenuController::alarmMenu() {
    if (!alarmMenu_) {
        alarmMenu_ = platform::Menu::create(QStringLiteral("Alarms"));
        opening_ = QObject::connect(alarmMenu_.get(), &platform::Menu::willOpen, [this] {
            // Also when alarms were first shown after it was made: never an empty menu.
            if (!Clock::sharedClock().allAlarms().empty() || alarmMenu_->numberOfItems() == 0) {
                rebuildAlarmMenu();
            }
        });
        rebuildAlarmMenu();
    }
    return alarmMenu_;
}

void AlarmMenuController::rebuildAlarmMenu() {
    if (!TalvorTimeSettings::sharedInstance().showAlarm) {
        // The alarm item's own menu does not depend on the time menu.
        platform::Menu scratch;
        buildWorkingAlarms(scratch);
        return;
    }
    platform::Menu& menu = *alarmMenu();
    menu.removeAllItems();
    buildWorkingAlarms(menu);
    menu.addItem(platform::MenuItem::separatorItem());
    buildSettableAlarms(menu);
    menu.addItem(platform::MenuItem::separatorItem());
    buildPredefinedAlarms(menu);
}

std::shared_ptr<platform::MenuItem> AlarmMenuController::activeAlarmItem(
    const std::shared_ptr<Alarm>& alarm) {
    auto line = platform::MenuItem::create();
    if (alarm->isDefaultAlarm()) {
        MenuItemExtras::setTitle(*line, formatTime2(alarm->time()), QString());
    } else {
        MenuItemExtras::setTitle(*line, formatTime(alarm->time()), alarm->title());
    }
    auto commands = platform::Menu::create();
    commands->addItemWithTitle(QStringLiteral("Edit..."),
                               [this, alarm](platform::MenuItem&) { editAlarm(alarm); });
    commands->addItemWithTitle(QStringLiteral("Clear"),
                               [this, alarm](platform::MenuItem&) { clearFromMenu(alarm); });
    if (!alarm->isDefaultAlarm()) {
        commands->addItemWithTitle(QStringLiteral("Save"),
                                   [this, alarm](platform::MenuItem&) { saveFromMenu(alarm); });
    }
    line->setSubmenu(commands);
    return line;
}

void AlarmMenuController::buildWorkingAlarms(platform::Menu& menu) {
    menu.addItemWithTitle(QStringLiteral("Active alarms:"));
    activeAlarmMenu_->removeAllItems();
    const AlarmList& alarms = Clock::sharedClock().allAlarms();
    if (alarms.empty()) {
        menu.addItemWithTitle(QStringLiteral("No Alarms"));
        return;
    }
    for (const std::shared_ptr<Alarm>& alarm : alarms) {
        std::shared_ptr<platform::MenuItem> line = activeAlarmItem(alarm);
        alarm->setMenuItem(line);
        menu.addItem(line);
        activeAlarmMenu_->addItem(activeAlarmItem(alarm));
    }
}

void AlarmMenuController::buildSettableAlarms(platform::Menu& menu) {
    menu.addItemWithTitle(QStringLiteral("Create alarm..."),
                          [this](platform::MenuItem&) { createAlarm(); });
    if (!SavedAlarms::exists()) {
        return;
    }
    savedAlarms_ = SavedAlarms::load();
    // A heading over nothing would only puzzle.
    if (std::none_of(savedAlarms_.begin(), savedAlarms_.end(),
                     [](const auto& saved) { return saved->isExisInActiveAlarmList(); })) {
        return;
    }
    menu.addItem(platform::MenuItem::separatorItem());
    menu.addItemWithTitle(QStringLiteral("Inactive alarms:"));
    for (const std::shared_ptr<Alarm>& saved : savedAlarms_) {
        if (!saved->isExisInActiveAlarmList()) {
            continue;
        }
        const auto set = [this, saved](platform::MenuItem&) { setAlarm(saved); };
        auto line = platform::MenuItem::create(QString(), set);
        MenuItemExtras::setTitle(*line, savedAlarmWhen(*saved), saved->title());
        auto commands = platform::Menu::create();
        // The line's own action never runs in a Qt menu, where a line with a submenu only
        // opens it: setting the alarm again is the submenu's first command.
        commands->addItemWithTitle(QStringLiteral("Set"), set);
        commands->addItemWithTitle(QStringLiteral("Edit..."),
                                   [this, saved](platform::MenuItem&) { editAlarm(saved); });
        commands->addItemWithTitle(QStringLiteral("Clear"),
                                   [this, saved](platform::MenuItem&) { deleteFromMenu(saved); });
        line->setSubmenu(commands);
        menu.addItem(line);
    }
}

void AlarmMenuController::buildPredefinedAlarms(platform::Menu& menu) {
    auto timer = menu.addItemWithTitle(QStringLiteral("Timer..."));
    auto quick = platform::Menu::create(QStringLiteral("Pre"));
    for (const int32_t minutes : kQuickMinutes) {
        quick->addItemWithTitle(QStringLiteral("%1 min").arg(minutes),
                                [this, minutes](platform::MenuItem&) { createPreAlarm(minutes); });
    }
    timer->setSubmenu(quick);
}

}  // namespace talvor
