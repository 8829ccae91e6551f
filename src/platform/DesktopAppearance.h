#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace talvor::platform {

// The desktop's light/dark preference and its changes. Handlers run on the main thread.
class AppearanceSource {
  public:
    using ChangeHandler = std::function<void(bool dark)>;
    virtual ~AppearanceSource();

    // Dark or light; nullopt when the desktop cannot be asked.
    virtual std::optional<bool> isDark() = 0;
    // The same answer without waiting for it: `answer` runs on the main thread once the
    // desktop replies (at once for a source that needs no round trip).
    // By value: the sources that wait for the desktop keep it.
    virtual void readIsDark(std::function<void(std::optional<bool>)> answer) {
        const auto reply = std::move(answer);
        reply(isDark());
    }
    // Called with the new preference each time the desktop announces a change.
    virtual void setChangeHandler(ChangeHandler handler) = 0;

    // The installed system's source (on Linux the desktop portal); without one, or without
    // the desktop's bus, one that knows nothing (after one log line).
    static std::unique_ptr<AppearanceSource> createSystemSource();
};

// The desktop's look as last heard, kept between runs (in the user's cache folder) so that
// the first frame can be drawn in it before the desktop has answered.
namespace RememberedAppearance {
std::optional<bool> dark();
void remember(bool dark);
}  // namespace RememberedAppearance

// Switches the desktop's own light/dark setting.
class AppearanceSetter {
  public:
    virtual ~AppearanceSetter();
    // Asks the desktop to switch and returns at once; false when this desktop has no setting
    // that we know how to change.
    virtual bool setDark(bool dark) = 0;

    // The installed system's setter; without one, a setter that changes nothing (saying so
    // in the log when asked).
    static std::unique_ptr<AppearanceSetter> createSystemSetter();
};

}  // namespace talvor::platform
