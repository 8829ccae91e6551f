#include "crash/WRKWebView.h"

#include <cstdio>

#include "crash/WRKException.h"

namespace talvor::crash {

namespace {

// Keeps the page's own handlers and puts ours first; a page that replaces the error
// handler before it has loaded gets its handler kept and called behind ours.
constexpr char commonPart[] = R"js(
window.wreckordOriginalOnLoad = window.onload;
window.wreckordOriginalOnError = window.onerror;
window.onerror = wreckordOnError;
window.onload = wreckordOnLoad;
function wreckordOnLoad() {
  if (window.onerror !== wreckordOnError) {
    window.wreckordOriginalOnError = window.onerror;
  }
  window.onerror = wreckordOnError;
  if (typeof window.wreckordOriginalOnLoad === 'function') {
    window.wreckordOriginalOnLoad.apply(this, arguments);
  }
}
)js";

constexpr char postingPart[] = R"js(
function wreckordOnError(message, url, line, column, error) {
  window.webkit.messageHandlers.wreckord.postMessage(
      {msg: message, url: url, line: line, column: column});
  if (typeof window.wreckordOriginalOnError === 'function') {
    return window.wreckordOriginalOnError(message, url, line, column, error);
  }
}
)js";

}  // namespace

std::string WRKWebViewMonitoringScript() {
    return std::string(commonPart) + postingPart;
}

bool WRKWebViewSetupConfigurationForMonitoring(WRKWebViewConfiguration* configuration) {
    if (configuration == nullptr) {
        return false;
    }
    return configuration->addUserScript(WRKWebViewMonitoringScript(), true, true);
}

bool WRKWebViewHandleScriptMessage(const WRKWebViewScriptMessage& message) {
    if (message.body.object() == nullptr) {
        return false;
    }
    const JSONValue* text = message.body.find("msg");
    const std::string reason = text != nullptr && text->string() != nullptr ? *text->string() : "";
    WRKExceptionRecord(WRKExceptionTypeJavaScript, "exception", reason.c_str(), nullptr, 0, false);
    return true;
}

}  // namespace talvor::crash
