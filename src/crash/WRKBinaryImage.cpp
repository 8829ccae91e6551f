#include "crash/WRKBinaryImage.h"

#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

#include "crash/WRKContext.h"
#include "crash/WRKQueue.h"
#include "kit/KitLog.h"

namespace talvor::crash {
namespace {

inline constexpr char kBinaryImageQueueLabel[] = "com.quillon.wreckord.mac.binary-images";

// Reads one pointer encoded as the DWARF exception-handling encodings say (the forms a
// linker writes into .eh_frame_hdr); 0 when the form is not one of them.
std::uintptr_t readEncoded(const unsigned char* at, unsigned char encoding,
                           std::uintptr_t sectionStart) {
    std::uintptr_t value = 0;
    switch (encoding & 0x0f) {
        case 0x00: {  // absolute pointer
            std::memcpy(&value, at, sizeof value);
            break;
        }
        case 0x03: {
            std::uint32_t v;
            std::memcpy(&v, at, sizeof v);
            value = v;
            break;
        }
        case 0x0b: {
            std::int32_t v;
            std::memcpy(&v, at, sizeof v);
            value = static_cast<std::uintptr_t>(static_cast<std::intptr_t>(v));
            break;
        }
        case 0x04:
        case 0x0c: {
            std::uint64_t v;
            std::memcpy(&v, at, sizeof v);
            value = static_cast<std::uintptr_t>(v);
            break;
        }
        default:
            return 0;
    }
    switch (encoding & 0x70) {
        case 0x00:
            return value;
        case 0x10:  // relative to the field itself
            return value + reinterpret_cast<std::uintptr_t>(at);
        case 0x30:  // relative to the start of .eh_frame_hdr
            return value + sectionStart;
        default:
            return 0;
    }
}

std::uintptr_t ehFrameFromHeader(std::uintptr_t header) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(header);  // NOLINT
    if (header == 0 || bytes[0] != 1 || bytes[1] == 0xff) {
        return 0;
    }
    return readEncoded(bytes + 4, bytes[1], header);
}

std::string mainProgramPath() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

struct Listing {
    std::vector<WRKBinaryImageDetails> images;
    unsigned long long adds = 0;
    unsigned long long subs = 0;
    bool countsOnly = false;
};

int listImage(dl_phdr_info* info, std::size_t size, void* data) {
    auto* listing = static_cast<Listing*>(data);
    if (listing->images.empty() &&
        size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) {
        listing->adds = info->dlpi_adds;
        listing->subs = info->dlpi_subs;
        if (listing->countsOnly) {
            return 1;
        }
    }
    listing->images.push_back(WRKBinaryImageDetailsFromHeaders(*info));
    return 0;
}

int findMainProgram(dl_phdr_info* info, std::size_t, void* data) {
    static_cast<std::optional<WRKBinaryImageDetails>*>(data)->emplace(
        WRKBinaryImageDetailsFromHeaders(*info));
    return 1;  // the loader lists the main program first
}

}  // namespace

bool WRKBinaryImageTableStore(WRKBinaryImageTable* table, const WRKBinaryImageRange& range) {
    if (table == nullptr || range.loadAddress == 0) {
        return false;
    }
    for (WRKBinaryImageSlot& slot : table->entries) {
        std::uintptr_t free = 0;
        if (slot.loadAddress.compare_exchange_strong(free, range.loadAddress)) {
            slot.execStart = range.execStart;
            slot.execEnd = range.execEnd;
            slot.ehFrameHeader = range.ehFrameHeader;
            slot.ehFrame = range.ehFrame;
            slot.compactUnwind = range.compactUnwind;
            slot.crashInfo = range.crashInfo;
            std::atomic_thread_fence(std::memory_order_release);
            return true;
        }
    }
    return false;
}

bool WRKBinaryImageTableRemove(WRKBinaryImageTable* table, std::uintptr_t loadAddress) {
    if (table == nullptr || loadAddress == 0) {
        return false;
    }
    for (WRKBinaryImageSlot& slot : table->entries) {
        if (slot.loadAddress.load() != loadAddress) {
            continue;
        }
        slot.execStart = 0;
        slot.execEnd = 0;
        slot.ehFrameHeader = 0;
        slot.ehFrame = 0;
        slot.compactUnwind = 0;
        slot.crashInfo = 0;
        std::uintptr_t expected = loadAddress;
        if (!slot.loadAddress.compare_exchange_strong(expected, 0)) {
            kit::log("[Wreckord:Crash] Error: Failed to swap during image unload");
            return false;
        }
        return true;
    }
    return false;
}

bool WRKBinaryImageTableFind(const WRKBinaryImageTable* table, std::uintptr_t address,
                             WRKBinaryImageRange* out) {
    if (table == nullptr || address == 0 || out == nullptr) {
        return false;
    }
    for (const WRKBinaryImageSlot& slot : table->entries) {
        const std::uintptr_t load = slot.loadAddress.load(std::memory_order_acquire);
        if (load == 0 || address < slot.execStart || address >= slot.execEnd) {
            continue;
        }
        out->loadAddress = load;
        out->execStart = slot.execStart;
        out->execEnd = slot.execEnd;
        out->ehFrameHeader = slot.ehFrameHeader;
        out->ehFrame = slot.ehFrame;
        out->compactUnwind = slot.compactUnwind;
        out->crashInfo = slot.crashInfo;
        return true;
    }
    return false;
}

