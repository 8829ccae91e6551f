#pragma once

#include "kit/PropertyListBounds.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvor::kit {

// Apple's binary property list ("bplist00": a header, the objects, a table of their
// offsets and a trailer), checked whole in one linear pass when opened: damage, references
// out of range or in a cycle, nesting and entries beyond the limits, and shared objects
// that would expand to more objects than the file has bytes are refused there. An opened
// list's objects are then read without further checks, by whichever side builds values
// from them (the kit's PlistValue, the Qt side's QVariant). Views into the bytes given to
// open, which must outlive it.
class BinaryPropertyList {
  public:
    enum class Kind {
        Boolean,
        Integer,
        Real,
        Date,
        Data,
        AsciiString,
        Utf16String,
        Uid,
        Array,
        Dictionary,
    };

    // One object as the file holds it.
    struct Object {
        Kind kind = Kind::Boolean;
        bool boolean = false;
        // Integer (a 16-byte one by its low 8 bytes, as other readers take it) and Uid.
        std::int64_t integer = 0;
        // Real, and Date: seconds since 2001-01-01 UTC.
        double real = 0;
        // Data and AsciiString; Utf16String as big-endian units, two bytes each.
        std::string_view bytes;
        // Array and Dictionary: the number of elements, or of key-value pairs.
        std::uint64_t entries = 0;

      private:
        friend class BinaryPropertyList;
        std::uint64_t references_ = 0;  // where the container's references start
    };

    // The list in `bytes`, or nullopt with the reason in `refusal` (when given).
    static std::optional<BinaryPropertyList> open(std::string_view bytes,
                                                  const PropertyListLimits& limits,
                                                  PropertyListRefusal* refusal = nullptr);

    std::uint64_t root() const { return root_; }
    Object object(std::uint64_t index) const;
    // The object an array's element `i` refers to; for a dictionary, key `i` (i < entries)
    // or the value of key `i - entries`.
    std::uint64_t reference(const Object& container, std::uint64_t i) const;
    // An AsciiString's or Utf16String's text as UTF-8 (a lone surrogate as U+FFFD); "" for
    // other kinds.
    static std::string text(const Object& string);
    // True when more than one reference leads to the object, so that a reader building
    // values can make it once and share it.
    bool isShared(std::uint64_t index) const;

  private:
    class Check;

    explicit BinaryPropertyList(std::string_view bytes) : bytes_(bytes) {}
    // The object at `index`, its bounds checked; nullopt and `why` for damage.
    std::optional<Object> decode(std::uint64_t index, const char** why) const;
    bool fits(std::uint64_t pos, std::uint64_t n) const;
    bool readCount(std::uint64_t& pos, std::uint8_t low, std::uint64_t& n) const;
    std::uint64_t readBigEndian(std::uint64_t pos, std::uint64_t width) const;

    std::string_view bytes_;
    std::uint64_t offsetWidth_ = 0;
    std::uint64_t referenceWidth_ = 0;
    std::uint64_t count_ = 0;
    std::uint64_t root_ = 0;
    std::uint64_t objectsEnd_ = 0;  // where the offset table starts
    std::vector<bool> shared_;
};

}  // namespace talvor::kit
