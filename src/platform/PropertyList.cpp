#include "PropertyList.h"

#include "Date.h"

#include "kit/BinaryPropertyList.h"
#include "kit/PropertyListBounds.h"

#include <QDateTime>

#include <locale.h>
#include <plist/plist.h>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <unordered_map>

namespace talvor::platform::PropertyList {
namespace {

struct PlistFree {
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// libplist builds, writes and frees trees recursively, so nesting is bounded on the way in
// and on the way out: at most this many containers inside one another.
constexpr int kMaxDepth = 256;

// Dates are kept from 0001-01-01 to 9999-12-31 (UTC); others are clamped on writing, and
// on reading as far as the stored value allows.
constexpr double kMinDateSeconds = -63113904000.0;
constexpr double kMaxDateSeconds = 252423993599.0;

// libplist formats and reads reals through the C library, which Qt sets to the user's
// locale: a German locale would read "2.5" as 2.
class CNumericLocale {
  public:
    CNumericLocale() : previous_(uselocale(cLocale())) {}
    ~CNumericLocale() { uselocale(previous_); }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

  private:
    static locale_t cLocale() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        return c;
    }
    locale_t previous_;
};

uint64_t readBigEndian(const uchar* p, uint64_t width) {
    uint64_t v = 0;
    for (uint64_t i = 0; i < width; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

void appendBigEndian(QByteArray& out, uint64_t v, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out.append(static_cast<char>((v >> (8 * i)) & 0xff));
    }
}

// libplist 2.2 hands dates over as 32-bit seconds (1933 to 2068, wrapping outside), but
// its nodes keep the binary format's double; a one-object binary list carries it across.
plist_t newDateNode(double seconds) {
    QByteArray bytes("bplist00");
    bytes.append(static_cast<char>(0x33));
    appendBigEndian(bytes, std::bit_cast<uint64_t>(seconds), 8);
    bytes.append(static_cast<char>(8));  // the offset table: one object, at byte 8
    bytes.append(6, '\0');
    bytes.append(static_cast<char>(1));  // offset width
    bytes.append(static_cast<char>(1));  // reference width
    appendBigEndian(bytes, 1, 8);        // object count
    appendBigEndian(bytes, 0, 8);        // root object
    appendBigEndian(bytes, 17, 8);       // offset table position
    plist_t node = nullptr;
    plist_from_bin(bytes.constData(), static_cast<uint32_t>(bytes.size()), &node);
    if (node != nullptr && plist_get_node_type(node) == PLIST_DATE) {
        return node;
    }
    plist_free(node);
    return nullptr;
}

std::optional<double> dateNodeSeconds(plist_t node) {
    char* out = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &out, &length);
    std::optional<double> seconds;
    if (out != nullptr && length >= 17 && static_cast<uchar>(out[8]) == 0x33) {
        seconds = std::bit_cast<double>(readBigEndian(reinterpret_cast<const uchar*>(out) + 9, 8));
    }
    plist_to_bin_free(out);
    return seconds;
}

plist_t toNode(const QVariant& v, Format format) {
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
            // XML keeps whole seconds; libplist would cut earlier dates towards 2001.
            return newDateNode(format == Format::Xml ? std::floor(s) : s);
        }
        case QMetaType::QVariantList: {
            plist_t array = plist_new_array();
            for (const QVariant& item : v.toList()) {
                plist_t node = toNode(item, format);
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
                plist_t node = toNode(it.value(), format);
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
    if (node == nullptr) {
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
            if (p == nullptr) {
                return QVariant(QString());
            }
            // A NUL ends the text, as libplist already ends keys and most strings there; so
            // whatever is read can be written again.
            const auto n = static_cast<qsizetype>(len);
            const void* nul = std::memchr(p, 0, static_cast<size_t>(n));
            return QVariant(
                QString::fromUtf8(p, nul != nullptr ? static_cast<const char*>(nul) - p : n));
        }
        case PLIST_DATA: {
            uint64_t len = 0;
            const char* p = plist_get_data_ptr(node, &len);
            return QVariant(QByteArray(p, p != nullptr ? static_cast<qsizetype>(len) : 0));
        }
        case PLIST_DATE: {
            const std::optional<double> s = dateNodeSeconds(node);
            if (!s || std::isnan(*s)) {
                return {};
            }
            const double clamped = std::clamp(*s, kMinDateSeconds, kMaxDateSeconds);
            return QVariant(Date::fromReference(clamped).toQDateTime());
        }
        case PLIST_ARRAY: {
            if (depth >= kMaxDepth) {
                return {};
            }
            QVariantList list;
            list.reserve(static_cast<qsizetype>(plist_array_get_size(node)));
            // libplist finds an element by its index in a walk from the first, unless the
            // array was built by appending; its iterator keeps its place.
            plist_array_iter it = nullptr;
            plist_array_new_iter(node, &it);
            for (;;) {
                plist_t child = nullptr;
                plist_array_next_item(node, it, &child);
                if (child == nullptr) {
                    break;
                }
                QVariant item = fromNode(child, depth + 1);
                if (item.isValid()) {
                    list.append(std::move(item));
                }
            }
            std::free(it);
            return QVariant(list);
        }
        case PLIST_DICT: {
            if (depth >= kMaxDepth) {
                return {};
            }
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
                    map.insert(QString::fromUtf8(key), item);
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

// The values of a checked binary list. An object that more than one reference leads to is
// built once and shared, as QVariant shares its data: the strings a long list repeats in
// every row are made once.
class BinaryValues {
  public:
    explicit BinaryValues(const kit::BinaryPropertyList& list) : list_(list) {}

    // An invalid QVariant for what is no value of ours (a UID, an instant that is no number).
    QVariant value(std::uint64_t index) {
        if (!list_.isShared(index)) {
            return build(index);
        }
        if (const auto it = shared_.find(index); it != shared_.end()) {
            return it->second;
        }
        QVariant v = build(index);
        shared_.emplace(index, v);
        return v;
    }

  private:
    using Kind = kit::BinaryPropertyList::Kind;

    // A NUL ends the text, as the XML reader ends it there; so whatever is read can be
    // written again.
    static QString text(const kit::BinaryPropertyList::Object& o) {
        if (o.kind == Kind::AsciiString) {
            const std::string_view bytes = o.bytes.substr(0, o.bytes.find('\0'));
            return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
        }
        const auto* units = reinterpret_cast<const uchar*>(o.bytes.data());
        const auto n = static_cast<qsizetype>(o.bytes.size() / 2);
        QString out(n, Qt::Uninitialized);
        QChar* to = out.data();
        for (qsizetype i = 0; i < n; ++i) {
            const auto unit = static_cast<char16_t>(units[2 * i] << 8 | units[2 * i + 1]);
            if (unit == 0) {
                out.truncate(i);
                break;
            }
            to[i] = QChar(unit);
        }
        return out;
    }

    QVariant build(std::uint64_t index) {
        const kit::BinaryPropertyList::Object o = list_.object(index);
        switch (o.kind) {
            case Kind::Boolean:
                return QVariant(o.boolean);
            case Kind::Integer:
                return QVariant(static_cast<qint64>(o.integer));
            case Kind::Real:
                return QVariant(o.real);
            case Kind::Date:
                if (std::isnan(o.real)) {
                    return {};
                }
                return QVariant(
                    Date::fromReference(std::clamp(o.real, kMinDateSeconds, kMaxDateSeconds))
                        .toQDateTime());
            case Kind::Data:
                return QVariant(QByteArray(o.bytes.data(), static_cast<qsizetype>(o.bytes.size())));
            case Kind::AsciiString:
            case Kind::Utf16String:
                return QVariant(text(o));
            case Kind::Uid:
                return {};  // archiver UIDs are not values of ours
            case Kind::Array: {
                QVariantList list;
                list.reserve(static_cast<qsizetype>(o.entries));
                for (std::uint64_t i = 0; i < o.entries; ++i) {
                    QVariant item = value(list_.reference(o, i));
                    if (item.isValid()) {
                        list.append(std::move(item));
                    }
                }
                return QVariant(list);
            }
            case Kind::Dictionary: {
                QVariantMap map;
                for (std::uint64_t i = 0; i < o.entries; ++i) {
                    QVariant item = value(list_.reference(o, o.entries + i));
                    if (item.isValid()) {
                        map.insert(text(list_.object(list_.reference(o, i))), item);
                    }
                }
                return QVariant(map);
            }
        }
        return {};
    }

    const kit::BinaryPropertyList& list_;
    std::unordered_map<std::uint64_t, QVariant> shared_;
};

QVariant normalizedAt(const QVariant& value, int depth) {
    switch (value.typeId()) {
        case QMetaType::Bool:
        case QMetaType::LongLong:
        case QMetaType::Double:
        case QMetaType::QByteArray:
            return value;
        case QMetaType::QString:
            // libplist takes C strings: a NUL would silently cut the text short.
            return value.toString().contains(QChar(0)) ? QVariant() : value;
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
            if (depth >= kMaxDepth) {
                return {};
            }
            QVariantList out;
            for (const QVariant& item : value.toList()) {
                QVariant n = normalizedAt(item, depth + 1);
                if (!n.isValid()) {
                    return {};
                }
                out.append(std::move(n));
            }
            return QVariant(out);
        }
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash: {
            if (depth >= kMaxDepth) {
                return {};
            }
            QVariantMap out;
            const QVariantMap in = value.toMap();
            for (auto it = in.cbegin(); it != in.cend(); ++it) {
                QVariant n = normalizedAt(it.value(), depth + 1);
                if (!n.isValid() || it.key().contains(QChar(0))) {
                    return {};
                }
                out.insert(it.key(), n);
            }
            return QVariant(out);
        }
        default:
            return {};
    }
}

}  // namespace

QVariant normalized(const QVariant& value) {
    return normalizedAt(value, 0);
}

bool isPropertyListValue(const QVariant& value) {
    return normalized(value).isValid();
}

std::optional<QByteArray> serialize(const QVariant& value, Format format, QString* error) {
    const QVariant n = normalized(value);
    PlistPtr root(n.isValid() ? toNode(n, format) : nullptr);
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
        const CNumericLocale c;
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
    Refusal refusal;
    std::optional<QVariant> value = parse(data, Limits{}, &refusal);
    if (!value && error != nullptr) {
        *error = refusal.message;
    }
    return value;
}

std::optional<QVariant> parse(const QByteArray& data, const Limits& limits, Refusal* refusal) {
    auto fail = [&](const QString& why,
                    std::optional<qint64> entries = std::nullopt) -> std::optional<QVariant> {
        if (refusal != nullptr) {
            *refusal = {why, entries};
        }
        return std::nullopt;
    };
    auto refused = [&](const kit::PropertyListRefusal& r) {
        return fail(QString::fromStdString(r.message),
                    r.reason == kit::PropertyListRefusal::Reason::TooManyEntries
                        ? std::optional<qint64>(static_cast<qint64>(r.entries))
                        : std::nullopt);
    };
    if (data.size() < 8 || data.size() > std::numeric_limits<int32_t>::max()) {
        return fail(QStringLiteral("not a property list (%1 bytes)").arg(data.size()));
    }
    const std::string_view bytes(data.constData(), static_cast<size_t>(data.size()));
    const kit::PropertyListLimits bounds{
        kMaxDepth, static_cast<uint64_t>(std::max<qint64>(limits.maxEntries, 0))};
    QVariant v;
    if (data.startsWith("bplist00")) {
        kit::PropertyListRefusal why;
        const std::optional<kit::BinaryPropertyList> list =
            kit::BinaryPropertyList::open(bytes, bounds, &why);
        if (!list) {
            return refused(why);
        }
        v = BinaryValues(*list).value(list->root());
    } else {
        if (const std::optional<kit::PropertyListRefusal> why =
                kit::checkXmlPropertyList(bytes, bounds)) {
            return refused(*why);
        }
        plist_t raw = nullptr;
        {
            const CNumericLocale c;
            plist_from_xml(data.constData(), static_cast<uint32_t>(data.size()), &raw);
        }
        const PlistPtr root(raw);
        if (!root) {
            return fail(QStringLiteral("not a readable property list"));
        }
        v = fromNode(root.get(), 0);
    }
    if (!v.isValid()) {
        return fail(QStringLiteral("the property list holds no value of a known type"));
    }
    return v;
}

}  // namespace talvor::platform::PropertyList
