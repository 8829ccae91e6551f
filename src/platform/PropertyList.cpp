#include "PropertyList.h"

#include "Date.h"

#include <QByteArrayView>
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

// Walks a binary property list as libplist will, refusing before libplist sees it what
// libplist 2.2 does not survive: nesting that overflows its recursion, and shared objects
// that expand into an exponential tree. Bounds are checked too, stricter than libplist.
class BinaryCheck {
  public:
    explicit BinaryCheck(const QByteArray& data)
        : bytes_(reinterpret_cast<const uchar*>(data.constData())),
          size_(static_cast<uint64_t>(data.size())),
          budget_(std::max<uint64_t>(uint64_t{1} << 20, size_)) {}

    QString run() {
        constexpr uint64_t kHeader = 8;
        constexpr uint64_t kTrailer = 32;
        if (size_ < kHeader + 1 + kTrailer) {
            return QStringLiteral("binary property list too short");
        }
        const uchar* trailer = bytes_ + size_ - kTrailer;
        offsetWidth_ = trailer[6];
        refWidth_ = trailer[7];
        count_ = readBigEndian(trailer + 8, 8);
        const uint64_t root = readBigEndian(trailer + 16, 8);
        objectsEnd_ = readBigEndian(trailer + 24, 8);
        const uint64_t tableSpace = size_ - kTrailer;
        if (offsetWidth_ < 1 || offsetWidth_ > 8 || refWidth_ < 1 || refWidth_ > 8 || count_ == 0 ||
            root >= count_ || objectsEnd_ <= kHeader || objectsEnd_ > tableSpace ||
            count_ > (tableSpace - objectsEnd_) / offsetWidth_) {
            return QStringLiteral("binary property list has a damaged trailer");
        }
        object(root, 0, false);
        return error_;
    }

  private:
    bool fail(const char* why) {
        if (error_.isEmpty()) {
            error_ = QStringLiteral("binary property list: %1").arg(QLatin1String(why));
        }
        return false;
    }

    // True when `n` bytes from `pos` lie before the offset table.
    bool fits(uint64_t pos, uint64_t n) const {
        return pos <= objectsEnd_ && n <= objectsEnd_ - pos;
    }

    // Reads the element count of a variable-length object, moving `pos` past it.
    bool count(uint64_t& pos, uint8_t low, uint64_t& n) const {
        if (low != 0x0f) {
            n = low;
            return true;
        }
        if (!fits(pos, 1) || (bytes_[pos] & 0xf0) != 0x10 || (bytes_[pos] & 0x0f) > 3) {
            return false;
        }
        const uint64_t width = uint64_t{1} << (bytes_[pos] & 0x0f);
        if (!fits(pos + 1, width)) {
            return false;
        }
        n = readBigEndian(bytes_ + pos + 1, width);
        pos += 1 + width;
        return true;
    }

    // True when one of the `n` units of `width` bytes from `pos` is zero.
    bool hasZero(uint64_t pos, uint64_t n, uint64_t width) const {
        for (uint64_t i = 0; i < n; ++i) {
            if (readBigEndian(bytes_ + pos + i * width, width) == 0) {
                return true;
            }
        }
        return false;
    }

    uint64_t ref(uint64_t pos) const { return readBigEndian(bytes_ + pos, refWidth_); }

