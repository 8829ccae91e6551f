#include "CompiledLocationTable.h"

#include <QDataStream>
#include <QIODevice>

namespace talvor::CompiledLocationTable {
namespace {

// A new layout gets a new mark: an old file is then read from the property list instead.
constexpr char kMark[] = "TalvorLocations 1\n";
constexpr qsizetype kMarkLength = sizeof(kMark) - 1;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;

}  // namespace

QByteArray compile(const LocationTable& table) {
    QByteArray bytes(kMark, kMarkLength);
    QDataStream out(&bytes, QIODevice::Append);
    out.setVersion(kStreamVersion);
    out << table;
    return bytes;
}

std::optional<LocationTable> read(const QByteArray& bytes) {
    if (!bytes.startsWith(QByteArrayView(kMark, kMarkLength))) {
        return std::nullopt;
    }
    QDataStream in(bytes.sliced(kMarkLength));
    in.setVersion(kStreamVersion);
    LocationTable table;
    in >> table;
    if (in.status() != QDataStream::Ok || !in.atEnd()) {
        return std::nullopt;
    }
    return table;
}

}  // namespace talvor::CompiledLocationTable
