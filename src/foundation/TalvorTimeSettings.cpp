#include "TalvorTimeSettings.h"

#include "ColorExtras.h"
#include "FontExtras.h"
#include "FoundationKeys.h"
#include "PreferenceDomain.h"
#include "TalvorLoadFonts.h"
#include "TalvorProColor.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/FontResolver.h"
#include "platform/KeyedArchiver.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace talvor {
namespace {

TalvorTimeSettings* gShared = nullptr;

const QString kDefaultTimeFormat = QStringLiteral("hh:mm:ss a");
const QString kUpgradedLocationFormat = QStringLiteral("hh:mm a");
const QString kDefaultFontName = QStringLiteral("LucidaGrande");
constexpr float kDefaultFontSize = 14.0f;

void synchronizeForLoading() {
    PreferenceDomain::synchronize(
        QStringLiteral("loading Date/Cal prefs CFPreferencesSynchronize failed"));
}

QFont loadFont(const QString& key) {
    return TalvorLoadFonts::TalvorLoadFont(key, kDefaultFontSize, kDefaultFontName)
        .value_or(QFont());
}

void writeFormat(const QString& key, const QString& format) {
    if (format.isNull()) {
        PreferenceDomain::store().removeValue(key);
    } else {
        PreferenceDomain::writeText(key, format);
    }
}

}  // namespace

QFont defaultMenuBarFont() {
    const platform::FontResolver& fonts = platform::FontResolver::shared();
    return fonts.fontNamed(kDefaultFontName, kDefaultFontSize)
        .value_or(fonts.titleBarFont(kDefaultFontSize).value_or(QFont()));
}

TalvorTimeSettings::TalvorTimeSettings(NoLoad) {}

TalvorTimeSettings::TalvorTimeSettings() {
    if (gShared == nullptr) {
        gShared = this;
    }
    loadPrefs();
}

TalvorTimeSettings::~TalvorTimeSettings() {
    // Written by the shut-down, not here: at static destruction the store may be gone.
    if (gShared == this) {
        gShared = nullptr;
    }
}

TalvorTimeSettings* TalvorTimeSettings::existingInstance() {
    return gShared;
}

TalvorTimeSettings& TalvorTimeSettings::sharedInstance() {
    if (gShared == nullptr) {
        new TalvorTimeSettings();  // registers itself; lives for the process
    }
    return *gShared;
}

void TalvorTimeSettings::loadPrefs() {
    using namespace keys;
    using PreferenceDomain::readFlag;
    synchronizeForLoading();
    enableTimeMenu = readFlag(TalvorShowTimeMenuPref, true);
    timeHasDropShadow = readFlag(timeDrowShadow, false);
    timeFont = loadFont(TimeFont);
    timeColor = TalvorProColor::myGetColorFromDefaults(TextColorTime, Qt::black);
    timeColorDMode = TalvorProColor::myGetColorFromDefaults(TextColorTimeDMode, Qt::white);
    timeFormat = PreferenceDomain::readText(CustomTime, kDefaultTimeFormat);
    showAlarm = readFlag(alarmShow, false);
    showTake5 = readFlag(take5Show, false);
    showDateDiffereneCalc = readFlag(dateDiffCalcShow, false);
    showGlobalScheduler = readFlag(globalSchedulerShow, false);
    showLightDarkMode = readFlag(lightDarkModeShow, false);
    showCountDown = readFlag(countDownShow, false);
    showLoctionNames = readFlag(timeShowLocation, true);
    showIP = readFlag(ipShow, true);
    showInternalIP = readFlag(internalIpShow, true);
    showIPV4IP = readFlag(ipv4IpShow, false);
    showIPV6IP = readFlag(ipv6IpShow, false);
    hideCountryInMenuItems = readFlag(TimeHideCountry, true);
    showOnlineInfo = readFlag(TimeOnlineInfo, true);
    locationHasDropShadow = readFlag(timeLocDrowShadow, false);
    locationFont = loadFont(LocFont);
    locationColor = TalvorProColor::myGetColorFromDefaults(TextColorLoc, Qt::black);
    locationTimeFormat = PreferenceDomain::readText(CustomLocTime, kDefaultTimeFormat);
    // Read before the one-time reset below writes every key, so that the upgrade keeps them.
    flashSeparator = readFlag(TalvorTimeFlashSepPref, false);
    showAnalogClockInMenu = readFlag(TalvorTimeICONPref, false);

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
    using namespace keys;
    using PreferenceDomain::writeFlag;
    if (debugLevel != 0) {
        platform::log(QStringLiteral("writing Calendar / Date menu settings"));
    }
    writeFlag(TalvorShowTimeMenuPref, enableTimeMenu);
    writeFlag(TalvorTimeICONPref, showAnalogClockInMenu);
    writeFlag(TalvorTimeFlashSepPref, flashSeparator);
    writeFlag(timeDrowShadow, timeHasDropShadow);
    TalvorProColor::saveColorToDefaults(timeColor, TextColorTime);
    TalvorProColor::saveColorToDefaults(timeColorDMode, TextColorTimeDMode);
    TalvorLoadFonts::TalvorSaveFont(TimeFont, timeFont);
    writeFormat(CustomTime, timeFormat);
    writeFlag(alarmShow, showAlarm);
    writeFlag(take5Show, showTake5);
    writeFlag(dateDiffCalcShow, showDateDiffereneCalc);
    writeFlag(globalSchedulerShow, showGlobalScheduler);
    writeFlag(lightDarkModeShow, showLightDarkMode);
    writeFlag(countDownShow, showCountDown);
    writeFlag(ipShow, showIP);
    writeFlag(internalIpShow, showInternalIP);
    writeFlag(ipv4IpShow, showIPV4IP);
    writeFlag(ipv6IpShow, showIPV6IP);
    writeFlag(TimeHideCountry, hideCountryInMenuItems);
    writeFlag(TimeOnlineInfo, showOnlineInfo);
    writeFlag(timeShowLocation, showLoctionNames);
    writeFlag(timeLocDrowShadow, locationHasDropShadow);
    TalvorProColor::saveColorToDefaults(locationColor, TextColorLoc);
    TalvorLoadFonts::TalvorSaveFont(LocFont, locationFont);
    writeFormat(CustomLocTime, locationTimeFormat);
    checkRate();
}

