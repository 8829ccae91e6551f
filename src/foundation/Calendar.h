#pragma once

#include "platform/Date.h"

#include <QString>
#include <QTimeZone>

#include <unicode/uversion.h>

#include <memory>
#include <optional>

U_NAMESPACE_BEGIN
class Calendar;
U_NAMESPACE_END

namespace talvor {

// A calendar system (gregorian, hebrew, japanese, ...) with the week rules of the locale it
// was made in. A handle: copies share one calendar, and == tells whether two handles are that
// same calendar, as the calendar cache promises. A null handle stands for "no calendar" (nil);
// where a calendar is needed, it computes as the current calendar.
// Times are taken in the platform clock's current zone at each call, unless the calendar was
// given a zone of its own.
class Calendar {
  public:
    Calendar() = default;

    // The calendar of an ICU calendar type, in the default locale; null when ICU does not know
    // the type.
    static Calendar create(const QString& identifier);
    // The default locale's own calendar; a new calendar at every call.
    static Calendar current();

    bool isNull() const { return impl_ == nullptr; }
    explicit operator bool() const { return impl_ != nullptr; }

    // The ICU calendar type ("gregorian", "hebrew", ...); null for a null handle.
    QString calendarIdentifier() const;

    // A new calendar like this one that always works in `zone`.
    Calendar withTimeZone(const QTimeZone& zone) const;
    // The zone of its own, else the clock's current zone.
    QTimeZone timeZone() const;

    // A fresh ICU calendar of this calendar's system, locale and zone, set to `date`.
    std::unique_ptr<icu::Calendar> icuCalendar(Date date) const;

    friend bool operator==(const Calendar& a, const Calendar& b) { return a.impl_ == b.impl_; }

  private:
    struct Impl;
    explicit Calendar(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}
    std::shared_ptr<const Impl> impl_;
};

}  // namespace talvor
