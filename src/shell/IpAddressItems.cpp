#include "IpAddressItems.h"

#include "calendar/CappedFetch.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "services/IXSCNotificationCenter.h"
#include "services/SystemEventNames.h"

#include <QDebug>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <memory>

namespace talvor {
namespace {

const QString kEchoPath = QStringLiteral("/ExIP.php");
// An echo page answers with a few bytes; a larger body is not read past this.
constexpr qint64 kMaxReplyBytes = 64 * 1024;

const QString kTimedOutText = QStringLiteral("The IP-echo page did not answer in time");
const QString kNotAnAddressText = QStringLiteral("The IP-echo page did not answer with an address");
// An error line longer than this is cut: it is a menu line, not a report.
constexpr qsizetype kMaxErrorTitle = 80;

constexpr const char* kOutOfTime = "talvorOutOfTime";

QString capped(const QString& text) {
    QString line = text.simplified();
    if (line.size() > kMaxErrorTitle) {
        line.truncate(kMaxErrorTitle - 1);
        if (line.back().isHighSurrogate()) {
            line.chop(1);
        }
        line += QChar(0x2026);
    }
    return line;
}

qint64 firstTag(IpAddressItems::Family family) {
    return family == IpAddressItems::Family::IPv4 ? TimeMenu::kFirstIPv4Tag
                                                  : TimeMenu::kFirstIPv6Tag;
}

std::optional<QString> parsedAddress(const QString& text) {
    QHostAddress address;
    if (text.isEmpty() || !address.setAddress(text)) {
        return std::nullopt;
    }
    // Short forms such as "10.1" parse too, but no echo page answers with one.
    if (address.protocol() == QAbstractSocket::IPv4Protocol && address.toString() != text) {
        return std::nullopt;
    }
    return address.toString();
}

}  // namespace

std::optional<QUrl> ipEchoURL(const QString& configured) {
    QString text = configured.trimmed();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    if (!text.contains(QStringLiteral("://"))) {
        text.prepend(QStringLiteral("https://"));
    }
    QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QStringLiteral("http") && scheme != QStringLiteral("https"))) {
        return std::nullopt;
    }
    if (url.path().isEmpty() || url.path() == QStringLiteral("/")) {
        url.setPath(kEchoPath);
    }
    return url;
}

std::optional<QString> addressFromEchoReply(const QByteArray& body) {
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    const QString text = QString::fromUtf8(body).remove(tags).simplified();
    if (std::optional<QString> address = parsedAddress(text)) {
        return address;
    }
    const qsizetype space = text.lastIndexOf(QLatin1Char(' '));
    if (space < 0) {
        return std::nullopt;
    }
    return parsedAddress(text.mid(space + 1));
}

IpAddressItems::IpAddressItems(platform::Menu& timeMenu, TalvorTimeSettings& settings,
                               QObject* parent)
    : QObject(parent), menu_(timeMenu), settings_(settings) {}

IpAddressItems::~IpAddressItems() {
    center_.reset();
    // Aborting finishes the replies at once: none may reach a half-destroyed object.
    for (QNetworkReply* reply : findChildren<QNetworkReply*>()) {
        reply->disconnect(this);
        reply->abort();
    }
}

QStringList IpAddressItems::getIPAddress(const QString& family) const {
    Family wanted;
    QString label;
    if (family == QStringLiteral("IPV4")) {
        wanted = Family::IPv4;
        label = QStringLiteral("IPv4");
    } else if (family == QStringLiteral("IPV6")) {
        wanted = Family::IPv6;
        label = QStringLiteral("IPv6");
    } else {
        return {};
    }
    const auto addresses = platform::NetworkInterfaces::shared().addresses();
    if (!addresses) {
        return {};
    }
    QStringList entries;
    for (const platform::InterfaceAddress& a : *addresses) {
        // Linux names its loopback "lo"; the flag catches any other one.
        if (a.family != wanted || a.loopback || a.name == QStringLiteral("lo")) {
            continue;
        }
        entries.append(QStringLiteral("%1 (%2): %3").arg(label, a.name, a.host));
    }
    return entries;
}

std::shared_ptr<platform::MenuItem> IpAddressItems::makeLine(const QString& title, qint64 tag) {
    auto item = platform::MenuItem::create(
        title,
        [self = QPointer<IpAddressItems>(this)](platform::MenuItem& sender) {
            if (self) {
                self->copyIPtoClipboard(sender);
            }
        },
        QString());
    item->setTag(tag);
    return item;
}

int IpAddressItems::insertExternalLine(int index) {
    const int existing = menu_.indexOfItemWithTag(TimeMenu::kExternalIPTag);
    removeExternalLine();
    if (!menu_.insertItem(
            makeLine(QString::fromLatin1(kCopyIPAddressTitle), TimeMenu::kExternalIPTag),
            existing >= 0 ? existing : index)) {
        return 0;
    }
    getIPBGThread();
    return 1;
}

