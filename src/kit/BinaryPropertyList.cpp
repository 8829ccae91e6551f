#include "kit/BinaryPropertyList.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace talvor::kit {
namespace {

constexpr std::uint64_t kHeader = 8;
constexpr std::uint64_t kTrailer = 32;

// Shared objects are kept shared by our readers, but whoever writes or walks the values
// meets them expanded: at most one object per byte of the file, or 2^20 for a small file.
std::uint64_t expansionBudget(std::uint64_t size) {
    return std::max<std::uint64_t>(std::uint64_t{1} << 20, size);
}

bool isContainer(BinaryPropertyList::Kind kind) {
    return kind == BinaryPropertyList::Kind::Array || kind == BinaryPropertyList::Kind::Dictionary;
}

}  // namespace

// One depth-first walk from the root that looks at each object once: a shared object's
// nesting height and expanded size are kept, and its further references only add them up.
class BinaryPropertyList::Check {
  public:
    Check(BinaryPropertyList& list, const PropertyListLimits& limits)
        : list_(list),
          limits_(limits),
          budget_(expansionBudget(list.bytes_.size())),
          flags_(list.count_, 0),
          expanded_(list.count_, 0) {}

    bool run() { return visit(list_.root_, 0, false); }
    const PropertyListRefusal& refusal() const { return refusal_; }

  private:
    // flags_: these bits, and the height (containers in the deepest chain from the object
    // down, itself counted) above them.
    static constexpr std::uint16_t kOnPath = 1;
    static constexpr std::uint16_t kDone = 2;
    static constexpr std::uint16_t kCheckedAsKey = 4;
    static constexpr int kHeightShift = 3;

    bool fail(PropertyListRefusal::Reason reason, const std::string& why,
              std::uint64_t entries = 0) {
        refusal_ = {reason, "binary property list: " + why, entries};
        return false;
    }

    // Keys become C strings on writing (libplist) and map keys on reading: text without NUL.
    bool checkKey(const Object& key) {
        if (key.kind == Kind::AsciiString) {
            return key.bytes.find('\0') == std::string_view::npos ||
                   fail(PropertyListRefusal::Reason::Damaged, "NUL in a dictionary key");
        }
        if (key.kind == Kind::Utf16String) {
            for (std::size_t i = 0; i < key.bytes.size(); i += 2) {
                if (key.bytes[i] == '\0' && key.bytes[i + 1] == '\0') {
                    return fail(PropertyListRefusal::Reason::Damaged, "NUL in a dictionary key");
                }
            }
            return true;
        }
        return fail(PropertyListRefusal::Reason::Damaged, "dictionary key is not a string");
    }

    bool tooDeep() {
        return fail(PropertyListRefusal::Reason::TooDeep,
                    "arrays and dictionaries nested more than " + std::to_string(limits_.maxDepth) +
                        " deep");
    }

    // Checks the object at `index`, reached inside `level` containers.
    bool visit(std::uint64_t index, int level, bool asKey) {
        if (index >= list_.count_) {
            return fail(PropertyListRefusal::Reason::Damaged, "reference out of range");
        }
        std::uint16_t& flags = flags_[index];
        if ((flags & kOnPath) != 0) {
            return fail(PropertyListRefusal::Reason::Damaged, "an object contains itself");
        }
        if ((flags & kDone) != 0) {
            list_.shared_[index] = true;
            if (level + (flags >> kHeightShift) > limits_.maxDepth) {
                return tooDeep();
            }
            if (asKey && (flags & kCheckedAsKey) == 0) {
                if (!checkKey(list_.object(index))) {
                    return false;
                }
                flags |= kCheckedAsKey;
            }
            return true;
        }
        const char* why = "damaged object";
        const std::optional<Object> object = list_.decode(index, &why);
        if (!object) {
            return fail(PropertyListRefusal::Reason::Damaged, why);
        }
        if (asKey && !checkKey(*object)) {
            return false;
        }
        std::uint64_t expanded = 1;
        int height = 0;
        if (isContainer(object->kind)) {
            if (level >= limits_.maxDepth) {
                return tooDeep();
            }
            if (object->entries > limits_.maxEntries) {
                return fail(PropertyListRefusal::Reason::TooManyEntries,
                            "an array or dictionary of " + std::to_string(object->entries) +
                                " entries, more than the " + std::to_string(limits_.maxEntries) +
                                " allowed",
                            object->entries);
            }
            flags = kOnPath;
            const bool dictionary = object->kind == Kind::Dictionary;
            const std::uint64_t references = object->entries * (dictionary ? 2 : 1);
            for (std::uint64_t i = 0; i < references; ++i) {
                const std::uint64_t child = list_.reference(*object, i);
                if (!visit(child, level + 1, dictionary && i < object->entries)) {
                    return false;
                }
                expanded += expanded_[child];
                if (expanded > budget_) {
                    return fail(PropertyListRefusal::Reason::TooLarge,
                                "shared objects expand to more than " + std::to_string(budget_) +
                                    " objects");
                }
                height = std::max(height, flags_[child] >> kHeightShift);
            }
            ++height;
        }
        // The budget is below 2^32: the file's size is (callers read at most 2 GB).
        expanded_[index] = static_cast<std::uint32_t>(expanded);
        flags = static_cast<std::uint16_t>(kDone | (asKey ? kCheckedAsKey : 0) |
                                           (height << kHeightShift));
        return true;
    }

