#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <optional>
#include <string>

#include "TestPki.h"
#include "kit/KitError.h"
#include "kit/RandomSource.h"
#include "kit/network/URLRequest.h"
#include "kit/network/WRKURLSession.h"

namespace talvor::kit::test {

// Every server of these tests is on 127.0.0.1; a proxy set in the environment must not
// carry the requests anywhere else.
inline void keepRequestsOnThisMachine() {
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        ::unsetenv(name);
    }
}

// A session configuration whose default handling trusts root A only.
inline WRKURLSessionConfiguration loopbackConfiguration() {
    auto configuration = WRKURLSessionConfiguration::defaultSessionConfiguration();
    configuration.defaultAnchorsPEM = TestPki::shared().rootAPEM;
    return configuration;
}

inline URLRequest requestFor(std::string url, double timeout = 10.0) {
    URLRequest request;
    request.URL = std::move(url);
    request.timeoutInterval = timeout;
    return request;
}

struct Outcome {
    std::string data;
    std::optional<HTTPURLResponse> response;
    std::optional<KitError> error;
};

// The result of a callback on another thread, waited for with a bound.
template <typename T>
class Awaited {
  public:
    void set(T value) {
        std::lock_guard lock(mutex_);
        if (!value_) {
            value_ = std::move(value);
        }
        ++calls_;
        changed_.notify_all();
    }
    std::optional<T> get(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, limit, [this] { return value_.has_value(); });
        return value_;
    }
    int calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<T> value_;
    int calls_ = 0;
};

// Draws the same number every time.
class FixedRandom final : public RandomSource {
  public:
    explicit FixedRandom(double value) : value_(value) {}
    double nextUniform() override { return value_; }

  private:
    double value_;
};

}  // namespace talvor::kit::test
