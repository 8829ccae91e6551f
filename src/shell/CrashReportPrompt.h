#pragma once

#include <functional>

#include "crash/WRKCrashReportingController.h"

namespace talvor {

// Asks the user whether to send the report of an earlier crash: the title as the main text,
// the message below it, buttons send, always send (when it has a text) and cancel. Opens
// without blocking; `answer` gets the pressed button. A dialog closed without a button (the
// application quitting) answers nothing, so the report waits for the next run.
void askBeforeSendingCrashReport(const crash::WRKPromptTexts& texts,
                                 std::function<void(bool submit, bool always)> answer);

}  // namespace talvor
