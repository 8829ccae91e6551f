#pragma once

#include <chrono>

// How the application tells the kits of its activation and its quit (the kits have no
// window system of their own). Safe from any thread.
namespace talvor::kit {

void hostApplicationDidBecomeActive();
void hostApplicationWillResignActive();
// Posts the quit notice, then lets the analytics write and send what they hold, for at
// most `limit`; what is not sent by then waits on disk for the next start.
void hostApplicationWillTerminate(std::chrono::milliseconds limit);

}  // namespace talvor::kit
