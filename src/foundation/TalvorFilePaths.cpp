#include "TalvorFilePaths.h"

#include "CompiledLocationTable.h"

#include "platform/AtomicFile.h"
#include "platform/BoundedFile.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "vltPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace talvor {
namespace {

using platform::Paths;

const QString kVendorFolder = QStringLiteral("com.larkspindle.Talvor");
const QString kLocationFile = QStringLiteral("Talvor Locations");
const QString kNetLocationFile = QStringLiteral("Talvor Net Locations.plist");
const QString kSchedulerFile = QStringLiteral("Talvor Scheduler Locations");
const QString kDefaultLocations = QStringLiteral("LocationsConfig.plist");
const QString kCompiledDefaultLocations = QStringLiteral("LocationsConfig.table");

QString join(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

QString userDataFolder() {
    return join(join(Paths::dataDir(), kVendorFolder), QStringLiteral("Talvor Pro"));
}

QString localTalvorFolder() {
    return join(join(Paths::systemDataDir(), kVendorFolder), QStringLiteral("Talvor"));
}

bool isFile(const QString& path) {
    return QFileInfo(path).isFile();
}

// The property-list array in `path`; nullopt when unreadable or not an array.
std::optional<QVariantList> readArray(const QString& path) {
    const platform::BoundedRead read = platform::readRegularFile(path, platform::kLocationTableCap);
    if (!read.bytes) {
        return std::nullopt;
    }
    const std::optional<QVariant> value = platform::PropertyList::parse(*read.bytes);
    if (!value || value->typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    return value->toList();
}

// An unreadable table is kept for the user to recover rather than overwritten later.
void moveAside(const QString& path) {
    const QString aside = platform::moveAsideCorrupt(path);
    if (aside.isEmpty()) {
        platform::log(QStringLiteral("Unreadable table %1 could not be moved aside").arg(path));
    } else {
        platform::log(QStringLiteral("Unreadable table %1 moved aside to %2").arg(path, aside));
    }
}

bool writeArray(const QString& path, const QVariantList& list) {
    bool ok = false;
    if (vltPaths::vltMakeDirIfNeeded(QFileInfo(path).absolutePath())) {
        const std::optional<QByteArray> bytes =
            platform::PropertyList::serialize(QVariant(list), platform::PropertyList::Format::Xml);
        ok = bytes && platform::writeFileAtomically(path, *bytes);
    }
    if (!ok) {
        platform::log(QStringLiteral("Unable to write: %1").arg(path));
        platform::beep();
    }
    return ok;
}

// Moves a legacy table in only while there is no live table, so nothing is replaced.
void migrateLegacyLocationFile(const QString& live) {
    const QString old2 = QFileInfo(join(Paths::dataDir(), kLocationFile)).canonicalFilePath();
    for (const QString& old : {TalvorFilePaths::TalvorOldPathLocationFile(), old2}) {
        if (old.isEmpty() || !isFile(old)) {
            continue;
        }
        const QFileInfo target(live);
        if (target.exists() || target.isSymLink()) {
            platform::log(QStringLiteral("Legacy locations %1 left in place: %2 already exists")
                              .arg(old, live));
        } else if (QFile::rename(old, live)) {
            platform::log(QStringLiteral("Moved Locations from Path = %1 to %2").arg(old, live));
        } else {
            platform::log(QStringLiteral("Unable to move Locations from %1 to %2").arg(old, live));
        }
        return;
    }
}

// The build's compiled copy of the bundled table at `plistPath`, when there is one no older
// than the property list (an edited list wins); nullopt otherwise.
std::optional<LocationTable> readCompiledDefaultLocations(const QString& plistPath) {
    const QString path = join(QFileInfo(plistPath).absolutePath(), kCompiledDefaultLocations);
    const QFileInfo compiled(path);
    if (!compiled.isFile() || compiled.lastModified() < QFileInfo(plistPath).lastModified()) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    std::optional<LocationTable> table = CompiledLocationTable::read(file.readAll());
    if (!table) {
        platform::log(
            QStringLiteral("Compiled locations %1 unreadable; reading %2").arg(path, plistPath));
    }
    return table;
}

std::optional<LocationTable> loadDefaultLocations() {
    const QString bundle = Paths::systemDataDir();
    const QString path = TalvorFilePaths::defaultLocationsPath();
    if (!isFile(path)) {
        if (!QFileInfo(bundle).isDir()) {
            platform::log(QStringLiteral("LocationList  thisBundle nil"));
        }
        platform::log(
            QStringLiteral("bug -- missing 'LocationsConfig.plist' in bundle %1").arg(bundle));
        LocationTable empty;
        empty.reserve(15);
        return empty;
    }
    std::optional<LocationTable> table = readCompiledDefaultLocations(path);
    if (!table) {
        table = readArray(path);
    }
    if (!table) {
        platform::log(QStringLiteral("Default locations failed to load at %1").arg(path));
        return std::nullopt;
    }
    platform::log(QStringLiteral("Default locations loaded"));
    return table;
}

}  // namespace

QString TalvorFilePaths::vltGetUserApplSupportFolder(const QString& name) {
    if (name.isEmpty()) {
        return Paths::dataDir();
    }
    QString folder = join(Paths::dataDir(), name);
    vltPaths::vltMakeDirIfNeeded(folder);
    return folder;
}

QString TalvorFilePaths::vltGetUserFennelWorkshopFolder(const QString& name) {
    QString folder = join(Paths::dataDir(), kVendorFolder);
    if (!name.isEmpty()) {
        folder = join(folder, name);
    }
    vltPaths::vltMakeDirIfNeeded(folder);
    return folder;
}

QString TalvorFilePaths::vltGetUsersTalvorProSupportDir() {
    QString folder = userDataFolder();
    vltPaths::vltMakeDirIfNeeded(folder);
    return folder;
}

QString TalvorFilePaths::vltGetLocalFennelWorkshopSupportDir() {
    QString folder = join(Paths::systemDataDir(), kVendorFolder);
    vltPaths::vltMakeDirIfNeeded(folder);
    return folder;
}

QString TalvorFilePaths::vltGetLocalTalvorApplSupportFolder() {
    QString folder = localTalvorFolder();
    vltPaths::vltMakeDirIfNeeded(folder);
    return folder;
}

QString TalvorFilePaths::vltGetLocalTalvorProSupportDir() {
    QString folder =
        join(join(Paths::systemDataDir(), kVendorFolder), QStringLiteral("Talvor Pro"));
    vltPaths::vltMakeDirIfNeeded(folder);
    return folder;
}

QString TalvorFilePaths::TalvorOldPathLocationFile() {
    const QString path = join(join(Paths::homeDir(), QStringLiteral("Library")), kLocationFile);
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

QString TalvorFilePaths::locationFilePath() {
    return join(userDataFolder(), kLocationFile);
}

QString TalvorFilePaths::netLocationFilePath() {
    return join(userDataFolder(), kNetLocationFile);
}

QString TalvorFilePaths::schedulerLocationFilePath() {
    return join(userDataFolder(), kSchedulerFile);
}

std::optional<LocationTable> TalvorFilePaths::TalvorLoadBundledLocations() {
    return loadDefaultLocations();
}

QString TalvorFilePaths::defaultLocationsPath() {
    return join(Paths::systemDataDir(), kDefaultLocations);
}

std::optional<LocationTable> TalvorFilePaths::TalvorLoadLocationFile() {
    const QString live = join(vltGetUsersTalvorProSupportDir(), kLocationFile);
    migrateLegacyLocationFile(live);
    std::optional<LocationTable> table;
    if (isFile(live)) {
        table = readArray(live);
        if (!table) {
            moveAside(live);
        }
    }
    if (!table) {
        table = loadDefaultLocations();
    }
    if (table) {
        mergeNetLocation(*table);
    }
    return table;
}

LocationTable& TalvorFilePaths::mergeNetLocation(LocationTable& table) {
    const QString path = netLocationFilePath();
    if (!isFile(path)) {
        return table;
    }
    const std::optional<QVariantList> net = readArray(path);
    if (!net) {
        // Kept aside, or the next save without net records would delete it.
        moveAside(path);
        return table;
    }
    if (net->isEmpty()) {
        return table;
    }
    // Net records are matched against the table as it was, never against each other.
    QSet<QString> identities;
    identities.reserve(table.size());
    for (const QVariant& entry : std::as_const(table)) {
        if (entry.typeId() == QMetaType::QVariantList) {
            identities.insert(LocationRecord::identityKey(entry.toList()));
        }
    }
    int duplicates = 0;
    for (const QVariant& entry : *net) {
        if (entry.typeId() != QMetaType::QVariantList) {
            continue;
        }
        QVariantList record = entry.toList();
        if (identities.contains(LocationRecord::identityKey(record))) {
            ++duplicates;
            continue;
        }
        table.append(QVariant(LocationRecord::asNetRecord(std::move(record))));
    }
    if (duplicates > 0) {
        platform::log(
            QStringLiteral("%1 duplicates locations found in subscription").arg(duplicates));
    }
    return table;
}

bool TalvorFilePaths::TalvorSaveLocationTable(const LocationTable& table) {
    const QString path = locationFilePath();
    platform::log(QStringLiteral("Saving Talvor locations: %1 (%2)").arg(path).arg(table.size()));
    LocationTable kept;
    LocationTable net;
    for (const QVariant& entry : table) {
        if (entry.typeId() == QMetaType::QVariantList &&
            LocationRecord::isNetRecord(entry.toList())) {
            net.append(entry);
        } else {
            kept.append(entry);
        }
    }
    bool netOk = true;
    if (!net.isEmpty()) {
        netOk = TalvorSaveCacheNetLocation(net);
    } else if (!TalvorRemoveNetLocation()) {
        platform::log(QStringLiteral("Unable to remove: %1").arg(netLocationFilePath()));
        platform::beep();
        netOk = false;
    }
    const bool mainOk = writeArray(path, kept);
    return mainOk && netOk;
}

std::optional<QVariantList> TalvorFilePaths::TalvorLoadSchedulerLocationFile() {
    const QString path = schedulerLocationFilePath();
    if (!isFile(path)) {
        return std::nullopt;
    }
    std::optional<QVariantList> table = readArray(path);
    if (!table) {
        moveAside(path);
    }
    return table;
}

bool TalvorFilePaths::TalvorSaveSchedulerTable(const QVariantList& table) {
    return writeArray(schedulerLocationFilePath(), table);
}

bool TalvorFilePaths::TalvorSaveCacheNetLocation(const LocationTable& netRecords) {
    if (netRecords.isEmpty()) {
        return true;
    }
    const QString path = netLocationFilePath();
    platform::log(
        QStringLiteral("Saving net locations cache: %1 (%2)").arg(path).arg(netRecords.size()));
    return writeArray(path, netRecords);
}

bool TalvorFilePaths::TalvorExistsNetLocation() {
    return isFile(netLocationFilePath());
}

bool TalvorFilePaths::TalvorRemoveNetLocation() {
    const QString path = netLocationFilePath();
    // A folder in the cache's place is no cache, as TalvorExistsNetLocation says.
    const QFileInfo info(path);
    if (!info.isFile() && !info.isSymLink()) {
        return true;
    }
    return QFile::remove(path);
}

QVariantList TalvorFilePaths::loadWarnMeTitles(const QString& name, const QString& defaultPath) {
    const QString file = name + QStringLiteral(".plist");
    const QString places[] = {join(userDataFolder(), file), join(Paths::dataDir(), file),
                              join(localTalvorFolder(), file)};
    for (const QString& place : places) {
        if (!isFile(place)) {
            continue;
        }
        if (std::optional<QVariantList> list = readArray(place)) {
            return *list;
        }
        if (&place == &places[2]) {
            platform::log(QStringLiteral("no global custom data loaded for system  %1").arg(name));
        }
    }
    if (isFile(defaultPath)) {
        if (std::optional<QVariantList> list = readArray(defaultPath)) {
            return *list;
        }
    }
    platform::log(QStringLiteral("no default data loaded for %1").arg(defaultPath));
    QVariantList empty;
    empty.reserve(20);
    platform::log(QStringLiteral("no data loaded for %1").arg(name));
    return empty;
}

bool TalvorFilePaths::hasCustomWarnMeFile(const QString& name) {
    const QString file = name + QStringLiteral(".plist");
    return isFile(join(Paths::dataDir(), file)) || isFile(join(userDataFolder(), file)) ||
           isFile(join(localTalvorFolder(), file));
}

}  // namespace talvor
