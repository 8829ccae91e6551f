#include "kit/ApplicationDefaults.h"

#include <mutex>
#include <utility>

namespace talvor::kit {
namespace {

class NoDefaults final : public ApplicationDefaults {
  public:
    std::optional<PlistValue> objectForKey(const std::string&) const override {
        return std::nullopt;
    }
    void removeObjectForKey(const std::string&) override {}
    bool synchronize() override { return true; }
};

std::mutex& portMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<ApplicationDefaults>& installed() {
    static std::shared_ptr<ApplicationDefaults> port;
    return port;
}

}  // namespace

std::shared_ptr<ApplicationDefaults> ApplicationDefaults::standard() {
    std::lock_guard lock(portMutex());
    if (!installed()) {
        return std::make_shared<NoDefaults>();
    }
    return installed();
}

std::shared_ptr<ApplicationDefaults> ApplicationDefaults::setStandard(
    std::shared_ptr<ApplicationDefaults> defaults) {
    std::lock_guard lock(portMutex());
    return std::exchange(installed(), std::move(defaults));
}

}  // namespace talvor::kit
