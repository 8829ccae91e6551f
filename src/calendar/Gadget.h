#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace talvor {

namespace platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace platform

class CappedFetch;

// A web gadget an event may carry: a small page of a given size with an icon.
struct Gadget {
    float width = 0;
    float height = 0;
    QString urlString;       // the page
    QString imageUrlString;  // the icon

    // A gadget with its icon address; the icon starts loading into the cache at once.
    static Gadget gadgetWithWebContent(const QString& imageUrl);

    static QString archiveClassName() { return QStringLiteral("Gadget"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::optional<Gadget> initWithCoder(const platform::KeyedUnarchiver& coder);
    bool operator==(const Gadget&) const = default;
};

// The process's loader and cache of gadget icons. Icons named in the table of our own
// pictures never go to the network; others are downloaded once into the cache, one download
// per address at a time.
class EventImage : public QObject {
    Q_OBJECT
  public:
    EventImage();
    ~EventImage() override;
    static EventImage& sharedImages();

    // Called with the address once its icon is in the cache.
    using Callback = std::function<void(const QString& address)>;
    // The icon, when it can be given now and a callback is set; otherwise nothing, after
    // starting a download when the icon is neither ours, nor cached, nor on its way. A
    // failed download leaves no trace: a later call starts another.
    std::optional<QImage> getImageForURL(const QString& address, const Callback& callback);

    // Address -> file of our own picture (tests and the resources set it).
    void setLocalImages(const QHash<QString, QString>& table) { localImages_ = table; }
    bool isDownloading(const QString& address) const { return downloads_.contains(address); }
    int downloadsStarted() const { return downloadsStarted_; }

  private:
    QHash<QString, QString> localImages_;
    QHash<QString, QByteArray> cache_;
    QSet<QString> downloads_;
    CappedFetch* fetch_ = nullptr;
    int downloadsStarted_ = 0;
};

}  // namespace talvor
