#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace talvor {

// The regions and zones of a zone database laid out as folders and files
// (/usr/share/zoneinfo on the system; a temporary tree in tests).
class ZoneInfoTree {
  public:
    struct Zone {
        QString title;  // "Paris"; a zone in a sub-folder reads "Buenos_Aires (Argentina)"
        QString id;     // "Europe/Paris", "America/Argentina/Buenos_Aires"
    };

    explicit ZoneInfoTree(QString root = QStringLiteral("/usr/share/zoneinfo"));

    // The folder "Etc" is shown as the region "GMT", and read back as "Etc".
    static QString regionTitle(const QString& folder);
    static QString regionFolder(const QString& title);

    // Region titles: the top-level folders in name order. Plain files are skipped, and so
    // are "posix" and "right", which repeat the whole tree (right/ counts leap seconds).
    QStringList regions() const;
    // The zones of a region, sub-folders listed by their zones; nullopt when the region's
    // folder cannot be listed.
    std::optional<QList<Zone>> zones(const QString& regionTitle) const;

  private:
    QString root_;
};

}  // namespace talvor