void TalvorTimeSettings::writePrefsAndSync() {
    writePrefs();
    // Other processes reload on the announcement: the file must hold the change first.
    PreferenceDomain::synchronize(QStringLiteral("Date/Cal prefs CFPreferencesSynchronize failed"));
    platform::DistributedNotificationCenter::defaultCenter().post(
        keys::TalvorMenuBarDatePrefsChangeNotification);
}

void TalvorTimeSettings::checkRate() {
    refreshRate = (!timeFormat.isNull() && timeFormat.contains(QLatin1String("ss"))) ? 1.0f : 60.0f;
}

void TalvorTimeSettings::resetTimeViewToDefaults() {
    synchronizeForLoading();
    enableTimeMenu = true;
    timeHasDropShadow = false;
    timeFont = defaultMenuBarFont();
    timeColor = Qt::black;
    timeColorDMode = Qt::white;
    timeFormat = kDefaultTimeFormat;
    locationTimeFormat = kUpgradedLocationFormat;
    checkRate();
    flashSeparator = false;
}

void TalvorTimeSettings::resetMenuItemsToDefaults() {
    showIP = false;
    showInternalIP = false;
    showLoctionNames = false;
    locationTimeFormat = kDefaultTimeFormat;
    hideCountryInMenuItems = false;
    showOnlineInfo = true;
    locationColor = Qt::black;
    locationHasDropShadow = false;
    locationFont = defaultMenuBarFont();
}

void TalvorTimeSettings::resetTake5ToDefaults() {
    showTake5 = true;
}

void TalvorTimeSettings::encodeWithCoder(platform::KeyedArchiver&) const {}

std::optional<TalvorTimeSettings> TalvorTimeSettings::initWithCoder(
    const platform::KeyedUnarchiver& coder) {
    using namespace keys;
    TalvorTimeSettings s{NoLoad{}};
    if (std::optional<QFont> f = FontExtras::font(coder.decodeData(TimeFont))) {
        s.timeFont = *f;
    }
    s.timeColor = ColorExtras::color(coder.decodeData(TextColorTime)).value_or(QColor());
    s.timeColorDMode =
        ColorExtras::color(coder.decodeData(TextColorTimeDMode)).value_or(s.timeColor);
    if (coder.containsValueForKey(CustomTime)) {
        s.timeFormat = coder.decodeString(CustomTime);
    }
    // A decoded model still needs a refresh rate: zero would tick without pause.
    s.checkRate();
    return s;
}

}  // namespace talvor
