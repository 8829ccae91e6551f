#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "crash/WRKStackFrame.h"

// Exceptions in the run's record: fatal ones (an uncaught C++ exception reaching the
// terminate handler, an exception the application reports through its hook) go to
// "exception.clsrecord" followed by the state of every thread; non-fatal "custom" ones,
// handed in by the kit's interface, go to the custom exception A/B files.
namespace talvor::crash {

struct WRKFile;

enum WRKExceptionType : std::int8_t {
    WRKExceptionTypeObjectiveC = 1,  // reported through the application's hook
    WRKExceptionTypeCpp = 2,
    WRKExceptionTypeJavaScript = 3,
    WRKExceptionTypeCustom = 4,
};
// The name written to the record ("unknown" for any other value).
const char* WRKExceptionTypeName(int type);
bool WRKExceptionTypeIsFatal(int type);

// The application's exception hook: an exception escaping an event handler is handed to
// the reporter with its demangled type, its text and the throw site's return addresses.
using WRKApplicationExceptionReporter = void (*)(const char* name, const char* reason,
                                                 const std::uintptr_t* returnAddresses,
                                                 std::size_t count);
void WRKApplicationSetPresent(bool present);
// Where the application's "NSApplicationCrashOnExceptions" is read (none: not set).
void WRKApplicationSetCrashOnExceptionsReader(bool (*reader)());
bool WRKApplicationIsPresent();
WRKApplicationExceptionReporter WRKApplicationGetExceptionReporter();
// Answers the reporter it replaces.
WRKApplicationExceptionReporter WRKApplicationSetExceptionReporter(
    WRKApplicationExceptionReporter reporter);

struct WRKExceptionReadContext {
    const char* path = nullptr;  // null when the handlers are not installed
    std::terminate_handler originalTerminateHandler = nullptr;
    WRKApplicationExceptionReporter originalReporter = nullptr;
    bool reporterInstalled = false;
    std::uint32_t maxCustomExceptions = 0;
};

// Removes an old exception file, installs the terminate handler (and the application
// reporter when "NSApplicationCrashOnExceptions" is set and an application exists), zeroes
// the counter.
void WRKExceptionInitialize(WRKExceptionReadContext* context, std::uint32_t* customCounter);
[[noreturn]] void WRKTerminateHandler();
void WRKNSApplicationReportException(const char* name, const char* reason,
                                     const std::uintptr_t* returnAddresses, std::size_t count);
// Records one exception: fatal types into the exception file with every thread's state,
// the others into the custom exception files. Nothing before the context is initialized.
void WRKExceptionRecord(int type, const char* name, const char* reason, const WRKStackFrame* frames,
                        std::size_t frameCount, bool attemptDelivery);
void WRKExceptionWrite(WRKFile* file, int type, const char* name, const char* reason,
                       const WRKStackFrame* frames, std::size_t frameCount);
// The start-up check of the installed handlers: the warnings, each also written to
// standard error.
std::vector<std::string> WRKExceptionCheckHandlers();
bool WRKIsNSApplicationCrashOnExceptionsEnabled();
std::string WRKExceptionDemangle(const char* mangled);
// The record of the exception now being handled (inside a catch or a terminate handler):
// name and reason as the terminate handler records them; false when there is none.
bool WRKExceptionDescribeCurrent(std::string* name, std::string* reason);
void WRKExceptionRaiseTestObjCException();
[[noreturn]] void WRKExceptionRaiseTestCppException();

}  // namespace talvor::crash
