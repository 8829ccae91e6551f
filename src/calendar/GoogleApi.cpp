#include "GoogleApi.h"

#include "platform/Clock.h"
#include "platform/Log.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace talvor {

namespace {

qint64 nowUnix() {
    return static_cast<qint64>(platform::Clock::shared().now().timeIntervalSince1970());
}

QByteArray formField(const char* key, const QString& value) {
    return QByteArray(key) + '=' + QUrl::toPercentEncoding(value);
}

}  // namespace

GoogleApi::GoogleApi(QNetworkAccessManager& network, GoogleEndpoints endpoints,
                     GoogleClientCredentials credentials, GoogleAuthorization authorization,
                     Changed changed, Revoked revoked)
    : network_(network),
      endpoints_(std::move(endpoints)),
      credentials_(std::move(credentials)),
      authorization_(std::move(authorization)),
      changed_(std::move(changed)),
      revoked_(std::move(revoked)) {}

GoogleApi::~GoogleApi() {
    for (const auto& [reply, call] : inFlight_) {
        stop(reply);
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
    std::map<QNetworkReply*, Call> calls = std::move(inFlight_);
    inFlight_.clear();
    auto waiting = std::move(waitingForRefresh_);
    waitingForRefresh_.clear();
    for (const auto& [reply, call] : calls) {
        stop(reply);
    }
    stop(refreshReply_);
    for (auto& [reply, call] : calls) {
        call.callback(GoogleReply{0, {}, message});
    }
    for (auto& resume : waiting) {
        resume(message);
    }
}

void GoogleApi::get(const QByteArray& path, Callback callback) {
    send({"GET", path, {}, std::move(callback)}, false);
}

void GoogleApi::post(const QByteArray& path, const QJsonObject& body, Callback callback) {
    send({"POST", path, QJsonDocument(body).toJson(QJsonDocument::Compact), std::move(callback)},
         false);
}

void GoogleApi::patch(const QByteArray& path, const QJsonObject& body, Callback callback) {
    send({"PATCH", path, QJsonDocument(body).toJson(QJsonDocument::Compact), std::move(callback)},
         false);
}

void GoogleApi::deleteResource(const QByteArray& path, Callback callback) {
    send({"DELETE", path, {}, std::move(callback)}, false);
}

void GoogleApi::send(Call call, bool afterRefresh) {
    if (!afterRefresh && authorization_.needsRefresh(nowUnix())) {
        refreshThen([this, call = std::move(call)](const QString& error) mutable {
            if (!error.isEmpty()) {
                call.callback(GoogleReply{0, {}, error});
                return;
            }
            send(std::move(call), true);
        });
        return;
    }
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
    call.afterRefresh = afterRefresh;
    inFlight_.emplace(reply, std::move(call));
    QObject::connect(reply, &QNetworkReply::finished, &context_, [this, reply] {
        reply->deleteLater();
        auto node = inFlight_.extract(reply);
        if (node.empty()) {
            return;
        }
        Call done = std::move(node.mapped());
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        if (status == 401 && !done.afterRefresh) {
            refreshThen([this, call = std::move(done)](const QString& error) mutable {
                if (!error.isEmpty()) {
                    call.callback(GoogleReply{401, {}, error});
                    return;
                }
                send(std::move(call), true);
            });
            return;
        }
        GoogleReply out;
        out.status = status;
        if (status < 200 || status >= 300) {
            out.message = googleFailureMessage(status, body, reply->errorString());
        } else if (!body.trimmed().isEmpty()) {
            QJsonParseError error{};
            out.json = QJsonDocument::fromJson(body, &error);
            if (error.error != QJsonParseError::NoError || !out.json.isObject()) {
                out.json = QJsonDocument();
                out.message = googleFailureMessage(status, body, QString());
            }
        }
        done.callback(out);
    });
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
    QObject::connect(reply, &QNetworkReply::finished, &context_, [this, reply] {
        reply->deleteLater();
        refreshReply_ = nullptr;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        std::optional<GoogleAuthorization> fresh;
        if (status == 200 && doc.isObject()) {
            fresh =
                GoogleAuthorization::fromTokenResponse(doc.object(), nowUnix(), &authorization_);
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
            error = googleFailureMessage(status, body, reply->errorString());
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
