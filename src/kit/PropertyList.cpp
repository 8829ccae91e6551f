#include "kit/PropertyList.h"

#include "kit/BinaryPropertyList.h"
#include "kit/PropertyListBounds.h"

#include <fcntl.h>
#include <locale.h>
#include <plist/plist.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

namespace talvor::kit {
namespace {

// libplist builds, writes and frees trees recursively: nesting is bounded on the way in.
constexpr int kMaxDepth = 256;

struct PlistFree {
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// libplist formats and reads reals through the C library, whose numeric locale the
// application may have set to one that writes decimal commas.
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

plist_t toNode(const PlistValue& value) {
    return std::visit(
        [](const auto& v) -> plist_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return plist_new_bool(v ? 1 : 0);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return plist_new_uint(static_cast<uint64_t>(v));
            } else if constexpr (std::is_same_v<T, double>) {
                return plist_new_real(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return plist_new_string(v.c_str());
            } else if constexpr (std::is_same_v<T, PlistData>) {
                return plist_new_data(reinterpret_cast<const char*>(v.data()), v.size());
            } else if constexpr (std::is_same_v<T, PlistDate>) {
                const double whole = std::floor(v.sinceReferenceDate);
                const double limit = std::numeric_limits<int32_t>::max();
                const double seconds = std::clamp(whole, -limit, limit);
                const auto micros =
                    static_cast<int32_t>(std::lround((v.sinceReferenceDate - whole) * 1e6));
                return plist_new_date(static_cast<int32_t>(seconds), std::min(micros, 999999));
            } else if constexpr (std::is_same_v<T, PlistArray>) {
                plist_t array = plist_new_array();
                for (const PlistValue& item : v) {
                    plist_array_append_item(array, toNode(item));
                }
                return array;
            } else {
                plist_t dict = plist_new_dict();
                for (const auto& [key, item] : v) {
                    plist_dict_set_item(dict, key.c_str(), toNode(item));
                }
                return dict;
            }
        },
        value.storage());
}

std::optional<PlistValue> fromNode(plist_t node, int depth) {
    if (node == nullptr || depth > kMaxDepth) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return PlistValue(b != 0);
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return PlistValue(static_cast<std::int64_t>(u));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return PlistValue(d);
        }
        case PLIST_STRING:
        case PLIST_KEY: {
            uint64_t length = 0;
            const char* p = plist_get_string_ptr(node, &length);
            return PlistValue(p == nullptr ? std::string() : std::string(p, length));
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* p = plist_get_data_ptr(node, &length);
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(p);
            return PlistValue(p == nullptr ? PlistData() : PlistData(bytes, bytes + length));
        }
        case PLIST_DATE: {
            int32_t sec = 0;
            int32_t usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return PlistValue(PlistDate{sec + usec / 1e6});
        }
        case PLIST_ARRAY: {
            PlistArray array;
            const uint32_t n = plist_array_get_size(node);
            array.reserve(n);
            for (uint32_t i = 0; i < n; ++i) {
                auto item = fromNode(plist_array_get_item(node, i), depth + 1);
                if (!item) {
                    return std::nullopt;
                }
                array.push_back(std::move(*item));
            }
            return PlistValue(std::move(array));
        }
        case PLIST_DICT: {
            PlistDictionary dict;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (key == nullptr) {
                    break;
                }
                std::string name(key);
                std::free(key);
                auto value = fromNode(item, depth + 1);
                if (!value) {
                    std::free(it);
                    return std::nullopt;
                }
                dict.insert_or_assign(std::move(name), std::move(*value));
            }
            std::free(it);
            return PlistValue(std::move(dict));
        }
        default:
            return std::nullopt;
    }
}

