#include "crash/WRKProcessReport.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "crash/WRKFile.h"
#include "kit/KitLog.h"

namespace talvor::crash {
namespace fs = std::filesystem;

namespace {

// The record's string writer escapes what JSON needs (a quote in `operator"" _km`).
void writeOptionalString(WRKFile* file, const char* key, const std::optional<std::string>& text) {
    WRKFileWriteHashEntryString(file, key, text ? text->c_str() : nullptr);
}

}  // namespace

WRKThreadArrayOperation::WRKThreadArrayOperation(std::shared_ptr<WRKThreadArray> threadArray)
    : threadArray_(std::move(threadArray)) {}

void WRKThreadArrayOperation::enumerateFramesWithBlock(
    const std::function<void(WRKStackFrame&)>& block) {
    if (!threadArray_) {
        return;
    }
    for (std::vector<WRKStackFrame>& thread : *threadArray_) {
        for (WRKStackFrame& frame : thread) {
            block(frame);
            if (isCancelled()) {
                break;
            }
        }
    }
}

WRKSymbolicationOperation::WRKSymbolicationOperation(std::shared_ptr<WRKThreadArray> threadArray,
                                                     std::shared_ptr<WRKSymbolResolver> resolver)
    : WRKThreadArrayOperation(std::move(threadArray)), symbolResolver_(std::move(resolver)) {}

void WRKSymbolicationOperation::main() {
    if (!symbolResolver_) {
        return;
    }
    enumerateFramesWithBlock(
        [this](WRKStackFrame& frame) { symbolResolver_->updateStackFrame(frame); });
}

void WRKDemangleOperation::main() {
    enumerateFramesWithBlock([](WRKStackFrame& frame) {
        if (!frame.rawSymbol) {
            return;
        }
        if (std::optional<std::string> demangled = demangleSymbol(frame.rawSymbol->c_str())) {
            frame.symbol = std::move(demangled);
        }
    });
}

std::optional<std::string> WRKDemangleOperation::demangleSymbol(const char* name) {
    if (name == nullptr) {
        return std::nullopt;
    }
    if (std::strncmp(name, "_Z", 2) == 0) {
        return demangleCppSymbol(name);
    }
    if (std::strncmp(name, "__Z", 3) == 0) {
        return demangleBlockInvokeCppSymbol(name);
    }
    return std::nullopt;
}

std::optional<std::string> WRKDemangleOperation::demangleCppSymbol(const char* name) {
    if (name == nullptr) {
        return std::nullopt;
    }
    int status = 0;
    char* demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (status != 0 || demangled == nullptr) {
        std::free(demangled);
        return std::nullopt;
    }
    std::string text(demangled);
    std::free(demangled);
    return text;
}

std::optional<std::string> WRKDemangleOperation::demangleBlockInvokeCppSymbol(const char* name) {
    if (name == nullptr) {
        return std::nullopt;
    }
    const std::string_view full(name);
    const std::size_t block = full.rfind("_block_invoke");
    // At least "__Z" and a two-character name before it.
    if (block == std::string_view::npos || block < 5) {
        return std::nullopt;
    }
    const std::string function(full.substr(1, block - 1));
    std::optional<std::string> demangled = demangleSymbol(function.c_str());
    if (!demangled) {
        return std::nullopt;
    }
    return *demangled + std::string(full.substr(block));
}

WRKSerializeSymbolicatedFramesOperation::WRKSerializeSymbolicatedFramesOperation(
    std::shared_ptr<WRKThreadArray> threadArray, fs::path outputPath)
    : WRKThreadArrayOperation(std::move(threadArray)), outputPath_(std::move(outputPath)) {}

void WRKSerializeSymbolicatedFramesOperation::main() {
    // Written beside the output under a hidden name and renamed once whole: a run that ends
    // midway (a quit, a crash) never leaves a cut-off file for packaging to send.
    const fs::path partial =
        outputPath_.parent_path() / ("." + outputPath_.filename().string() + ".partial");
    WRKFile file;
    if (!WRKFileInitWithPathMode(&file, partial.c_str(), false, false)) {
        kit::log("[Wreckord:Crash:Symbolication] Failed to create output file");
        return;
    }
    WRKFileWriteSectionStart(&file, "threads");
    WRKFileWriteArrayStart(&file);
    if (threadArray()) {
        for (const std::vector<WRKStackFrame>& thread : *threadArray()) {
            if (isCancelled()) {
                break;
            }
            WRKFileWriteArrayStart(&file);
            for (const WRKStackFrame& frame : thread) {
                WRKFileWriteHashStart(&file);
                writeOptionalString(&file, "symbol", frame.symbol);
                if (!frame.rawSymbol || frame.rawSymbol != frame.symbol) {
                    writeOptionalString(&file, "raw_symbol", frame.rawSymbol);
                }
                WRKFileWriteHashEntryUint64(&file, "offset", frame.offset);
                writeOptionalString(&file, "library", frame.library);
                if (frame.imageOffset) {
                    WRKFileWriteHashEntryUint64(&file, "image_offset", *frame.imageOffset);
                }
                WRKFileWriteHashEnd(&file);
            }
            WRKFileWriteArrayEnd(&file);
        }
    }
    WRKFileWriteArrayEnd(&file);
    WRKFileWriteSectionEnd(&file);
    const bool whole = WRKFileClose(&file) && !isCancelled();
    std::error_code error;
    if (whole) {
        fs::rename(partial, outputPath_, error);
    }
    if (!whole || error) {
        fs::remove(partial, error);
    }
}

WRKProcessReportOperation::WRKProcessReportOperation(WRKInternalReport report,
                                                     std::shared_ptr<WRKSymbolResolver> resolver)
    : report_(std::move(report)), symbolResolver_(std::move(resolver)) {}

fs::path WRKProcessReportOperation::binaryImagePath() const {
    return report_.binaryImagePath();
}

std::optional<WRKThreadArray> WRKProcessReportOperation::threadArrayFromFile(const fs::path& path) {
    const std::optional<std::vector<JSONValue>> sections =
        WRKFileReadSections(path.string(), false);
    if (!sections) {
        return std::nullopt;
    }
    for (const JSONValue& section : *sections) {
        const JSONValue* threads = section.find("threads");
        if (threads == nullptr) {
            continue;
        }
        if (threads->array() == nullptr) {
            return std::nullopt;
        }
        WRKThreadArray array;
        for (const JSONValue& thread : *threads->array()) {
            std::vector<WRKStackFrame>& frames = array.emplace_back();
            const JSONValue* stack = thread.find("stacktrace");
            if (stack == nullptr || stack->array() == nullptr) {
                continue;
            }
            for (const JSONValue& address : *stack->array()) {
                frames.push_back(WRKStackFrame::withAddress(
                    address.uint64() != nullptr ? *address.uint64() : 0));
            }
        }
        return array;
    }
    return std::nullopt;
}

std::vector<std::shared_ptr<kit::Operation>> WRKProcessReportOperation::stepsForFile(
    const fs::path& path, const std::shared_ptr<WRKSymbolResolver>& resolver) {
    std::optional<WRKThreadArray> threads = threadArrayFromFile(path);
    if (!threads) {
        return {};
    }
    auto shared = std::make_shared<WRKThreadArray>(std::move(*threads));
    fs::path output = path;
    output += WRKSymbolicatedExtension;
    return {
        std::make_shared<WRKSymbolicationOperation>(shared, resolver),
        std::make_shared<WRKDemangleOperation>(shared),
        std::make_shared<WRKSerializeSymbolicatedFramesOperation>(shared, output),
    };
}

bool WRKProcessReportOperation::symbolicateFile(
    const fs::path& path, const std::shared_ptr<WRKSymbolResolver>& resolver) {
    const std::vector<std::shared_ptr<kit::Operation>> steps = stepsForFile(path, resolver);
    for (const std::shared_ptr<kit::Operation>& step : steps) {
        step->start();
    }
    return !steps.empty();
}

void WRKProcessReportOperation::cancel() {
    kit::Operation::cancel();
    std::lock_guard lock(stepsMutex_);
    for (const std::shared_ptr<kit::Operation>& step : steps_) {
        step->cancel();
    }
}

void WRKProcessReportOperation::main() {
    if (!symbolResolver_ || !symbolResolver_->loadBinaryImagesFromFile(binaryImagePath())) {
        return;
    }
    report_.enumerateSymbolicatableFilesInContent([this](const fs::path& path) {
        if (isCancelled()) {
            return;
        }
        const std::vector<std::shared_ptr<kit::Operation>> steps =
            stepsForFile(path, symbolResolver_);
        {
            // A cancel from now on reaches the step that runs.
            std::lock_guard lock(stepsMutex_);
            steps_ = steps;
            if (isCancelled()) {
                return;
            }
        }
        for (const std::shared_ptr<kit::Operation>& step : steps) {
            step->start();
        }
        std::lock_guard lock(stepsMutex_);
        steps_.clear();
    });
}

}  // namespace talvor::crash
