#include "Gadget.h"

#include "CappedFetch.h"
#include "platform/KeyedArchiver.h"

#include <QUrl>

namespace talvor {

Gadget Gadget::gadgetWithWebContent(const QString& imageUrl) {
    Gadget gadget;
    gadget.imageUrlString = imageUrl;
    EventImage::sharedImages().getImageForURL(imageUrl, nullptr);
    return gadget;
}

void Gadget::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeFloat(QStringLiteral("height"), height);
    coder.encodeFloat(QStringLiteral("width"), width);
    coder.encodeString(QStringLiteral("url"), urlString);
    coder.encodeString(QStringLiteral("image"), imageUrlString);
}

std::optional<Gadget> Gadget::initWithCoder(const platform::KeyedUnarchiver& coder) {
    Gadget gadget;
    gadget.height = coder.decodeFloat(QStringLiteral("height"));
    gadget.width = coder.decodeFloat(QStringLiteral("width"));
    gadget.urlString = coder.decodeString(QStringLiteral("url"));
    gadget.imageUrlString = coder.decodeString(QStringLiteral("image"));
    return gadget;
}

EventImage::EventImage() = default;
EventImage::~EventImage() = default;

EventImage& EventImage::sharedImages() {
    static EventImage* const shared = new EventImage();
    return *shared;
}

std::optional<QImage> EventImage::getImageForURL(const QString& address, const Callback& callback) {
    if (auto local = localImages_.constFind(address); local != localImages_.cend()) {
        if (!callback) {
            return std::nullopt;
        }
        return QImage(*local);
    }
    if (downloads_.contains(address)) {
        return std::nullopt;
    }
    if (auto cached = cache_.constFind(address); cached != cache_.cend()) {
        if (!callback) {
            return std::nullopt;
        }
        return QImage::fromData(*cached);
    }
    if (fetch_ == nullptr) {
        fetch_ = new CappedFetch(this);
    }
    downloads_.insert(address);
    ++downloadsStarted_;
    constexpr qint64 kMaxIconBytes = 2 << 20;
    fetch_->get(QUrl(address), {kMaxIconBytes, std::chrono::milliseconds(15000)},
                [this, address, callback](const CappedFetch::Result& result) {
                    downloads_.remove(address);
                    if (!result.data || result.data->isEmpty()) {
                        return;  // asked again later, downloaded again
                    }
                    cache_.insert(address, *result.data);
                    if (callback) {
                        callback(address);
                    }
                });
    return std::nullopt;
}

}  // namespace talvor