bool WRKBinaryImageSafeFindImageForAddress(std::uintptr_t address, WRKBinaryImageRange* out) {
    if (!WRKContextIsInitialized() || _clsContext.writable == nullptr) {
        return false;
    }
    return WRKBinaryImageTableFind(&_clsContext.writable->images, address, out);
}

bool WRKBinaryImageSafeHasUnwindInfo(const WRKBinaryImageRange& range) {
    return range.compactUnwind >= 0x1000;
}

WRKBinaryImageDetails WRKBinaryImageDetailsFromHeaders(const dl_phdr_info& info) {
    WRKBinaryImageDetails details;
    details.architecture = kit::imageArchitectureName();
    kit::ImageIdentity identity;
    std::uintptr_t low = std::numeric_limits<std::uintptr_t>::max();
    std::uintptr_t execLow = std::numeric_limits<std::uintptr_t>::max();
    std::uintptr_t execHigh = 0;
    for (ElfW(Half) i = 0; i < info.dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info.dlpi_phdr[i];
        const std::uintptr_t start = info.dlpi_addr + segment.p_vaddr;
        if (segment.p_type == PT_LOAD) {
            low = std::min(low, start);
            if (segment.p_flags & PF_X) {
                execLow = std::min(execLow, start);
                execHigh = std::max<std::uintptr_t>(execHigh, start + segment.p_memsz);
            }
        } else if (segment.p_type == PT_NOTE) {
            kit::readImageNotes(reinterpret_cast<const unsigned char*>(start),  // NOLINT
                                segment.p_memsz, identity);
        } else if (segment.p_type == PT_GNU_EH_FRAME) {
            details.range.ehFrameHeader = start;
        }
    }
    details.range.loadAddress = low != std::numeric_limits<std::uintptr_t>::max() ? low : 0;
    if (execHigh > execLow) {
        details.range.execStart = execLow;
        details.range.execEnd = execHigh;
    }
    details.range.ehFrame = ehFrameFromHeader(details.range.ehFrameHeader);
    details.uuid = kit::imageUUIDString(identity.buildID);
    details.minimumOS = identity.minimumOS;
    details.path =
        info.dlpi_name != nullptr && *info.dlpi_name != '\0' ? info.dlpi_name : mainProgramPath();
    return details;
}

std::optional<WRKBinaryImageDetails> WRKBinaryImageMainExecutable() {
    std::optional<WRKBinaryImageDetails> details;
    ::dl_iterate_phdr(findMainProgram, &details);
    return details;
}

