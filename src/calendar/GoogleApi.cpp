#include "GoogleApi.h"

#include "CappedFetch.h"
#include "platform/Clock.h"
#include "platform/Log.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>
#include <cmath>

namespace talvor {

namespace {

double seconds(std::chrono::milliseconds wait) {
    return std::chrono::duration<double>(wait).count();
}

qint64 nowUnix() {
    return static_cast<qint64>(platform::Clock::shared().now().timeIntervalSince1970());
}

QByteArray formField(const char* key, const QString& value) {
    return QByteArray(key) + '=' + QUrl::toPercentEncoding(value);
}

}  // namespace

QString GoogleApi::tooLargeMessage(qint64 maxBytes) {
    return QStringLiteral("Google sent an answer larger than %1 bytes; it was not read")
        .arg(maxBytes);
}

std::optional<std::chrono::milliseconds> googleRetryAfter(const QByteArray& header,
                                                          const QDateTime& now) {
    const QByteArray text = header.trimmed();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    bool isNumber = false;
    const qint64 seconds = text.toLongLong(&isNumber);
    if (isNumber) {
        if (seconds < 0) {
            return std::nullopt;
        }
        constexpr qint64 kYear = 366LL * 24 * 3600;  // far beyond any cap, and no overflow
        return std::chrono::seconds(std::min(seconds, kYear));
    }
    // "Sun, 06 Nov 1994 08:49:37 GMT": Qt's RFC 2822 reading takes numeric zones only.
    QString date = QString::fromLatin1(text);
    if (date.endsWith(QLatin1String(" GMT"))) {
        date.chop(4);
        date += QLatin1String(" +0000");
    }
    const QDateTime at = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!at.isValid()) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(std::max<qint64>(0, now.msecsTo(at)));
}

std::optional<std::chrono::milliseconds> googleRetryDelay(
    const GoogleLimits& limits, int retriesSoFar,
    const std::optional<std::chrono::milliseconds>& retryAfter,
    std::chrono::milliseconds timeLeft) {
    if (retriesSoFar >= limits.maxRetries) {
        return std::nullopt;
    }
    std::chrono::milliseconds wait = limits.maxRetryDelay;
    if (retryAfter) {
        if (*retryAfter > limits.maxRetryDelay) {
            return std::nullopt;  // sooner than asked would only be refused again
        }
        wait = *retryAfter;
    } else if (retriesSoFar < 20) {
        wait = std::min<std::chrono::milliseconds>(limits.firstRetryDelay * (1LL << retriesSoFar),
                                                   limits.maxRetryDelay);
    }
    if (wait >= timeLeft) {
        return std::nullopt;
    }
    return wait;
}

Date googleDeadline(const platform::Scheduler& scheduler, const GoogleLimits& limits) {
    return scheduler.clock().now().addingTimeInterval(
        std::chrono::duration<double>(limits.syncDeadline).count());
}

std::optional<QString> GooglePaging::advance(const QString& next) {
    if (!seen_.insert(next).second) {
        return QStringLiteral("Google sent the same page of a list twice; Talvor stopped there");
    }
    if (pages_ >= maxPages_) {
        return QStringLiteral("Google's list runs past %1 pages; Talvor stopped there")
            .arg(maxPages_);
    }
    ++pages_;
    token_ = next;
    return std::nullopt;
}

GoogleApi::GoogleApi(QNetworkAccessManager& network, platform::Scheduler& scheduler,
                     GoogleEndpoints endpoints, GoogleClientCredentials credentials,
                     GoogleAuthorization authorization, Changed changed, Revoked revoked,
                     GoogleLimits limits)
    : network_(network),
      scheduler_(scheduler),
      endpoints_(std::move(endpoints)),
      credentials_(std::move(credentials)),
      authorization_(std::move(authorization)),
      changed_(std::move(changed)),
      revoked_(std::move(revoked)),
      limits_(limits) {}

GoogleApi::~GoogleApi() {
    for (const auto& [id, call] : calls_) {
        stop(call.reply);
    }
    stop(refreshReply_);
}

void GoogleApi::stop(QNetworkReply* reply) {
    if (reply) {
        reply->disconnect(&context_);
        reply->abort();
        reply->deleteLater();
    }
}

