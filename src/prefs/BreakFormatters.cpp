#include "BreakFormatters.h"

#include "platform/Log.h"

namespace talvor {

BreakNumberFormatter::BreakNumberFormatter(int minimum, int maximum, QObject* parent)
    : QValidator(parent), minimum_(minimum), maximum_(maximum), fallback_(minimum) {}

QValidator::State BreakNumberFormatter::validate(QString& input, int&) const {
    if (input.isEmpty()) {
        return Intermediate;
    }
    for (const QChar c : input) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            platform::beep();
            return Invalid;
        }
    }
    // Leading zeros and long runs of digits are refused before they can overflow.
    if (input.size() > 1 && input.front() == QLatin1Char('0')) {
        return Invalid;
    }
    bool ok = false;
    const int value = input.toInt(&ok);
    if (!ok || value > maximum_) {
        return Invalid;
    }
    return value < minimum_ ? Intermediate : Acceptable;
}

void BreakNumberFormatter::fixup(QString& input) const {
    input = QString::number(fallback_);
}

}  // namespace talvor
