#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace talvor {

// Reads one reply's body as it comes, up to `maxBytes`, whatever its framing: a reply that
// announces more (Content-Length) is aborted at its headers, one that brings more (chunked,
// or until the connection closes) as soon as it has, and what came with it is dropped.
// Qt's HTTP thread is held to kReadAheadBytes ahead of this reading, so a server faster
// than the reply's thread cannot fill the memory first. Made right after the request.
class ReplyCap {
  public:
    static constexpr qint64 kReadAheadBytes = 64 * 1024;

    ReplyCap(QNetworkReply& reply, qint64 maxBytes);
    // Once the reply has finished: its whole body, or none when it was too large.
    std::optional<QByteArray> take(QNetworkReply& reply);

  private:
    struct State {
        QByteArray body;
        qint64 maxBytes = 0;
        bool exceeded = false;
    };
    static void read(QNetworkReply& reply, State& state);
    std::shared_ptr<State> state_;
};

// One GET of a network resource of bounded size and time, for pictures and calendars named
// by the user: a server that never answers, or answers without end, must not hold the calendar
// or fill the memory. Replies arrive on the thread that made the fetcher.
class CappedFetch : public QObject {
    Q_OBJECT
  public:
    struct Limits {
        qint64 maxBytes = 16 << 20;
        std::chrono::milliseconds timeout{15000};
    };
    struct Result {
        std::optional<QByteArray> data;  // null on failure
        QString error;                   // why, when it failed
    };
    using Done = std::function<void(const Result&)>;

    explicit CappedFetch(QObject* parent = nullptr);
    ~CappedFetch() override;

    // Starts the GET; `done` is called once, later, unless the fetcher is destroyed first.
    // Only http and https; any other scheme fails at once (still through `done`, later).
    void get(const QUrl& url, const Limits& limits, const Done& done);

  private:
    QNetworkAccessManager* network_ = nullptr;
};

}  // namespace talvor
