#pragma once

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

namespace talvor::platform {

// The machine's position, as far as the desktop will tell it. Delegate calls arrive on the
// main thread.
class LocationService {
  public:
    enum class Authorization { NotDetermined, Denied, Authorized };
    struct Delegate {
        std::function<void(double latitude, double longitude)> didUpdateLocation;
        std::function<void(const QString& error)> didFailWithError;
        std::function<void(Authorization status)> didChangeAuthorization;
    };

    virtual ~LocationService();

    // False when no position source exists on this machine.
    virtual bool locationServicesEnabled() const = 0;
    virtual void setDelegate(Delegate delegate) = 0;
    virtual void startUpdatingLocation() = 0;
    virtual void stopUpdatingLocation() = 0;

    // Qt Positioning's default source (GeoClue) where there is one; otherwise a service that
    // is never enabled, so the stored position stays in force.
    static std::unique_ptr<LocationService> create();

    // A delegate that calls `target`'s didUpdateLocation, didFailWithError and
    // didChangeAuthorization while the target lives.
    template <class Target>
    static Delegate forwardingTo(Target* target) {
        const QPointer<Target> self(target);
        Delegate d;
        d.didUpdateLocation = [self](double latitude, double longitude) {
            if (self) {
                self->didUpdateLocation(latitude, longitude);
            }
        };
        d.didFailWithError = [self](const QString& error) {
            if (self) {
                self->didFailWithError(error);
            }
        };
        d.didChangeAuthorization = [self](Authorization status) {
            if (self) {
                self->didChangeAuthorization(status);
            }
        };
        return d;
    }
};

}  // namespace talvor::platform
