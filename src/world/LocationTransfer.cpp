#include "LocationTransfer.h"

#include "platform/AtomicFile.h"
#include "platform/BoundedFile.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"

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

std::optional<Imported> fromBytes(const QByteArray& bytes, const Limits& limits, QString* problem) {
    if (problem != nullptr) {
        problem->clear();
    }
    if (bytes.size() > limits.maxBytes) {
        if (problem != nullptr) {
            *problem = QStringLiteral("The file is larger than %1, the most one import takes.")
                           .arg(platform::sizeText(limits.maxBytes));
        }
        return std::nullopt;
    }
    // The row limit bounds every list in the file, the records' own too; it is checked while
    // reading, so a file beyond it is refused before its rows are built.
    platform::PropertyList::Refusal refusal;
    const std::optional<QVariant> parsed =
        platform::PropertyList::parse(bytes, {limits.maxRows}, &refusal);
    if (!parsed && refusal.entries) {
        platform::log(QStringLiteral("Importing Locations: %1 entries, more than %2")
                          .arg(*refusal.entries)
                          .arg(limits.maxRows));
        if (problem != nullptr) {
            *problem = QStringLiteral("The file holds %1 entries; one import takes at most %2.")
                           .arg(*refusal.entries)
                           .arg(limits.maxRows);
        }
        return std::nullopt;
    }
    if (!parsed || parsed->typeId() != QMetaType::QVariantList) {
        platform::log(
            QStringLiteral("Importing Locations: not a list of locations %1").arg(refusal.message));
        return std::nullopt;
    }
    const QVariantList entries = parsed->toList();
    Imported imported;
    imported.records.reserve(entries.size());
    for (const QVariant& entry : entries) {
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

std::optional<Imported> read(const QString& path, const Limits& limits, QString* problem) {
    if (problem != nullptr) {
        problem->clear();
    }
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        platform::debugLog(QStringLiteral(" No locations - Path = %1").arg(path));
        return std::nullopt;
    }
    const platform::BoundedRead file = platform::readRegularFile(path, limits.maxBytes);
    if (!file.bytes) {
        if (problem != nullptr && file.refusal == platform::ReadRefusal::TooLarge) {
            *problem = QStringLiteral("The file is larger than %1, the most one import takes.")
                           .arg(platform::sizeText(limits.maxBytes));
        } else if (problem != nullptr && file.refusal == platform::ReadRefusal::NotARegularFile) {
            *problem = QStringLiteral("It is not a regular file.");
        }
        return std::nullopt;
    }
    return fromBytes(*file.bytes, limits, problem);
}

bool write(const QString& path, const LocationTable& records, QString* error) {
    const std::optional<QByteArray> bytes = platform::PropertyList::serialize(
        QVariant(records), platform::PropertyList::Format::Xml, error);
    return bytes && platform::writeFileAtomically(path, *bytes, error);
}

}  // namespace talvor::LocationTransfer
