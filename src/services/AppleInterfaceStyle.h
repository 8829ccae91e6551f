#pragma once

#include "platform/DesktopAppearance.h"
#include "platform/DistributedNotificationCenter.h"

#include <QObject>
#include <QPalette>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace talvor {

enum class ChangeReactorResponse : int {
    continueListeningForChanges = 0,
    stopListeningForChanges = 1
};

class AppearanceService;

// Keeps a reactor registered; destroying or resetting it removes the reactor.
class AppearanceObservation {
  public:
    AppearanceObservation() = default;
    AppearanceObservation(AppearanceService* service, std::uint64_t id)
        : service_(service), id_(id) {}
    AppearanceObservation(AppearanceObservation&& other) noexcept;
    AppearanceObservation& operator=(AppearanceObservation&& other) noexcept;
    AppearanceObservation(const AppearanceObservation&) = delete;
    AppearanceObservation& operator=(const AppearanceObservation&) = delete;
    ~AppearanceObservation() { reset(); }
    void reset();
    bool isActive() const;

  private:
    AppearanceService* service_ = nullptr;
    std::uint64_t id_ = 0;
};

// The desktop's appearance as light or dark.
class AppleInterfaceStyle {
  public:
    enum Value : int { light = 0, dark = 1 };
    using Reactor = std::function<ChangeReactorResponse(AppleInterfaceStyle)>;

    constexpr AppleInterfaceStyle(Value value = light) : value_(value) {}
    constexpr operator Value() const { return value_; }

    // The standard defaults' "AppleInterfaceStyle" (fed from the desktop): absent is light,
    // exactly "Dark" is dark, any other text is light after a log line.
    static AppleInterfaceStyle current();
    // Switches the desktop (and Talvor's look) to `style`, unless "AppearanceSwitch" is "Off"
    // or absent, and only when the desktop does not show it already.
    static void setCurrent(AppleInterfaceStyle style);
    static void setDarkModeViaAppleScript(bool newValue);
    // Calls the reactor with a fresh reading at every change of the appearance (and once at
    // once with `alsoCallNow`) until it answers stop or the handle goes.
    [[nodiscard]] static AppearanceObservation listenForChanges(bool alsoCallNow, Reactor reactor);

    // The palette of this appearance; vibrant changes nothing on this platform.
    QPalette appearance(bool vibrant = false) const;

  private:
    Value value_;
};

// makeLight / makeDark: the entry points of the rest of the application.
class ChangeAppearance {
  public:
    static void makeLight() { AppleInterfaceStyle::setCurrent(AppleInterfaceStyle::light); }
    static void makeDark() { AppleInterfaceStyle::setCurrent(AppleInterfaceStyle::dark); }
};

// The desktop's light/dark state as the application sees it: read from a source (the
// settings portal), fed into the global "AppleInterfaceStyle" ("Dark" or absent), applied
// to the application's palette, announced to reactors and as the distributed
// "AppleInterfaceThemeChangedNotification"; switched through a setter only on a change.
class AppearanceService : public QObject {
    Q_OBJECT
  public:
    // Asks the source at once; until it answers, the look the desktop had last time (kept
    // between runs), light when none is known. `center` may be null (no announcement).
    AppearanceService(std::unique_ptr<platform::AppearanceSource> source,
                      std::unique_ptr<platform::AppearanceSetter> setter,
                      platform::DistributedNotificationCenter* center = nullptr,
                      QObject* parent = nullptr);
    ~AppearanceService() override;

    // The portal on the session bus and the desktop's own setting; created on first use.
    static AppearanceService& shared();
    // Tests: replaces the shared service (nullptr: the real one).
    static void setShared(AppearanceService* service);

    bool isDark() const { return dark_; }
    // Asks the desktop for `dark` and takes it on at once, when it differs from now.
    void switchTo(bool dark);

    AppearanceObservation addReactor(AppleInterfaceStyle::Reactor reactor, bool alsoCallNow);
    void removeReactor(std::uint64_t id);
    bool hasReactor(std::uint64_t id) const { return reactors_.count(id) != 0; }
    std::size_t reactorCount() const { return reactors_.size(); }

  private:
    void answered(bool dark);
    void remember(bool dark);
    void adopt(bool dark);
    void applyPalette(bool dark);
    void notifyReactors();

    std::unique_ptr<platform::AppearanceSource> source_;
    std::unique_ptr<platform::AppearanceSetter> setter_;
    platform::DistributedNotificationCenter* center_;
    bool dark_ = false;
    std::optional<bool> remembered_;
    bool constructing_ = false;
    bool changeHeard_ = false;  // a change the desktop sent: newer than the first read's answer
    bool paletteDark_ = false;
    QPalette original_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, AppleInterfaceStyle::Reactor> reactors_;
};

}  // namespace talvor
