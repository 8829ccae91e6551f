#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "crash/WRKInternalReport.h"
#include "crash/WRKStackFrame.h"
#include "crash/WRKSymbolResolver.h"
#include "kit/Operation.h"

// Before a crashed run's report is sent, its thread stacks are resolved to function names,
// C++ names demangled, and the result written beside each crash file as
// "<file>.symbolicated" (one "threads" line: per thread, per frame "symbol", "raw_symbol"
// where it differs, "offset", "library" and, for an address in a known image,
// "image_offset"; the addresses stay in the crash file, in the same order). Each step is an
// operation on one shared thread array, run in turn on the calling thread.
namespace talvor::crash {

// One entry per thread in the crash record's order, innermost frame first.
using WRKThreadArray = std::vector<std::vector<WRKStackFrame>>;

inline constexpr char WRKSymbolicatedExtension[] = ".symbolicated";

class WRKThreadArrayOperation : public kit::Operation {
  public:
    explicit WRKThreadArrayOperation(std::shared_ptr<WRKThreadArray> threadArray);
    const std::shared_ptr<WRKThreadArray>& threadArray() const { return threadArray_; }
    // Every frame of every thread in order; after a cancel, the rest of that thread's
    // frames are skipped.
    void enumerateFramesWithBlock(const std::function<void(WRKStackFrame&)>& block);

  private:
    std::shared_ptr<WRKThreadArray> threadArray_;
};

class WRKSymbolicationOperation final : public WRKThreadArrayOperation {
  public:
    WRKSymbolicationOperation(std::shared_ptr<WRKThreadArray> threadArray,
                              std::shared_ptr<WRKSymbolResolver> resolver);
    void main() override;

  private:
    std::shared_ptr<WRKSymbolResolver> symbolResolver_;
};

class WRKDemangleOperation final : public WRKThreadArrayOperation {
  public:
    using WRKThreadArrayOperation::WRKThreadArrayOperation;
    // A demangled raw symbol becomes the frame's symbol; the raw one stays.
    void main() override;

    // The readable name of a mangled C++ name ("_Z...") or of a block inside a C++ function
    // ("__Z..._block_invoke..."); nullopt for anything else.
    static std::optional<std::string> demangleSymbol(const char* name);
    // The C++ ABI's demangler; nullopt when it refuses the name.
    static std::optional<std::string> demangleCppSymbol(const char* name);
    static std::optional<std::string> demangleBlockInvokeCppSymbol(const char* name);
};

class WRKSerializeSymbolicatedFramesOperation final : public WRKThreadArrayOperation {
  public:
    WRKSerializeSymbolicatedFramesOperation(std::shared_ptr<WRKThreadArray> threadArray,
                                            std::filesystem::path outputPath);
    void main() override;

  private:
    std::filesystem::path outputPath_;
};

class WRKProcessReportOperation final : public kit::Operation {
  public:
    WRKProcessReportOperation(WRKInternalReport report,
                              std::shared_ptr<WRKSymbolResolver> resolver);
    std::filesystem::path binaryImagePath() const;
    // The stacks of a crash record file; nullopt when it is missing, unreadable or has no
    // threads.
    static std::optional<WRKThreadArray> threadArrayFromFile(const std::filesystem::path& path);
    // The three steps for one crash file; false when it had no threads.
    static bool symbolicateFile(const std::filesystem::path& path,
                                const std::shared_ptr<WRKSymbolResolver>& resolver);
    // Nothing is written when the run's image record cannot be read. A symbolicated file
    // appears whole or not at all: a cancel stops the step that runs, and its file is not
    // written.
    void main() override;
    void cancel() override;

  private:
    // The steps of one crash file; none when it has no threads.
    static std::vector<std::shared_ptr<kit::Operation>> stepsForFile(
        const std::filesystem::path& path, const std::shared_ptr<WRKSymbolResolver>& resolver);

    WRKInternalReport report_;
    std::shared_ptr<WRKSymbolResolver> symbolResolver_;
    std::mutex stepsMutex_;
    std::vector<std::shared_ptr<kit::Operation>> steps_;  // those of the file in hand
};

}  // namespace talvor::crash
