#include "TalvorTimeSettings.h"

#include "FoundationKeys.h"
#include "PreferenceDomain.h"
#include "SettingsTable.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/FontResolver.h"
#include "platform/KeyedArchiver.h"
#include "platform/Log.h"
#include "platform/SharedInstance.h"
#include "platform/UserDefaults.h"

namespace talvor {
namespace {

const QString kDefaultTimeFormat = QStringLiteral("hh:mm:ss a");
const QString kDefaultTimeSeparator = QStringLiteral(":");
const QString kUpgradedLocationFormat = QStringLiteral("hh:mm a");
const QString kDefaultFontName = QStringLiteral("LucidaGrande");
constexpr float kDefaultFontSize = 14.0f;

void refreshForLoading() {
    PreferenceDomain::refresh(
        QStringLiteral("Date and time settings: the settings file could not be read"));
}

}  // namespace

QFont defaultMenuBarFont() {
    const platform::FontResolver& fonts = platform::FontResolver::shared();
    return fonts.fontNamed(kDefaultFontName, kDefaultFontSize)
        .value_or(fonts.titleBarFont(kDefaultFontSize).value_or(QFont()));
}

const std::vector<settings::Row<TalvorTimeSettings>>& TalvorTimeSettings::table() {
    using namespace keys;
    using namespace settings;
    using S = TalvorTimeSettings;
    const settings::FontSpec menuBarFont{kDefaultFontName, kDefaultFontSize};
    static const Table<S> rows = {
        row<Flag>(TalvorShowTimeMenuPref, &S::enableTimeMenu, true).reset(TimeView, true),
        row<Flag>(TalvorTimeICONPref, &S::showAnalogClockInMenu, false),
        row<Flag>(TalvorTimeFlashSepPref, &S::flashSeparator, false).reset(TimeView, false),
        row<Text>(TimeSeparator, &S::timeSeparator, kDefaultTimeSeparator)
            .reset(TimeView, kDefaultTimeSeparator),
        row<Flag>(timeDrowShadow, &S::timeHasDropShadow, false).reset(TimeView, false),
        row<Font>(TimeFont, &S::timeFont, menuBarFont)
            .archive(Archive::DecodeOnly)
            .reset(TimeView, defaultMenuBarFont),
        row<Colour>(TextColorTime, &S::timeColor, QColor(Qt::black))
            .archive(Archive::DecodeOnly)
            .reset(TimeView, QColor(Qt::black)),
        // An archive without the dark colour uses the light one for both.
        row<Colour>(TextColorTimeDMode, &S::timeColorDMode, QColor(Qt::white))
            .archive(Archive::DecodeOnly)
            .decodeFallback(&S::timeColor)
            .reset(TimeView, QColor(Qt::white)),
        row<Pattern>(CustomTime, &S::timeFormat, kDefaultTimeFormat)
            .archive(Archive::DecodeOnly)
            .reset(TimeView, kDefaultTimeFormat),
        row<Flag>(alarmShow, &S::showAlarm, false),
        row<Flag>(take5Show, &S::showTake5, false).reset(Take5, true),
        row<Flag>(dateDiffCalcShow, &S::showDateDiffereneCalc, false),
        row<Flag>(globalSchedulerShow, &S::showGlobalScheduler, false),
        row<Flag>(lightDarkModeShow, &S::showLightDarkMode, false),
        row<Flag>(countDownShow, &S::showCountDown, false),
        // The menu-item resets turn off what loading turns on.
        row<Flag>(timeShowLocation, &S::showLoctionNames, true).reset(MenuItems, false),
        row<Flag>(ipShow, &S::showIP, true).reset(MenuItems, false),
        row<Flag>(internalIpShow, &S::showInternalIP, true).reset(MenuItems, false),
        row<Flag>(ipv4IpShow, &S::showIPV4IP, false),
        row<Flag>(ipv6IpShow, &S::showIPV6IP, false),
        row<Flag>(TimeHideCountry, &S::hideCountryInMenuItems, true).reset(MenuItems, false),
        row<Flag>(TimeOnlineInfo, &S::showOnlineInfo, true).reset(MenuItems, true),
        row<Flag>(timeLocDrowShadow, &S::locationHasDropShadow, false).reset(MenuItems, false),
        row<Font>(LocFont, &S::locationFont, menuBarFont).reset(MenuItems, defaultMenuBarFont),
        row<Colour>(TextColorLoc, &S::locationColor, QColor(Qt::black))
            .reset(MenuItems, QColor(Qt::black)),
        // Both resets give the upgrade's location format: one default, whichever pane
        // resets it.
        row<Pattern>(CustomLocTime, &S::locationTimeFormat, kDefaultTimeFormat)
            .reset(TimeView, kUpgradedLocationFormat)
            .reset(MenuItems, kUpgradedLocationFormat),
    };
    return rows;
}

TalvorTimeSettings::TalvorTimeSettings(NoLoad) {}

TalvorTimeSettings::TalvorTimeSettings() {
    loadPrefs();
}

// Written by the shut-down, not here: at static destruction the store may be gone.
TalvorTimeSettings::~TalvorTimeSettings() = default;

TalvorTimeSettings& TalvorTimeSettings::sharedInstance() {
    return SharedInstance<TalvorTimeSettings>::get();
}

void TalvorTimeSettings::loadPrefs() {
    using namespace keys;
    refreshForLoading();
    // Every key is read before the one-time upgrade below writes them all, so that the
    // upgrade keeps what was stored.
    settings::loadAll(table(), *this);

    if (platform::UserDefaults::standard().objectForKey(AppleInterfaceStyle).isValid() &&
        timeColorDMode.isValid() && timeColorDMode.rgba() == QColor(Qt::black).rgba()) {
        timeColorDMode = Qt::white;
    }

    if (!PreferenceDomain::store().contains(hasUpgradedTimeFormat)) {
        timeFormat = kDefaultTimeFormat;
        locationTimeFormat = kUpgradedLocationFormat;
        writePrefs();
        PreferenceDomain::writeInteger(hasUpgradedTimeFormat, 1);
    }
    checkRate();
}

void TalvorTimeSettings::writePrefs() {
    if (debugLevel != 0) {
        platform::log(QStringLiteral("writing Calendar / Date menu settings"));
    }
    settings::writeAll(table(), *this);
    checkRate();
}

void TalvorTimeSettings::writePrefsAndSync() {
    writePrefs();
    // Other processes reload on the announcement: the file must hold the change first.
    PreferenceDomain::synchronize(
        QStringLiteral("Date and time settings: the settings file could not be written"));
    platform::DistributedNotificationCenter::defaultCenter().post(
        keys::TalvorMenuBarDatePrefsChangeNotification);
}

void TalvorTimeSettings::checkRate() {
    refreshRate = (!timeFormat.isNull() && timeFormat.contains(QLatin1String("ss"))) ? 1.0f : 60.0f;
}

void TalvorTimeSettings::resetTimeViewToDefaults() {
    refreshForLoading();
    settings::resetGroup(table(), *this, TimeView);
    checkRate();
}

void TalvorTimeSettings::resetMenuItemsToDefaults() {
    settings::resetGroup(table(), *this, MenuItems);
}

void TalvorTimeSettings::resetTake5ToDefaults() {
    settings::resetGroup(table(), *this, Take5);
}

void TalvorTimeSettings::encodeWithCoder(platform::KeyedArchiver& coder) const {
    settings::encodeAll(table(), *this, coder);
}

std::optional<TalvorTimeSettings> TalvorTimeSettings::initWithCoder(
    const platform::KeyedUnarchiver& coder) {
    TalvorTimeSettings s{NoLoad{}};
    settings::decodeAll(table(), s, coder);
    // A decoded model still needs a refresh rate: zero would tick without pause.
    s.checkRate();
    return s;
}

}  // namespace talvor
