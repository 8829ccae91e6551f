#include "SoundPlayer.h"

#include "MediaBackend.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include <atomic>

namespace talvor::platform {
namespace {
std::atomic<SoundSystem*> gShared{nullptr};

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
    if (SoundSystem* s = gShared.load()) {
        return *s;
    }
    // Never destroyed: sounds may still be finishing while the process exits.
    static SoundSystem* real = []() -> SoundSystem* {
        if (MediaBackend* media = mediaBackend()) {
            return &media->sounds();
        }
        return new NoSoundSystem();
    }();
    return *real;
}

void SoundSystem::setShared(SoundSystem* system) {
    gShared.store(system);
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
