#include "SoundPlayer.h"

#include "MediaBackend.h"
#include "SharedInstance.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace talvor::platform {
namespace {
// Without the media module: every sound is one that cannot be read.
class NoSoundSystem : public SoundSystem {
  public:
    std::shared_ptr<SoundPlayer> soundWithContentsOfFile(const QString&) override {
        return nullptr;
    }
    std::optional<QString> defaultAlertOutputDeviceIdentifier() const override {
        return std::nullopt;
    }
};

bool isAudioType(const QMimeType& type) {
    if (type.name().startsWith(QLatin1String("audio/"))) {
        return true;
    }
    for (const QString& parent : type.allAncestors()) {
        if (parent.startsWith(QLatin1String("audio/"))) {
            return true;
        }
    }
    return false;
}
}  // namespace

SoundSystem& SoundSystem::shared() {
    return SharedInstance<SoundSystem>::getOr([]() -> SoundSystem& {
        // Never destroyed: sounds may still be finishing while the process exits.
        static SoundSystem* real = []() -> SoundSystem* {
            if (MediaBackend* media = mediaBackend()) {
                return &media->sounds();
            }
            return new NoSoundSystem();
        }();
        return *real;
    });
}

void SoundSystem::setShared(SoundSystem* system) {
    SharedInstance<SoundSystem>::setStandIn(system);
}

bool isSoundFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        return false;
    }
    static const QMimeDatabase db;
    return isAudioType(db.mimeTypeForFile(info));
}

}  // namespace talvor::platform