    BinaryPropertyList& list_;
    const PropertyListLimits& limits_;
    std::uint64_t budget_;
    std::vector<std::uint16_t> flags_;
    std::vector<std::uint32_t> expanded_;
    PropertyListRefusal refusal_;
};

std::optional<BinaryPropertyList> BinaryPropertyList::open(std::string_view bytes,
                                                           const PropertyListLimits& limits,
                                                           PropertyListRefusal* refusal) {
    auto refuse = [&](const char* why) -> std::optional<BinaryPropertyList> {
        if (refusal != nullptr) {
            *refusal = {PropertyListRefusal::Reason::Damaged, why, 0};
        }
        return std::nullopt;
    };
    if (!bytes.starts_with("bplist00")) {
        return refuse("not a binary property list");
    }
    // The walk recurses once per level, and the height is kept in 13 bits.
    if (limits.maxDepth < 0 || limits.maxDepth > 4096 ||
        bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return refuse("binary property list beyond what can be read");
    }
    if (bytes.size() < kHeader + 1 + kTrailer) {
        return refuse("binary property list too short");
    }
    BinaryPropertyList list(bytes);
    const std::uint64_t trailer = bytes.size() - kTrailer;
    list.offsetWidth_ = list.readBigEndian(trailer + 6, 1);
    list.referenceWidth_ = list.readBigEndian(trailer + 7, 1);
    list.count_ = list.readBigEndian(trailer + 8, 8);
    list.root_ = list.readBigEndian(trailer + 16, 8);
    list.objectsEnd_ = list.readBigEndian(trailer + 24, 8);
    // Every object takes a byte at least, at an offset of its own.
    if (list.offsetWidth_ < 1 || list.offsetWidth_ > 8 || list.referenceWidth_ < 1 ||
        list.referenceWidth_ > 8 || list.count_ == 0 || list.root_ >= list.count_ ||
        list.objectsEnd_ <= kHeader || list.objectsEnd_ > trailer ||
        list.count_ > list.objectsEnd_ - kHeader ||
        list.count_ > (trailer - list.objectsEnd_) / list.offsetWidth_) {
        return refuse("binary property list has a damaged trailer");
    }
    list.shared_.assign(list.count_, false);
    Check check(list, limits);
    if (!check.run()) {
        if (refusal != nullptr) {
            *refusal = check.refusal();
        }
        return std::nullopt;
    }
    return list;
}

BinaryPropertyList::Object BinaryPropertyList::object(std::uint64_t index) const {
    const char* why = nullptr;
    return decode(index, &why).value_or(Object{});
}

std::uint64_t BinaryPropertyList::reference(const Object& container, std::uint64_t i) const {
    return readBigEndian(container.references_ + i * referenceWidth_, referenceWidth_);
}

std::string BinaryPropertyList::text(const Object& string) {
    if (string.kind == Kind::AsciiString) {
        return std::string(string.bytes);
    }
    std::string out;
    if (string.kind != Kind::Utf16String) {
        return out;
    }
    const auto* units = reinterpret_cast<const unsigned char*>(string.bytes.data());
    const std::size_t n = string.bytes.size() / 2;
    auto unit = [&](std::size_t i) -> char32_t {
        return char32_t(units[2 * i] << 8 | units[2 * i + 1]);
    };
    out.reserve(string.bytes.size());
    for (std::size_t i = 0; i < n; ++i) {
        char32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(++i) - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        // One to four bytes: the lead byte's high bits say how many follow.
        const int follow = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
        static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
        out.push_back(static_cast<char>(kLead[follow] | (cp >> (6 * follow))));
        for (int k = follow - 1; k >= 0; --k) {
            out.push_back(static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F)));
        }
    }
    return out;
}

bool BinaryPropertyList::isShared(std::uint64_t index) const {
    return index < shared_.size() && shared_[index];
}

