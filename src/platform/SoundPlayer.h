#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace talvor::platform {

// One sound read from a file, the stand-in for the original system's sound object. Volume, output
// device and playing state belong to the instance. Main thread only.
class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;

    virtual QString path() const = 0;
    // Starts from the beginning. False when it is already playing.
    virtual bool play() = 0;
    // Ends playback; no finished callback follows.
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
    // 0..1, linear; values outside are clamped.
    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;
    // Seconds; 0 until the file has been read, and for a file that cannot be played.
    virtual double duration() const = 0;
    // Runs `ready` once the duration is known or the file turned out unplayable: at once
    // when that is already so. The callback never runs after the player is destroyed.
    virtual void whenLoaded(std::function<void()> ready) = 0;
    // The output device's identifier; empty means the system's default output.
    virtual QString playbackDeviceIdentifier() const = 0;
    virtual void setPlaybackDeviceIdentifier(const QString& identifier) = 0;

    // Called when playback ends by itself (true) or fails (false); not after stop().
    std::function<void(bool finishedPlaying)> didFinishPlaying;
};

// Makes sounds and answers questions about the sound output. Tests put a fake in its place.
class SoundSystem {
  public:
    virtual ~SoundSystem() = default;

    // A sound with the file's contents; nullptr when the file cannot be read.
    virtual std::shared_ptr<SoundPlayer> soundWithContentsOfFile(const QString& path) = 0;
    // The device that alert sounds go to; nullopt when there is none or it cannot be read.
    virtual std::optional<QString> defaultAlertOutputDeviceIdentifier() const = 0;

    // The process-wide sound system (Qt Multimedia unless replaced; silent, every file
    // unreadable, without the media module).
    static SoundSystem& shared();
    // nullptr restores the real one.
    static void setShared(SoundSystem* system);
};

// True when the file is a sound that the player reads: an audio type by name or content.
bool isSoundFile(const QString& path);

}  // namespace talvor::platform
