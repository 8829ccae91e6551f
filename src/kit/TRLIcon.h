#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

// The application's icon as the service takes it: PNG bytes, their SHA-1 and the picture's
// size in points.
namespace talvor::kit {

struct TRLIconSize {
    double width = 0;
    double height = 0;
    bool operator==(const TRLIconSize&) const = default;
};

class TRLIcon {
  public:
    // Keeps `data` and `dataHash` as given.
    TRLIcon(std::string data, std::string dataHash, TRLIconSize size, bool prerendered);
    // The hash is the SHA-1 of the data (40 lower-case hex digits).
    TRLIcon(std::string data, TRLIconSize size, bool prerendered = true);
    // An icon from PNG bytes, sized by the picture's header (one point per pixel); nullopt
    // for bytes that are not a PNG picture with a width and a height.
    static std::optional<TRLIcon> initWithPNGData(std::string png);
    // The width and height a PNG header states; nullopt when `png` does not start with one.
    static std::optional<TRLIconSize> pngSize(std::string_view png);

    bool prerendered() const { return prerendered_; }
    const std::string& data() const { return data_; }
    const std::string& dataHash() const { return dataHash_; }
    TRLIconSize size() const { return size_; }

    double surfaceArea() const { return size_.width * size_.height; }
    // At most 1024 x 1024 points.
    bool isWithinMaxSurfaceArea() const;
    bool largerThanSize(TRLIconSize size) const;

    bool operator==(const TRLIcon&) const = default;

  private:
    bool prerendered_ = true;
    std::string data_;
    std::string dataHash_;
    TRLIconSize size_;
};

// Where the running application's icon comes from. Linux programs have no bundle icon: the
// PNG named by Info.plist "CFBundleIconFile" (".png" may be left out), else "AppIcon.png",
// among the main bundle's resources.
class TRLAppIconUtility {
  public:
    // Fetched on first use, then kept for the process (none is kept too).
    static std::optional<TRLIcon> applicationIcon();
    static std::optional<TRLIcon> fetchApplicationIcon();
    // The icon file's path, when there is one.
    static std::optional<std::filesystem::path> mainAppIconPath();
    // Forgets the kept icon, so that the next `applicationIcon` reads it again. For tests.
    static void reset();
};

}  // namespace talvor::kit
