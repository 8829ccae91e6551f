// A location import on arbitrary bytes: reading the list, keeping the importable records and
// comparing them with a table and with each other. Never a crash; repeats are never added.
#include "foundation/LocationRecord.h"
#include "platform/Log.h"
#include "world/LocationTableModel.h"
#include "world/LocationTransfer.h"

#include <QSet>

#include <cstdint>
#include <cstdlib>

using talvor::LocationTable;
using talvor::LocationTableModel;
namespace LocationRecord = talvor::LocationRecord;
namespace LocationTransfer = talvor::LocationTransfer;

namespace {

const LocationTable& present() {
    static const LocationTable table = [] {
        LocationTable t;
        t.append(QVariant(QVariantList{QString(), QStringLiteral("Paris"), QString(),
                                       QStringLiteral("France"), QStringLiteral("Europe/Paris")}));
        t.append(QVariant(QVariantList{QStringLiteral("HQ"), QStringLiteral("Lima"), QString(),
                                       QStringLiteral("Peru"), QStringLiteral("America/Lima"), -5.0,
                                       QStringLiteral("-05"), QString(), QString(), QString(), true,
                                       false}));
        return t;
    }();
    return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Rejected input is logged; millions of runs would drown the fuzzer's own output.
    static const bool quiet = [] {
        talvor::platform::setLogSink([](const QString&) {});
        return true;
    }();
    (void)quiet;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto imported = LocationTransfer::fromBytes(bytes, {1024 * 1024, 10000});
    if (!imported) {
        return 0;
    }
    const auto plan = LocationTableModel::planImport(present(), imported->records);
    if (plan.added.size() + plan.duplicates != imported->records.size()) {
        std::abort();
    }
    QSet<QString> identities;
    for (const QVariant& entry : present()) {
        identities.insert(LocationRecord::identityKey(entry.toList()));
    }
    for (const QVariant& entry : plan.added) {
        if (!LocationTransfer::isImportableRecord(entry)) {
            std::abort();
        }
        const qsizetype before = identities.size();
        identities.insert(LocationRecord::identityKey(entry.toList()));
        if (identities.size() == before) {
            std::abort();  // added twice, or a row already present
        }
    }
    // Applied to a table, the plan adds exactly its records.
    LocationTableModel model(present(), {}, {});
    if (model.applyImport(plan).added != plan.added.size() ||
        model.rowCount() != present().size() + plan.added.size()) {
        std::abort();
    }
    return 0;
}
