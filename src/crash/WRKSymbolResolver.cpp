#include "crash/WRKSymbolResolver.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <filesystem>

#include "crash/WRKFile.h"
#include "kit/KitLog.h"

namespace talvor::crash {
namespace {

std::optional<std::uint64_t> unsignedField(const JSONValue& record, const char* key) {
    const JSONValue* value = record.find(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (const std::uint64_t* number = value->uint64()) {
        return *number;
    }
    if (const std::int64_t* number = value->int64(); number != nullptr && *number >= 0) {
        return static_cast<std::uint64_t>(*number);
    }
    return std::nullopt;
}

std::optional<std::string> stringField(const JSONValue& record, const char* key) {
    const JSONValue* value = record.find(key);
    return value != nullptr && value->string() != nullptr ? std::optional(*value->string())
                                                          : std::nullopt;
}

}  // namespace

bool WRKSymbolResolver::loadBinaryImagesFromFile(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    const std::optional<std::vector<JSONValue>> sections = WRKFileReadSections(path, false);
    if (!sections || sections->empty()) {
        kit::log("[Wreckord:Crash:SymbolResolver] failed to read binary image file " + path);
        return false;
    }
    for (const JSONValue& section : *sections) {
        const JSONValue* load = section.find("load");
        // An image unloaded before the crash stays: its addresses may still be on a stack.
        if (load != nullptr && unsignedField(*load, "base") && unsignedField(*load, "size")) {
            images_.push_back(*load);
        }
    }
    std::stable_sort(images_.begin(), images_.end(), [](const JSONValue& a, const JSONValue& b) {
        return *unsignedField(a, "base") < *unsignedField(b, "base");
    });
    return true;
}

const JSONValue* WRKSymbolResolver::loadedBinaryImageForPC(std::uint64_t pc) const {
    for (const JSONValue& image : images_) {
        const std::uint64_t base = *unsignedField(image, "base");
        if (pc >= base && pc - base < *unsignedField(image, "size")) {
            return &image;
        }
    }
    return nullptr;
}

std::optional<WRKBinaryImageDetails> WRKSymbolResolver::imageDetailsForUUID(
    const std::string& uuid) {
    if (uuid.empty()) {
        return std::nullopt;
    }
    auto [it, added] = loaded_.try_emplace(uuid);
    if (added) {
        it->second = WRKBinaryImageFindImageForUUID(uuid);
    }
    return it->second;
}

std::optional<WRKStackFrame> WRKSymbolResolver::frameForAddress(std::uint64_t address) {
    WRKStackFrame frame = WRKStackFrame::withAddress(address);
    if (!updateStackFrame(frame)) {
        return std::nullopt;
    }
    return frame;
}

std::optional<WRKSymbolResolver::Found> WRKSymbolResolver::symbolFor(
    std::uint64_t address, const WRKBinaryImageDetails& image) {
    auto& table = tables_[image.path];
    if (!table) {
        table = std::make_shared<const std::optional<WRKElfSymbolTable>>(
            WRKElfSymbolTable::load(image.path));
    }
    if (*table && !(*table)->symbols().empty()) {
        const std::uint64_t slide = image.range.loadAddress - (*table)->firstLoadAddress();
        const WRKElfSymbol* symbol = (*table)->symbolFor(address - slide);
        if (symbol == nullptr) {
            return std::nullopt;
        }
        return Found{symbol->name, symbol->start + slide};
    }
    // No symbols on disk (the vDSO, a file replaced since): the loader's own table, trusted
    // only within the symbol's size, never as the nearest name before the address.
    Dl_info info{};
    void* extra = nullptr;
    // An address of another image, asked of the loader: no object of ours is reached through it.
    void* const asked = reinterpret_cast<void*>(address);  // NOLINT(performance-no-int-to-ptr)
    const int answered = ::dladdr1(asked, &info, &extra, RTLD_DL_SYMENT);
    const auto* entry = static_cast<const ElfW(Sym)*>(extra);
    if (answered == 0 || info.dli_saddr == nullptr || entry == nullptr) {
        return std::nullopt;
    }
    const auto start = reinterpret_cast<std::uint64_t>(info.dli_saddr);
    if (address < start || address - start >= std::max<std::uint64_t>(entry->st_size, 1)) {
        return std::nullopt;
    }
    Found found;
    if (info.dli_sname != nullptr) {
        found.name = info.dli_sname;
    }
    found.start = start;
    return found;
}

bool WRKSymbolResolver::updateStackFrame(WRKStackFrame& frame) {
    if (frame.address == 0) {
        return false;
    }
    const JSONValue* record = loadedBinaryImageForPC(frame.address);
    if (record == nullptr) {
        return false;
    }
    const std::uint64_t base = *unsignedField(*record, "base");
    // What a later symbolisation needs, whatever is found below: most frames of a stripped
    // library have no covering symbol here, and a library not loaded now has none at all.
    frame.imageOffset = frame.address - base;
    if (const std::optional<std::string> path = stringField(*record, "path")) {
        frame.library = std::filesystem::path(*path).filename().string();
    }
    const std::optional<std::string> uuid = stringField(*record, "uuid");
    const std::optional<WRKBinaryImageDetails> image =
        uuid ? imageDetailsForUUID(*uuid) : std::nullopt;
    if (!image) {
        return false;
    }
    std::uint64_t translated = frame.address - base + image->range.loadAddress;
    std::optional<Found> found = symbolFor(translated, *image);
    if (!found) {
        return false;
    }
    // A return address right after a call that ends a function belongs to that function.
    if (translated == found->start) {
        translated -= 2;
        found = symbolFor(translated, *image);
        if (!found) {
            return false;
        }
    }
    if (found->name) {
        frame.symbol = found->name;
        frame.rawSymbol = found->name;
    }
    if (found->start < translated) {
        frame.offset = translated - found->start;
    }
    return true;
}

}  // namespace talvor::crash
