#pragma once

#include "platform/BrowserOpener.h"

#include <QList>
#include <QUrl>

#include <functional>

namespace talvor::test {

// Remembers the addresses it was asked to open and hands each to `browse` (a test's stand-in
// for the user in the browser), installed as the shared opener for the life of the object.
class FakeBrowserOpener : public platform::BrowserOpener {
  public:
    FakeBrowserOpener() { platform::BrowserOpener::setShared(this); }
    ~FakeBrowserOpener() override { platform::BrowserOpener::setShared(nullptr); }
    FakeBrowserOpener(const FakeBrowserOpener&) = delete;
    FakeBrowserOpener& operator=(const FakeBrowserOpener&) = delete;

    bool openInBrowser(const QUrl& url) override {
        opened.append(url);
        if (browse) {
            browse(url);
        }
        return opens;
    }

    QList<QUrl> opened;
    std::function<void(const QUrl&)> browse;
    bool opens = true;  // false: no browser could be started
};

}  // namespace talvor::test
