#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;

namespace talvor {

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