void GoogleApi::abandon(const QString& message) {
    std::map<std::uint64_t, Call> calls = std::move(calls_);
    calls_.clear();
    waitingForRefresh_.clear();  // they belong to the calls
    for (const auto& [id, call] : calls) {
        stop(call.reply);
    }
    stop(refreshReply_);
    refreshDeadline_.cancel();
    for (auto& [id, call] : calls) {
        call.callback(GoogleReply{0, {}, message});
    }
}

void GoogleApi::get(const QByteArray& path, Callback callback, std::optional<Date> deadline) {
    start("GET", path, {}, std::move(callback), deadline);
}

void GoogleApi::post(const QByteArray& path, const QJsonObject& body, Callback callback) {
    start("POST", path, QJsonDocument(body).toJson(QJsonDocument::Compact), std::move(callback),
          std::nullopt);
}

void GoogleApi::patch(const QByteArray& path, const QJsonObject& body, Callback callback) {
    start("PATCH", path, QJsonDocument(body).toJson(QJsonDocument::Compact), std::move(callback),
          std::nullopt);
}

void GoogleApi::deleteResource(const QByteArray& path, Callback callback) {
    start("DELETE", path, {}, std::move(callback), std::nullopt);
}

void GoogleApi::start(const QByteArray& verb, const QByteArray& path, const QByteArray& body,
                      Callback callback, std::optional<Date> deadline) {
    const std::uint64_t id = nextCall_++;
    Call call;
    call.verb = verb;
    call.path = path;
    call.body = body;
    call.callback = std::move(callback);
    call.deadline = deadline.value_or(googleDeadline(scheduler_, limits_));
    call.timer = scheduler_.scheduleAt(call.deadline, [this, id] {
        finish(id, GoogleReply{0, {}, kTooSlowMessage});
    });
    calls_.emplace(id, std::move(call));
    send(id);
}

void GoogleApi::send(std::uint64_t id) {
    const auto it = calls_.find(id);
    if (it == calls_.end()) {
        return;
    }
    if (!it->second.refreshed && authorization_.needsRefresh(nowUnix())) {
        refreshAndSend(id, 0);
        return;
    }
    transmit(id);
}

void GoogleApi::refreshAndSend(std::uint64_t id, int statusIfRefused) {
    calls_.at(id).refreshed = true;
    refreshThen([this, id, statusIfRefused](const QString& error) {
        if (!error.isEmpty()) {
            finish(id, GoogleReply{statusIfRefused, {}, error});
            return;
        }
        transmit(id);
    });
}

void GoogleApi::transmit(std::uint64_t id) {
    const auto it = calls_.find(id);
    if (it == calls_.end()) {
        return;  // ended while it waited
    }
    Call& call = it->second;
    QUrl url = endpoints_.apiBase;
    url = QUrl::fromEncoded(url.toEncoded() + call.path, QUrl::StrictMode);
    QNetworkRequest request(url);
    request.setTransferTimeout(kGoogleTransferTimeoutMs);
    request.setRawHeader("Authorization", "Bearer " + authorization_.accessToken.toLatin1());
    request.setRawHeader("Accept", "application/json");
    if (!call.body.isEmpty()) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    }
    QNetworkReply* reply = network_.sendCustomRequest(request, call.verb, call.body);
    call.reply = reply;
    ReplyCap cap(*reply, limits_.maxReplyBytes);
    QObject::connect(reply, &QNetworkReply::finished, &context_,
                     [this, id, reply, cap]() mutable { answered(id, *reply, cap.take(*reply)); });
}

void GoogleApi::answered(std::uint64_t id, QNetworkReply& reply,
                         const std::optional<QByteArray>& received) {
    reply.deleteLater();
    const auto it = calls_.find(id);
    if (it == calls_.end()) {
        return;
    }
    Call& call = it->second;
    call.reply = nullptr;
    if (!received) {
        finish(id, GoogleReply{0, {}, tooLargeMessage(limits_.maxReplyBytes)});
        return;
    }
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray& body = *received;
    if (status == 401 && !call.refreshed) {
        refreshAndSend(id, 401);
        return;
    }
    if (const std::optional<std::chrono::milliseconds> wait = retryWait(call, reply, status)) {
        ++call.retries;
        platform::debugLog(QStringLiteral("Google: status %1, sent again in %2 ms")
                               .arg(status)
                               .arg(wait->count()));
        call.retry = scheduler_.scheduleAfter(seconds(*wait), [this, id] { send(id); });
        return;
    }
    GoogleReply out;
    out.status = status;
    if (status < 200 || status >= 300) {
        out.message = googleFailureMessage(status, body, reply.errorString());
    } else if (!body.trimmed().isEmpty()) {
        QJsonParseError error{};
        out.json = QJsonDocument::fromJson(body, &error);
        if (error.error != QJsonParseError::NoError || !out.json.isObject()) {
            out.json = QJsonDocument();
            out.message = googleFailureMessage(status, body, QString());
        }
    }
    finish(id, out);
}

