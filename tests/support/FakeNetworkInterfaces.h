#pragma once

#include "platform/NetworkInterfaces.h"

#include <optional>
#include <utility>
#include <vector>

namespace talvor::test {

// An address list set by hand (nullopt: the list cannot be read), installed as the shared
// one for the life of the object.
class FakeNetworkInterfaces : public platform::NetworkInterfaces {
  public:
    explicit FakeNetworkInterfaces(std::optional<std::vector<platform::InterfaceAddress>> list =
                                       std::vector<platform::InterfaceAddress>{})
        : list_(std::move(list)) {
        platform::NetworkInterfaces::setShared(this);
    }
    ~FakeNetworkInterfaces() override { platform::NetworkInterfaces::setShared(nullptr); }
    FakeNetworkInterfaces(const FakeNetworkInterfaces&) = delete;
    FakeNetworkInterfaces& operator=(const FakeNetworkInterfaces&) = delete;

    std::optional<std::vector<platform::InterfaceAddress>> addresses() const override {
        return list_;
    }
    void set(std::optional<std::vector<platform::InterfaceAddress>> list) {
        list_ = std::move(list);
    }

  private:
    std::optional<std::vector<platform::InterfaceAddress>> list_;
};

}  // namespace talvor::test
