#pragma once

#include <QByteArray>

#include <unicode/locid.h>
#include <ctime>

namespace talvor::test {

inline void setIcuDefaultLocale(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(name), status);
}

// Sets the machine's zone (TZ) and ICU's default locale for the life of the object, so
// that code reading the machine's zone instead of the clock's shows in a test.
class ScopedMachineZone {
  public:
    ScopedMachineZone(const char* tz, const char* icuLocale)
        : hadTz_(qEnvironmentVariableIsSet("TZ")),
          oldTz_(qgetenv("TZ")),
          oldLocale_(icu::Locale::getDefault()) {
        qputenv("TZ", tz);
        ::tzset();
        setIcuDefaultLocale(icuLocale);
    }
    ~ScopedMachineZone() {
        setIcuDefaultLocale(oldLocale_.getName());
        if (hadTz_) {
            qputenv("TZ", oldTz_);
        } else {
            qunsetenv("TZ");
        }
        ::tzset();
    }
    ScopedMachineZone(const ScopedMachineZone&) = delete;
    ScopedMachineZone& operator=(const ScopedMachineZone&) = delete;

  private:
    bool hadTz_;
    QByteArray oldTz_;
    icu::Locale oldLocale_;
};

}  // namespace talvor::test
