#include "crash/WRKException.h"

#include <cxxabi.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <typeinfo>

#include "crash/WRKContext.h"
#include "crash/WRKFile.h"
#include "crash/WRKPlatform.h"
#include "crash/WRKSDKLog.h"
#include "crash/WRKUserLogging.h"

namespace talvor::crash {

namespace {

std::atomic<bool> applicationPresent{false};
std::atomic<WRKApplicationExceptionReporter> applicationReporter{nullptr};
std::atomic<bool (*)()> crashOnExceptionsReader{nullptr};

void recordCurrentException() {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        WRKSDKLogWarn("no active exception\n");
        return;
    }
    const char* raw = type->name();
    if (raw == nullptr) {
        WRKSDKLogWarn("Error: invalid parameter\n");
        return;
    }
    WRKSDKLogWarn("Recording exception of type '%s'\n", raw);
    std::string name;
    std::string reason;
    if (WRKExceptionDescribeCurrent(&name, &reason)) {
        WRKExceptionRecord(WRKExceptionTypeCpp, name.c_str(), reason.c_str(), nullptr, 0, true);
    }
}

}  // namespace

const char* WRKExceptionTypeName(int type) {
    switch (type) {
        case WRKExceptionTypeObjectiveC:
            return "objective-c";
        case WRKExceptionTypeCpp:
            return "c++";
        case WRKExceptionTypeJavaScript:
            return "javascript";
        case WRKExceptionTypeCustom:
            return "custom";
        default:
            return "unknown";
    }
}

bool WRKExceptionTypeIsFatal(int type) {
    return type == WRKExceptionTypeObjectiveC || type == WRKExceptionTypeCpp;
}

void WRKApplicationSetPresent(bool present) {
    applicationPresent.store(present);
}

void WRKApplicationSetCrashOnExceptionsReader(bool (*reader)()) {
    crashOnExceptionsReader.store(reader);
}

bool WRKApplicationIsPresent() {
    return applicationPresent.load();
}

WRKApplicationExceptionReporter WRKApplicationGetExceptionReporter() {
    return applicationReporter.load();
}

WRKApplicationExceptionReporter WRKApplicationSetExceptionReporter(
    WRKApplicationExceptionReporter reporter) {
    return applicationReporter.exchange(reporter);
}

void WRKExceptionInitialize(WRKExceptionReadContext* context, std::uint32_t* customCounter) {
    if (context == nullptr) {
        return;
    }
    if (!WRKUnlinkIfExists(context->path)) {
        WRKSDKLogWarn("Unable to reset the exception file %s\n",
                      context->path != nullptr ? context->path : "(null)");
    }
    context->originalTerminateHandler = std::set_terminate(WRKTerminateHandler);
    if (WRKIsNSApplicationCrashOnExceptionsEnabled() && WRKApplicationIsPresent()) {
        context->originalReporter =
            WRKApplicationSetExceptionReporter(WRKNSApplicationReportException);
        context->reporterInstalled = true;
    }
    if (customCounter != nullptr) {
        *customCounter = 0;
    }
}

bool WRKExceptionDescribeCurrent(std::string* name, std::string* reason) {
    const std::exception_ptr current = std::current_exception();
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (!current || type == nullptr) {
        return false;
    }
    const std::string thrownType = WRKExceptionDemangle(type->name());
    try {
        std::rethrow_exception(current);
    } catch (const char* text) {
        *name = "const char *";
        *reason = text != nullptr ? text : "";
    } catch (const std::string& text) {
        *name = "std::string";
        *reason = text;
    } catch (const std::exception& exception) {
        *name = thrownType;
        *reason = exception.what();
    } catch (const std::exception* exception) {
        *name = thrownType;
        *reason = exception != nullptr ? exception->what() : "";
    } catch (...) {
        *name = thrownType;
        reason->clear();
    }
    return true;
}

