#pragma once

#include "platform/Scheduler.h"
#include "services/SoundFadeOut.h"
#include "services/SoundRepeat.h"
#include "support/FakeClock.h"
#include "support/FakeSoundPlayer.h"
#include "support/ManualScheduler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

namespace talvor::test {

// The sounds that come with the application, in the source tree.
inline QString bundledSounds() {
    return QStringLiteral(TALVOR_BUNDLED_SOUNDS);
}

inline QString bundledChime() {
    return bundledSounds() + QStringLiteral("/Chimes/Chime.ogg");
}

// A file with the given bytes, its folders made as needed.
inline QString writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
    return path;
}

// A sound file: the chime's bytes, with `marker` appended so that copies can be told apart.
inline QString writeSound(const QString& path, const QByteArray& marker = {}) {
    QFile chime(bundledChime());
    chime.open(QIODevice::ReadOnly);
    return writeFile(path, chime.readAll() + marker);
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Fake time and fake sounds in place of the process's, and no fade or chain left over.
class FakeSoundTime : public ::testing::Test {
  protected:
    FakeSoundTime() { platform::Scheduler::setShared(&scheduler); }
    ~FakeSoundTime() override {
        FadeOut::stopTimers();
        Repeat::stopAll();
        scheduler.runPosted();
        platform::Scheduler::setShared(nullptr);
    }

    FakeClock clock{Date::fromReference(0)};
    ManualScheduler scheduler{clock};
    FakeSoundSystem sounds{scheduler};

    double now() const { return clock.now().timeIntervalSinceReferenceDate(); }
    void advanceTo(double t) { scheduler.advanceTo(Date::fromReference(t)); }
};

}  // namespace talvor::test
