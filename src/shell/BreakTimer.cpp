#include "BreakTimer.h"

#include "alarms/TalvorTakeABreakSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/SoundPlayer.h"
#include "services/SoundFadeOut.h"

#include <QLineEdit>

#include <algorithm>

namespace talvor {

namespace {

// A break sound plays this long, fading out over its second half.
constexpr double kSoundPlayTime = 20.0;
constexpr double kSoundFadeStart = 10.0;

// A work period or a break of zero or fewer minutes would make breaks follow one another
// without end; the shortest either can be is one minute.
int64_t sanitizedMinutes(int32_t minutes) {
    return std::max<int64_t>(minutes, 1);
}

}  // namespace

BreakTimer::BreakTimer(platform::Scheduler& scheduler, TalvorTakeABreakSettings& breakSettings,
                       TalvorTimeSettings& timeSettings, Hooks hooks)
    : scheduler_(scheduler),
      breakSettings_(breakSettings),
      timeSettings_(timeSettings),
      hooks_(std::move(hooks)) {}

BreakTimer::~BreakTimer() = default;

QString BreakTimer::breakTimeText(int64_t remaining) {
    // Minutes and seconds as a clock counts down: "4:05 left", "0:43 left".
    remaining = std::max<int64_t>(remaining, 0);
    return QStringLiteral("Take a break: %1:%2 left")
        .arg(remaining / 60)
        .arg(remaining % 60, 2, 10, QLatin1Char('0'));
}

void BreakTimer::enableTake5() {
    repeatCounter_ = 0;
    isStop_ = false;
    breakSettings_.loadPrefs();
    startBreakTimer(breakSettings_.takeABreakFrequency());
    notifyState();
}

void BreakTimer::disableTake5() {
    repeatCounter_ = 0;
    isStop_ = true;
    stopBreakTimer();
    if (myCustomModalWindowController_ && myCustomModalWindowController_->isWindowVisible()) {
        myCustomModalWindowController_->endSheet(CustomModalWindowController::kReplacedReturnCode);
    }
    dropSheet();
    notifyState();
}

void BreakTimer::showTake5Prefrences() {
    if (hooks_.showTake5Prefrences) {
        hooks_.showTake5Prefrences();
    }
}

void BreakTimer::UpdateTake5() {
    notifyState();
}

void BreakTimer::startBreakTimer(int32_t minutes) {
    const double interval = static_cast<double>(sanitizedMinutes(minutes)) * 60.0;
    // Assigning cancels the previous work period, which would otherwise run on unstoppable.
    takeABreakTimer_ =
        scheduler_.scheduleRepeating(scheduler_.clock().now().addingTimeInterval(interval),
                                     interval, [this] { takeABreakUpdate(); });
}

void BreakTimer::stopBreakTimer() {
    takeABreakTimer_.cancel();
}

void BreakTimer::takeABreakUpdate() {
    stopBreakTimer();
    timeSettings_.loadPrefs();
    if (!timeSettings_.showTake5) {
        isStop_ = true;
        notifyState();
        return;
    }
    breakSettings_.loadPrefs();
    playBreakSound(breakSettings_.soundPath());
    if (myCustomModalWindowController_ && myCustomModalWindowController_->isWindowVisible()) {
        myCustomModalWindowController_->endSheet(CustomModalWindowController::kReplacedReturnCode);
    }
    dropSheet();

    myCustomModalWindowController_ = std::make_unique<CustomModalWindowController>(*this);
    // The sheet is up before the first second is counted, so that a break that is over at
    // once still ends through the sheet's completion.
    myCustomModalWindowController_->beginSheet(hooks_.sheetParent ? hooks_.sheetParent() : nullptr,
                                               [this](int returnCode) { sheetDidEnd(returnCode); });
    manageTakeABreakAlertAppearance();
    if (myCustomModalWindowController_) {
        countDownTimer_ =
            scheduler_.scheduleRepeating(scheduler_.clock().now().addingTimeInterval(1.0), 1.0,
                                         [this] { manageTakeABreakAlertAppearance(); });
    }
}

void BreakTimer::manageTakeABreakAlertAppearance() {
    CustomModalWindowController* sheet = myCustomModalWindowController_.get();
    if (sheet == nullptr) {
        countDownTimer_.cancel();
        return;
    }
    if (!bTakerABreakAlertDisplayed_) {
        bTakerABreakAlertDisplayed_ = true;
        counter_ = 0;
    } else {
        counter_ += 1;
    }
    breakSettings_.loadPrefs();
    // The duration may have been lowered during the break: a count below zero ends it too.
    const int64_t remaining = sanitizedMinutes(breakSettings_.takeABreakDuration()) * 60 - counter_;
    if (remaining > 0) {
        sheet->showBreakTime->setText(breakTimeText(remaining));
        sheet->showBreakTime->setEnabled(false);
        return;
    }
    sheet->showBreakTime->setText(breakTimeText(0));
    bTakerABreakAlertDisplayed_ = false;
    counter_ = 0;
    repeatCounter_ += 1;
    sheet->showBreakTime->clear();
    if (repeatCounter_ >= breakSettings_.takeABreakRepeat()) {
        repeatCounter_ = 0;
        isStop_ = true;
        sheet->didTapStopButton();
    } else {
        sheet->didTapDoneButton();
    }
}

void BreakTimer::sheetDidEnd(int returnCode) {
    switch (returnCode) {
        case CustomModalWindowController::kStopReturnCode:
            isStop_ = true;
            repeatCounter_ = 0;
            break;
        case CustomModalWindowController::kDoneReturnCode:
            playBreakSound(breakSettings_.durationSoundPath());
            if (!isStop_) {
                startBreakTimer(breakSettings_.takeABreakFrequency());
            }
            counter_ = 0;
            break;
        default:
            break;
    }
    dropSheet();
}

// The sheet goes with its count-down, so that the next break counts from its full length.
void BreakTimer::dropSheet() {
    countDownTimer_.cancel();
    bTakerABreakAlertDisplayed_ = false;
    counter_ = 0;
    myCustomModalWindowController_.reset();
}

void BreakTimer::playBreakSound(const QString& path) {
    const std::optional<QString> file = TalvorTakeABreakSettings::soundFile(path);
    if (!file) {
        return;
    }
    auto sound = platform::SoundSystem::shared().soundWithContentsOfFile(*file);
    if (!sound) {
        platform::log(QStringLiteral("The break sound %1 cannot be read").arg(*file));
        return;
    }
    breakSound_ = sound;
    FadeOut::playFor(sound, kSoundPlayTime, kSoundFadeStart);
}

void BreakTimer::notifyState() {
    if (hooks_.take5StateChanged) {
        hooks_.take5StateChanged(isStop_);
    }
}

}  // namespace talvor
