#include "SystemServices.h"

namespace talvor::platform {
namespace {

SystemServices& installed() {
    static SystemServices services;
    return services;
}

}  // namespace

void installSystemServices(SystemServices services) {
    installed() = std::move(services);
}

const SystemServices& systemServices() {
    return installed();
}

}  // namespace talvor::platform
