#include "SoundRepeat.h"

#include "platform/Clock.h"
#include "platform/Scheduler.h"
#include "platform/SoundPlayer.h"

#include <set>

namespace talvor::Repeat {

struct Chain {
    std::shared_ptr<platform::SoundPlayer> sound;
    platform::TimerHandle timer;
};

namespace {

using platform::Scheduler;

// Never destroyed, for the same reason as the fades' timers.
std::set<std::shared_ptr<Chain>>& chains() {
    static auto* set = new std::set<std::shared_ptr<Chain>>();
    return *set;
}

void release(const std::shared_ptr<Chain>& chain) {
    // Later in this turn: the chain's own timer may be the caller.
    Scheduler::shared().postToMain([chain] { chains().erase(chain); });
}

void playAgain(const std::shared_ptr<Chain>& chain, qint32 count, qint32 repeated);

void scheduleNext(const std::shared_ptr<Chain>& chain, Date after, qint32 count, qint32 repeated) {
    const double duration = chain->sound->duration();
    if (!(duration > 0)) {
        release(chain);  // nothing to wait for: never a chain of zero-length timers
        return;
    }
    std::weak_ptr<Chain> weak = chain;
    chain->timer =
        Scheduler::shared().scheduleAt(after.addingTimeInterval(duration), [weak, count, repeated] {
            if (auto c = weak.lock()) {
                playAgain(c, count, repeated);
            }
        });
}

void playAgain(const std::shared_ptr<Chain>& chain, qint32 count, qint32 repeated) {
    chain->sound->stop();
    if (count <= repeated) {
        release(chain);
        return;
    }
    chain->sound->play();
    scheduleNext(chain, Scheduler::shared().clock().now(), count, repeated + 1);
}

}  // namespace

void Handle::cancel() {
    if (auto c = chain_.lock()) {
        c->timer.cancel();
        c->sound->stop();
        chains().erase(c);
    }
    chain_.reset();
}

bool Handle::isActive() const {
    auto c = chain_.lock();
    return c && chains().count(c) != 0;
}

Handle playSoundAtPath(const QString& path, qint32 times) {
    auto sound = platform::SoundSystem::shared().soundWithContentsOfFile(path);
    if (!sound) {
        return {};
    }
    auto chain = std::make_shared<Chain>();
    chain->sound = sound;
    chains().insert(chain);
    const Date started = Scheduler::shared().clock().now();
    sound->play();
    std::weak_ptr<Chain> weak = chain;
    sound->whenLoaded([weak, started, times] {
        if (auto c = weak.lock(); c && chains().count(c) != 0) {
            scheduleNext(c, started, times, 1);
        }
    });
    return Handle(chain);
}

void stopAll() {
    auto all = std::move(chains());
    chains().clear();
    for (const auto& c : all) {
        c->timer.cancel();
        c->sound->stop();
    }
}

}  // namespace talvor::Repeat
