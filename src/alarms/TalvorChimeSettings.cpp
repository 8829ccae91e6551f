#include "TalvorChimeSettings.h"

#include "AlarmsKeys.h"
#include "ChimeStates.h"
#include "foundation/Calendar.h"
#include "foundation/IcuDates.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/SettingsTable.h"
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

// The volume, 1-255; 0 or absent is stored for "each sound at its own volume" (-1).
struct ChimeVolume {
    using Value = int64_t;
    static Value read(const QString& key, const Value& fallback) {
        const qint32 stored = PreferenceDomain::readInteger(key, 0);
        return stored == 0 ? fallback : stored;
    }
    static void write(const QString& key, const Value& v) {
        PreferenceDomain::writeInteger(key, v == -1 ? 0 : static_cast<qint32>(v));
    }
    static Value varied(const Value& v) { return v == -1 ? 100 : -1; }
    static bool same(const Value& a, const Value& b) { return a == b; }
};

// The eight on/off fields as the one text "Chimes: %d %d %d %d %d %d %d %d".
struct PackedChimeStates {
    using Value = ChimeStates;
    static Value read(const QString& key, const Value& fallback) {
        const std::optional<QString> text = PreferenceDomain::store().stringValue(key);
        return text ? ChimeStates::parse(*text) : fallback;
    }
    static void write(const QString& key, const Value& v) {
        PreferenceDomain::writeText(key, v.format());
    }
    static Value varied(const Value& v) {
        ChimeStates f = v;
        for (int32_t* field : {&f.bSpeakHour, &f.bPlayChimes, &f.bChimeOnlyOnce, &f.bChimeHour,
                               &f.bChimeQuarter, &f.bChimeHalf, &f.bChime3Quarter, &f.OClockFlag}) {
            *field = *field != 0 ? 0 : 1;
        }
        return f;
    }
    static bool same(const Value& a, const Value& b) { return a == b; }
};

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

const std::vector<settings::Row<TalvorChimeSettings>>& TalvorChimeSettings::table() {
    using namespace settings;
    using S = TalvorChimeSettings;
    static const Table<S> rows = {
        row<ChimeVolume>(keys::ChimeVolume, &S::chimeVolume_, int64_t{-1}),
        // Absent: every field 0.
        row<PackedChimeStates>(keys::ChimeStates, &S::states_, ChimeStates{}),
        row<Integer>(keys::QuietStart, &S::QuietStart_, 0),
        row<Integer>(keys::QuietEnd, &S::QuietEnd_, 0),
        // Empty: the default voice.
        row<Text>(keys::chimeVoice, &S::chimeVoice_, QString()),
    };
    return rows;
}

void TalvorChimeSettings::LoadTimerOptions(const QVariant& sender) {
    if (sender.isValid()) {
        PreferenceDomain::store().synchronize();
    }
    settings::loadAll(table(), *this);
    hasSpeaker_ = sounds_ != nullptr && sounds_->loadVoice(chimeVoice_, volume());
    if (!hasSpeaker_) {
        platform::log(QStringLiteral("Speech: the voice %1 cannot speak the chimes")
                          .arg(chimeVoice_.isEmpty() ? QStringLiteral("(none)") : chimeVoice_));
    }
}

void TalvorChimeSettings::writePrefs() const {
    settings::writeAll(table(), *this);
}

bool TalvorChimeSettings::isInQuietHours(int32_t hhmm) const {
    const int32_t s = QuietStart_;
    const int32_t e = QuietEnd_;
    if (s == 0 || s == e) {
        return false;
    }
    // A period within one day, or one across midnight.
    if (s < e) {
        return hhmm >= s && hhmm <= e;
    }
    return hhmm >= s || hhmm <= e;
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
            if (states_.bChime3Quarter && states_.bPlayChimes) {
                startChime3Quarter();
            }
            return;
        case 30:
            if (states_.bChimeHalf && states_.bPlayChimes) {
                startChimeHalf();
            }
            return;
        case 15:
            if (states_.bChimeQuarter && states_.bPlayChimes) {
                startChimeQuarter();
            }
            return;
        case 0:
            break;
        default:
            return;
    }
    if (states_.bSpeakHour) {
        const int32_t h = hour % 12;
        QString text;
        if (states_.OClockFlag) {
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
    if (states_.bChimeHour && myChimeHourCnt_ == 0 && states_.bPlayChimes) {
        // As the chimes pane means it: set strikes once, clear counts the hours.
        if (!states_.bChimeOnlyOnce) {
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
