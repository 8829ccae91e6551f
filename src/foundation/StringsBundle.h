#pragma once

#include <QHash>
#include <QString>

#include <mutex>
#include <optional>

namespace talvor {

// Text tables by name, as a bundle's strings files: table T is the property-list
// dictionary "<folder>/T.strings" (key -> text), read on first use. Tables may also be
// given in memory. Safe to use from any thread.
class StringsBundle {
  public:
    // No folder: only the tables given with setTable.
    StringsBundle() = default;
    explicit StringsBundle(QString folder);

    // The application's tables, in "strings" of the installed share/talvor folder.
    static StringsBundle& mainBundle();

    // The table's text for the key; nullopt when the table or the key is missing.
    std::optional<QString> localizedString(const QString& key, const QString& table) const;
    void setTable(const QString& table, QHash<QString, QString> strings);

  private:
    const QHash<QString, QString>& tableLocked(const QString& table) const;

    QString folder_;
    mutable std::mutex mutex_;
    mutable QHash<QString, QHash<QString, QString>> tables_;
};

}  // namespace talvor
