#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "crash/WRKFile.h"
#include "kit/ExecutableImage.h"

struct dl_phdr_info;

// The list of loaded images (the executable, shared libraries, the vDSO), kept twice: a fixed
// table that crash-time code searches without locks (which image holds an address, where its
// unwind tables are), and "binary_images.clsrecord", one "load" or "unload" line per event,
// from which the report side symbolicates. The loader has no load callbacks: the list is
// replayed at start and compared again whenever a change may have happened (the queue looks
// every few seconds, and `WRKBinaryImageNotifyMayHaveChanged` after a dlopen or dlclose).
namespace talvor::crash {

inline constexpr std::size_t kWRKBinaryImageSlotCount = 512;

// Where an image lies. Addresses are absolute; 0 means none.
struct WRKBinaryImageRange {
    std::uintptr_t loadAddress = 0;  // the lowest mapped address (the ELF header)
    std::uintptr_t execStart = 0;    // the executable segments span [execStart, execEnd)
    std::uintptr_t execEnd = 0;
    std::uintptr_t ehFrameHeader = 0;  // .eh_frame_hdr (PT_GNU_EH_FRAME)
    std::uintptr_t ehFrame = 0;        // .eh_frame, as the header names it
    std::uintptr_t compactUnwind = 0;  // none on ELF
    std::uintptr_t crashInfo = 0;      // none on ELF
};

struct WRKBinaryImageSlot {
    std::atomic<std::uintptr_t> loadAddress{0};  // 0: free
    std::uintptr_t execStart = 0;
    std::uintptr_t execEnd = 0;
    std::uintptr_t ehFrameHeader = 0;
    std::uintptr_t ehFrame = 0;
    std::uintptr_t compactUnwind = 0;
    std::uintptr_t crashInfo = 0;
};

struct WRKBinaryImageTable {
    WRKBinaryImageSlot entries[kWRKBinaryImageSlotCount];  // not "slots": a Qt keyword
};

// Claims the first free slot with a compare-and-swap; false when every slot is taken.
bool WRKBinaryImageTableStore(WRKBinaryImageTable* table, const WRKBinaryImageRange& range);
// Frees the slot of the image at `loadAddress`; false when none holds it.
bool WRKBinaryImageTableRemove(WRKBinaryImageTable* table, std::uintptr_t loadAddress);
// The image whose executable span holds `address`. Async-signal-safe.
bool WRKBinaryImageTableFind(const WRKBinaryImageTable* table, std::uintptr_t address,
                             WRKBinaryImageRange* out);
// The same on the crash context's table; false before the context is initialized.
bool WRKBinaryImageSafeFindImageForAddress(std::uintptr_t address, WRKBinaryImageRange* out);
bool WRKBinaryImageSafeHasUnwindInfo(const WRKBinaryImageRange& range);

struct WRKBinaryImageDetails {
    std::string path;
    std::string uuid;  // the build-id's text (see kit/ExecutableImage.h); empty without one
    std::string architecture;
    kit::SDKVersion minimumOS;
    WRKBinaryImageRange range;
    // The size in the record: from the load address to the end of the executable span.
    std::uint64_t size() const {
        return range.execEnd > range.loadAddress ? range.execEnd - range.loadAddress : 0;
    }
};

// The details of one image the loader lists.
WRKBinaryImageDetails WRKBinaryImageDetailsFromHeaders(const dl_phdr_info& info);
// The running program's own image; nullopt when the loader lists none.
std::optional<WRKBinaryImageDetails> WRKBinaryImageMainExecutable();
// The first loaded image whose uuid text equals `uuid`.
std::optional<WRKBinaryImageDetails> WRKBinaryImageFindImageForUUID(const std::string& uuid);
// The loaded image whose first byte (its header) is at `loadAddress`.
std::optional<WRKBinaryImageDetails> WRKBinaryImageFindImageForLoadAddress(
    std::uintptr_t loadAddress);
// "uuid", "base" and "size" entries of an open hash.
void WRKBinaryImageRecordDetails(WRKFile* file, const WRKBinaryImageDetails& details);

class WRKQueue;

// Keeps one table and one record file in step with the loader.
class WRKBinaryImageTracker {
  public:
    WRKBinaryImageTracker(std::string filePath, WRKBinaryImageTable* table);
    ~WRKBinaryImageTracker();

    // Resets the file and replays the images loaded now; on return the table is filled and
    // their lines are written (on the queue, with the file kept open).
    void start();
    // An image came or went: the table at once, the line on the queue.
    void changed(bool load, const WRKBinaryImageDetails& details);
    // Compares the loader's list with the known one on the queue.
    void checkForChanges();
    // Waits until everything queued so far is written.
    void sync();

  private:
    void compareWithLoader(bool replay);
    void updateTable(bool load, const WRKBinaryImageDetails& details);
    void writeLine(bool load, const WRKBinaryImageDetails& details);

    std::string filePath_;
    WRKBinaryImageTable* table_;
    // Only touched on the queue (and in `start`, before the queue sees a change).
    std::map<std::pair<std::uintptr_t, std::string>, WRKBinaryImageDetails> known_;
    std::mutex compareMutex_;  // the replay runs beside the queue's own look
    unsigned long long adds_ = 0;
    unsigned long long subs_ = 0;
    WRKFile file_;
    bool keepFileOpen_ = false;
    std::unique_ptr<WRKQueue> queue_;
};

// The process's tracker, writing into the crash context's table: started by the context.
void WRKBinaryImageInit(const char* filePath, WRKBinaryImageTable* table);
// Asks the process's tracker to look for loaded or unloaded images (after dlopen/dlclose).
void WRKBinaryImageNotifyMayHaveChanged();
// Waits until the process's tracker has written what it knows (tests, orderly exit).
void WRKBinaryImageSync();

}  // namespace talvor::crash
