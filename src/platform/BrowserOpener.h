#pragma once

#include <QUrl>

namespace talvor::platform {

// Opens a web address in the user's browser, the way the desktop would (its URL handler).
class BrowserOpener {
  public:
    virtual ~BrowserOpener() = default;
    // False when nothing could be started.
    virtual bool openInBrowser(const QUrl& url) = 0;

    // The desktop's opener; tests put a fake in its place (nullptr: the real one).
    static BrowserOpener& shared();
    static void setShared(BrowserOpener* opener);
};

}  // namespace talvor::platform