void IpAddressItems::removeExternalLine() {
    while (platform::MenuItem* item = menu_.itemWithTag(TimeMenu::kExternalIPTag)) {
        menu_.removeItem(item);
    }
}

int IpAddressItems::insertInterfaceLines(Family family, int index) {
    QStringList entries =
        getIPAddress(family == Family::IPv4 ? QStringLiteral("IPV4") : QStringLiteral("IPV6"));
    if (entries.size() > kMaxLinesPerFamily) {
        entries.resize(kMaxLinesPerFamily);
    }
    const int existing = menu_.indexOfItemWithTag(firstTag(family));
    removeInterfaceLines(family);
    const int start = existing >= 0 ? existing : index;
    int inserted = 0;
    for (const QString& entry : entries) {
        if (!menu_.insertItem(
                makeLine(QStringLiteral("Local %1").arg(entry), firstTag(family) + inserted),
                start + inserted)) {
            break;
        }
        ++inserted;
    }
    return inserted;
}

void IpAddressItems::removeInterfaceLines(Family family) {
    for (qint64 tag = firstTag(family); menu_.itemWithTag(tag) != nullptr; ++tag) {
        while (platform::MenuItem* item = menu_.itemWithTag(tag)) {
            menu_.removeItem(item);
        }
    }
}

int IpAddressItems::interfaceLineCount(Family family) const {
    int count = 0;
    while (menu_.itemWithTag(firstTag(family) + count) != nullptr) {
        ++count;
    }
    return count;
}

int IpAddressItems::freshIndex(Family family) const {
    if (family == Family::IPv6) {
        const int ipv4 = menu_.indexOfItemWithTag(TimeMenu::kFirstIPv4Tag);
        if (ipv4 >= 0) {
            return ipv4 + interfaceLineCount(Family::IPv4);
        }
    }
    return menu_.indexOfItemWithTag(TimeMenu::kExternalIPTag) + 1;
}

void IpAddressItems::setIPV4AndIPV6IP() {
    if (settings_.showIPV4IP) {
        insertInterfaceLines(Family::IPv4, freshIndex(Family::IPv4));
    }
    if (settings_.showIPV6IP) {
        insertInterfaceLines(Family::IPv6, freshIndex(Family::IPv6));
    }
    if (linesChanged_) {
        linesChanged_();
    }
}

void IpAddressItems::stopObservingNetwork() {
    center_.reset();
    pendingFetch_.cancel();
}

void IpAddressItems::getIPBGThread() {
    const quint64 fetch = ++latestFetch_;
    const QString configured = PreferenceDomain::readText(kIPEchoURLKey, QString());
    const std::optional<QUrl> url = ipEchoURL(configured);
    echoAddressUnusable_ = !url;
    if (!url) {
        const bool unset = configured.trimmed().isEmpty();
        if (!loggedNoEchoURL_) {
            loggedNoEchoURL_ = true;
            platform::log(
                unset ? QStringLiteral("No IP-echo address set (preference %1): the "
                                       "external IP address is not fetched")
                            .arg(kIPEchoURLKey)
                      : QStringLiteral("The IP-echo address \"%1\" is not valid").arg(configured));
        }
        fetchEnded(fetch, std::nullopt,
                   QString::fromLatin1(unset ? kNoEchoURLTitle : kBadEchoURLTitle));
        return;
    }
    if (url->scheme().compare(QStringLiteral("http"), Qt::CaseInsensitive) == 0 &&
        !loggedPlainHttp_) {
        loggedPlainHttp_ = true;
        platform::log(QStringLiteral("The IP-echo address %1 is not encrypted: anyone on the way "
                                     "can change its answer (an https address is safer)")
                          .arg(url->toString()));
    }
    // One fetch at a time: a page that never finishes must not pile up connections.
    if (current_ != nullptr) {
        current_->abort();
    }
    QNetworkRequest request(*url);
    request.setTransferTimeout(requestTimeoutMs_);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(3);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    // An address needs no compression, and Qt inflates a compressed reply, however large,
    // before the reading below sees any of it.
    request.setRawHeader("Accept-Encoding", "identity");
    if (network_ == nullptr) {
        // Made at the first fetch: a network manager reads the proxy settings and loads the
        // network libraries, which a start without the address lines never needs.
        network_ = new QNetworkAccessManager(this);
    }
    QNetworkReply* reply = network_->post(request, QByteArray());
    current_ = reply;
    // Read as it streams: Qt would otherwise take whatever the page sends, as fast as it
    // sends it.
    ReplyCap body(*reply, kMaxReplyBytes);
    // The transfer timeout restarts with every byte: a page sending one now and then would
    // hold the fetch open for ever.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, [reply] {
        reply->setProperty(kOutOfTime, true);
        reply->abort();
    });
    deadline->start(requestTimeoutMs_);
    connect(reply, &QNetworkReply::finished, this, [this, reply, fetch, body]() mutable {
        replyFinished(reply, fetch, body.take(*reply));
    });
}

