#include "TalvorDateSettings.h"

#include "FoundationKeys.h"
#include "PreferenceDomain.h"
#include "SettingsTable.h"
#include "TalvorTimeSettings.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/KeyedArchiver.h"
#include "platform/Log.h"
#include "platform/SharedInstance.h"

namespace talvor {
namespace {

const QString kDefaultDateFormat = QStringLiteral("EEE dd MMM");

void refreshForLoading() {
    PreferenceDomain::refresh(
        QStringLiteral("Date and time settings: the settings file could not be read"));
}

}  // namespace

const std::vector<settings::Row<TalvorDateSettings>>& TalvorDateSettings::table() {
    using namespace keys;
    using namespace settings;
    using S = TalvorDateSettings;
    static const Table<S> rows = {
        row<Flag>(TalvorCalMoonPref, &S::showMoon, true)
            .archive(Archive::Both)
            .reset(DateView, true),
        row<Flag>(TalvorCalMoonHemPref, &S::isSouthernHemisphere, false)
            .archive(Archive::Both)
            .reset(DateView, false),
        row<Flag>(TalvorCalMoonToolTipPref, &S::showMoonToolTip, true)
            .archive(Archive::Both)
            .reset(DateView, true),
        row<FlagOrArchivedInteger>(calEnableWindowClickStrKey, &S::enableWindowClick, true)
            .archive(Archive::Both),
        row<Flag>(calHideToDoEventSectionStrKey, &S::hideToDoEventSection, true)
            .archive(Archive::Both)
            .reset(CalendarWindow, true),
        row<Flag>(TalvorCalFloatOnTopPref, &S::floatOnTop, true).archive(Archive::Both),
        row<Flag>(TalvorCalAttachedPref, &S::attached, false).archive(Archive::Both),
        // Stored, but not part of an archive.
        row<Flag>(TalvorShowDateMenuPref, &S::showDateMenu, true),
        row<Flag>(TalvorCalDateInMenuPref, &S::showDateInMenu, true)
            .archive(Archive::Both)
            .reset(DateView, true),
        row<Flag>(dateDrowShadow, &S::hasDropShadow, false)
            .archive(Archive::Both)
            .reset(DateView, false),
        row<Font>(DateFont, &S::dateFont, FontSpec{QStringLiteral("LucidaGrande"), 14.0f})
            .archive(Archive::Both)
            .reset(DateView, defaultMenuBarFont),
        row<Colour>(TextColorDate, &S::dateColor, QColor(Qt::black))
            .archive(Archive::Both)
            .reset(DateView, QColor(Qt::black)),
        // An archive without the dark colour uses the light one for both.
        row<Colour>(TextColorDateDMode, &S::dateColorDMode, QColor(Qt::white))
            .archive(Archive::Both)
            .decodeFallback(&S::dateColor)
            .reset(DateView, QColor(Qt::white)),
        row<Pattern>(CustomDate, &S::dateFormat, kDefaultDateFormat)
            .archive(Archive::Both)
            .reset(DateView, kDefaultDateFormat),
    };
    return rows;
}

TalvorDateSettings::TalvorDateSettings(NoLoad) {}

TalvorDateSettings::TalvorDateSettings() {
    loadPrefs();
}

// Written by the shut-down, not here: at static destruction the store may be gone.
TalvorDateSettings::~TalvorDateSettings() = default;

TalvorDateSettings& TalvorDateSettings::sharedInstance() {
    return SharedInstance<TalvorDateSettings>::get();
}

void TalvorDateSettings::loadPrefs() {
    refreshForLoading();
    settings::loadAll(table(), *this);
    if (!PreferenceDomain::store().contains(keys::hasUpgradedDateFormat)) {
        dateFormat = kDefaultDateFormat;
        writePrefs();
        PreferenceDomain::writeInteger(keys::hasUpgradedDateFormat, 1);
    }
    checkRate();
}

void TalvorDateSettings::writePrefs() {
    if (debugLevel != 0) {
        platform::log(QStringLiteral("writePrefs TalvorDateSettings"));
    }
    settings::writeAll(table(), *this);
    checkRate();
}

void TalvorDateSettings::writePrefsAndSync() {
    writePrefs();
    if (PreferenceDomain::synchronize(
            QStringLiteral("Date and time settings: the settings file could not be written")) &&
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
    refreshForLoading();
    settings::resetGroup(table(), *this, DateView);
    checkRate();
}

void TalvorDateSettings::resetCalendarToDefaults() {
    refreshForLoading();
    settings::resetGroup(table(), *this, CalendarWindow);
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
    platform::debugLog(QStringLiteral("encodeWithCoder TalvorDateSettings"));
    settings::encodeAll(table(), *this, coder);
}

std::optional<TalvorDateSettings> TalvorDateSettings::initWithCoder(
    const platform::KeyedUnarchiver& coder) {
    platform::debugLog(QStringLiteral("initWithCoder TalvorDateSettings"));
    TalvorDateSettings s{NoLoad{}};
    settings::decodeAll(table(), s, coder);
    // A decoded model still needs a refresh rate: zero would tick without pause.
    s.checkRate();
    return s;
}

}  // namespace talvor
