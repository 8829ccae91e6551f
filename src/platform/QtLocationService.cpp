// Qt Positioning behind LocationService; built only where the module is installed.
#include "LocationService.h"

#include <QGeoPositionInfoSource>
#include <QObject>

namespace talvor::platform {
namespace {

class QtLocationService : public QObject, public LocationService {
  public:
    explicit QtLocationService(QGeoPositionInfoSource* source) : source_(source) {
        source_->setParent(this);
        connect(source_, &QGeoPositionInfoSource::positionUpdated, this,
                [this](const QGeoPositionInfo& info) {
                    if (authorization_ != Authorization::Authorized) {
                        setAuthorization(Authorization::Authorized);
                    }
                    if (delegate_.didUpdateLocation && info.isValid()) {
                        delegate_.didUpdateLocation(info.coordinate().latitude(),
                                                    info.coordinate().longitude());
                    }
                });
        connect(
            source_, &QGeoPositionInfoSource::errorOccurred, this,
            [this](QGeoPositionInfoSource::Error error) {
                if (error == QGeoPositionInfoSource::AccessError) {
                    setAuthorization(Authorization::Denied);
                } else if (delegate_.didFailWithError) {
                    delegate_.didFailWithError(
                        QStringLiteral("position source error %1").arg(static_cast<int>(error)));
                }
            });
    }

    bool locationServicesEnabled() const override { return true; }
    void setDelegate(Delegate delegate) override { delegate_ = std::move(delegate); }
    void startUpdatingLocation() override { source_->startUpdates(); }
    void stopUpdatingLocation() override { source_->stopUpdates(); }

  private:
    void setAuthorization(Authorization status) {
        authorization_ = status;
        if (delegate_.didChangeAuthorization) {
            delegate_.didChangeAuthorization(status);
        }
    }

    QGeoPositionInfoSource* source_;
    Delegate delegate_;
    Authorization authorization_ = Authorization::NotDetermined;
};

}  // namespace

std::unique_ptr<LocationService> createQtLocationService() {
    QGeoPositionInfoSource* source = QGeoPositionInfoSource::createDefaultSource(nullptr);
    if (source == nullptr) {
        return nullptr;
    }
    return std::make_unique<QtLocationService>(source);
}

}  // namespace talvor::platform