void WRKTerminateHandler() {
    WRKSDKLogWarn("C++ terminate handler invoked\n");
    // Saved before the handler went in, so valid also while the set-up is still running.
    std::terminate_handler previous = nullptr;
    if (_clsContext.readonly != nullptr) {
        previous = _clsContext.readonly->exception.originalTerminateHandler;
    }
    if (previous == WRKTerminateHandler) {
        WRKSDKLogWarn("Error: original handler was set recursively\n");
        previous = nullptr;
    }
    if (previous != nullptr) {
        WRKSDKLogWarn("restoring pre-existing handler\n");
        if (std::get_terminate() == previous) {
            WRKSDKLogWarn("handler has already been restored, aborting\n");
            std::abort();
        }
        std::set_terminate(previous);
    }
    recordCurrentException();
    if (previous != nullptr) {
        WRKSDKLogWarn("invoking pre-existing handler\n");
        previous();
    }
    WRKSDKLogWarn("aborting\n");
    std::abort();
}

void WRKNSApplicationReportException(const char* name, const char* reason,
                                     const std::uintptr_t* returnAddresses, std::size_t count) {
    WRKSDKLogWarn("Recording an NSException\n");
    const std::size_t frameCount = returnAddresses != nullptr ? count : 0;
    std::vector<WRKStackFrame> frames(frameCount);
    for (std::size_t i = 0; i < frameCount; ++i) {
        frames[i].address = returnAddresses[i];
    }
    WRKExceptionRecord(WRKExceptionTypeObjectiveC, name, reason, frames.data(), frames.size(),
                       true);
    WRKApplicationExceptionReporter previous =
        _clsContext.readonly != nullptr ? _clsContext.readonly->exception.originalReporter
                                        : nullptr;
    if (previous != nullptr && previous != WRKNSApplicationReportException) {
        previous(name, reason, returnAddresses, count);
    }
    // Back here, the application goes on (its setting was turned off since the start):
    // a later crash must be recorded, not wait for an end that does not come.
    WRKContextReleaseCrash(WRKCurrentThread());
}

void WRKExceptionWrite(WRKFile* file, int type, const char* name, const char* reason,
                       const WRKStackFrame* frames, std::size_t frameCount) {
    WRKFileWriteSectionStart(file, "exception");
    WRKFileWriteHashStart(file);
    WRKFileWriteHashEntryString(file, "type", WRKExceptionTypeName(type));
    WRKFileWriteHashEntryHexEncodedString(file, "name", name);
    WRKFileWriteHashEntryHexEncodedString(file, "reason", reason);
    WRKFileWriteHashEntryUint64(file, "time", WRKCurrentTimeSeconds());
    if (frames != nullptr && frameCount > 0) {
        WRKFileWriteHashKey(file, "frames");
        WRKFileWriteArrayStart(file);
        for (std::size_t i = 0; i < frameCount; ++i) {
            const WRKStackFrame& frame = frames[i];
            WRKFileWriteHashStart(file);
            WRKFileWriteHashEntryUint64(file, "pc", frame.address);
            if (frame.symbol) {
                WRKFileWriteHashEntryHexEncodedString(file, "symbol", frame.symbol->c_str());
            }
            WRKFileWriteHashEntryUint64(file, "offset", frame.offset);
            if (frame.library) {
                WRKFileWriteHashEntryHexEncodedString(file, "library", frame.library->c_str());
            }
            if (frame.fileName) {
                WRKFileWriteHashEntryHexEncodedString(file, "file", frame.fileName->c_str());
            }
            WRKFileWriteHashEntryUint64(file, "line", frame.lineNumber);
            WRKFileWriteHashEnd(file);
        }
        WRKFileWriteArrayEnd(file);
    }
    WRKFileWriteHashEnd(file);
    WRKFileWriteSectionEnd(file);
}

