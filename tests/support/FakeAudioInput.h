#pragma once

#include "platform/AudioInput.h"

#include <optional>
#include <vector>

namespace talvor::test {

// A device list of our choosing; each step of opening a device can be made to fail, and the
// capture delivers the samples a test hands it.
class FakeAudioInputSystem : public platform::AudioInputSystem {
  public:
    class Capture : public platform::AudioCapture {
      public:
        explicit Capture(FakeAudioInputSystem& owner) : owner_(owner) {}
        ~Capture() override { owner_.capture_ = nullptr; }
        int start(FramesCallback onFrames) override {
            if (owner_.startStatus == 0) {
                onFrames_ = std::move(onFrames);
            }
            return owner_.startStatus;
        }
        int stop() override {
            onFrames_ = nullptr;
            return owner_.stopStatus;
        }
        // Interleaved samples at the device's channel count.
        void deliver(const std::vector<float>& samples, int channels) {
            if (onFrames_) {
                onFrames_(samples.data(), static_cast<qint64>(samples.size()) / channels);
            }
        }

      private:
        FakeAudioInputSystem& owner_;
        FramesCallback onFrames_;
    };

    FakeAudioInputSystem() { platform::AudioInputSystem::setShared(this); }
    ~FakeAudioInputSystem() override { platform::AudioInputSystem::setShared(nullptr); }

    int openComponent() override { return componentStatus; }
    std::optional<platform::AudioInputDevice> defaultInputDevice() const override { return device; }
    int selectDevice(const platform::AudioInputDevice&) override { return selectStatus; }
    int checkCaptureFormat(const platform::AudioInputDevice&) const override {
        return formatStatus;
    }
    std::unique_ptr<platform::AudioCapture> openCapture(const platform::AudioInputDevice&,
                                                        int* status) override {
        *status = openStatus;
        if (openStatus != 0) {
            return nullptr;
        }
        auto c = std::make_unique<Capture>(*this);
        capture_ = c.get();
        return c;
    }

    Capture* capture() const { return capture_; }

    std::optional<platform::AudioInputDevice> device;
    int componentStatus = 0;
    int selectStatus = 0;
    int formatStatus = 0;
    int openStatus = 0;
    int startStatus = 0;
    int stopStatus = 0;

  private:
    Capture* capture_ = nullptr;
};

}  // namespace talvor::test
