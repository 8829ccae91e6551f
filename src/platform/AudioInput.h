#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace talvor::platform {

struct AudioInputDevice {
    QString identifier;
    QString description;
    int channelCount = 0;
    double sampleRate = 0;
    // Frames the device delivers at a time.
    int bufferFrames = 0;
};

// A running capture from an input device: 32-bit float samples, interleaved, at the device's
// rate and channel count.
class AudioCapture {
  public:
    using FramesCallback = std::function<void(const float* samples, qint64 frameCount)>;
    virtual ~AudioCapture() = default;
    // 0, or the reason it could not start.
    virtual int start(FramesCallback onFrames) = 0;
    virtual int stop() = 0;
};

// The audio inputs: the stand-in for the hardware layer the recorder opens. Tests put a
// fake device list in its place.
class AudioInputSystem {
  public:
    virtual ~AudioInputSystem() = default;

    // 0 when capturing is possible at all.
    virtual int openComponent() = 0;
    virtual std::optional<AudioInputDevice> defaultInputDevice() const = 0;
    // 0 when the device is (still) there to be selected.
    virtual int selectDevice(const AudioInputDevice& device) = 0;
    // 0 when the device delivers float samples at its rate and channel count.
    virtual int checkCaptureFormat(const AudioInputDevice& device) const = 0;
    // nullptr with `*status` set on failure.
    virtual std::unique_ptr<AudioCapture> openCapture(const AudioInputDevice& device,
                                                      int* status) = 0;

    static AudioInputSystem& shared();
    // nullptr restores the real one.
    static void setShared(AudioInputSystem* system);
};

}  // namespace talvor::platform
