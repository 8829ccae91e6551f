#pragma once

#include "TimeMenu.h"
#include "platform/Menu.h"
#include "platform/NetworkInterfaces.h"
#include "platform/Scheduler.h"
#include "prefs/PrefsKeys.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace talvor {

class IXSCNotificationCenter;
class TalvorTimeSettings;
namespace platform {
class InterfaceChangeSource;
struct Notification;
}  // namespace platform

// The IP-echo page's preference: a bare host or origin gets "https://" when it has no
// scheme and the path "/ExIP.php".
inline const QString& kIPEchoURLKey = keys::IPEchoURL;

// The page to ask for `configured` (the preference's text); nullopt when it is empty or
// not an http(s) URL with a host.
std::optional<QUrl> ipEchoURL(const QString& configured);
// The address in an IP-echo reply: the text without tags and surrounding white space, or
// its last word ("Current IP Address: 203.0.113.7"), when that parses as an IPv4 or IPv6
// address; nullopt otherwise.
std::optional<QString> addressFromEchoReply(const QByteArray& body);

// The IP lines at the top of the time menu: the external address, as an IP-echo page sees
// it, and the machine's own interface addresses. Choosing a line copies its address. Main
// thread only.
class IpAddressItems : public QObject, public TimeMenuIpLines {
    Q_OBJECT
  public:
    using Family = platform::AddressFamily;

    static constexpr const char* kCopyIPAddressTitle = "Copy IP Address";
    // Until an address is set, the line says where, and choosing it goes there.
    static constexpr const char* kNoEchoURLTitle =
        "External IP: choose to set an IP-echo address (Preferences, Menu Items)";
    static constexpr const char* kBadEchoURLTitle =
        "External IP: the IP-echo address is not valid (choose to change it)";
    static constexpr int kDefaultRequestTimeoutMs = 10000;
    // Tags of one family must not run into the next family's.
    static constexpr int kMaxLinesPerFamily = 999;

    // None is owned; all must outlive the items. Main thread only: the external address is
    // fetched asynchronously on it.
    IpAddressItems(platform::Menu& timeMenu, TalvorTimeSettings& settings,
                   QObject* parent = nullptr);
    ~IpAddressItems() override;

    // Entries "IPv4 (<interface>): <address>" for "IPV4", "IPv6 (...): ..." for "IPV6",
    // in the system's order, loopback interfaces left out. Empty for any other family, or
    // when the system cannot list its interfaces.
    QStringList getIPAddress(const QString& family) const;

    // For the time-menu builder; the insertions return the number of lines inserted.
    // "Copy IP Address" (tag 1001) at `index`, or in place of the line already there; then
    // starts a fetch.
    int insertExternalLine(int index) override;
    void removeExternalLine() override;
    // "Local <entry>" lines of the family (tags 100001 + i, 101000 + i) at `index`, or in
    // place of the family's lines already there.
    int insertInterfaceLines(Family family, int index) override;
    // Removes the family's lines, tag by tag, up to the first tag that is missing.
    void removeInterfaceLines(Family family) override;
    // The family's lines in the menu now.
    int interfaceLineCount(Family family) const;

    // Starts one fetch of the external address, asynchronous on the main loop; it aborts the
    // fetch still running. A fetch ends within the request timeout whatever the page does,
    // and reads at most 64 KB of it.
    void getIPBGThread();
    // Sets the external line's title to `tempIP`.
    void updateIPMenuWithTitle();
    // Refreshes the interface lines of the families that are shown, in place; a family with
    // no lines yet gets them under the lines above it (external, IPv4).
    void setIPV4AndIPV6IP();
    // A network key changed: fetch again if the external line is shown, refresh the
    // interface lines.
    void NetworkChanged(const platform::Notification& notification);
    // Fetches a second from now (a burst of changes gives one fetch); never waits.
    void getIP();
    // Copies the line's address: after "):" for an interface line, the last address
    // fetched for the external line (nothing while none is known). The external line
    // without a usable IP-echo address opens that setting instead.
    void copyIPtoClipboard(platform::MenuItem& sender);
    // What opens the IP-echo address's control.
    void setOpenEchoAddressSetting(std::function<void()> open) {
        openEchoAddressSetting_ = std::move(open);
    }
    // Removes the external line, and inserts a new one at the top if it is shown.
    void UpdateIP();
    // The external line's title after its first ":", trimmed; nullopt without the line.
    std::optional<QString> getExternalIP() const;

    // Calls NetworkChanged when an interface's IPv4 or IPv6 keys change, from `source` (the
    // kernel's when null). Once; later calls do nothing.
    void startObservingNetwork(std::unique_ptr<platform::InterfaceChangeSource> source = nullptr);
    // Shut-down: no more network notices, no fetch waiting to start.
    void stopObservingNetwork();
    // Told after a network change replaced the interface lines (the menu's separators follow).
    void setLinesChanged(std::function<void()> linesChanged) {
        linesChanged_ = std::move(linesChanged);
    }
    IXSCNotificationCenter* systemConfigNotificationManager() const { return center_.get(); }

    // The longest a fetch may take, start to end.
    void setRequestTimeout(int milliseconds) { requestTimeoutMs_ = milliseconds; }

    // The last address fetched; none before the first answer and after a failed fetch.
    const std::optional<QString>& externalIP() const { return externalIP_; }
    // The external line's title once a fetch ended; "" before.
    const QString& tempIP() const { return tempIP_; }
    // Set once a network change asked for a fetch.
    bool hasNetwork() const { return hasNetwork_; }

  private:
    std::shared_ptr<platform::MenuItem> makeLine(const QString& title, qint64 tag);
    int freshIndex(Family family) const;
    // `body` is none when the page sent more than the fetch reads.
    void replyFinished(QNetworkReply* reply, quint64 fetch, const std::optional<QByteArray>& body);
    void fetchEnded(quint64 fetch, std::optional<QString> address, const QString& title);

    platform::Menu& menu_;
    TalvorTimeSettings& settings_;
    QNetworkAccessManager* network_ = nullptr;
    std::unique_ptr<IXSCNotificationCenter> center_;
    platform::TimerHandle pendingFetch_;
    std::function<void()> linesChanged_;
    std::function<void()> openEchoAddressSetting_;
    // The last fetch found no usable IP-echo address.
    bool echoAddressUnusable_ = false;
    quint64 latestFetch_ = 0;
    int requestTimeoutMs_ = kDefaultRequestTimeoutMs;
    bool loggedNoEchoURL_ = false;
    bool loggedPlainHttp_ = false;
    QPointer<QNetworkReply> current_;

    std::optional<QString> externalIP_;
    QString tempIP_;
    bool hasNetwork_ = false;
};

}  // namespace talvor
