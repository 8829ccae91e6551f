#include "kit/RandomSource.h"

#include <sys/random.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace talvor::kit {
namespace {

std::atomic<RandomSource*>& sharedOverride() {
    static std::atomic<RandomSource*> source{nullptr};
    return source;
}

std::seed_seq::result_type kernelWord() {
    std::seed_seq::result_type word = 0;
    if (::getrandom(&word, sizeof word, 0) == static_cast<ssize_t>(sizeof word)) {
        return word;
    }
    // No kernel randomness (a very old kernel, a seccomp filter): time and thread still differ
    // between processes.
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<std::seed_seq::result_type>(
        static_cast<std::uint64_t>(now) ^ std::hash<std::thread::id>()(std::this_thread::get_id()));
}

}  // namespace

RandomSource& RandomSource::shared() {
    if (RandomSource* source = sharedOverride().load()) {
        return *source;
    }
    static SystemRandomSource* system = new SystemRandomSource();
    return *system;
}

void RandomSource::setShared(RandomSource* source) {
    sharedOverride().store(source);
}

SystemRandomSource::SystemRandomSource() {
    std::array<std::seed_seq::result_type, 8> words{};
    for (auto& word : words) {
        word = kernelWord();
    }
    std::seed_seq seed(words.begin(), words.end());
    engine_.seed(seed);
}

double SystemRandomSource::nextUniform() {
    std::lock_guard lock(mutex_);
    // 53 random bits: every double in [0, 1) that the spacing allows, never 1.
    return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

}  // namespace talvor::kit
