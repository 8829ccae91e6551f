#include "CalendarStore.h"

#include "Log.h"
#include "UserDefaults.h"

namespace talvor::platform {
namespace {

const QString kAccessKey = QStringLiteral("CalendarStoreAccess");

// No calendars: what a process has before the program installs its store.
class EmptyCalendarStore : public CalendarStore {
  public:
    std::vector<StoreCalendar> calendars() const override { return {}; }
    std::vector<StoreOccurrence> events(Date, Date, const QStringList&) const override {
        return {};
    }
    StoreSaveResult saveEvent(const NewStoreEvent&) override {
        return {QString(), QStringLiteral("There is no calendar to save the event in.")};
    }
    std::optional<QString> removeEvent(const StoreOccurrence&, RemoveScope) override {
        return QStringLiteral("There is no calendar to remove the event from.");
    }
};

CalendarStore*& installed() {
    static CalendarStore* store = nullptr;
    return store;
}

CalendarStore::ConsentPrompt& prompt() {
    static CalendarStore::ConsentPrompt p;
    return p;
}

}  // namespace

CalendarStore& CalendarStore::shared() {
    if (installed() != nullptr) {
        return *installed();
    }
    static EmptyCalendarStore* const empty = new EmptyCalendarStore;
    return *empty;
}

void CalendarStore::setShared(CalendarStore* store) {
    installed() = store;
}

void CalendarStore::setConsentPrompt(ConsentPrompt p) {
    prompt() = std::move(p);
}

CalendarAccess CalendarStore::authorizationStatus(const UserDefaults& defaults) {
    const QString value = defaults.stringForKey(kAccessKey);
    if (value == QLatin1String("authorized")) {
        return CalendarAccess::Authorized;
    }
    if (value == QLatin1String("denied")) {
        return CalendarAccess::Denied;
    }
    return CalendarAccess::NotDetermined;
}

void CalendarStore::setAuthorizationStatus(UserDefaults& defaults, CalendarAccess access) {
    switch (access) {
        case CalendarAccess::Authorized:
            defaults.setObject(QStringLiteral("authorized"), kAccessKey);
            break;
        case CalendarAccess::Denied:
        case CalendarAccess::Restricted:
            defaults.setObject(QStringLiteral("denied"), kAccessKey);
            break;
        case CalendarAccess::NotDetermined:
            defaults.removeObjectForKey(kAccessKey);
            break;
    }
}

UserDefaults& CalendarStore::defaults() const {
    return defaults_ != nullptr ? *defaults_ : UserDefaults::standard();
}

CalendarAccess CalendarStore::authorizationStatus() const {
    return authorizationStatus(defaults());
}

void CalendarStore::resetAuthorization() {
    setAuthorizationStatus(defaults(), CalendarAccess::NotDetermined);
}

void CalendarStore::answerAccessQuestion(bool granted) {
    setAuthorizationStatus(defaults(),
                           granted ? CalendarAccess::Authorized : CalendarAccess::Denied);
}

void CalendarStore::requestAccess(std::function<void(bool, std::optional<QString>)> completion) {
    static const QString kRefused = QStringLiteral("Access to the calendars was refused.");
    switch (authorizationStatus()) {
        case CalendarAccess::Authorized:
            completion(true, std::nullopt);
            return;
        case CalendarAccess::Denied:
        case CalendarAccess::Restricted:
            completion(false, kRefused);
            return;
        case CalendarAccess::NotDetermined:
            break;
    }
    if (!prompt()) {
        static bool said = false;
        if (!said) {
            said = true;
            log(QStringLiteral("calendar store: no way to ask for calendar access; refused"));
        }
        completion(false, kRefused);
        return;
    }
    prompt()([this, completion = std::move(completion)](bool granted) {
        setAuthorizationStatus(defaults(),
                               granted ? CalendarAccess::Authorized : CalendarAccess::Denied);
        completion(granted, granted ? std::nullopt : std::optional<QString>(kRefused));
    });
}

}  // namespace talvor::platform
