#include "TalvorTakeABreakSettings.h"

#include "AlarmsKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/SettingsTable.h"
#include "platform/KeyedArchiver.h"
#include "platform/Paths.h"
#include "platform/SharedInstance.h"

#include <QFileInfo>

namespace talvor {

const std::vector<settings::Row<TalvorTakeABreakSettings>>& TalvorTakeABreakSettings::table() {
    using namespace keys;
    using namespace settings;
    using S = TalvorTakeABreakSettings;
    // Resetting touches only the three numbers.
    static const Table<S> rows = {
        row<Flag>(TalvorEnableTakeABreak, &S::enableTakeABreak_, true).archive(Archive::Both),
        row<Integer>(TalvorTakeABreakDuration, &S::takeABreakDuration_, 5)
            .archive(Archive::Both)
            .reset(Numbers, 5),
        row<Integer>(TalvorTakeABreakFrequency, &S::takeABreakFrequency_, 30)
            .archive(Archive::Both)
            .reset(Numbers, 30),
        row<Integer>(TalvorTakeABreakRepeat, &S::takeABreakRepeat_, 8)
            .archive(Archive::Both)
            .reset(Numbers, 8),
        row<Text>(TalvorTakeABreakSoundPath, &S::soundPath_, &S::defaultSoundPath)
            .archive(Archive::Both),
        row<Text>(TalvorTakeADurationSoundPath, &S::durationSoundPath_,
                  &S::defaultDurationSoundPath)
            .archive(Archive::Both),
    };
    return rows;
}

TalvorTakeABreakSettings::TalvorTakeABreakSettings() {
    settings::applyDefaults(table(), *this);
}

TalvorTakeABreakSettings& TalvorTakeABreakSettings::sharedInstance() {
    return SharedInstance<TalvorTakeABreakSettings>::get();
}

std::unique_ptr<TalvorTakeABreakSettings> TalvorTakeABreakSettings::makeShared() {
    auto made = std::make_unique<TalvorTakeABreakSettings>();
    made->loadPrefs();
    return made;
}

QString TalvorTakeABreakSettings::defaultSoundPath() {
    return QStringLiteral("Take 5");
}

QString TalvorTakeABreakSettings::defaultDurationSoundPath() {
    // The original system's "~/Library/Caches" is the XDG cache folder.
    return platform::Paths::cacheDir() + QStringLiteral("/Clock/Rings/Basso.aiff");
}

namespace {
QString& bundledSoundsFolder() {
    static QString folder;
    return folder;
}
}  // namespace

void TalvorTakeABreakSettings::setBundledSoundsFolder(QString folder) {
    bundledSoundsFolder() = std::move(folder);
}

std::optional<QString> TalvorTakeABreakSettings::soundFile(const QString& stored) {
    if (stored.isEmpty()) {
        return std::nullopt;
    }
    const QString folder = bundledSoundsFolder().isEmpty()
                               ? platform::Paths::systemDataDir() + QStringLiteral("/UserSounds")
                               : bundledSoundsFolder();
    if (stored == defaultSoundPath()) {
        return folder + QStringLiteral("/Alerts/Take 5.ogg");
    }
    if (stored == defaultDurationSoundPath() && !QFileInfo::exists(stored)) {
        return folder + QStringLiteral("/Alerts/Take 5 Over.ogg");
    }
    return stored;
}

void TalvorTakeABreakSettings::loadPrefs() {
    // Read before the strip's first frame: our unsaved changes are left to the save timer.
    PreferenceDomain::refresh(
        QStringLiteral("Break settings: the settings file could not be read"));
    settings::loadAll(table(), *this);
}

void TalvorTakeABreakSettings::writePrefs() {
    settings::writeAll(table(), *this);
}

void TalvorTakeABreakSettings::writePrefsAndSync() {
    writePrefs();
}

void TalvorTakeABreakSettings::resetPrefsToDefaults() {
    settings::resetGroup(table(), *this, Numbers);
}

void TalvorTakeABreakSettings::encodeWithCoder(platform::KeyedArchiver& coder) const {
    settings::encodeAll(table(), *this, coder);
}

std::optional<TalvorTakeABreakSettings> TalvorTakeABreakSettings::initWithCoder(
    const platform::KeyedUnarchiver& coder) {
    TalvorTakeABreakSettings s;
    settings::decodeAll(table(), s, coder);
    return s;
}

}  // namespace talvor