// A binary list's object as a value; nullopt for what the kit keeps no value of (a UID,
// an instant that is no number). The list was checked when opened: nesting and size are
// bounded.
std::optional<PlistValue> fromBinary(const BinaryPropertyList& list, std::uint64_t index) {
    using Kind = BinaryPropertyList::Kind;
    const BinaryPropertyList::Object o = list.object(index);
    switch (o.kind) {
        case Kind::Boolean:
            return PlistValue(o.boolean);
        case Kind::Integer:
            return PlistValue(o.integer);
        case Kind::Real:
            return PlistValue(o.real);
        case Kind::Date:
            return std::isnan(o.real) ? std::nullopt : std::optional<PlistValue>(PlistDate{o.real});
        case Kind::Data: {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(o.bytes.data());
            return PlistValue(PlistData(bytes, bytes + o.bytes.size()));
        }
        case Kind::AsciiString:
        case Kind::Utf16String:
            return PlistValue(BinaryPropertyList::text(o));
        case Kind::Uid:
            return std::nullopt;
        case Kind::Array: {
            PlistArray array;
            array.reserve(o.entries);
            for (std::uint64_t i = 0; i < o.entries; ++i) {
                auto item = fromBinary(list, list.reference(o, i));
                if (!item) {
                    return std::nullopt;
                }
                array.push_back(std::move(*item));
            }
            return PlistValue(std::move(array));
        }
        case Kind::Dictionary: {
            PlistDictionary dict;
            for (std::uint64_t i = 0; i < o.entries; ++i) {
                auto value = fromBinary(list, list.reference(o, o.entries + i));
                if (!value) {
                    return std::nullopt;
                }
                dict.insert_or_assign(BinaryPropertyList::text(list.object(list.reference(o, i))),
                                      std::move(*value));
            }
            return PlistValue(std::move(dict));
        }
    }
    return std::nullopt;
}

std::optional<PlistValue> parseBytes(std::string_view bytes, bool allowBinary) {
    if (bytes.size() < 8 || bytes.size() > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    const PropertyListLimits limits{kMaxDepth};
    if (bytes.starts_with("bplist00")) {
        if (!allowBinary) {
            return std::nullopt;
        }
        const std::optional<BinaryPropertyList> list = BinaryPropertyList::open(bytes, limits);
        return list ? fromBinary(*list, list->root()) : std::nullopt;
    }
    if (checkXmlPropertyList(bytes, limits)) {
        return std::nullopt;
    }
    plist_t raw = nullptr;
    {
        const CNumericLocale c;
        plist_from_xml(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
    }
    PlistPtr root(raw);
    return root ? fromNode(root.get(), 0) : std::nullopt;
}

}  // namespace

bool PlistValue::isNumber() const {
    return std::holds_alternative<bool>(value_) || std::holds_alternative<std::int64_t>(value_) ||
           std::holds_alternative<double>(value_);
}

std::optional<bool> PlistValue::boolValue() const {
    if (const bool* b = get<bool>()) {
        return *b;
    }
    if (const std::int64_t* i = get<std::int64_t>()) {
        return *i != 0;
    }
    if (const double* d = get<double>()) {
        return *d != 0;
    }
    if (const std::string* s = string()) {
        std::size_t i = s->find_first_not_of(" \t\n\r");
        if (i == std::string::npos) {
            return false;
        }
        if ((*s)[i] == '+' || (*s)[i] == '-') {
            ++i;
        }
        while (i < s->size() && (*s)[i] == '0') {
            ++i;
        }
        return i < s->size() && std::strchr("YyTt123456789", (*s)[i]) != nullptr;
    }
    return std::nullopt;
}

const PlistValue* find(const PlistDictionary& dictionary, const std::string& key) {
    const auto it = dictionary.find(key);
    return it == dictionary.end() ? nullptr : &it->second;
}

namespace PropertyList {

std::optional<PlistValue> parse(std::string_view bytes) {
    return parseBytes(bytes, true);
}

std::optional<PlistValue> parseXml(std::string_view bytes) {
    return parseBytes(bytes, false);
}

std::optional<std::string> toXml(const PlistValue& value) {
    PlistPtr root(toNode(value));
    char* out = nullptr;
    uint32_t length = 0;
    {
        const CNumericLocale c;
        plist_to_xml(root.get(), &out, &length);
    }
    if (out == nullptr) {
        return std::nullopt;
    }
    std::string xml(out, length);
    plist_to_xml_free(out);
    return xml;
}

bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error != nullptr) {
            *error = what + ": " + std::strerror(errno);
        }
        return false;
    };
    // A name of our own beside the target, so that the rename stays within one file system.
    std::random_device random;
    const std::filesystem::path temporary =
        path.string() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(random());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return fail("cannot create " + temporary.string());
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int saved = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            errno = saved;
            return fail("cannot write " + temporary.string());
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        return fail("cannot flush " + temporary.string());
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        return fail("cannot rename " + temporary.string() + " to " + path.string());
    }
    // The rename itself survives a power cut only once the folder is on disk too.
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    if (const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace PropertyList

}  // namespace talvor::kit
