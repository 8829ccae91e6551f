#pragma once

#include <functional>
#include <string>

#include "crash/WRKJSON.h"

// JavaScript errors of an application's web views, recorded as non-fatal exceptions: a
// script injected into the view's configuration posts each error to the message handler
// "wreckord", whose messages come here. The program has no web view of its own; a view
// that wants the monitoring offers this configuration interface.
namespace talvor::crash {

struct WRKWebViewScriptMessage {
    JSONValue body;
};

class WRKWebViewConfiguration {
  public:
    virtual ~WRKWebViewConfiguration() = default;
    // False when the view cannot take user scripts.
    virtual bool addUserScript(const std::string& source, bool atDocumentEnd,
                               bool mainFrameOnly) = 0;
    virtual void addScriptMessageHandler(
        const std::string& name, std::function<void(const WRKWebViewScriptMessage&)> handler) = 0;
};

inline constexpr char WRKWebViewMessageHandlerName[] = "wreckord";

// The injected script's text.
std::string WRKWebViewMonitoringScript();
// Injects the script (at document end, main frame only); false when the view refuses it.
bool WRKWebViewSetupConfigurationForMonitoring(WRKWebViewConfiguration* configuration);
// Records the message's "msg" as a JavaScript exception; false when the body is no object.
bool WRKWebViewHandleScriptMessage(const WRKWebViewScriptMessage& message);

}  // namespace talvor::crash
