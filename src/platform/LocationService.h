#pragma once

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
};

}  // namespace talvor::platform