namespace {

template <class Matches>
std::optional<WRKBinaryImageDetails> firstLoadedImage(Matches matches) {
    Listing listing;
    ::dl_iterate_phdr(listImage, &listing);
    for (WRKBinaryImageDetails& image : listing.images) {
        if (matches(image)) {
            return std::move(image);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<WRKBinaryImageDetails> WRKBinaryImageFindImageForUUID(const std::string& uuid) {
    if (uuid.empty()) {
        kit::log("[Wreckord:Crash] null input");
        return std::nullopt;
    }
    return firstLoadedImage(
        [&uuid](const WRKBinaryImageDetails& image) { return image.uuid == uuid; });
}

std::optional<WRKBinaryImageDetails> WRKBinaryImageFindImageForLoadAddress(
    std::uintptr_t loadAddress) {
    if (loadAddress == 0) {
        return std::nullopt;
    }
    return firstLoadedImage([loadAddress](const WRKBinaryImageDetails& image) {
        return image.range.loadAddress == loadAddress;
    });
}

void WRKBinaryImageRecordDetails(WRKFile* file, const WRKBinaryImageDetails& details) {
    if (file == nullptr || !WRKFileIsOpen(file)) {
        kit::log("[Wreckord:Crash] Error: file is invalid");
        return;
    }
    WRKFileWriteHashEntryString(file, "uuid",
                                details.uuid.empty() ? nullptr : details.uuid.c_str());
    WRKFileWriteHashEntryUint64(file, "base", details.range.loadAddress);
    WRKFileWriteHashEntryUint64(file, "size", details.size());
}

WRKBinaryImageTracker::WRKBinaryImageTracker(std::string filePath, WRKBinaryImageTable* table)
    : filePath_(std::move(filePath)),
      table_(table),
      queue_(std::make_unique<WRKQueue>(kBinaryImageQueueLabel,
                                        [this] { compareWithLoader(false); })) {}

WRKBinaryImageTracker::~WRKBinaryImageTracker() {
    queue_.reset();  // finishes the queued lines first
    if (WRKFileIsOpen(&file_)) {
        WRKFileClose(&file_);
    }
}

void WRKBinaryImageTracker::start() {
    queue_->async([this] {
        if (!WRKUnlinkIfExists(filePath_.c_str())) {
            kit::log("[Wreckord:Crash] Unable to reset the binary image log file " + filePath_);
        }
        if (!WRKFileInitWithPath(&file_, filePath_.c_str(), false)) {
            kit::log(
                "[Wreckord:Crash] Error: Unable to open the binary image log file during init");
        }
        keepFileOpen_ = WRKFileIsOpen(&file_);
    });
    // Replayed on this thread, so that the table is complete when the start returns.
    compareWithLoader(true);
    // Waited for: a crash soon after the start must still find every image in the file.
    queue_->sync([this] {
        keepFileOpen_ = false;
        if (WRKFileIsOpen(&file_)) {
            WRKFileClose(&file_);
        }
    });
}

void WRKBinaryImageTracker::changed(bool load, const WRKBinaryImageDetails& details) {
    updateTable(load, details);
    queue_->async([this, load, details] { writeLine(load, details); });
}

void WRKBinaryImageTracker::updateTable(bool load, const WRKBinaryImageDetails& details) {
    if (table_ == nullptr) {
        kit::log("[Wreckord:Crash] Error: Writable context is NULL");
    } else if (!(load ? WRKBinaryImageTableStore(table_, details.range)
                      : WRKBinaryImageTableRemove(table_, details.range.loadAddress))) {
        char address[32];
        std::snprintf(address, sizeof address, "%#llx",
                      static_cast<unsigned long long>(details.range.loadAddress));
        kit::log(std::string("[Wreckord:Crash] Error: Unable to track a ") +
                 (load ? "loaded" : "unloaded") + " node " + address);
    }
}

void WRKBinaryImageTracker::checkForChanges() {
    queue_->async([this] { compareWithLoader(false); });
}

void WRKBinaryImageTracker::sync() {
    queue_->sync([] {});
}

void WRKBinaryImageTracker::compareWithLoader(bool replay) {
    std::lock_guard lock(compareMutex_);
    if (!replay) {
        // Cheap first: the loader counts every load and unload.
        Listing counts;
        counts.countsOnly = true;
        ::dl_iterate_phdr(listImage, &counts);
        if (counts.adds == adds_ && counts.subs == subs_) {
            return;
        }
    }
    Listing listing;
    ::dl_iterate_phdr(listImage, &listing);
    adds_ = listing.adds;
    subs_ = listing.subs;
    std::map<std::pair<std::uintptr_t, std::string>, WRKBinaryImageDetails> current;
    for (WRKBinaryImageDetails& image : listing.images) {
        auto key = std::make_pair(image.range.loadAddress, image.path);
        current.emplace(std::move(key), std::move(image));
    }
    // The replay runs before the queue writes anything and queues its lines; a later look
    // runs on the queue itself and writes at once, so that a sync after it sees the lines.
    const auto record = [this, replay](bool load, const WRKBinaryImageDetails& image) {
        if (replay) {
            changed(load, image);
        } else {
            updateTable(load, image);
            writeLine(load, image);
        }
    };
    for (auto it = known_.begin(); it != known_.end();) {
        if (current.count(it->first) == 0) {
            record(false, it->second);
            it = known_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [key, image] : current) {
        if (known_.count(key) == 0) {
            record(true, image);
            known_.emplace(key, std::move(image));
        }
    }
}

void WRKBinaryImageTracker::writeLine(bool load, const WRKBinaryImageDetails& details) {
    const bool openedHere = !WRKFileIsOpen(&file_);
    if (openedHere && !WRKFileInitWithPath(&file_, filePath_.c_str(), false)) {
        kit::log("[Wreckord:Crash] Error: unable to open binary image log file");
        return;
    }
    WRKFileWriteSectionStart(&file_, load ? "load" : "unload");
    WRKFileWriteHashStart(&file_);
    WRKFileWriteHashEntryString(&file_, "path", details.path.c_str());
    WRKBinaryImageRecordDetails(&file_, details);
    WRKFileWriteHashEnd(&file_);
    WRKFileWriteSectionEnd(&file_);
    if (openedHere && !keepFileOpen_) {
        WRKFileClose(&file_);
    }
}

namespace {
std::mutex sharedTrackerMutex;
// Never destroyed: its queue must not be joined while the process exits.
WRKBinaryImageTracker* sharedTracker = nullptr;
}  // namespace

void WRKBinaryImageInit(const char* filePath, WRKBinaryImageTable* table) {
    std::lock_guard lock(sharedTrackerMutex);
    if (sharedTracker != nullptr || filePath == nullptr) {
        return;
    }
    sharedTracker = new WRKBinaryImageTracker(filePath, table);
    sharedTracker->start();
}

void WRKBinaryImageNotifyMayHaveChanged() {
    std::lock_guard lock(sharedTrackerMutex);
    if (sharedTracker != nullptr) {
        sharedTracker->checkForChanges();
    }
}

void WRKBinaryImageSync() {
    std::lock_guard lock(sharedTrackerMutex);
    if (sharedTracker != nullptr) {
        sharedTracker->sync();
    }
}

}  // namespace talvor::crash
