#include "StringsBundle.h"

#include "platform/BoundedFile.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>

namespace talvor {

StringsBundle::StringsBundle(QString folder) : folder_(std::move(folder)) {}

StringsBundle& StringsBundle::mainBundle() {
    static StringsBundle bundle(
        QDir(platform::Paths::systemDataDir()).filePath(QStringLiteral("strings")));
    return bundle;
}

std::optional<QString> StringsBundle::localizedString(const QString& key,
                                                      const QString& table) const {
    std::lock_guard lock(mutex_);
    const QHash<QString, QString>& strings = tableLocked(table);
    const auto it = strings.constFind(key);
    if (it == strings.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

void StringsBundle::setTable(const QString& table, QHash<QString, QString> strings) {
    std::lock_guard lock(mutex_);
    tables_.emplace(table, std::move(strings));
}

const QHash<QString, QString>& StringsBundle::tableLocked(const QString& table) const {
    auto it = tables_.find(table);
    if (it != tables_.end()) {
        return *it;
    }
    QHash<QString, QString> strings;
    if (!folder_.isEmpty()) {
        const QString path = QDir(folder_).filePath(table + QStringLiteral(".strings"));
        const platform::BoundedRead read = platform::readRegularFile(path, platform::kSmallFileCap);
        if (read.bytes) {
            QString error;
            const std::optional<QVariant> parsed =
                platform::PropertyList::parse(*read.bytes, &error);
            if (parsed && parsed->typeId() == QMetaType::QVariantMap) {
                const QVariantMap map = parsed->toMap();
                for (auto e = map.constBegin(); e != map.constEnd(); ++e) {
                    if (e.value().typeId() == QMetaType::QString) {
                        strings.insert(e.key(), e.value().toString());
                    }
                }
            } else {
                platform::log(
                    QStringLiteral("Strings table %1 is not a dictionary: %2").arg(path, error));
            }
        }
    }
    // Kept even when empty, so a missing table is looked for once.
    return *tables_.emplace(table, std::move(strings));
}

}  // namespace talvor
