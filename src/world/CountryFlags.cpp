#include "CountryFlags.h"

#include "foundation/LocationRecord.h"
#include "platform/BoundedFile.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>

#include <memory>

namespace talvor {

CountryFlags::CountryFlags(const QString& folder)
    : folder_(folder.isEmpty() ? platform::Paths::systemDataDir() : folder) {
    const platform::BoundedRead read = platform::readRegularFile(
        QDir(folder_).filePath(QStringLiteral("CountryCode.plist")), platform::kSmallFileCap);
    if (!read.bytes) {
        return;
    }
    const std::optional<QVariant> table = platform::PropertyList::parse(*read.bytes);
    if (!table) {
        return;
    }
    for (const QVariant& entry : table->toList()) {
        const QVariantList fields = LocationRecord::fields(entry);
        const QString iso = LocationRecord::text(fields, 0);
        const QString name = LocationRecord::text(fields, 1);
        if (iso.isEmpty() || name.isEmpty()) {
            continue;
        }
        // The first entry of a code carries the country's own name; later ones other names.
        const Country country{iso, byName_.value(iso.toLower(), Country{iso, name, {}}).name,
                              LocationRecord::text(fields, 2)};
        byName_.insert(iso.toLower(), country);
        if (!byName_.contains(name.toLower())) {
            byName_.insert(name.toLower(), country);
        }
    }
}

const CountryFlags& CountryFlags::shared() {
    // Read again only when the data folder moved (tests point it elsewhere).
    static std::unique_ptr<CountryFlags> flags;
    const QString folder = platform::Paths::systemDataDir();
    if (!flags || flags->folder_ != folder) {
        flags = std::make_unique<CountryFlags>(folder);
    }
    return *flags;
}

std::optional<CountryFlags::Country> CountryFlags::country(const QString& nameOrCode) const {
    const auto it = byName_.constFind(nameOrCode.trimmed().toLower());
    if (it == byName_.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

std::optional<QString> CountryFlags::flagPath(const QString& nameOrCode) const {
    const std::optional<Country> c = country(nameOrCode);
    if (!c) {
        return std::nullopt;
    }
    const QString path = QDir(folder_).filePath(QStringLiteral("Flags/%1.svg").arg(c->iso));
    if (!QFileInfo(path).isFile()) {
        return std::nullopt;
    }
    return path;
}

QImage CountryFlags::drawFlag(const QString& svgPath, int pixels) {
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid() || pixels <= 0) {
        return {};
    }
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.setAspectRatioMode(Qt::KeepAspectRatioByExpanding);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    return image;
}

}  // namespace talvor
