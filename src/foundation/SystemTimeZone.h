#pragma once

#include "platform/Date.h"

#include <QString>
#include <QTimeZone>

#include <unicode/basictz.h>

#include <memory>

namespace talvor {

namespace platform {
class Clock;
}

// An ICU zone whose rules come from the system's time-zone database through QTimeZone. ICU's
// own zone data is years older than the system's, so every ICU calendar and formatter of the
// application carries one of these and ICU never decides an offset.
//
// The rules are read once per zone, from 1800 to 2200 (before and after, the first and the
// last offsets hold), and shared by all copies; a copy is cheap. A negative daylight saving
// of the system database (Europe/Dublin's winter) is counted as standard time, since ICU
// expects daylight saving to be positive; the offsets themselves are unchanged.
class SystemTimeZone : public icu::BasicTimeZone {
  public:
    // The rules of `zone`. An invalid zone gives UTC under ICU's unknown-zone ID "Etc/Unknown".
    explicit SystemTimeZone(const QTimeZone& zone);
    SystemTimeZone(const SystemTimeZone& other);
    SystemTimeZone& operator=(const SystemTimeZone&) = delete;
    ~SystemTimeZone() override;

    const QTimeZone& qTimeZone() const;

    // The abbreviation the system database gives for `zone` at `date` ("CET", "EST", "AEDT"),
    // not ICU's localized names, which are often "GMT+1".
    static QString abbreviation(const QTimeZone& zone, Date date);

    // Makes an adapter of the clock's current zone ICU's default zone, and keeps it so at each
    // change of the clock's zone, until the clock goes away or another clock is followed.
    // Only ICU objects made without a zone of their own use the default; ours always get one.
    static void adoptAsIcuDefault(platform::Clock& clock);

    // icu::TimeZone
    bool operator==(const icu::TimeZone& that) const override;
    int32_t getOffset(uint8_t era, int32_t year, int32_t month, int32_t day, uint8_t dayOfWeek,
                      int32_t millis, UErrorCode& status) const override;
    int32_t getOffset(uint8_t era, int32_t year, int32_t month, int32_t day, uint8_t dayOfWeek,
                      int32_t millis, int32_t monthLength, UErrorCode& status) const override;
    // A local `date` is read as ICU's own zones read it: a time in a gap with the offset
    // before the change, a repeated time with the offset after it.
    void getOffset(UDate date, UBool local, int32_t& rawOffset, int32_t& dstOffset,
                   UErrorCode& status) const override;
    // The system's rules are not ours to change: this does nothing.
    void setRawOffset(int32_t offsetMillis) override;
    // The raw offset now (by the platform clock).
    int32_t getRawOffset() const override;
    // Whether the zone observes daylight saving time now or later.
    UBool useDaylightTime() const override;
    UBool inDaylightTime(UDate date, UErrorCode& status) const override;
    UBool hasSameRules(const icu::TimeZone& other) const override;
    int32_t getDSTSavings() const override;
    SystemTimeZone* clone() const override;
    static UClassID getStaticClassID();
    UClassID getDynamicClassID() const override;

    // icu::BasicTimeZone
    UBool getNextTransition(UDate base, UBool inclusive,
                            icu::TimeZoneTransition& result) const override;
    UBool getPreviousTransition(UDate base, UBool inclusive,
                                icu::TimeZoneTransition& result) const override;
    int32_t countTransitionRules(UErrorCode& status) const override;
    void getTimeZoneRules(const icu::InitialTimeZoneRule*& initial,
                          const icu::TimeZoneRule* trsrules[], int32_t& trscount,
                          UErrorCode& status) const override;
    using icu::BasicTimeZone::getOffsetFromLocal;
    void getOffsetFromLocal(UDate date, UTimeZoneLocalOption nonExistingTimeOpt,
                            UTimeZoneLocalOption duplicatedTimeOpt, int32_t& rawOffset,
                            int32_t& dstOffset, UErrorCode& status) const override;

    // The zone's periods and transition rules, shared by copies (defined in the source file).
    struct Rules;

  private:
    std::shared_ptr<const Rules> rules_;
};

}  // namespace talvor
