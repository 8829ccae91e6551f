#pragma once

#include "platform/Menu.h"
#include "platform/StatusBar.h"

#include <QImage>

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

// The application's own time menu, built by its classes from sample settings: world clocks
// for Oslo and Tokyo, alarms, the light/dark item and the fixed items.
QImage renderTimeMenuWithWorldClocks();

}  // namespace talvor::shot
