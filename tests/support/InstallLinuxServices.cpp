// Compiled into the tests that exercise the Linux adapters through the seams: the system
// services are installed before main, as the application installs them at start-up.
#include "platform/linux/LinuxSystemServices.h"

namespace {

[[maybe_unused]] const bool kInstalled = [] {
    talvor::platform::installSystemServices(talvor::platform::linuxSystemServices());
    return true;
}();

}  // namespace
