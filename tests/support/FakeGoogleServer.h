#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace talvor::test {

// Google's sign-in and Calendar service as far as Talvor uses them, on 127.0.0.1 in a thread
// of its own: the authorization page (answering at once with a redirect, as a user who
// agrees), the token endpoint with PKCE and refresh, the calendar list, events (with
// singleEvents, time ranges and pages), reading one, inserting, patching and deleting. Every
// request is recorded; faults can be scripted. Set it up before the code under test talks to it.
class FakeGoogleServer {
  public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QString, QString> params;  // query, or the form of a POST
        QByteArray body;
        QByteArray authorization;
    };
    // A scripted answer for the next requests whose path starts with `pathPrefix`.
    struct Fault {
        QByteArray pathPrefix;
        int status = 500;
        QByteArray body;
        QByteArray contentType = "application/json";
        std::vector<std::pair<std::string, std::string>> headers = {};  // ("Retry-After", "0")
        int times = 1;                                                  // the requests it answers
    };
    // How a streamed answer tells where its body ends.
    enum class Framing { ContentLength, Chunked, CloseDelimited };
    // A 200 for the next request under `pathPrefix` whose body of `bytes` bytes (`head`, then
    // blanks) comes in pieces, one every `pause`: a server that drips, or one that sends more
    // than anyone should read. It stops early when the client goes away.
    struct Stream {
        QByteArray pathPrefix;
        Framing framing = Framing::Chunked;
        qint64 bytes = 0;
        QByteArray head = R"({"items":[]})";
        qint64 pieceBytes = 64 << 10;
        std::chrono::milliseconds pause{0};
    };

    static inline const QString kClientId = QStringLiteral("test-client.apps.example");
    static inline const QString kClientSecret = QStringLiteral("test-client-secret-DO-NOT-LOG");
    static inline const QString kEmail = QStringLiteral("someone@example.org");
    // Google's codes start "4/" and hold more slashes.
    static inline const QString kCode = QStringLiteral("4/0AcodeWith/slashes+plus");

    FakeGoogleServer();
    ~FakeGoogleServer();
    FakeGoogleServer(const FakeGoogleServer&) = delete;
    FakeGoogleServer& operator=(const FakeGoogleServer&) = delete;

    QUrl base() const;

    // A calendar-list entry ({"id", "summary", "backgroundColor", "selected", ...}).
    void addCalendar(const QJsonObject& entry);
    // An event resource; one with "recurrence" is a series master (listed only without
    // singleEvents), one with "recurringEventId" an occurrence (listed only with it).
    void addEvent(const QString& calendarId, const QJsonObject& event);
    void setPageSize(int size);
    void addFault(Fault fault);
    void clearFaults();
    void addStream(Stream stream);
    // The bytes of streamed bodies written to clients so far.
    qint64 streamedBytes() const;
    // The streamed answers that are over: sent whole, or the client hung up.
    int streamsEnded() const;
    // The access token handed out so far stops working (the service answers 401).
    void revokeAccessTokens();
    // The user takes Talvor's access away: every token handed out so far stops working, and
    // the next sign-in gets a new refresh token.
    void revokeAccess();
    // The state the authorization page sends back instead of the request's.
    void setRedirectState(std::optional<QString> state);
    // The authorization page sends this error back instead of a code (as a user who refuses).
    void setAuthorizationError(std::optional<QString> error);

    // Whether a code's exchange hands out a refresh token (Google's default for desktop
    // clients).
    void setIssuesRefreshTokens(bool issues);

    std::vector<Request> requests() const;
    std::vector<Request> requestsTo(const QByteArray& pathPrefix) const;
    // Every token and secret the server has handed out or been given, for leak checks.
    std::vector<QString> secrets() const;
    QString currentAccessToken() const;
    QString refreshToken() const;
    int refreshes() const;
    std::vector<QJsonObject> eventsOf(const QString& calendarId) const;

  private:
    struct State;
    std::shared_ptr<State> state_;
    struct Runner;
    std::unique_ptr<Runner> runner_;
};

}  // namespace talvor::test
