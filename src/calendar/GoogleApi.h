#pragma once

#include "GoogleAuth.h"
#include "platform/Date.h"
#include "platform/Scheduler.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonDocument>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace talvor {

// How far Talvor goes with Google before it gives up: a server that drips, answers without
// end, pages in circles or keeps refusing must not hold a sync or fill the memory.
struct GoogleLimits {
    // For one sync (a listing with all its pages, a month's events of every calendar), with
    // its retries and their waits; a single call has as long.
    std::chrono::milliseconds syncDeadline{std::chrono::minutes(2)};
    qint64 maxReplyBytes = 16 << 20;
    int maxPages = 100;
    // A call refused for the load (429) or failed by the service (5xx) is sent again at most
    // this often: after the wait Google names, else after a wait doubled each time.
    int maxRetries = 3;
    std::chrono::milliseconds firstRetryDelay{1000};
    // No wait is longer: when Google asks for more, the call fails.
    std::chrono::milliseconds maxRetryDelay{30000};
};

// When a sync begun now must be done: the limits' time of a sync on the scheduler's clock.
Date googleDeadline(const platform::Scheduler& scheduler, const GoogleLimits& limits);

// A Retry-After header (RFC 9110: seconds, or a date compared with `now`); none when it is
// missing or unreadable.
std::optional<std::chrono::milliseconds> googleRetryAfter(const QByteArray& header,
                                                          const QDateTime& now);
// The wait before sending a call again after its `retriesSoFar`-th refusal, or none: the
// retries are used up, Google asks for a wait beyond the cap, or the wait would not end
// before the call's time is up.
std::optional<std::chrono::milliseconds> googleRetryDelay(
    const GoogleLimits& limits, int retriesSoFar,
    const std::optional<std::chrono::milliseconds>& retryAfter, std::chrono::milliseconds timeLeft);

// One paged listing: the deadline it shares with the rest of its sync, and the pages asked
// for so far. A page token seen before would go round for ever.
class GooglePaging {
  public:
    GooglePaging(Date deadline, int maxPages) : deadline_(deadline), maxPages_(maxPages) {}
    Date deadline() const { return deadline_; }
    // Of the page to ask for; empty for the first.
    const QString& token() const { return token_; }
    // Moves on to the page `next` names; why not, when the listing must stop here.
    std::optional<QString> advance(const QString& next);

  private:
    Date deadline_;
    int maxPages_;
    int pages_ = 1;
    QString token_;
    std::set<QString> seen_;
};

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
// for them. Each call ends by its deadline; a reply beyond the size cap is cut off; a call
// refused with 429, or failed with 5xx unless it is a POST, is sent again within the limits.
// Completions run on the main thread, once, later; none runs after the object is destroyed.
// Deadlines and waits are kept by `scheduler`, which must outlive the object.
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
    static inline const QString kTooSlowMessage =
        QStringLiteral("Google took too long to answer; please try again later");
    static QString tooLargeMessage(qint64 maxBytes);

    GoogleApi(QNetworkAccessManager& network, platform::Scheduler& scheduler,
              GoogleEndpoints endpoints, GoogleClientCredentials credentials,
              GoogleAuthorization authorization, Changed changed, Revoked revoked = nullptr,
              GoogleLimits limits = {});
    ~GoogleApi();
    GoogleApi(const GoogleApi&) = delete;
    GoogleApi& operator=(const GoogleApi&) = delete;

    // `path` under the API base, with its query already encoded ("/calendar/v3/...?a=b").
    // Without a deadline (a date on the scheduler's clock) a call has the limits' time of a
    // sync.
    void get(const QByteArray& path, Callback callback,
             std::optional<Date> deadline = std::nullopt);
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
        Date deadline;
        platform::TimerHandle timer;     // ends the call at its deadline
        platform::TimerHandle retry;     // sends it again after a refusal
        QNetworkReply* reply = nullptr;  // of the try under way
        bool refreshed = false;          // a 401 after a refresh is final
        int retries = 0;
    };
    void start(const QByteArray& verb, const QByteArray& path, const QByteArray& body,
               Callback callback, std::optional<Date> deadline);
    void send(std::uint64_t id);
    void refreshAndSend(std::uint64_t id, int statusIfRefused);
    void transmit(std::uint64_t id);
    void answered(std::uint64_t id, QNetworkReply& reply,
                  const std::optional<QByteArray>& received);
    std::optional<std::chrono::milliseconds> retryWait(const Call& call, const QNetworkReply& reply,
                                                       int status) const;
    void finish(std::uint64_t id, const GoogleReply& reply);
    void refreshThen(std::function<void(const QString& error)> next);
    void stop(QNetworkReply* reply);

    QNetworkAccessManager& network_;
    platform::Scheduler& scheduler_;
    GoogleEndpoints endpoints_;
    GoogleClientCredentials credentials_;
    GoogleAuthorization authorization_;
    Changed changed_;
    Revoked revoked_;
    GoogleLimits limits_;
    std::vector<std::function<void(const QString&)>> waitingForRefresh_;
    std::map<std::uint64_t, Call> calls_;  // every call not yet answered
    std::uint64_t nextCall_ = 1;
    QPointer<QNetworkReply> refreshReply_;
    platform::TimerHandle refreshDeadline_;  // ends a renewal that drips
    QObject context_;                        // last: its connections go first
};

}  // namespace talvor
