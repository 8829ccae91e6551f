#include "TalvorChimeSettings.h"

#include "AlarmsKeys.h"
#include "ChimeStates.h"
#include "foundation/Calendar.h"
#include "foundation/IcuDates.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/StringsBundle.h"
#include "platform/Log.h"
#include "services/ServicesKeys.h"

#include <unicode/calendar.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace talvor {

namespace {

// Fills a table text: "%d" takes the number, "%@" the text, "%%" is a percent sign. Other
// directives are kept as written: a table cannot make the program read arguments it lacks.
QString fillFormat(const QString& format, int32_t number, const QString& text) {
    QString out;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == QLatin1Char('%') && i + 1 < format.size()) {
            const QChar next = format[i + 1];
            if (next == QLatin1Char('d')) {
                out += QString::number(number);
                ++i;
                continue;
            }
            if (next == QLatin1Char('@')) {
                out += text;
                ++i;
                continue;
            }
            if (next == QLatin1Char('%')) {
                out += QLatin1Char('%');
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

QString localized(const StringsBundle& bundle, const QString& key) {
    return bundle.localizedString(key, keys::LocalizableMETalvor2).value_or(key);
}

QString amPmSymbol(Date date) {
    const std::unique_ptr<icu::SimpleDateFormat> f =
        IcuDates::createPatternFormat(QStringLiteral("a"));
    return f ? IcuDates::format(*f, date) : QString();
}

}  // namespace

ChimeSoundPort::~ChimeSoundPort() = default;

TalvorChimeSettings::TalvorChimeSettings(ChimeSoundPort* sounds) : sounds_(sounds) {
    LoadTimerOptions();
}

TalvorChimeSettings::~TalvorChimeSettings() = default;

void TalvorChimeSettings::LoadTimerOptions(const QVariant& sender) {
    platform::PreferenceStore& store = PreferenceDomain::store();
    if (sender.isValid()) {
        store.synchronize();
    }
    chimeVolume_ = PreferenceDomain::readInteger(keys::ChimeVolume, 0);
    if (chimeVolume_ == 0) {
        chimeVolume_ = -1;
    }
    // Absent: every field 0.
    const ChimeStates states =
        ChimeStates::parse(store.stringValue(keys::ChimeStates).value_or(QString()));
    bSpeakHour_ = states.bSpeakHour;
    bPlayChimes_ = states.bPlayChimes;
    bChimeOnlyOnce_ = states.bChimeOnlyOnce;
    bChimeHour_ = states.bChimeHour;
    bChimeQuarter_ = states.bChimeQuarter;
    bChimeHalf_ = states.bChimeHalf;
    bChime3Quarter_ = states.bChime3Quarter;
    oClockFlag_ = states.OClockFlag;
    QuietStart_ = PreferenceDomain::readInteger(keys::QuietStart, 0);
    QuietEnd_ = PreferenceDomain::readInteger(keys::QuietEnd, 0);
    chimeVoice_ = store.stringValue(keys::chimeVoice).value_or(QString());
    hasSpeaker_ = sounds_ != nullptr && sounds_->loadVoice(chimeVoice_, volume());
    if (!hasSpeaker_) {
        platform::log(QStringLiteral("NSSpeechSynthesizer failed to load with voice %1")
                          .arg(chimeVoice_.isEmpty() ? QStringLiteral("(null)") : chimeVoice_));
    }
}

bool TalvorChimeSettings::isInQuietHours(int32_t hhmm) const {
    const int32_t s = QuietStart_;
    const int32_t e = QuietEnd_;
    if (s == 0 || s == e) {
        return false;
    }
    if (s <= 399 && hhmm < s) {
        return false;
    }
    if (hhmm <= e || hhmm >= s) {
        return true;
    }
    return s < 1201;
}

void TalvorChimeSettings::doChimesIfNeeded(Date date, const StringsBundle& bundle) {
    const std::unique_ptr<icu::Calendar> cal = Calendar().icuCalendar(date);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t second = cal->get(UCAL_SECOND, status);
    const int32_t minute = cal->get(UCAL_MINUTE, status);
    const int32_t hour = cal->get(UCAL_HOUR_OF_DAY, status);
    if (U_FAILURE(status) || second != 0) {
        return;
    }
    const auto minuteNumber =
        static_cast<int64_t>(std::floor(date.timeIntervalSinceReferenceDate() / 60.0));
    if (lastChimedMinute_ == minuteNumber) {
        return;
    }
    lastChimedMinute_ = minuteNumber;
    if (isInQuietHours(hour * 100 + minute)) {
        return;
    }
    switch (minute) {
        case 45:
            if (bChime3Quarter_ && bPlayChimes_) {
                startChime3Quarter();
            }
            return;
        case 30:
            if (bChimeHalf_ && bPlayChimes_) {
                startChimeHalf();
            }
            return;
        case 15:
            if (bChimeQuarter_ && bPlayChimes_) {
                startChimeQuarter();
            }
            return;
        case 0:
            break;
        default:
            return;
    }
    if (bSpeakHour_) {
        const int32_t h = hour % 12;
        QString text;
        if (oClockFlag_) {
            text = fillFormat(localized(bundle, QStringLiteral("%d%@ ")), h, amPmSymbol(date));
        } else if (hour == 12) {
            text = localized(bundle, QStringLiteral("Noon"));
        } else if (hour != 0) {
            text = fillFormat(localized(bundle, QStringLiteral("%d oClock")), h, QString());
        } else {
            text = localized(bundle, QStringLiteral("Mid Night"));
        }
        if (hasSpeaker_) {
            sounds_->speak(text);
        }
    }
    // The count is set only when the first strike can start, so that it never sticks.
    if (bChimeHour_ && myChimeHourCnt_ == 0 && bPlayChimes_) {
        if (bChimeOnlyOnce_) {
            const int32_t left = hour % 12 - 1;
            myChimeHourCnt_ = left == -1 ? 11 : left;
        }
        startChime();
    }
}

void TalvorChimeSettings::startChimeQuarter() {
    loadSoundWithKey(keys::ChimeQuarterSoundPath);
}

void TalvorChimeSettings::startChimeHalf() {
    loadSoundWithKey(keys::ChimeHalfSoundPath);
}

void TalvorChimeSettings::startChime3Quarter() {
    loadSoundWithKey(keys::Chime3QuarterSoundPath);
}

void TalvorChimeSettings::startChime() {
    HoursSounds();
}

void TalvorChimeSettings::HoursSounds() {
    WarnTimerHour_.cancel();
    if (!loadSoundWithKey(keys::CustomChimeSoundPath)) {
        // No end will come to strike the rest.
        myChimeHourCnt_ = 0;
    }
}

double TalvorChimeSettings::volume() const {
    return chimeVolume_ == -1 ? -1.0
                              : std::clamp(static_cast<double>(chimeVolume_) / 255.0, 0.0, 1.0);
}

bool TalvorChimeSettings::loadSoundWithKey(const QString& key) {
    const std::optional<QString> path = PreferenceDomain::store().stringValue(key);
    if (!path) {
        return false;
    }
    const uint64_t serial = ++chimeSoundSerial_;
    const std::weak_ptr<int> alive = alive_;
    const bool playing =
        sounds_ != nullptr && sounds_->playChimeSound(*path, volume(), [this, alive, serial] {
            if (!alive.expired()) {
                soundDidFinishPlaying(serial);
            }
        });
    if (!playing) {
        platform::beep();
    }
    return playing;
}

void TalvorChimeSettings::soundDidFinishPlaying(uint64_t serial) {
    if (myChimeHourCnt_ >= 1 && serial == chimeSoundSerial_) {
        --myChimeHourCnt_;
        WarnTimerHour_ =
            platform::Scheduler::shared().scheduleAfter(0.25, [this] { HoursSounds(); });
    }
}

}  // namespace talvor
