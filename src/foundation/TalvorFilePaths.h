#pragma once

#include "LocationRecord.h"

#include <QString>
#include <QVariantList>

#include <optional>

namespace talvor {

// The application's support folders and its location tables. The original system's folders map as
// "~/Library/Application Support" -> platform::Paths::dataDir() and
// "/Library/Application Support" -> platform::Paths::systemDataDir() (read-only for users:
// creating folders there fails silently); sub-folders keep their names.
class TalvorFilePaths {
  public:
    // The user's Application Support folder, or its sub-folder `name` (created only then).
    static QString vltGetUserApplSupportFolder(const QString& name = QString());
    // .../com.larkspindle.Talvor, plus /`name` when given; created.
    static QString vltGetUserFennelWorkshopFolder(const QString& name = QString());
    // .../com.larkspindle.Talvor/Talvor Pro: the per-user data folder; created.
    static QString vltGetUsersTalvorProSupportDir();
    // The system-wide com.larkspindle.Talvor folder and its "Talvor" and "Talvor Pro"
    // folders, created when possible. Not vltPaths::vltGetLocalFennelWorkshopSupportDir,
    // which is a per-user folder despite the same name.
    static QString vltGetLocalFennelWorkshopSupportDir();
    static QString vltGetLocalTalvorApplSupportFolder();
    static QString vltGetLocalTalvorProSupportDir();
    // The legacy table ~/Library/Talvor Locations, symbolic links resolved.
    static QString TalvorOldPathLocationFile();

    // The files, without creating anything.
    static QString locationFilePath();
    static QString netLocationFilePath();
    static QString schedulerLocationFilePath();
    // The bundled starting table "LocationsConfig.plist" in the system data folder.
    static QString defaultLocationsPath();
    // The bundled table alone (its compiled copy when that is current); nullopt when it
    // exists but cannot be read, empty when it is missing.
    static std::optional<LocationTable> TalvorLoadBundledLocations();

    // The live table: a legacy table moved in when there is no live one yet, else the
    // user's file, else the bundled table; then the net cache merged in. An unreadable
    // user file is moved aside as "Talvor Locations.corrupt-<time>" first. nullopt only
    // when the bundled table exists but cannot be read.
    static std::optional<LocationTable> TalvorLoadLocationFile();
    // Appends the cached net records that match none of the table's records (fields 0-4),
    // each marked as a net record; returns `table`. An unreadable cache is moved aside.
    static LocationTable& mergeNetLocation(LocationTable& table);
    // Writes the records of fewer than 14 fields to the table file and the others to the
    // net cache (removing the cache when there are none, so deleted net records stay
    // deleted). True only when every write succeeded.
    static bool TalvorSaveLocationTable(const LocationTable& table);

    // The meeting planner's table; nullopt when missing, a folder or unreadable (an
    // unreadable file is moved aside).
    static std::optional<QVariantList> TalvorLoadSchedulerLocationFile();
    // Writes the planner's table whole: its rows are not location records.
    static bool TalvorSaveSchedulerTable(const QVariantList& table);

    // True when written, or when there is nothing to write.
    static bool TalvorSaveCacheNetLocation(const LocationTable& netRecords);
    static bool TalvorExistsNetLocation();
    // True when the cache is gone afterwards.
    static bool TalvorRemoveNetLocation();

    // The list "<name>.plist" from the per-user data folder, the Application Support
    // folder or the system Talvor folder, else from `defaultPath`, else empty.
    static QVariantList loadWarnMeTitles(const QString& name, const QString& defaultPath);
    static bool hasCustomWarnMeFile(const QString& name);
};

}  // namespace talvor
