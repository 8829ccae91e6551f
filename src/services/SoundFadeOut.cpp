#include "SoundFadeOut.h"

#include "platform/Clock.h"
#include "platform/Scheduler.h"

#include <unordered_map>

namespace talvor::FadeOut {
namespace {

using platform::Scheduler;
using platform::SoundPlayer;
using platform::TimerHandle;

struct Fade {
    std::shared_ptr<SoundPlayer> sound;
    double playTime = 0;
    double fadeStart = 0;
    Date started;
    TimerHandle fadeStartTimer;
    TimerHandle playTimer;
    TimerHandle fadeOutStepTimer;
};

// Never destroyed: timers of the process-wide scheduler must not be cancelled after it
// is gone at exit.
std::unordered_map<const SoundPlayer*, std::shared_ptr<Fade>>& fades() {
    static auto* map = new std::unordered_map<const SoundPlayer*, std::shared_ptr<Fade>>();
    return *map;
}

bool isCurrent(const std::shared_ptr<Fade>& fade) {
    auto it = fades().find(fade->sound.get());
    return it != fades().end() && it->second == fade;
}

// The fade lets go of its sound and timers (later in the same turn, since a timer's own
// callback may be what ends it).
void finish(const std::shared_ptr<Fade>& fade) {
    if (isCurrent(fade)) {
        Scheduler::shared().postToMain([fade] {
            if (isCurrent(fade)) {
                fades().erase(fade->sound.get());
            }
        });
        fade->fadeOutStepTimer.cancel();
    }
}

void fadeOutStep(const std::shared_ptr<Fade>& fade) {
    if (fade->sound->isPlaying()) {
        fade->sound->setVolume(fade->sound->volume() - 0.01f);
    } else {
        finish(fade);
    }
}

void startFading(const std::shared_ptr<Fade>& fade) {
    const double duration = fade->sound->duration();
    const double length = duration > fade->playTime ? fade->playTime : duration;
    const double interval = (length - fade->fadeStart) * static_cast<double>(0.01f) * 2.0;
    if (!(interval > 0)) {
        finish(fade);
        return;
    }
    std::weak_ptr<Fade> weak = fade;
    Scheduler& s = Scheduler::shared();
    fade->fadeOutStepTimer =
        s.scheduleRepeating(s.clock().now().addingTimeInterval(interval), interval, [weak] {
            if (auto f = weak.lock()) {
                fadeOutStep(f);
            }
        });
}

void stopPlaying(const std::shared_ptr<Fade>& fade) {
    if (fade->sound->isPlaying()) {
        fade->sound->stop();
    }
}

// Step 2 needs the duration, which a file being read may not know yet.
void decide(const std::shared_ptr<Fade>& fade) {
    if (!isCurrent(fade)) {
        return;
    }
    if (!(fade->sound->duration() > fade->fadeStart)) {
        fades().erase(fade->sound.get());
        return;
    }
    std::weak_ptr<Fade> weak = fade;
    Scheduler& s = Scheduler::shared();
    fade->fadeStartTimer = s.scheduleAt(fade->started.addingTimeInterval(fade->fadeStart), [weak] {
        if (auto f = weak.lock()) {
            startFading(f);
        }
    });
    fade->playTimer = s.scheduleAt(fade->started.addingTimeInterval(fade->playTime), [weak] {
        if (auto f = weak.lock()) {
            stopPlaying(f);
        }
    });
}

}  // namespace

void playFor(const std::shared_ptr<SoundPlayer>& sound, double playTime, double fadeStart) {
    if (!sound) {
        return;
    }
    auto fade = std::make_shared<Fade>();
    fade->sound = sound;
    fade->playTime = playTime;
    fade->fadeStart = fadeStart;
    fade->started = Scheduler::shared().clock().now();
    fades()[sound.get()] = fade;  // an earlier fade of this sound ends with its timers
    sound->setVolume(0.5f);
    sound->play();
    std::weak_ptr<Fade> weak = fade;
    sound->whenLoaded([weak] {
        if (auto f = weak.lock()) {
            decide(f);
        }
    });
}

void stopTimers() {
    auto all = std::move(fades());
    fades().clear();
    all.clear();
}

}  // namespace talvor::FadeOut
