#include "PropertyList.h"

#include "Date.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <plist/plist.h>

namespace talvor::platform::PropertyList {
namespace {

struct PlistFree {
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Property-list dates are stored as whole seconds (32-bit) and microseconds since 2001.
constexpr double kMaxDateSeconds = std::numeric_limits<int32_t>::max();
constexpr double kMinDateSeconds = std::numeric_limits<int32_t>::min();

plist_t toNode(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Bool:
            return plist_new_bool(v.toBool() ? 1 : 0);
        case QMetaType::LongLong:
            return plist_new_uint(static_cast<uint64_t>(v.toLongLong()));
        case QMetaType::Double:
            return plist_new_real(v.toDouble());
        case QMetaType::QString: {
            const QByteArray utf8 = v.toString().toUtf8();
            return plist_new_string(utf8.constData());
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = v.toByteArray();
            return plist_new_data(bytes.constData(), static_cast<uint64_t>(bytes.size()));
        }
        case QMetaType::QDateTime: {
            double s = Date::fromQDateTime(v.toDateTime()).timeIntervalSinceReferenceDate();
            s = std::clamp(s, kMinDateSeconds, kMaxDateSeconds);
            const double whole = std::floor(s);
            const auto usec = static_cast<int32_t>(std::lround((s - whole) * 1e6));
            return plist_new_date(static_cast<int32_t>(whole), std::min(usec, 999999));
        }
        case QMetaType::QVariantList: {
            plist_t array = plist_new_array();
            for (const QVariant& item : v.toList()) {
                plist_t node = toNode(item);
                if (node == nullptr) {
                    plist_free(array);
                    return nullptr;
                }
                plist_array_append_item(array, node);
            }
            return array;
        }
        case QMetaType::QVariantMap: {
            plist_t dict = plist_new_dict();
            const QVariantMap map = v.toMap();
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                plist_t node = toNode(it.value());
                if (node == nullptr) {
                    plist_free(dict);
                    return nullptr;
                }
                plist_dict_set_item(dict, it.key().toUtf8().constData(), node);
            }
            return dict;
        }
        default:
            return nullptr;
    }
}

QVariant fromNode(plist_t node, int depth) {
    // Deeply nested input is refused rather than risking the stack.
    if (node == nullptr || depth > 256) {
        return {};
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return QVariant(b != 0);
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return QVariant(static_cast<qint64>(u));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return QVariant(d);
        }
        case PLIST_STRING: {
            uint64_t len = 0;
            const char* p = plist_get_string_ptr(node, &len);
            return QVariant(QString::fromUtf8(p, p != nullptr ? static_cast<qsizetype>(len) : 0));
        }
        case PLIST_DATA: {
            uint64_t len = 0;
            const char* p = plist_get_data_ptr(node, &len);
            return QVariant(QByteArray(p, p != nullptr ? static_cast<qsizetype>(len) : 0));
        }
        case PLIST_DATE: {
            int32_t sec = 0;
            int32_t usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return QVariant(Date::fromReference(sec + usec / 1e6).toQDateTime());
        }
        case PLIST_ARRAY: {
            QVariantList list;
            const uint32_t n = plist_array_get_size(node);
            list.reserve(static_cast<qsizetype>(n));
            for (uint32_t i = 0; i < n; ++i) {
                QVariant item = fromNode(plist_array_get_item(node, i), depth + 1);
                if (item.isValid()) {
                    list.append(std::move(item));
                }
            }
            return QVariant(list);
        }
        case PLIST_DICT: {
            QVariantMap map;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            for (;;) {
                char* key = nullptr;
                plist_t value = nullptr;
                plist_dict_next_item(node, it, &key, &value);
                if (key == nullptr) {
                    break;
                }
                QVariant item = fromNode(value, depth + 1);
                if (item.isValid()) {
                    map.insert(QString::fromUtf8(key), std::move(item));
                }
                std::free(key);
            }
            std::free(it);
            return QVariant(map);
        }
        default:
            // Keys and archiver UIDs are not values of ours.
            return {};
    }
}

}  // namespace

QVariant normalized(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Bool:
        case QMetaType::LongLong:
        case QMetaType::Double:
        case QMetaType::QString:
        case QMetaType::QByteArray:
            return value;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
        case QMetaType::ULongLong:
            return QVariant(value.toLongLong());
        case QMetaType::Float:
            return QVariant(static_cast<double>(value.toFloat()));
        case QMetaType::QDateTime: {
            const QDateTime dt = value.toDateTime();
            return dt.isValid() ? QVariant(dt.toUTC()) : QVariant();
        }
        case QMetaType::QStringList:
        case QMetaType::QVariantList: {
            QVariantList out;
            for (const QVariant& item : value.toList()) {
                QVariant n = normalized(item);
                if (!n.isValid()) {
                    return {};
                }
                out.append(std::move(n));
            }
            return QVariant(out);
        }
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash: {
            QVariantMap out;
            const QVariantMap in = value.toMap();
            for (auto it = in.cbegin(); it != in.cend(); ++it) {
                QVariant n = normalized(it.value());
                if (!n.isValid()) {
                    return {};
                }
                out.insert(it.key(), std::move(n));
            }
            return QVariant(out);
        }
        default:
            return {};
    }
}

bool isPropertyListValue(const QVariant& value) {
    return normalized(value).isValid();
}

std::optional<QByteArray> serialize(const QVariant& value, Format format, QString* error) {
    const QVariant n = normalized(value);
    PlistPtr root(n.isValid() ? toNode(n) : nullptr);
    if (!root) {
        if (error != nullptr) {
            *error = QStringLiteral("value of type %1 cannot be stored in a property list")
                         .arg(QString::fromLatin1(value.typeName()));
        }
        return std::nullopt;
    }
    char* out = nullptr;
    uint32_t length = 0;
    if (format == Format::Xml) {
        plist_to_xml(root.get(), &out, &length);
    } else {
        plist_to_bin(root.get(), &out, &length);
    }
    if (out == nullptr) {
        if (error != nullptr) {
            *error = QStringLiteral("the property list could not be encoded");
        }
        return std::nullopt;
    }
    QByteArray bytes(out, static_cast<qsizetype>(length));
    if (format == Format::Xml) {
        plist_to_xml_free(out);
    } else {
        plist_to_bin_free(out);
    }
    return bytes;
}

std::optional<QVariant> parse(const QByteArray& data, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<QVariant> {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    if (data.size() < 8 || data.size() > std::numeric_limits<int32_t>::max()) {
        return fail(QStringLiteral("not a property list (%1 bytes)").arg(data.size()));
    }
    plist_t raw = nullptr;
    const auto length = static_cast<uint32_t>(data.size());
    if (data.startsWith("bplist00")) {
        plist_from_bin(data.constData(), length, &raw);
    } else {
        plist_from_xml(data.constData(), length, &raw);
    }
    PlistPtr root(raw);
    if (!root) {
        return fail(QStringLiteral("not a readable property list"));
    }
    QVariant v = fromNode(root.get(), 0);
    if (!v.isValid()) {
        return fail(QStringLiteral("the property list holds no value of a known type"));
    }
    return v;
}

}  // namespace talvor::platform::PropertyList
