#include "ZoneInfoTree.h"

#include <QDir>
#include <QFileInfo>

namespace talvor {
namespace {

const QString kEtc = QStringLiteral("Etc");
const QString kGMT = QStringLiteral("GMT");

void collectZones(const QDir& dir, const QString& idPrefix, const QStringList& subFolders,
                  QList<ZoneInfoTree::Zone>& out) {
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir()) {
            collectZones(QDir(entry.filePath()), idPrefix + entry.fileName() + QLatin1Char('/'),
                         subFolders + QStringList{entry.fileName()}, out);
            continue;
        }
        QString title = entry.completeBaseName();
        if (!subFolders.isEmpty()) {
            title += QStringLiteral(" (%1)").arg(subFolders.join(QLatin1Char('/')));
        }
        out.append({title, idPrefix + entry.fileName()});
    }
}

}  // namespace

ZoneInfoTree::ZoneInfoTree(QString root) : root_(std::move(root)) {}

QString ZoneInfoTree::regionTitle(const QString& folder) {
    return folder == kEtc ? kGMT : folder;
}

QString ZoneInfoTree::regionFolder(const QString& title) {
    return title == kGMT ? kEtc : title;
}

QStringList ZoneInfoTree::regions() const {
    QStringList titles;
    const QFileInfoList entries =
        QDir(root_).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (name == QLatin1String("posix") || name == QLatin1String("right")) {
            continue;
        }
        titles.append(regionTitle(entry.completeBaseName()));
    }
    return titles;
}

std::optional<QList<ZoneInfoTree::Zone>> ZoneInfoTree::zones(const QString& regionTitle) const {
    const QString folder = regionFolder(regionTitle);
    const QDir dir(QDir(root_).filePath(folder));
    if (folder.isEmpty() || !dir.exists() || !dir.isReadable()) {
        return std::nullopt;
    }
    QList<Zone> zones;
    collectZones(dir, folder + QLatin1Char('/'), {}, zones);
    return zones;
}

}  // namespace talvor
