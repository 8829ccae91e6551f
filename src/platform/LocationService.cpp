#include "LocationService.h"

#include "Log.h"

namespace talvor::platform {

#ifdef TALVOR_HAVE_POSITIONING
std::unique_ptr<LocationService> createQtLocationService();
#endif

namespace {

class NoLocationService : public LocationService {
  public:
    bool locationServicesEnabled() const override { return false; }
    void setDelegate(Delegate) override {}
    void startUpdatingLocation() override {}
    void stopUpdatingLocation() override {}
};

}  // namespace

LocationService::~LocationService() = default;

std::unique_ptr<LocationService> LocationService::create() {
#ifdef TALVOR_HAVE_POSITIONING
    if (auto service = createQtLocationService()) {
        return service;
    }
#endif
    static bool logged = false;
    if (!logged) {
        logged = true;
        log(QStringLiteral("No position source: the stored position is used"));
    }
    return std::make_unique<NoLocationService>();
}

}  // namespace talvor::platform
