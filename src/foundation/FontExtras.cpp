#include "FontExtras.h"

#include "platform/KeyedArchiver.h"

#include <cmath>

namespace talvor::FontExtras {
namespace {

struct ArchivedFont {
    QString family;
    double pointSize = 12;
    qint32 weight = QFont::Normal;
    bool italic = false;

    static QString archiveClassName() { return QStringLiteral("NSFont"); }

    void encodeWithCoder(platform::KeyedArchiver& coder) const {
        coder.encodeString(QStringLiteral("name"), family);
        coder.encodeDouble(QStringLiteral("size"), pointSize);
        coder.encodeInt32(QStringLiteral("weight"), weight);
        coder.encodeBool(QStringLiteral("italic"), italic);
    }

    static std::optional<ArchivedFont> initWithCoder(const platform::KeyedUnarchiver& coder) {
        ArchivedFont f;
        f.family = coder.decodeString(QStringLiteral("name"));
        f.pointSize = coder.decodeDouble(QStringLiteral("size"));
        if (f.family.isEmpty() || !std::isfinite(f.pointSize) || f.pointSize <= 0) {
            return std::nullopt;
        }
        f.pointSize = std::min(f.pointSize, 512.0);
        f.weight = std::clamp(coder.decodeInt32(QStringLiteral("weight")), 1, 1000);
        f.italic = coder.decodeBool(QStringLiteral("italic"));
        return f;
    }
};

}  // namespace

QByteArray asData(const QFont& font) {
    if (font.family().isEmpty()) {
        return QByteArray();
    }
    const double size = font.pointSizeF() > 0 ? font.pointSizeF() : 12.0;
    const ArchivedFont archived{font.family(), size, static_cast<qint32>(font.weight()),
                                font.italic()};
    return platform::KeyedArchiver::archivedDataWithRootObject(archived);
}

std::optional<QFont> font(const QByteArray& data) {
    const std::optional<ArchivedFont> f =
        platform::KeyedUnarchiver::unarchiveObjectWithData<ArchivedFont>(data);
    if (!f) {
        return std::nullopt;
    }
    QFont out(f->family);
    out.setPointSizeF(f->pointSize);
    out.setWeight(static_cast<QFont::Weight>(f->weight));
    out.setItalic(f->italic);
    return out;
}

}  // namespace talvor::FontExtras