void WRKExceptionRecord(int type, const char* name, const char* reason, const WRKStackFrame* frames,
                        std::size_t frameCount, bool attemptDelivery) {
    if (!WRKContextIsInitialized()) {
        return;
    }
    const bool fatal = WRKExceptionTypeIsFatal(type);
    WRKSDKLogWarn("Recording an exception structure (%d, %d)\n", attemptDelivery ? 1 : 0,
                  fatal ? 1 : 0);
    if (fatal) {
        // The crash is this exception's: the abort that follows it, or a second thread's
        // exception or fault meanwhile, records nothing more.
        const pid_t self = WRKCurrentThread();
        if (WRKContextClaimCrash(self) != WRKCrashClaim::Won) {
            WRKSDKLogWarn(
                "Error: not recording the exception because a crash has already occurred\n");
            return;
        }
        WRKFile file;
        const bool opened = WRKFileInitWithPath(&file, _clsContext.readonly->exception.path, false);
        if (!opened) {
            WRKSDKLogWarn("Unable to open exception file\n");
        } else {
            WRKExceptionWrite(&file, type, name, reason, frames, frameCount);
            // The thread that threw is the crashed one; it records itself as it stands.
            WRKHandler(&file, self, nullptr);
            WRKFileClose(&file);
        }
        WRKContextMarkCrashRecorded();
        if (opened && attemptDelivery) {
            WRKHandlerAttemptImmediateDelivery();
        }
    } else {
        WRKUserLoggingWriteAndCheckABFiles(
            &_clsContext.readonly->logging.customExceptionStorage,
            &_clsContext.writable->logging.activeCustomExceptionPath, [&](WRKFile* file) {
                WRKExceptionWrite(file, type, name, reason, frames, frameCount);
            });
    }
    WRKSDKLogWarn("Finished recording an exception structure\n");
}

std::vector<std::string> WRKExceptionCheckHandlers() {
    std::vector<std::string> warnings;
    const WRKExceptionReadContext* context =
        WRKContextIsInitialized() ? &_clsContext.readonly->exception : nullptr;
    const bool crashOnExceptions = WRKIsNSApplicationCrashOnExceptionsEnabled();
    if (WRKApplicationIsPresent() && !crashOnExceptions) {
        warnings.emplace_back(
            "[Wreckord:Crash] Warning: NSApplicationCrashOnExceptions is not set. This will "
            "result in poor top-level uncaught exception reporting.");
    }
    const bool debugger = context == nullptr || _clsContext.readonly->debuggerAttached;
    if (!debugger) {
        const std::terminate_handler current = std::get_terminate();
        if (current != WRKTerminateHandler) {
            Dl_info info{};
            const bool found =
                ::dladdr(reinterpret_cast<void*>(current), &info) != 0 && info.dli_fname;
            const std::string symbol =
                found && info.dli_sname != nullptr ? info.dli_sname : "(unknown)";
            const std::string image = found ? info.dli_fname : "(unknown)";
            warnings.push_back("[Wreckord:Crash] Warning: std::get_terminate is '" + symbol +
                               "' in '" + image + "'");
        }
        if (crashOnExceptions && WRKApplicationIsPresent() &&
            WRKApplicationGetExceptionReporter() != WRKNSApplicationReportException) {
            warnings.emplace_back(
                "[Wreckord:Crash] Warning: top-level NSApplication-reported exceptions cannot "
                "be intercepted");
        }
    }
    for (const std::string& warning : warnings) {
        std::fprintf(stderr, "%s\n", warning.c_str());
    }
    return warnings;
}

bool WRKIsNSApplicationCrashOnExceptionsEnabled() {
    bool (*reader)() = crashOnExceptionsReader.load();
    return reader != nullptr && reader();
}

std::string WRKExceptionDemangle(const char* mangled) {
    if (mangled == nullptr) {
        return {};
    }
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    if (status != 0 || demangled == nullptr) {
        std::free(demangled);
        return mangled;
    }
    std::string text = demangled;
    std::free(demangled);
    return text;
}

void WRKExceptionRaiseTestObjCException() {
    const WRKApplicationExceptionReporter reporter = WRKApplicationGetExceptionReporter();
    if (reporter != nullptr) {
        reporter("WreckordTestException", "This is an Objective-C exception using for testing.",
                 nullptr, 0);
    }
}

void WRKExceptionRaiseTestCppException() {
    throw "Wreckord C++ Test Exception";
}

}  // namespace talvor::crash
