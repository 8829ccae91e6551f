#include "DemoBar.h"

#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/OffscreenStatusBar.h"
#include "platform/Preferences.h"
#include "shell/TimeMenu.h"
#include "shell/WorldClockItems.h"

namespace talvor::shot {
namespace {

QVariantList location(const char* city, const char* country, const char* zone, const char* note) {
    return {QString::fromUtf8(note),
            QString::fromUtf8(city),
            QString(),
            QString::fromUtf8(country),
            QString::fromUtf8(zone),
            QStringLiteral("0"),
            QString(),
            QString(),
            QString(),
            QString(),
            true};
}

}  // namespace

QImage renderTimeMenuWithWorldClocks() {
    // Sample settings only: nothing of the user's is read or written.
    platform::Preferences::install(
        std::make_unique<platform::MemoryPreferenceStore>(appTalvor4Prefs));
    TalvorTimeSettings settings;
    settings.showLoctionNames = true;
    settings.hideCountryInMenuItems = false;
    settings.showOnlineInfo = true;
    settings.showAlarm = true;
    settings.showCountDown = true;
    settings.showLightDarkMode = true;
    settings.locationTimeFormat = QStringLiteral("EEE h:mm a");
    // The lines in the location font, colour and shadow of the Menu Items pane.
    settings.locationFont = QFont(QStringLiteral("DejaVu Serif"), 13);
    settings.locationColor = QColor(20, 70, 160);
    settings.locationHasDropShadow = true;

    auto menu = platform::Menu::create();
    TimeMenu::addFixedItems(
        *menu, {.preferences = [] {}, .help = [] {}, .quit = [] {}, .stopwatch = [] {}});
    WorldClockItems worldClocks(
        *menu, settings, platform::Clock::shared(), [] { return 22745u; },
        WorldClockItems::Actions{});
    worldClocks.setLocationList({location("Oslo", "Norway", "Europe/Oslo", "office"),
                                 location("Tokyo", "Japan", "Asia/Tokyo", "")});
    TimeMenu::Actions actions;
    actions.showCountDownTimer = [] {};
    actions.switchLighDarkMode = [] {};
    TimeMenu timeMenu(*menu, settings, worldClocks, nullptr, actions);
    timeMenu.addItem(platform::Menu::create());
    timeMenu.DrawTimeMenuItems();
    QImage image = platform::OffscreenStatusBar::renderMenu(menu);
    platform::Preferences::resetAll();
    return image;
}

}  // namespace talvor::shot
