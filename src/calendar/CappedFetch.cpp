#include "CappedFetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <utility>

namespace talvor {

ReplyCap::ReplyCap(QNetworkReply& reply, qint64 maxBytes) : state_(std::make_shared<State>()) {
    state_->maxBytes = maxBytes;
    // Qt's HTTP thread reads as fast as the server sends and tells the reply only when it
    // is not still reading, so against a fast server no readyRead comes while an endless
    // body piles up. A read buffer holds that thread back, but the reply passes it on only
    // to a request already started, and starting is queued after this; so it is set again
    // once the start (or a redirect's new start) has run. It reaches that thread through a
    // queued call: a server answering within microseconds can, on a loaded machine, still
    // get its body flowing first, and Qt then reads on until the server stops.
    const auto holdBack = [r = &reply] {
        QMetaObject::invokeMethod(
            r, [r] { r->setReadBufferSize(kReadAheadBytes); }, Qt::QueuedConnection);
    };
    reply.setReadBufferSize(kReadAheadBytes);
    holdBack();
    QObject::connect(&reply, &QNetworkReply::redirected, &reply, holdBack);
    QObject::connect(&reply, &QNetworkReply::metaDataChanged, &reply,
                     [r = &reply, state = state_] { read(*r, *state); });
    QObject::connect(&reply, &QNetworkReply::readyRead, &reply,
                     [r = &reply, state = state_] { read(*r, *state); });
}

void ReplyCap::read(QNetworkReply& reply, State& state) {
    // An aborted reply (a deadline) has nothing more to read.
    if (state.exceeded || !reply.isOpen()) {
        return;
    }
    const QVariant announced = reply.header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() > state.maxBytes) {
        state.exceeded = true;
    } else {
        state.body += reply.read(state.maxBytes + 1 - state.body.size());
        state.exceeded = state.body.size() > state.maxBytes;
    }
    if (state.exceeded) {
        state.body.clear();
        reply.abort();
    }
}

std::optional<QByteArray> ReplyCap::take(QNetworkReply& reply) {
    read(reply, *state_);
    if (state_->exceeded) {
        return std::nullopt;
    }
    return std::exchange(state_->body, QByteArray());
}

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
    ReplyCap capped(*reply, limits.maxBytes);
    const qint64 cap = limits.maxBytes;
    connect(reply, &QNetworkReply::finished, this, [reply, done, capped, cap]() mutable {
        reply->deleteLater();
        Result result;
        std::optional<QByteArray> body = capped.take(*reply);
        if (!body) {
            result.error = QStringLiteral("The answer is larger than %1 bytes").arg(cap);
        } else if (reply->error() != QNetworkReply::NoError) {
            result.error = reply->errorString();
        } else {
            result.data = std::move(body);
        }
        done(result);
    });
}

}  // namespace talvor
