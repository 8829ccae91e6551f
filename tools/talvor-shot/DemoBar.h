#pragma once

#include "platform/Menu.h"
#include "platform/StatusBar.h"

#include <memory>

namespace talvor::shot {

// A bar like the application's at 12:00:01 PM: applications, date and time items, the
// time item with an analog icon and a menu that uses every kind of entry.
struct DemoBar {
    platform::StatusBar bar;
    std::shared_ptr<platform::StatusItem> apps;
    std::shared_ptr<platform::StatusItem> date;
    std::shared_ptr<platform::StatusItem> time;
    std::shared_ptr<platform::Menu> timeMenu;
};

std::unique_ptr<DemoBar> makeDemoBar();

}  // namespace talvor::shot
