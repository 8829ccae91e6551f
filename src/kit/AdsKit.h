#pragma once

#include <string>

// The stand-in kit for a mobile-ads library: the host lists it when such a library is in
// the program, so that its version is reported. It does nothing else.
namespace talvor::kit {

class AdsKit {
  public:
    static AdsKit& sharedInstance();
    static std::string bundleIdentifier() { return "com.nimbus.ads.ios"; }
    static std::string kitDisplayVersion() { return "0.0.0"; }

  private:
    AdsKit() = default;
};

}  // namespace talvor::kit
