#include "CappedFetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace talvor {

CappedFetch::CappedFetch(QObject* parent) : QObject(parent) {}

CappedFetch::~CappedFetch() = default;

void CappedFetch::get(const QUrl& url, const Limits& limits, const Done& done) {
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        QTimer::singleShot(0, this, [done, url] {
            done({std::nullopt, QStringLiteral("Not a web address: %1").arg(url.toString())});
        });
        return;
    }
    if (network_ == nullptr) {
        network_ = new QNetworkAccessManager(this);
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(limits.timeout.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = network_->get(request);
    auto tooLarge = std::make_shared<bool>(false);
    const qint64 cap = limits.maxBytes;
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [reply, cap, tooLarge](qint64 received, qint64 total) {
                if (received > cap || total > cap) {
                    *tooLarge = true;
                    reply->abort();
                }
            });
    connect(reply, &QNetworkReply::finished, this, [reply, done, tooLarge, cap] {
        reply->deleteLater();
        Result result;
        if (*tooLarge) {
            result.error = QStringLiteral("The answer is larger than %1 bytes").arg(cap);
        } else if (reply->error() != QNetworkReply::NoError) {
            result.error = reply->errorString();
        } else {
            QByteArray body = reply->readAll();
            if (body.size() > cap) {
                result.error = QStringLiteral("The answer is larger than %1 bytes").arg(cap);
            } else {
                result.data = std::move(body);
            }
        }
        done(result);
    });
}

}  // namespace talvor