std::optional<std::chrono::milliseconds> GoogleApi::retryWait(const Call& call,
                                                              const QNetworkReply& reply,
                                                              int status) const {
    // A 429 was not carried out; a POST that failed otherwise may have been, and sent again
    // would make a second event.
    const bool refused = status == 429;
    const bool failed = status >= 500 && status < 600 && call.verb != "POST";
    if (!refused && !failed) {
        return std::nullopt;
    }
    const Date now = scheduler_.clock().now();
    const auto timeLeft = std::chrono::milliseconds(
        static_cast<std::int64_t>(std::floor(call.deadline.timeIntervalSince(now) * 1000.0)));
    return googleRetryDelay(limits_, call.retries,
                            googleRetryAfter(reply.rawHeader("Retry-After"),
                                             platform::Clock::shared().now().toQDateTime()),
                            timeLeft);
}

void GoogleApi::finish(std::uint64_t id, const GoogleReply& reply) {
    auto node = calls_.extract(id);
    if (node.empty()) {
        return;
    }
    Call& call = node.mapped();
    stop(call.reply);
    call.timer.cancel();
    call.retry.cancel();
    call.callback(reply);
}

void GoogleApi::refreshThen(std::function<void(const QString& error)> next) {
    waitingForRefresh_.push_back(std::move(next));
    if (waitingForRefresh_.size() > 1) {
        return;  // one refresh serves every call waiting for it
    }
    QNetworkRequest request(endpoints_.token);
    request.setTransferTimeout(kGoogleTransferTimeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    const QByteArray form = formField("client_id", credentials_.clientId) + '&' +
                            formField("client_secret", credentials_.clientSecret) + '&' +
                            formField("refresh_token", authorization_.refreshToken) + '&' +
                            formField("grant_type", QStringLiteral("refresh_token"));
    QNetworkReply* reply = network_.post(request, form);
    refreshReply_ = reply;
    ReplyCap cap(*reply, limits_.maxReplyBytes);
    // Every call waiting for it waits on a renewal that drips: it has a sync's time, no more.
    auto late = std::make_shared<bool>(false);
    refreshDeadline_ = scheduler_.scheduleAt(googleDeadline(scheduler_, limits_),
                                             [reply = QPointer<QNetworkReply>(reply), late] {
                                                 if (reply) {
                                                     *late = true;
                                                     reply->abort();
                                                 }
                                             });
    QObject::connect(
        reply, &QNetworkReply::finished, &context_, [this, reply, cap, late]() mutable {
            reply->deleteLater();
            refreshReply_ = nullptr;
            refreshDeadline_.cancel();
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const std::optional<QByteArray> received = cap.take(*reply);
            const QByteArray body = received.value_or(QByteArray());
            const QJsonDocument doc = QJsonDocument::fromJson(body);
            std::optional<GoogleAuthorization> fresh;
            if (status == 200 && doc.isObject()) {
                fresh = GoogleAuthorization::fromTokenResponse(doc.object(), nowUnix(),
                                                               &authorization_);
            }
            QString error;
            if (fresh) {
                authorization_ = *fresh;
                if (changed_) {
                    changed_(authorization_);
                }
            } else if ((status == 400 || status == 401) &&
                       doc.object().value(QStringLiteral("error")).toString() ==
                           QLatin1String("invalid_grant")) {
                error = kRevokedMessage;
                platform::log(QStringLiteral("Google: the sign-in was refused; it is forgotten"));
            } else {
                error = *late       ? kTooSlowMessage
                        : !received ? tooLargeMessage(limits_.maxReplyBytes)
                                    : googleFailureMessage(status, body, reply->errorString());
                platform::log(
                    QStringLiteral("Google: the sign-in could not be renewed: %1").arg(error));
            }
            auto waiting = std::move(waitingForRefresh_);
            waitingForRefresh_.clear();
            if (error == kRevokedMessage && revoked_) {
                revoked_();  // may retire this object, which stays alive until the loop turns
            }
            for (auto& resume : waiting) {
                resume(error);
            }
        });
}

}  // namespace talvor
