#include "UpdateCheck.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QXmlStreamReader>

namespace talvor {
namespace {

const QString kSparkleNs = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");
constexpr qint64 kMaxFeedBytes = 4 * 1024 * 1024;

}  // namespace

namespace Appcast {

int compareVersions(const QString& a, const QString& b) {
    const QStringList pa = a.split(QLatin1Char('.'));
    const QStringList pb = b.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(pa.size(), pb.size()); ++i) {
        const QString x = i < pa.size() ? pa[i] : QStringLiteral("0");
        const QString y = i < pb.size() ? pb[i] : QStringLiteral("0");
        bool okx = false;
        bool oky = false;
        const qulonglong nx = x.toULongLong(&okx);
        const qulonglong ny = y.toULongLong(&oky);
        if (okx && oky) {
            if (nx != ny) {
                return nx < ny ? -1 : 1;
            }
        } else if (const int c = QString::compare(x, y); c != 0) {
            return c < 0 ? -1 : 1;
        }
    }
    return 0;
}

std::optional<AppcastItem> newest(const QByteArray& xml, QString* error) {
    QXmlStreamReader reader(xml);
    std::optional<AppcastItem> best;
    std::optional<AppcastItem> item;
    bool sawChannel = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const auto name = reader.name();
            if (name == QLatin1String("channel")) {
                sawChannel = true;
            } else if (name == QLatin1String("item")) {
                item.emplace();
            } else if (item && name == QLatin1String("title") && reader.namespaceUri().isEmpty()) {
                item->title = reader.readElementText();
            } else if (item && name == QLatin1String("description")) {
                item->notes = reader.readElementText();
            } else if (item && name == QLatin1String("version") &&
                       reader.namespaceUri() == kSparkleNs) {
                item->version = reader.readElementText().trimmed();
            } else if (item && name == QLatin1String("shortVersionString") &&
                       reader.namespaceUri() == kSparkleNs) {
                item->shortVersion = reader.readElementText().trimmed();
            } else if (item && name == QLatin1String("enclosure")) {
                const QXmlStreamAttributes attrs = reader.attributes();
                item->download = QUrl(attrs.value(QStringLiteral("url")).toString());
                if (item->version.isEmpty()) {
                    item->version = attrs.value(kSparkleNs, QStringLiteral("version")).toString();
                }
                if (item->shortVersion.isEmpty()) {
                    item->shortVersion =
                        attrs.value(kSparkleNs, QStringLiteral("shortVersionString")).toString();
                }
            }
        } else if (reader.isEndElement() && reader.name() == QLatin1String("item") && item) {
            if (item->version.isEmpty()) {
                item->version = item->shortVersion;
            }
            if (item->shortVersion.isEmpty()) {
                item->shortVersion = item->version;
            }
            if (!item->version.isEmpty() &&
                (!best || compareVersions(item->version, best->version) > 0)) {
                best = std::move(item);
            }
            item = std::nullopt;
        }
    }
    const auto fail = [error](const QString& why) -> std::optional<AppcastItem> {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    if (reader.hasError()) {
        return fail(QStringLiteral("the update feed is not valid XML (%1, line %2)")
                        .arg(reader.errorString())
                        .arg(reader.lineNumber()));
    }
    if (!sawChannel || !best) {
        return fail(QStringLiteral("the update feed lists no version"));
    }
    return best;
}

}  // namespace Appcast

std::optional<QUrl> UpdateCheck::configuredFeed() {
    const QUrl url(platform::UserDefaults::standard().stringForKey(QStringLiteral("SUFeedURL")));
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty()) {
        return std::nullopt;
    }
    return url;
}

QString UpdateCheck::noChannelMessage() {
    return tr(
        "No updates channel is set up: update checks are off. They come on when the "
        "setting \"SUFeedURL\" names the https address of an update feed.");
}

UpdateCheck::UpdateCheck(std::optional<QUrl> feed, QString currentVersion, QObject* parent)
    : QObject(parent), feed_(std::move(feed)), current_(std::move(currentVersion)) {}

UpdateCheck::~UpdateCheck() {
    done_ = nullptr;
    if (reply_) {
        reply_->abort();
    }
}

void UpdateCheck::check(std::function<void(const Result&)> done) {
    if (!feed_) {
        done({Outcome::NoChannel, std::nullopt, noChannelMessage()});
        return;
    }
    if (reply_) {
        done_ = nullptr;
        reply_->abort();
    }
    if (network_ == nullptr) {
        network_ = new QNetworkAccessManager(this);
    }
    done_ = std::move(done);
    QNetworkRequest request(*feed_);
    request.setSslConfiguration(ssl_);
    request.setTransferTimeout(static_cast<int>(timeout_.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = network_->get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxFeedBytes) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply); });
}

void UpdateCheck::finish(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != reply_) {
        return;  // replaced by a newer check
    }
    reply_ = nullptr;
    std::function<void(const Result&)> done = std::exchange(done_, nullptr);
    if (!done) {
        return;
    }
    Result result;
    if (reply->error() != QNetworkReply::NoError) {
        const bool timedOut = reply->error() == QNetworkReply::OperationCanceledError ||
                              reply->error() == QNetworkReply::TimeoutError;
        result.outcome = Outcome::Failed;
        result.message =
            timedOut ? tr("The update feed did not answer in time.")
                     : tr("The update feed could not be read: %1").arg(reply->errorString());
        platform::log(QStringLiteral("Update check: ") + result.message);
        done(result);
        return;
    }
    QString error;
    std::optional<AppcastItem> newest = Appcast::newest(reply->read(kMaxFeedBytes), &error);
    if (!newest) {
        result.outcome = Outcome::Failed;
        result.message = tr("The update feed could not be read: %1").arg(error);
        platform::log(QStringLiteral("Update check: ") + error);
    } else if (Appcast::compareVersions(newest->version, current_) > 0) {
        result.outcome = Outcome::NewerVersion;
        result.message =
            tr("Talvor %1 is available (you have %2).").arg(newest->shortVersion, current_);
        result.offer = std::move(newest);
    } else {
        result.outcome = Outcome::UpToDate;
        result.message = tr("Talvor %1 is the newest version.").arg(current_);
    }
    done(result);
}

}  // namespace talvor
