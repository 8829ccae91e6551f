#pragma once

#include "platform/SoundPlayer.h"

#include <memory>

namespace talvor {

// Playing a sound for a limited time, fading it out linearly from a given moment. Each
// sound keeps its own fade: a second sound fading meanwhile leaves the first one's alone,
// and fading a sound again replaces its earlier fade. Timers run on the shared scheduler.
namespace FadeOut {

// Plays at volume 0.5. A sound longer than `fadeStart` seconds starts fading then, losing
// 0.01 of volume every (L - fadeStart) / 50 s, L being the shorter of `playTime` and its
// duration, and is stopped at `playTime`. A shorter one plays to its end, untouched.
void playFor(const std::shared_ptr<platform::SoundPlayer>& sound, double playTime,
             double fadeStart);
// Cancels the timers of every fade under way; the sounds play on.
void stopTimers();

}  // namespace FadeOut

}  // namespace talvor
