#include "LocationTransfer.h"

#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"

#include <QFile>
#include <QFileInfo>

namespace talvor::LocationTransfer {

bool isImportableRecord(const QVariant& entry) {
    if (entry.typeId() != QMetaType::QVariantList) {
        return false;
    }
    const QVariantList rec = entry.toList();
    if (rec.isEmpty()) {
        return false;
    }
    for (int i = LocationRecord::kNote; i <= LocationRecord::kZone && i < rec.size(); ++i) {
        if (rec.at(i).typeId() != QMetaType::QString) {
            return false;
        }
    }
    // Padding written before a later flag was set leaves "" in an earlier flag's place.
    for (int i : {int(LocationRecord::kInTimeMenu), int(LocationRecord::kFloating)}) {
        if (i < rec.size() && rec.at(i).typeId() != QMetaType::Bool &&
            rec.at(i) != QVariant(QString())) {
            return false;
        }
    }
    return true;
}

std::optional<Imported> read(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        platform::debugLog(QStringLiteral(" No locations - Path = %1").arg(path));
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        platform::log(QStringLiteral("Importing Locations: cannot open %1").arg(path));
        return std::nullopt;
    }
    QString error;
    const std::optional<QVariant> parsed = platform::PropertyList::parse(file.readAll(), &error);
    if (!parsed || parsed->typeId() != QMetaType::QVariantList) {
        platform::log(QStringLiteral("Importing Locations: %1 is not a list of locations %2")
                          .arg(path, error));
        return std::nullopt;
    }
    Imported imported;
    for (const QVariant& entry : parsed->toList()) {
        if (isImportableRecord(entry)) {
            imported.records.append(entry);
        } else {
            ++imported.rejected;
        }
    }
    if (imported.records.isEmpty()) {
        return std::nullopt;
    }
    return imported;
}

bool write(const QString& path, const LocationTable& records, QString* error) {
    const std::optional<QByteArray> bytes = platform::PropertyList::serialize(
        QVariant(records), platform::PropertyList::Format::Xml, error);
    return bytes && platform::writeFileAtomically(path, *bytes, error);
}

}  // namespace talvor::LocationTransfer
