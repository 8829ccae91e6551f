#include "GoogleAuth.h"

#include "GoogleBuiltInClient.h"

#include "platform/BrowserOpener.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QUrlQuery>

namespace talvor {

namespace {

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QByteArray randomBytes(int count) {
    QByteArray bytes(count, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), count / 4);
    return bytes;
}

// application/x-www-form-urlencoded, every reserved character escaped (codes hold "/").
QByteArray formEncoded(const std::vector<std::pair<QString, QString>>& fields) {
    QByteArray out;
    for (const auto& [key, value] : fields) {
        if (!out.isEmpty()) {
            out += '&';
        }
        out += QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
    }
    return out;
}

qint64 nowUnix() {
    return static_cast<qint64>(platform::Clock::shared().now().timeIntervalSince1970());
}

}  // namespace

GoogleEndpoints GoogleEndpoints::google() {
    return {QUrl(QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth")),
            QUrl(QStringLiteral("https://oauth2.googleapis.com/token")),
            QUrl(QStringLiteral("https://www.googleapis.com"))};
}

GoogleEndpoints GoogleEndpoints::under(const QUrl& base) {
    GoogleEndpoints e;
    e.authorization = base.resolved(QUrl(QStringLiteral("/o/oauth2/v2/auth")));
    e.token = base.resolved(QUrl(QStringLiteral("/token")));
    e.apiBase = base;
    return e;
}

GoogleClientCredentials GoogleClientCredentials::environment() {
    return {qEnvironmentVariable("TALVOR_GOOGLE_CLIENT_ID"),
            qEnvironmentVariable("TALVOR_GOOGLE_CLIENT_SECRET")};
}

GoogleClientCredentials GoogleClientCredentials::builtIn() {
    return {QString::fromUtf8(kBuiltInGoogleClientId),
            QString::fromUtf8(kBuiltInGoogleClientSecret)};
}

GoogleClientCredentials GoogleClientCredentials::fromEnvironment(
    const platform::UserDefaults& defaults, const GoogleClientCredentials& builtIn) {
    GoogleClientCredentials c = environment();
    const GoogleClientCredentials entered{defaults.stringForKey(kIdKey),
                                          defaults.stringForKey(kSecretKey)};
    const bool ownClient = !entered.clientId.isEmpty() || !entered.clientSecret.isEmpty();
    const GoogleClientCredentials& fallback = ownClient ? entered : builtIn;
    if (c.clientId.isEmpty()) {
        c.clientId = fallback.clientId;
    }
    if (c.clientSecret.isEmpty()) {
        c.clientSecret = fallback.clientSecret;
    }
    return c;
}

QString GoogleClientCredentials::missingMessage() {
    return QStringLiteral(
        "No Google client is set up: enter the client ID and secret of your Google desktop "
        "client in the Google tab of Settings, Minnow (or give them in TALVOR_GOOGLE_CLIENT_ID "
        "and TALVOR_GOOGLE_CLIENT_SECRET)");
}

bool GoogleAuthorization::needsRefresh(qint64 now) const {
    return accessToken.isEmpty() || now + 60 >= expiresAtUnix;
}

QByteArray GoogleAuthorization::toJson() const {
    QJsonObject o;
    o.insert(QStringLiteral("access_token"), accessToken);
    o.insert(QStringLiteral("refresh_token"), refreshToken);
    o.insert(QStringLiteral("email"), email);
    o.insert(QStringLiteral("scope"), scope);
    o.insert(QStringLiteral("expiry"), expiresAtUnix);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<GoogleAuthorization> GoogleAuthorization::fromJson(const QByteArray& json) {
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isObject()) {
        return std::nullopt;
    }
    const QJsonObject o = doc.object();
    GoogleAuthorization a;
    a.accessToken = o.value(QStringLiteral("access_token")).toString();
    a.refreshToken = o.value(QStringLiteral("refresh_token")).toString();
    a.email = o.value(QStringLiteral("email")).toString();
    a.scope = o.value(QStringLiteral("scope")).toString();
    a.expiresAtUnix = o.value(QStringLiteral("expiry")).toInteger();
    if (!a.canAuthorize()) {
        return std::nullopt;
    }
    return a;
}

std::optional<GoogleAuthorization> GoogleAuthorization::fromTokenResponse(
    const QJsonObject& answer, qint64 now, const GoogleAuthorization* previous) {
    GoogleAuthorization a = previous ? *previous : GoogleAuthorization{};
    a.accessToken = answer.value(QStringLiteral("access_token")).toString();
    if (a.accessToken.isEmpty()) {
        return std::nullopt;
    }
    const qint64 lifetime = answer.value(QStringLiteral("expires_in")).toInteger(3600);
    a.expiresAtUnix = now + lifetime;
    if (const QString refresh = answer.value(QStringLiteral("refresh_token")).toString();
        !refresh.isEmpty()) {
        a.refreshToken = refresh;
    }
    if (const QString scope = answer.value(QStringLiteral("scope")).toString(); !scope.isEmpty()) {
        a.scope = scope;
    }
    if (const QString email = emailFromIdToken(answer.value(QStringLiteral("id_token")).toString());
        !email.isEmpty()) {
        a.email = email;
    }
    return a;
}

QString GoogleAuthorization::emailFromIdToken(const QString& idToken) {
    const QStringList parts = idToken.split(QLatin1Char('.'));
    if (parts.size() != 3) {
        return {};
    }
    const QByteArray payload =
        QByteArray::fromBase64(parts[1].toLatin1(), QByteArray::Base64UrlEncoding);
    return QJsonDocument::fromJson(payload).object().value(QStringLiteral("email")).toString();
}

QByteArray GooglePkce::newVerifier() {
    return randomBytes(32).toBase64(kBase64Url);
}

QByteArray GooglePkce::challengeFor(const QByteArray& verifier) {
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(kBase64Url);
}

QByteArray GooglePkce::newState() {
    return randomBytes(16).toBase64(kBase64Url);
}

QString googleFailureMessage(int status, const QByteArray& body, const QString& networkError) {
    if (status == 0) {
        return QStringLiteral("Google could not be reached: %1")
            .arg(networkError.isEmpty() ? QStringLiteral("no answer") : networkError);
    }
    if (status >= 200 && status < 300) {
        return QStringLiteral("Google sent an answer Talvor cannot read (status %1)").arg(status);
    }
    const QJsonObject o = QJsonDocument::fromJson(body).object();
    QString detail;
    if (const QJsonValue e = o.value(QStringLiteral("error")); e.isObject()) {
        detail = e.toObject().value(QStringLiteral("message")).toString();
    } else if (e.isString()) {
        // The token endpoint: {"error": "invalid_grant", "error_description": "..."}
        detail = e.toString();
        const QString more = o.value(QStringLiteral("error_description")).toString();
        if (!more.isEmpty()) {
            detail += QStringLiteral(" (") + more + QLatin1Char(')');
        }
    }
    if (detail.isEmpty()) {
        return QStringLiteral("Google answered with an error (status %1)").arg(status);
    }
    return QStringLiteral("Google answered with an error (status %1): %2").arg(status).arg(detail);
}

GoogleSignIn::GoogleSignIn(QNetworkAccessManager& network, platform::Scheduler& scheduler,
                           platform::BrowserOpener& browser, GoogleEndpoints endpoints,
                           GoogleClientCredentials credentials, std::chrono::milliseconds timeout)
    : network_(network),
      scheduler_(scheduler),
      browser_(browser),
      endpoints_(std::move(endpoints)),
      credentials_(std::move(credentials)),
      timeout_(timeout) {}

GoogleSignIn::~GoogleSignIn() {
    cancel();
}

void GoogleSignIn::cancel() {
    running_ = false;
    completion_ = nullptr;
    timer_.cancel();
    listener_.stop();
    if (reply_) {
        reply_->disconnect(&context_);
        reply_->abort();
        reply_->deleteLater();
    }
}

void GoogleSignIn::start(Completion completion) {
    cancel();
    completion_ = std::move(completion);
    running_ = true;
    if (!credentials_.isComplete()) {
        finish(std::nullopt, GoogleClientCredentials::missingMessage());
        return;
    }
    QString error;
    if (!listener_.start([this](const QUrlQuery& q) { return onRedirect(q); }, &error)) {
        platform::log(QStringLiteral("Unexpected error starting redirect handler %1").arg(error));
        finish(std::nullopt, error);
        return;
    }
    redirectUri_ = listener_.redirectUri();
    verifier_ = GooglePkce::newVerifier();
    state_ = GooglePkce::newState();
    QUrl url = endpoints_.authorization;
    url.setQuery(QString::fromLatin1(formEncoded({
                     {QStringLiteral("client_id"), credentials_.clientId},
                     {QStringLiteral("redirect_uri"), redirectUri_.toString()},
                     {QStringLiteral("response_type"), QStringLiteral("code")},
                     {QStringLiteral("scope"),
                      QStringLiteral("https://www.googleapis.com/auth/calendar email")},
                     {QStringLiteral("state"), QString::fromLatin1(state_)},
                     {QStringLiteral("code_challenge"),
                      QString::fromLatin1(GooglePkce::challengeFor(verifier_))},
                     {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
                     // A refresh token, so that the sign-in lasts.
                     {QStringLiteral("access_type"), QStringLiteral("offline")},
                 })),
                 QUrl::StrictMode);
    timer_ = scheduler_.scheduleAfter(std::chrono::duration<double>(timeout_).count(),
                                      [this] { finish(std::nullopt, kTimeOutMessage); });
    if (!browser_.openInBrowser(url)) {
        finish(std::nullopt,
               QStringLiteral("The browser could not be opened for the Google sign-in"));
    }
}

platform::LoopbackRedirectListener::Page GoogleSignIn::onRedirect(const QUrlQuery& query) {
    const QString state = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    const QString code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
    const QString error = query.queryItemValue(QStringLiteral("error"), QUrl::FullyDecoded);
    if (state.isEmpty() || state.toLatin1() != state_) {
        finish(std::nullopt, QStringLiteral("The answer to the Google sign-in did not belong to "
                                            "it and was refused; please sign in again"));
        return {QStringLiteral("Sign-in refused"),
                QStringLiteral("This answer does not belong to the sign-in Talvor started.")};
    }
    if (!error.isEmpty() || code.isEmpty()) {
        const QString why = error.isEmpty() ? QStringLiteral("no code") : error;
        platform::log(QStringLiteral("Error = Google sign-in: %1").arg(why));
        finish(std::nullopt, QStringLiteral("Google did not sign you in (%1)").arg(why));
        return {QStringLiteral("Not signed in"),
                QStringLiteral("Google did not sign you in. You can close this window.")};
    }
    listener_.stop();  // one code per sign-in
    exchange(code);
    return {QStringLiteral("Signed in"),
            QStringLiteral("Talvor has the sign-in. You can close this window.")};
}

void GoogleSignIn::exchange(const QString& code) {
    QNetworkRequest request(endpoints_.token);
    request.setTransferTimeout(kGoogleTransferTimeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    reply_ = network_.post(
        request, formEncoded({{QStringLiteral("code"), code},
                              {QStringLiteral("client_id"), credentials_.clientId},
                              {QStringLiteral("client_secret"), credentials_.clientSecret},
                              {QStringLiteral("redirect_uri"), redirectUri_.toString()},
                              {QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                              {QStringLiteral("code_verifier"), QString::fromLatin1(verifier_)}}));
    QNetworkReply* reply = reply_;
    QObject::connect(reply, &QNetworkReply::finished, &context_, [this, reply] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        std::optional<GoogleAuthorization> a;
        if (status == 200 && doc.isObject()) {
            a = GoogleAuthorization::fromTokenResponse(doc.object(), nowUnix(), nullptr);
        }
        if (!a || !a->canAuthorize()) {
            const QString message =
                a ? QStringLiteral(
                        "Google gave no lasting sign-in; remove Talvor under Third-party "
                        "access in your Google account and sign in again")
                  : googleFailureMessage(status, body, reply->errorString());
            platform::log(QStringLiteral("Error = Google sign-in: %1").arg(message));
            finish(std::nullopt, message);
            return;
        }
        finish(std::move(a), QString());
    });
}

void GoogleSignIn::finish(std::optional<GoogleAuthorization> authorization,
                          const QString& message) {
    if (!running_) {
        return;
    }
    Completion completion = std::move(completion_);
    cancel();
    // Last: the completion may destroy this object.
    if (completion) {
        completion(std::move(authorization), message);
    }
}

}  // namespace talvor
