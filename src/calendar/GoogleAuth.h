#pragma once

#include "platform/LoopbackRedirectListener.h"
#include "platform/Scheduler.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace talvor {

namespace platform {
class BrowserOpener;
class UserDefaults;
}  // namespace platform

// Where Google's sign-in and Calendar service answer; tests point all of it at a loopback
// server.
struct GoogleEndpoints {
    QUrl authorization;
    QUrl token;
    // Calendar paths ("/calendar/v3/...") go under it.
    QUrl apiBase;

    static GoogleEndpoints google();
    // The same paths under one base ("http://127.0.0.1:<port>").
    static GoogleEndpoints under(const QUrl& base);
};

// The OAuth client Talvor signs in as. None ships with the program's sources: a user enters
// the id and secret of a desktop client of his own in the calendar pane (the settings
// "GoogleClientID" and "GoogleClientSecret"), a packager can build one in (the CMake cache
// entries TALVOR_GOOGLE_CLIENT_ID and TALVOR_GOOGLE_CLIENT_SECRET), and the environment
// variables of the same names win over both. A desktop client's secret identifies the client
// only (Google says it cannot be kept secret), but it is never written to the log.
struct GoogleClientCredentials {
    QString clientId;
    QString clientSecret;

    static inline const QString kIdKey = QStringLiteral("GoogleClientID");
    static inline const QString kSecretKey = QStringLiteral("GoogleClientSecret");

    bool isComplete() const { return !clientId.isEmpty() && !clientSecret.isEmpty(); }
    // Each field from the environment, else from the client the user entered (taken whole:
    // an id of his own never goes with the built-in secret), else from the built-in one.
    static GoogleClientCredentials fromEnvironment(
        const platform::UserDefaults& defaults,
        const GoogleClientCredentials& builtIn = GoogleClientCredentials::builtIn());
    // What the environment variables give (fields empty where unset).
    static GoogleClientCredentials environment();
    // The client this build was configured with; empty fields when none.
    static GoogleClientCredentials builtIn();
    // What a user is told when isComplete() is false.
    static QString missingMessage();
};

// What a sign-in leaves: kept whole (as JSON) in the keyring.
struct GoogleAuthorization {
    QString accessToken;
    QString refreshToken;
    QString email;
    QString scope;
    qint64 expiresAtUnix = 0;  // of the access token

    // A refresh token can always get a fresh access token.
    bool canAuthorize() const { return !refreshToken.isEmpty(); }
    // Expired, or expiring within a minute.
    bool needsRefresh(qint64 nowUnix) const;

    QByteArray toJson() const;
    static std::optional<GoogleAuthorization> fromJson(const QByteArray& json);
    // From the token endpoint's answer: none without an access token. What the answer leaves
    // out (a refresh answer has no refresh token) is kept from `previous`.
    static std::optional<GoogleAuthorization> fromTokenResponse(
        const QJsonObject& answer, qint64 nowUnix, const GoogleAuthorization* previous);
    // The "email" claim of an ID token; empty when there is none.
    static QString emailFromIdToken(const QString& idToken);

    friend bool operator==(const GoogleAuthorization&, const GoogleAuthorization&) = default;
};

// Proof Key for Code Exchange (S256) and the request's state: random, URL-safe base64 without
// padding.
namespace GooglePkce {
QByteArray newVerifier();  // 32 random bytes: 43 characters
QByteArray challengeFor(const QByteArray& verifier);
QByteArray newState();
}  // namespace GooglePkce

// A request to Google that moves no data for this long fails (a month's load would wait
// for it forever otherwise).
inline constexpr int kGoogleTransferTimeoutMs = 30000;

// A readable sentence for a failed exchange with Google: a network error (status 0), an error
// status with Google's error object, or an answer that is not the JSON promised.
QString googleFailureMessage(int status, const QByteArray& body, const QString& networkError);

// One sign-in in the user's browser (OAuth 2.0 for installed applications, RFC 8252): a
// listener on 127.0.0.1 takes the browser's return, the state must match, the code is
// exchanged with the PKCE verifier. The completion runs exactly once (success, failure or
// time-out, whichever comes first), after which the listener is closed; destroying the
// object, or cancel(), ends it without a completion.
class GoogleSignIn {
  public:
    using Completion =
        std::function<void(std::optional<GoogleAuthorization> authorization, QString message)>;
    static constexpr std::chrono::milliseconds kDefaultTimeout{60000};
    static inline const QString kTimeOutMessage = QStringLiteral("Time Out");

    // The time-out is kept by `scheduler`, which must outlive the object.
    GoogleSignIn(QNetworkAccessManager& network, platform::Scheduler& scheduler,
                 platform::BrowserOpener& browser, GoogleEndpoints endpoints,
                 GoogleClientCredentials credentials,
                 std::chrono::milliseconds timeout = kDefaultTimeout);
    ~GoogleSignIn();
    GoogleSignIn(const GoogleSignIn&) = delete;
    GoogleSignIn& operator=(const GoogleSignIn&) = delete;

    void start(Completion completion);
    void cancel();
    bool isRunning() const { return running_; }
    // The listener's port while it listens (0 otherwise).
    quint16 listenerPort() const { return listener_.port(); }

  private:
    platform::LoopbackRedirectListener::Page onRedirect(const QUrlQuery& query);
    void exchange(const QString& code);
    void finish(std::optional<GoogleAuthorization> authorization, const QString& message);

    QNetworkAccessManager& network_;
    platform::Scheduler& scheduler_;
    platform::BrowserOpener& browser_;
    GoogleEndpoints endpoints_;
    GoogleClientCredentials credentials_;
    std::chrono::milliseconds timeout_;
    platform::LoopbackRedirectListener listener_;
    platform::TimerHandle timer_;
    QPointer<QNetworkReply> reply_;
    QByteArray verifier_;
    QByteArray state_;
    QUrl redirectUri_;
    Completion completion_;
    bool running_ = false;
    QObject context_;  // last: its connections go first
};

}  // namespace talvor
