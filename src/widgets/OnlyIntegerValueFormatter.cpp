#include "OnlyIntegerValueFormatter.h"

#include "platform/Log.h"

namespace talvor {

bool OnlyIntegerValueFormatter::isPartialStringValid(const QString& partialString) {
    if (partialString.isEmpty()) {
        return true;
    }
    if (partialString.size() > 5) {
        return false;
    }
    qsizetype i = 0;
    while (i < partialString.size() && partialString[i].isSpace()) {
        ++i;
    }
    if (i < partialString.size() && (partialString[i] == u'+' || partialString[i] == u'-')) {
        ++i;
    }
    const qsizetype digitsStart = i;
    while (i < partialString.size() && partialString[i] >= u'0' && partialString[i] <= u'9') {
        ++i;
    }
    return i > digitsStart && i == partialString.size();
}

QValidator::State OnlyIntegerValueFormatter::validate(QString& input, int&) const {
    if (isPartialStringValid(input)) {
        return Acceptable;
    }
    platform::beep();
    return Invalid;
}

}  // namespace talvor
