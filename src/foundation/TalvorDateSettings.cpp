#include "TalvorDateSettings.h"

#include "ColorExtras.h"
#include "FontExtras.h"
#include "FoundationKeys.h"
#include "PreferenceDomain.h"
#include "TalvorLoadFonts.h"
#include "TalvorProColor.h"
#include "TalvorTimeSettings.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/KeyedArchiver.h"
#include "platform/Log.h"

namespace talvor {
namespace {

TalvorDateSettings* gShared = nullptr;

const QString kDefaultDateFormat = QStringLiteral("EEE dd MMM");

void synchronizeForLoading() {
    PreferenceDomain::synchronize(
        QStringLiteral("loading Date/Cal prefs CFPreferencesSynchronize failed"));
}

}  // namespace

TalvorDateSettings::TalvorDateSettings(NoLoad) {}

TalvorDateSettings::TalvorDateSettings() {
    if (gShared == nullptr) {
        gShared = this;
    }
    loadPrefs();
}

TalvorDateSettings::~TalvorDateSettings() {
    // Written by the shut-down, not here: at static destruction the store may be gone.
    if (gShared == this) {
        gShared = nullptr;
    }
}

TalvorDateSettings* TalvorDateSettings::existingInstance() {
    return gShared;
}

TalvorDateSettings& TalvorDateSettings::sharedInstance() {
    if (gShared == nullptr) {
        new TalvorDateSettings();  // registers itself; lives for the process
    }
    return *gShared;
}

void TalvorDateSettings::loadPrefs() {
    using namespace keys;
    using PreferenceDomain::readFlag;
    synchronizeForLoading();
    showMoon = readFlag(TalvorCalMoonPref, true);
    isSouthernHemisphere = readFlag(TalvorCalMoonHemPref, false);
    showMoonToolTip = readFlag(TalvorCalMoonToolTipPref, true);
    enableWindowClick = readFlag(calEnableWindowClickStrKey, true);
    hideToDoEventSection = readFlag(calHideToDoEventSectionStrKey, true);
    floatOnTop = readFlag(TalvorCalFloatOnTopPref, true);
    attached = readFlag(TalvorCalAttachedPref, false);
    showDateMenu = readFlag(TalvorShowDateMenuPref, true);
    showDateInMenu = readFlag(TalvorCalDateInMenuPref, true);
    hasDropShadow = readFlag(dateDrowShadow, false);
    dateFont = TalvorLoadFonts::TalvorLoadFont(DateFont, 14.0f, QStringLiteral("LucidaGrande"))
                   .value_or(QFont());
    dateColor = TalvorProColor::myGetColorFromDefaults(TextColorDate, Qt::black);
    dateColorDMode = TalvorProColor::myGetColorFromDefaults(TextColorDateDMode, Qt::white);
    dateFormat = PreferenceDomain::readText(CustomDate, kDefaultDateFormat);

    if (!PreferenceDomain::store().contains(hasUpgradedDateFormat)) {
        dateFormat = kDefaultDateFormat;
        writePrefs();
        PreferenceDomain::writeInteger(hasUpgradedDateFormat, 1);
    }
    checkRate();
}

void TalvorDateSettings::writePrefs() {
    using namespace keys;
    using PreferenceDomain::writeFlag;
    if (debugLevel != 0) {
        platform::log(QStringLiteral("writePrefs TalvorDateSettings"));
    }
    writeFlag(TalvorCalMoonPref, showMoon);
    writeFlag(TalvorCalMoonHemPref, isSouthernHemisphere);
    writeFlag(TalvorCalMoonToolTipPref, showMoonToolTip);
    writeFlag(calEnableWindowClickStrKey, enableWindowClick);
    writeFlag(calHideToDoEventSectionStrKey, hideToDoEventSection);
    writeFlag(TalvorCalFloatOnTopPref, floatOnTop);
    writeFlag(TalvorCalAttachedPref, attached);
    writeFlag(TalvorShowDateMenuPref, showDateMenu);
    writeFlag(TalvorCalDateInMenuPref, showDateInMenu);
    writeFlag(dateDrowShadow, hasDropShadow);
    TalvorProColor::saveColorToDefaults(dateColor, TextColorDate);
    TalvorProColor::saveColorToDefaults(dateColorDMode, TextColorDateDMode);
    TalvorLoadFonts::TalvorSaveFont(DateFont, dateFont);
    if (dateFormat.isNull()) {
        PreferenceDomain::store().removeValue(CustomDate);
    } else {
        PreferenceDomain::writeText(CustomDate, dateFormat);
    }
    checkRate();
}

void TalvorDateSettings::writePrefsAndSync() {
    writePrefs();
    if (PreferenceDomain::synchronize(
            QStringLiteral("Date/Cal prefs CFPreferencesSynchronize failed")) &&
        debugLevel != 0) {
        platform::log(
            QStringLiteral(
                "writePrefsAndSync TalvorDateSettings writing: showMoon:%1, hem:%2, ds:%3, "
                "showDate: %4, showDateInMenu %5, dateFormat: %6")
                .arg(int(showMoon))
                .arg(int(isSouthernHemisphere))
                .arg(int(hasDropShadow))
                .arg(int(showDateMenu))
                .arg(int(showDateInMenu))
                .arg(dateFormat));
    }
    platform::DistributedNotificationCenter::defaultCenter().post(
        keys::TalvorMenuBarDatePrefsChangeNotification);
}

void TalvorDateSettings::checkRate() {
    refreshRate = (!dateFormat.isNull() && dateFormat.contains(QLatin1String("ss"))) ? 1.0f : 60.0f;
}

void TalvorDateSettings::resetDateViewToDefaults() {
    synchronizeForLoading();
    showMoon = true;
    isSouthernHemisphere = false;
    showMoonToolTip = true;
    showDateInMenu = true;
    hasDropShadow = false;
    dateFont = defaultMenuBarFont();
    dateColor = Qt::black;
    dateColorDMode = Qt::white;
    dateFormat = kDefaultDateFormat;
    checkRate();
}

void TalvorDateSettings::resetCalendarToDefaults() {
    synchronizeForLoading();
    hideToDoEventSection = true;
    checkRate();
}

QString TalvorDateSettings::description() const {
    return QString::asprintf(
        "TalvorCalMenuSettings x%lx\n\t showMoon %d, showDateMenu %d, showDateInMenu %d, "
        "dateFont %s,\tdateFormat %s...\n",
        static_cast<unsigned long>(reinterpret_cast<quintptr>(this)), int(showMoon),
        int(showDateMenu), int(showDateInMenu), qUtf8Printable(dateFont.family()),
        qUtf8Printable(dateFormat));
}

void TalvorDateSettings::encodeWithCoder(platform::KeyedArchiver& coder) const {
    using namespace keys;
    platform::debugLog(QStringLiteral("encodeWithCoder TalvorDateSettings"));
    coder.encodeBool(calEnableWindowClickStrKey, enableWindowClick);
    coder.encodeBool(calHideToDoEventSectionStrKey, hideToDoEventSection);
    coder.encodeBool(TalvorCalMoonPref, showMoon);
    coder.encodeBool(TalvorCalMoonHemPref, isSouthernHemisphere);
    coder.encodeBool(TalvorCalMoonToolTipPref, showMoonToolTip);
    coder.encodeBool(TalvorCalFloatOnTopPref, floatOnTop);
    coder.encodeBool(TalvorCalAttachedPref, attached);
    coder.encodeBool(TalvorCalDateInMenuPref, showDateInMenu);
    coder.encodeBool(dateDrowShadow, hasDropShadow);
    coder.encodeData(DateFont, FontExtras::asData(dateFont));
    coder.encodeData(TextColorDate, ColorExtras::asData(dateColor));
    coder.encodeData(TextColorDateDMode, ColorExtras::asData(dateColorDMode));
    if (!dateFormat.isNull()) {
        coder.encodeString(CustomDate, dateFormat);
    }
}

std::optional<TalvorDateSettings> TalvorDateSettings::initWithCoder(
    const platform::KeyedUnarchiver& coder) {
    using namespace keys;
    platform::debugLog(QStringLiteral("initWithCoder TalvorDateSettings"));
    TalvorDateSettings s{NoLoad{}};
    // Older archives kept this one flag as an integer.
    const QVariant click = coder.decodeValue(calEnableWindowClickStrKey);
    s.enableWindowClick = click.typeId() == QMetaType::Bool
                              ? click.toBool()
                              : coder.decodeInt32(calEnableWindowClickStrKey) != 0;
    s.hideToDoEventSection = coder.decodeBool(calHideToDoEventSectionStrKey);
    s.showMoon = coder.decodeBool(TalvorCalMoonPref);
    s.isSouthernHemisphere = coder.decodeBool(TalvorCalMoonHemPref);
    s.showMoonToolTip = coder.decodeBool(TalvorCalMoonToolTipPref);
    s.floatOnTop = coder.decodeBool(TalvorCalFloatOnTopPref);
    s.attached = coder.decodeBool(TalvorCalAttachedPref);
    s.showDateInMenu = coder.decodeBool(TalvorCalDateInMenuPref);
    s.hasDropShadow = coder.decodeBool(dateDrowShadow);
    if (std::optional<QFont> f = FontExtras::font(coder.decodeData(DateFont))) {
        s.dateFont = *f;
    }
    s.dateColor = ColorExtras::color(coder.decodeData(TextColorDate)).value_or(QColor());
    s.dateColorDMode =
        ColorExtras::color(coder.decodeData(TextColorDateDMode)).value_or(s.dateColor);
    if (coder.containsValueForKey(CustomDate)) {
        s.dateFormat = coder.decodeString(CustomDate);
    }
    // A decoded model still needs a refresh rate: zero would tick without pause.
    s.checkRate();
    return s;
}

}  // namespace talvor
