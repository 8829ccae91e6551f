#include "TimeTexts.h"

#include "AlarmDates.h"
#include "foundation/IcuDates.h"
#include "platform/Clock.h"

namespace talvor {

namespace {

// Whether a UTS #35 pattern has the field letter outside quoted text.
bool patternHasField(const QString& pattern, QChar letter) {
    bool quoted = false;
    for (const QChar c : pattern) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        } else if (!quoted && c == letter) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool isTwentyFourHourDateFormat() {
    const std::unique_ptr<icu::SimpleDateFormat> f =
        IcuDates::createTimeStyleFormat(icu::DateFormat::kShort);
    if (!f) {
        return false;
    }
    icu::UnicodeString pattern;
    f->toPattern(pattern);
    return !patternHasField(IcuDates::fromUnicode(pattern), QLatin1Char('a'));
}

QString formatTime(Date date) {
    const QString pattern =
        isTwentyFourHourDateFormat() ? QStringLiteral("E, H:mm") : QStringLiteral("E, h:mm a");
    const std::unique_ptr<icu::SimpleDateFormat> f = IcuDates::createPatternFormat(pattern);
    return f ? IcuDates::format(*f, date) : QString();
}

QString formatTime2(Date date) {
    // Rounded up: 35 s before the alarm is "In 1 min", never "In 0 min".
    const int64_t seconds = AlarmDates::wholeSecondsBetween(platform::Clock::shared().now(), date);
    const int64_t minutes = seconds > 0 ? (seconds + 59) / 60 : seconds / 60;
    const QString pattern =
        isTwentyFourHourDateFormat() ? QStringLiteral("H:mm") : QStringLiteral("h:mm a");
    const std::unique_ptr<icu::SimpleDateFormat> f = IcuDates::createPatternFormat(pattern);
    const QString time = f ? IcuDates::format(*f, date) : QString();
    return (minutes <= 1 ? QStringLiteral("In %1 min at %2") : QStringLiteral("In %1 mins at %2"))
        .arg(minutes)
        .arg(time);
}

}  // namespace talvor
