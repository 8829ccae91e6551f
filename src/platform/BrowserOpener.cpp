#include "BrowserOpener.h"

#include "Log.h"

#include <QDesktopServices>

namespace talvor::platform {

namespace {

// Qt hands the address to the desktop's handler (xdg-open and the portal on Linux).
class DesktopBrowserOpener : public BrowserOpener {
  public:
    bool openInBrowser(const QUrl& url) override {
        if (QDesktopServices::openUrl(url)) {
            return true;
        }
        log(QStringLiteral("Browser: the desktop could not open a web address"));
        return false;
    }
};

BrowserOpener* g_override = nullptr;

}  // namespace

BrowserOpener& BrowserOpener::shared() {
    static DesktopBrowserOpener desktop;
    return g_override ? *g_override : desktop;
}

void BrowserOpener::setShared(BrowserOpener* opener) {
    g_override = opener;
}

}  // namespace talvor::platform
