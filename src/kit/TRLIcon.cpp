#include "kit/TRLIcon.h"

#include <utility>

#include "kit/FileBytes.h"
#include "kit/MainBundle.h"
#include "kit/TRLEncoding.h"

namespace talvor::kit {
namespace {

constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1a\n";
// The largest icon file read: far above a 1024 x 1024 picture.
constexpr std::size_t kIconFileCap = 16 * 1024 * 1024;

std::uint32_t bigEndian32(std::string_view bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return value;
}

std::mutex& iconMutex() {
    static std::mutex mutex;
    return mutex;
}

struct KeptIcon {
    bool fetched = false;
    std::optional<TRLIcon> icon;
};

KeptIcon& keptIcon() {
    static KeptIcon kept;
    return kept;
}

}  // namespace

TRLIcon::TRLIcon(std::string data, std::string dataHash, TRLIconSize size, bool prerendered)
    : prerendered_(prerendered),
      data_(std::move(data)),
      dataHash_(std::move(dataHash)),
      size_(size) {}

TRLIcon::TRLIcon(std::string data, TRLIconSize size, bool prerendered)
    : prerendered_(prerendered), data_(std::move(data)), size_(size) {
    dataHash_ = TRLHashNSData(data_);
}

std::optional<TRLIconSize> TRLIcon::pngSize(std::string_view png) {
    // Signature, then the IHDR chunk: length 13, type, width, height.
    if (png.size() < 24 || png.substr(0, 8) != kPngSignature || png.substr(12, 4) != "IHDR" ||
        bigEndian32(png, 8) != 13) {
        return std::nullopt;
    }
    const std::uint32_t width = bigEndian32(png, 16);
    const std::uint32_t height = bigEndian32(png, 20);
    if (width == 0 || height == 0) {
        return std::nullopt;
    }
    return TRLIconSize{double(width), double(height)};
}

std::optional<TRLIcon> TRLIcon::initWithPNGData(std::string png) {
    const auto size = pngSize(png);
    if (!size) {
        return std::nullopt;
    }
    return TRLIcon(std::move(png), *size);
}

bool TRLIcon::isWithinMaxSurfaceArea() const {
    return surfaceArea() <= 1024.0 * 1024.0;
}

bool TRLIcon::largerThanSize(TRLIconSize size) const {
    return surfaceArea() > size.width * size.height;
}

std::optional<std::filesystem::path> TRLAppIconUtility::mainAppIconPath() {
    const auto bundle = MainBundle::main();
    std::string name = "AppIcon";
    if (const PlistValue* file = bundle->objectForInfoDictionaryKey("CFBundleIconFile");
        file != nullptr && file->string() && !file->string()->empty()) {
        name = *file->string();
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0) {
            name.resize(name.size() - 4);
        }
    }
    return bundle->pathForResource(name, "png");
}

std::optional<TRLIcon> TRLAppIconUtility::fetchApplicationIcon() {
    const auto path = mainAppIconPath();
    if (!path) {
        return std::nullopt;
    }
    auto bytes = readRegularFile(*path, kIconFileCap);
    if (!bytes) {
        return std::nullopt;
    }
    return TRLIcon::initWithPNGData(std::move(*bytes));
}

std::optional<TRLIcon> TRLAppIconUtility::applicationIcon() {
    std::lock_guard lock(iconMutex());
    KeptIcon& kept = keptIcon();
    if (!kept.fetched) {
        kept.icon = fetchApplicationIcon();
        kept.fetched = true;
    }
    return kept.icon;
}

void TRLAppIconUtility::reset() {
    std::lock_guard lock(iconMutex());
    keptIcon() = KeptIcon{};
}

}  // namespace talvor::kit
