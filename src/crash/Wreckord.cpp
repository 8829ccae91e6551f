#include "crash/Wreckord.h"

namespace talvor::crash {

Wreckord& Wreckord::sharedInstance() {
    static Wreckord instance;
    return instance;
}

std::string Wreckord::bundleIdentifier() {
    return "com.quillon.wreckord.mac";
}

std::string Wreckord::kitDisplayVersion() {
    return "3.9.3";
}

std::string Wreckord::kitBuildVersion() {
    return "128";
}

void Wreckord::initializeIfNeeded() {
    sharedInstance().start();
}

void Wreckord::start() {
    std::call_once(startOnce_, [this] { started_ = true; });
}

bool Wreckord::isWreckordStarted() const {
    return started_;
}

}  // namespace talvor::crash
