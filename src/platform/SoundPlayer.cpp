#include "SoundPlayer.h"

#include "QtSoundPlayer.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include <atomic>

namespace talvor::platform {
namespace {
std::atomic<SoundSystem*> gShared{nullptr};

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

SoundPlayer::~SoundPlayer() = default;
SoundSystem::~SoundSystem() = default;

SoundSystem& SoundSystem::shared() {
    if (SoundSystem* s = gShared.load()) {
        return *s;
    }
    // Never destroyed: sounds may still be finishing while the process exits.
    static QtSoundSystem* real = new QtSoundSystem();
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