    bool object(uint64_t index, int depth, bool isKey) {
        if (++visited_ > budget_) {
            return fail("too many objects");
        }
        if (index >= count_) {
            return fail("reference out of range");
        }
        uint64_t pos = readBigEndian(bytes_ + objectsEnd_ + index * offsetWidth_, offsetWidth_);
        if (pos < 8 || pos >= objectsEnd_) {
            return fail("object offset out of range");
        }
        const uint8_t marker = bytes_[pos++];
        const uint8_t kind = marker >> 4;
        const uint8_t low = marker & 0x0f;
        if (isKey && kind != 0x5 && kind != 0x6) {
            return fail("dictionary key is not a string");
        }
        uint64_t n = 0;
        switch (kind) {
            case 0x0:
                return marker == 0x08 || marker == 0x09 || fail("unknown object type");
            case 0x1:
                return (low <= 4 && fits(pos, uint64_t{1} << low)) || fail("bad integer");
            case 0x2:
                return ((low == 2 || low == 3) && fits(pos, uint64_t{1} << low)) ||
                       fail("bad real");
            case 0x3:
                return (marker == 0x33 && fits(pos, 8)) || fail("bad date");
            case 0x4:
            case 0x5:
                if (!count(pos, low, n) || !fits(pos, n)) {
                    return fail("bad data or string");
                }
                return !isKey || !hasZero(pos, n, 1) || fail("NUL in a dictionary key");
            case 0x6:
                if (!count(pos, low, n) || n > objectsEnd_ / 2 || !fits(pos, 2 * n)) {
                    return fail("bad string");
                }
                // libplist aborts on a UTF-16 key holding U+0000 (an assertion).
                return !isKey || !hasZero(pos, n, 2) || fail("NUL in a dictionary key");
            case 0x8:
                return (low < 8 && fits(pos, low + 1u)) || fail("bad uid");
            case 0xa:
            case 0xd: {
                if (depth >= kMaxDepth) {
                    return fail("nested too deeply");
                }
                const uint64_t perEntry = kind == 0xd ? 2 : 1;
                if (!count(pos, low, n) || n > objectsEnd_ / (perEntry * refWidth_) ||
                    !fits(pos, n * perEntry * refWidth_)) {
                    return fail("bad array or dictionary");
                }
                for (uint64_t i = 0; i < n * perEntry; ++i) {
                    const bool key = kind == 0xd && i < n;
                    if (!object(ref(pos + i * refWidth_), depth + 1, key)) {
                        return false;
                    }
                }
                return true;
            }
            default:
                return fail("unknown object type");
        }
    }

    const uchar* bytes_;
    uint64_t size_;
    uint64_t budget_;
    uint64_t visited_ = 0;
    uint64_t offsetWidth_ = 0;
    uint64_t refWidth_ = 0;
    uint64_t count_ = 0;
    uint64_t objectsEnd_ = 0;
    QString error_;
};

// The XML counterpart of BinaryCheck: only nesting needs bounding, as XML cannot share
// objects. Comments, CDATA, processing instructions and the DOCTYPE are skipped the way
// libplist skips them, so no closing tag inside them is counted.
QString checkXmlNesting(const QByteArray& data) {
    const char* p = data.constData();
    const char* const end = p + data.size();
    auto skipPast = [&](const char* from, QByteArrayView marker) -> const char* {
        const qsizetype at = QByteArrayView(from, end - from).indexOf(marker);
        return at < 0 ? end : from + at + marker.size();
    };
    auto find = [&](const char* from, char c) -> const char* {
        const void* hit = std::memchr(from, c, static_cast<size_t>(end - from));
        return hit != nullptr ? static_cast<const char*>(hit) : end;
    };
    int depth = 0;
    while ((p = find(p, '<')) != end) {
        const QByteArrayView rest(p, end - p);
        if (rest.startsWith("<!--")) {
            p = skipPast(p + 4, "-->");
        } else if (rest.startsWith("<![CDATA[")) {
            p = skipPast(p + 9, "]]>");
        } else if (rest.startsWith("<?")) {
            p = skipPast(p + 2, "?>");
        } else if (rest.startsWith("<!")) {
            const char* gt = find(p, '>');
            const char* subset = find(p, '[');
            p = subset < gt ? skipPast(subset, "]>") : std::min(gt + 1, end);
        } else {
            // A NUL ends the name, as it ends libplist's C-string copy of it.
            const char* nameEnd = p + 1;
            while (nameEnd < end && std::strchr(" \t\r\n<>", *nameEnd) == nullptr) {
                ++nameEnd;
            }
            const char* close = nameEnd;
            while (close < end && *close != '<' && *close != '>') {
                ++close;
            }
            if (close == end || *close == '<') {
                p = close;  // libplist refuses a tag without '>'
                continue;
            }
            QByteArrayView name(p + 1, nameEnd - p - 1);
            const bool empty = close[-1] == '/';
            if (name.endsWith('/')) {
                name.chop(1);
            }
            if (!empty && (name == "array" || name == "dict")) {
                if (depth >= kMaxDepth) {
                    return QStringLiteral("property list nested too deeply");
                }
                ++depth;
            } else if ((name == "/array" || name == "/dict") && depth > 0) {
                --depth;
            }
            p = close + 1;
        }
    }
    return {};
}

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
        const QString damage = BinaryCheck(data).run();
        if (!damage.isEmpty()) {
            return fail(damage);
        }
        plist_from_bin(data.constData(), length, &raw);
    } else {
        const QString damage = checkXmlNesting(data);
        if (!damage.isEmpty()) {
            return fail(damage);
        }
        const CNumericLocale c;
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
