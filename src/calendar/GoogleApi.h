#pragma once

#include "GoogleAuth.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <map>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace talvor {

// The outcome of one call: `message` is empty on success and a readable sentence otherwise.
struct GoogleReply {
    int status = 0;
    QJsonDocument json;  // null for an empty body (a deletion)
    QString message;
    bool ok() const { return message.isEmpty(); }
};

// Calls to Google's REST services on behalf of one signed-in user: each request carries the
// access token, which is refreshed first when it has run out, and once more (then the call
// repeated, once) when the service answers 401. Refreshes are shared by the calls waiting
// for them. Completions run on the main thread; none runs after the object is destroyed.
class GoogleApi {
  public:
    using Callback = std::function<void(const GoogleReply& reply)>;
    // Told of every new token, so that whoever keeps the authorization can keep it current.
    using Changed = std::function<void(const GoogleAuthorization& authorization)>;
    // Told once Google refuses the refresh token itself (the user took the access away, or
    // it ran out): the authorization is worth nothing from then on.
    using Revoked = std::function<void()>;
    static inline const QString kRevokedMessage =
        QStringLiteral("Google no longer accepts Talvor's sign-in; please sign in to Google again");

    GoogleApi(QNetworkAccessManager& network, GoogleEndpoints endpoints,
              GoogleClientCredentials credentials, GoogleAuthorization authorization,
              Changed changed, Revoked revoked = nullptr);
    ~GoogleApi();
    GoogleApi(const GoogleApi&) = delete;
    GoogleApi& operator=(const GoogleApi&) = delete;

    // `path` under the API base, with its query already encoded ("/calendar/v3/...?a=b").
    void get(const QByteArray& path, Callback callback);
    void post(const QByteArray& path, const QJsonObject& body, Callback callback);
    void patch(const QByteArray& path, const QJsonObject& body, Callback callback);
    void deleteResource(const QByteArray& path, Callback callback);

    // Ends every call under way at once, each completion told `message` (the user signed
    // out, the sign-in was replaced). Completions may call into this object again.
    void abandon(const QString& message);

    const GoogleAuthorization& authorization() const { return authorization_; }
    const GoogleEndpoints& endpoints() const { return endpoints_; }

  private:
    struct Call {
        QByteArray verb;
        QByteArray path;
        QByteArray body;
        Callback callback;
        bool afterRefresh = false;
    };
    void send(Call call, bool afterRefresh);
    void refreshThen(std::function<void(const QString& error)> next);
    void stop(QNetworkReply* reply);

    QNetworkAccessManager& network_;
    GoogleEndpoints endpoints_;
    GoogleClientCredentials credentials_;
    GoogleAuthorization authorization_;
    Changed changed_;
    Revoked revoked_;
    std::vector<std::function<void(const QString&)>> waitingForRefresh_;
    std::map<QNetworkReply*, Call> inFlight_;
    QPointer<QNetworkReply> refreshReply_;
    QObject context_;  // last: its connections go first
};

}  // namespace talvor
