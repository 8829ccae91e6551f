#pragma once

// Fakes of the system-event back ends: sessions, interfaces, appearance, helper processes and
// the position. Each reports only when a test makes it.

#include "platform/DesktopAppearance.h"
#include "platform/InterfaceWatcher.h"
#include "platform/LocationService.h"
#include "platform/ProcessLauncher.h"
#include "platform/SessionEvents.h"

#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace talvor::test {

class FakeSessionEventSource : public platform::SessionEventSource {
  public:
    void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
    void sleep() { call(handlers_.willSleep); }
    void wake() { call(handlers_.didWake); }
    void powerOff() { call(handlers_.willPowerOff); }
    void setActive(bool active) {
        if (handlers_.sessionActiveChanged) {
            handlers_.sessionActiveChanged(active);
        }
    }
    void setLocked(bool locked) {
        if (handlers_.sessionLockChanged) {
            handlers_.sessionLockChanged(locked);
        }
    }

  private:
    static void call(const std::function<void()>& f) {
        if (f) {
            f();
        }
    }
    Handlers handlers_;
};

class FakeInterfaceChangeSource : public platform::InterfaceChangeSource {
  public:
    explicit FakeInterfaceChangeSource(QStringList current = {}) : current_(std::move(current)) {}
    void setChangeHandler(ChangeHandler handler) override { handler_ = std::move(handler); }
    QStringList currentKeys() const override { return current_; }

    void setCurrentKeys(QStringList keys) { current_ = std::move(keys); }
    void change(const QStringList& keys) {
        if (handler_) {
            handler_(keys);
        }
    }
    bool hasHandler() const { return static_cast<bool>(handler_); }

  private:
    QStringList current_;
    ChangeHandler handler_;
};

class FakeAppearanceSource : public platform::AppearanceSource {
  public:
    explicit FakeAppearanceSource(std::optional<bool> dark = false) : dark_(dark) {}
    std::optional<bool> isDark() override { return dark_; }
    // With answerLater, a read waits for answerReads() as a reply from the desktop would.
    void readIsDark(std::function<void(std::optional<bool>)> answer) override {
        if (answerLater) {
            pendingReads_.push_back(std::move(answer));
        } else {
            answer(dark_);
        }
    }
    // Answers with the look now, or with the one the desktop had when it read (`read`).
    void answerReads(std::optional<std::optional<bool>> read = std::nullopt) {
        for (auto& answer : std::exchange(pendingReads_, {})) {
            answer(read ? *read : dark_);
        }
    }
    bool answerLater = false;
    void setChangeHandler(ChangeHandler handler) override { handler_ = std::move(handler); }
    // The desktop changed by itself.
    void change(bool dark) {
        dark_ = dark;
        if (handler_) {
            handler_(dark);
        }
    }

  private:
    std::optional<bool> dark_;
    ChangeHandler handler_;
    std::vector<std::function<void(std::optional<bool>)>> pendingReads_;
};

class FakeAppearanceSetter : public platform::AppearanceSetter {
  public:
    bool setDark(bool dark) override {
        requests.push_back(dark);
        return supported;
    }
    std::vector<bool> requests;
    bool supported = true;
};

// Records what would have been started; knows the programs it is told of. Programs in
// `failing` are tried but do not start.
class FakeProcessLauncher : public platform::ProcessLauncher {
  public:
    struct Launch {
        QString program;
        QStringList arguments;
    };
    bool startDetached(const QString& program, const QStringList& arguments) override {
        launches.push_back({program, arguments});
        return !failing.contains(program);
    }
    QString findExecutable(const QString& name) const override {
        return installed.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
    }
    std::vector<Launch> launches;
    QStringList installed;
    QStringList failing;
};

class FakeLocationService : public platform::LocationService {
  public:
    bool locationServicesEnabled() const override { return enabled; }
    void setDelegate(Delegate delegate) override { delegate_ = std::move(delegate); }
    void startUpdatingLocation() override { ++starts; }
    void stopUpdatingLocation() override { ++stops; }
    void deliver(double latitude, double longitude) {
        if (delegate_.didUpdateLocation) {
            delegate_.didUpdateLocation(latitude, longitude);
        }
    }
    void authorize(Authorization status) {
        if (delegate_.didChangeAuthorization) {
            delegate_.didChangeAuthorization(status);
        }
    }
    void fail(const QString& error) {
        if (delegate_.didFailWithError) {
            delegate_.didFailWithError(error);
        }
    }
    bool enabled = true;
    int starts = 0;
    int stops = 0;

  private:
    Delegate delegate_;
};

}  // namespace talvor::test