void IpAddressItems::replyFinished(QNetworkReply* reply, quint64 fetch,
                                   const std::optional<QByteArray>& body) {
    reply->deleteLater();
    if (current_ == reply) {
        current_ = nullptr;
    }
    if (fetch != latestFetch_) {
        return;
    }
    if (!body) {
        fetchEnded(fetch, std::nullopt, kNotAnAddressText);
        return;
    }
    if (reply->property(kOutOfTime).toBool()) {
        fetchEnded(fetch, std::nullopt, kTimedOutText);
        return;
    }
    // The page's own words (its reason phrase, its body) never reach the menu: a status code
    // is all a user needs to tell the page is failing.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        fetchEnded(fetch, std::nullopt,
                   QStringLiteral("The IP-echo page failed (HTTP status %1)").arg(status.toInt()));
        return;
    }
    switch (reply->error()) {
        case QNetworkReply::NoError:
            break;
        // Only the transfer timeout cancels our requests while we live.
        case QNetworkReply::OperationCanceledError:
        case QNetworkReply::TimeoutError:
            fetchEnded(fetch, std::nullopt, kTimedOutText);
            return;
        default:
            // Qt's own words about the connection; capped all the same.
            fetchEnded(fetch, std::nullopt, capped(reply->errorString()));
            return;
    }
    const std::optional<QString> address = addressFromEchoReply(*body);
    if (!address) {
        fetchEnded(fetch, std::nullopt, kNotAnAddressText);
        return;
    }
    platform::log(QStringLiteral("External ip: %1").arg(*address));
    fetchEnded(fetch, address, QStringLiteral("External IP: %1").arg(*address));
}

void IpAddressItems::fetchEnded(quint64 fetch, std::optional<QString> address,
                                const QString& title) {
    if (fetch != latestFetch_) {
        return;
    }
    externalIP_ = std::move(address);
    tempIP_ = title;
    updateIPMenuWithTitle();
}

void IpAddressItems::updateIPMenuWithTitle() {
    if (platform::MenuItem* item = menu_.itemWithTag(TimeMenu::kExternalIPTag)) {
        item->setTitle(tempIP_);
    }
}

void IpAddressItems::NetworkChanged(const platform::Notification& notification) {
    QString userInfo;
    QString object;
    QDebug(&userInfo).noquote().nospace() << notification.userInfo;
    QDebug(&object).noquote().nospace() << notification.object;
    platform::log(QStringLiteral("NetworkChanged: %1 userInfo=%2 self=%3 obj=%4")
                      .arg(notification.name, userInfo,
                           QString::asprintf("%p", static_cast<const void*>(this)), object));
    if (settings_.showIP) {
        getIP();
    }
    setIPV4AndIPV6IP();
}

void IpAddressItems::getIP() {
    hasNetwork_ = true;
    // Re-arming drops the fetch still waiting: the network settles before we ask.
    pendingFetch_ = platform::Scheduler::shared().scheduleAfter(1.0, [this] { getIPBGThread(); });
}

void IpAddressItems::copyIPtoClipboard(platform::MenuItem& sender) {
    if (sender.tag() == TimeMenu::kExternalIPTag && echoAddressUnusable_ &&
        openEchoAddressSetting_) {
        openEchoAddressSetting_();
        return;
    }
    std::optional<QString> address;
    const QStringList parts = sender.title().split(QStringLiteral("):"));
    // The external line's title may be an error text: only a fetched address is copied.
    if (sender.tag() != TimeMenu::kExternalIPTag && parts.size() > 1) {
        address = parts.at(1).trimmed();
    } else if (externalIP_) {
        address = externalIP_->trimmed();
    }
    if (!address || address->isEmpty()) {
        platform::log(QStringLiteral("No IP address to copy from \"%1\"").arg(sender.title()));
        return;
    }
    platform::Pasteboard::generalPasteboard().setString(*address);
}

void IpAddressItems::UpdateIP() {
    removeExternalLine();
    if (settings_.showIP) {
        insertExternalLine(0);
    }
}

std::optional<QString> IpAddressItems::getExternalIP() const {
    const platform::MenuItem* item = menu_.itemWithTag(TimeMenu::kExternalIPTag);
    if (item == nullptr) {
        return std::nullopt;
    }
    // After the first colon only: an IPv6 address has colons of its own.
    const QString& title = item->title();
    const qsizetype colon = title.indexOf(QLatin1Char(':'));
    return (colon < 0 ? title : title.mid(colon + 1)).trimmed();
}

void IpAddressItems::startObservingNetwork(
    std::unique_ptr<platform::InterfaceChangeSource> source) {
    if (center_) {
        return;
    }
    center_ = std::make_unique<IXSCNotificationCenter>(kIXSCShellPattern, std::move(source));
    center_->addObserver(
        this, [this](const platform::Notification& note) { NetworkChanged(note); }, QString());
}

}  // namespace talvor