std::uint64_t BinaryPropertyList::readBigEndian(std::uint64_t pos, std::uint64_t width) const {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data()) + pos;
    std::uint64_t v = 0;
    for (std::uint64_t i = 0; i < width; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

bool BinaryPropertyList::fits(std::uint64_t pos, std::uint64_t n) const {
    return pos <= objectsEnd_ && n <= objectsEnd_ - pos;
}

// The element count of a variable-length object: in the marker's low bits, or when they
// are all set, as an integer object after the marker; `pos` moves past it.
bool BinaryPropertyList::readCount(std::uint64_t& pos, std::uint8_t low, std::uint64_t& n) const {
    if (low != 0x0f) {
        n = low;
        return true;
    }
    if (!fits(pos, 1)) {
        return false;
    }
    const auto marker = static_cast<std::uint8_t>(bytes_[pos]);
    if ((marker & 0xf0) != 0x10 || (marker & 0x0f) > 3) {
        return false;
    }
    const std::uint64_t width = std::uint64_t{1} << (marker & 0x0f);
    if (!fits(pos + 1, width)) {
        return false;
    }
    n = readBigEndian(pos + 1, width);
    pos += 1 + width;
    return true;
}

std::optional<BinaryPropertyList::Object> BinaryPropertyList::decode(std::uint64_t index,
                                                                     const char** why) const {
    auto damaged = [&](const char* what) -> std::optional<Object> {
        *why = what;
        return std::nullopt;
    };
    std::uint64_t pos = readBigEndian(objectsEnd_ + index * offsetWidth_, offsetWidth_);
    if (pos < kHeader || pos >= objectsEnd_) {
        return damaged("object offset out of range");
    }
    const auto marker = static_cast<std::uint8_t>(bytes_[pos++]);
    const std::uint8_t low = marker & 0x0f;
    Object o;
    std::uint64_t n = 0;
    switch (marker >> 4) {
        case 0x0:
            if (marker != 0x08 && marker != 0x09) {
                return damaged("unknown object type");
            }
            o.kind = Kind::Boolean;
            o.boolean = marker == 0x09;
            return o;
        case 0x1: {
            if (low > 4 || !fits(pos, std::uint64_t{1} << low)) {
                return damaged("bad integer");
            }
            const std::uint64_t width = std::uint64_t{1} << low;
            o.kind = Kind::Integer;
            // Eight bytes and more are signed; shorter integers are not.
            o.integer = std::bit_cast<std::int64_t>(width == 16 ? readBigEndian(pos + 8, 8)
                                                                : readBigEndian(pos, width));
            return o;
        }
        case 0x2:
            if ((low != 2 && low != 3) || !fits(pos, std::uint64_t{1} << low)) {
                return damaged("bad real");
            }
            o.kind = Kind::Real;
            o.real = low == 2 ? static_cast<double>(std::bit_cast<float>(
                                    static_cast<std::uint32_t>(readBigEndian(pos, 4))))
                              : std::bit_cast<double>(readBigEndian(pos, 8));
            return o;
        case 0x3:
            if (marker != 0x33 || !fits(pos, 8)) {
                return damaged("bad date");
            }
            o.kind = Kind::Date;
            o.real = std::bit_cast<double>(readBigEndian(pos, 8));
            return o;
        case 0x4:
        case 0x5:
            if (!readCount(pos, low, n) || !fits(pos, n)) {
                return damaged("bad data or string");
            }
            o.kind = marker >> 4 == 0x4 ? Kind::Data : Kind::AsciiString;
            o.bytes = bytes_.substr(pos, n);
            return o;
        case 0x6:
            if (!readCount(pos, low, n) || n > objectsEnd_ / 2 || !fits(pos, 2 * n)) {
                return damaged("bad string");
            }
            o.kind = Kind::Utf16String;
            o.bytes = bytes_.substr(pos, 2 * n);
            return o;
        case 0x8:
            if (low >= 8 || !fits(pos, low + 1u)) {
                return damaged("bad uid");
            }
            o.kind = Kind::Uid;
            o.integer = static_cast<std::int64_t>(readBigEndian(pos, low + 1u));
            return o;
        case 0xa:
        case 0xd: {
            const std::uint64_t perEntry = marker >> 4 == 0xd ? 2 : 1;
            if (!readCount(pos, low, n) || n > objectsEnd_ / (perEntry * referenceWidth_) ||
                !fits(pos, n * perEntry * referenceWidth_)) {
                return damaged("bad array or dictionary");
            }
            o.kind = perEntry == 2 ? Kind::Dictionary : Kind::Array;
            o.entries = n;
            o.references_ = pos;
            return o;
        }
        default:
            return damaged("unknown object type");
    }
}

}  // namespace talvor::kit
