#pragma once

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;

namespace talvor {

// One release in an appcast feed (an RSS channel with Sparkle's release attributes).
struct AppcastItem {
    QString version;       // sparkle:version, else sparkle:shortVersionString
    QString shortVersion;  // what users read; the version when absent
    QString title;
    QString notes;  // the item's description
    QUrl download;  // the enclosure; never fetched by the check
};

namespace Appcast {
// The newest item of the feed; nullopt with `error` set when the text is not a feed, or
// a feed without a versioned item.
std::optional<AppcastItem> newest(const QByteArray& xml, QString* error = nullptr);
// Compares dotted versions part by part, numbers as numbers ("1.10" > "1.9"); a missing
// part counts as 0. Negative, 0 or positive.
int compareVersions(const QString& a, const QString& b);
}  // namespace Appcast

// Asks the update feed named in the settings whether a newer version exists. It only reads
// the feed: downloading and installing is left to the user.
class UpdateCheck : public QObject {
    Q_OBJECT
  public:
    enum class Outcome { NoChannel, UpToDate, NewerVersion, Failed };
    struct Result {
        Outcome outcome = Outcome::NoChannel;
        std::optional<AppcastItem> offer;  // with NewerVersion
        QString message;                   // one line for the user
    };

    // The feed of the standard user defaults' "SUFeedURL"; only an https address counts.
    static std::optional<QUrl> configuredFeed();
    static QString noChannelMessage();

    // No feed: every check answers NoChannel.
    explicit UpdateCheck(std::optional<QUrl> feed, QString currentVersion,
                         QObject* parent = nullptr);
    ~UpdateCheck() override;

    void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    // Tests trust their own certificate with this.
    void setSslConfiguration(const QSslConfiguration& configuration) { ssl_ = configuration; }

    bool hasChannel() const { return feed_.has_value(); }
    bool isChecking() const { return reply_ != nullptr; }
    // Starts a check; `done` runs once, on the main thread. A check already running is
    // replaced (its callback does not run).
    void check(std::function<void(const Result&)> done);

  private:
    void finish(QNetworkReply* reply);

    std::optional<QUrl> feed_;
    QString current_;
    std::chrono::milliseconds timeout_{15000};
    QSslConfiguration ssl_ = QSslConfiguration::defaultConfiguration();
    QNetworkAccessManager* network_ = nullptr;
    QPointer<QNetworkReply> reply_;
    std::function<void(const Result&)> done_;
};

}  // namespace talvor
