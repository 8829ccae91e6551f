#include "Calendar.h"

#include "IcuDates.h"
#include "SystemTimeZone.h"

#include <unicode/gregocal.h>

namespace talvor {

struct Calendar::Impl {
    std::unique_ptr<const icu::Calendar> prototype;
    QString identifier;
    std::optional<QTimeZone> zone;
};

Calendar Calendar::create(const QString& identifier) {
    if (identifier.isEmpty()) {
        return {};
    }
    std::unique_ptr<icu::Calendar> calendar =
        IcuDates::createCalendar(identifier, QTimeZone::utc());
    if (!calendar) {
        return {};
    }
    return Calendar(std::make_shared<const Impl>(Impl{std::move(calendar), identifier, {}}));
}

Calendar Calendar::current() {
    std::unique_ptr<icu::Calendar> calendar = IcuDates::createCalendar(QString(), QTimeZone::utc());
    if (!calendar) {
        return {};
    }
    const QString identifier = QString::fromLatin1(calendar->getType());
    return Calendar(std::make_shared<const Impl>(Impl{std::move(calendar), identifier, {}}));
}

QString Calendar::calendarIdentifier() const {
    return impl_ ? impl_->identifier : QString();
}

Calendar Calendar::withTimeZone(const QTimeZone& zone) const {
    const Calendar base = impl_ ? *this : current();
    if (!base.impl_) {
        return {};
    }
    std::unique_ptr<icu::Calendar> copy(base.impl_->prototype->clone());
    return Calendar(
        std::make_shared<const Impl>(Impl{std::move(copy), base.impl_->identifier, zone}));
}

QTimeZone Calendar::timeZone() const {
    if (impl_ && impl_->zone) {
        return *impl_->zone;
    }
    return IcuDates::currentZone();
}

std::unique_ptr<icu::Calendar> Calendar::icuCalendar(Date date) const {
    std::unique_ptr<icu::Calendar> calendar;
    if (impl_) {
        calendar.reset(impl_->prototype->clone());
        IcuDates::setZone(*calendar, timeZone());
    } else {
        calendar = IcuDates::createCalendar(QString(), timeZone());
    }
    UErrorCode status = U_ZERO_ERROR;
    if (!calendar) {
        // Only when ICU lacks the locale's data.
        calendar = std::make_unique<icu::GregorianCalendar>(new SystemTimeZone(timeZone()), status);
    }
    calendar->setTime(date.toUDate(), status);
    return calendar;
}

}  // namespace talvor
