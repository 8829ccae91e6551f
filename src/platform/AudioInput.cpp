#include "AudioInput.h"

#include "Log.h"
#include "MediaBackend.h"
#include "SharedInstance.h"

namespace talvor::platform {
namespace {

// Without the media module: no device to record from.
class NoAudioInputs : public AudioInputSystem {
  public:
    int openComponent() override { return kNoDevice; }
    std::optional<AudioInputDevice> defaultInputDevice() const override { return std::nullopt; }
    int selectDevice(const AudioInputDevice&) override { return kNoDevice; }
    int checkCaptureFormat(const AudioInputDevice&) const override { return kNoDevice; }
    std::unique_ptr<AudioCapture> openCapture(const AudioInputDevice&, int* status) override {
        *status = kNoDevice;
        return nullptr;
    }

  private:
    static constexpr int kNoDevice = -1;
};

}  // namespace

AudioInputSystem& AudioInputSystem::shared() {
    return SharedInstance<AudioInputSystem>::getOr([]() -> AudioInputSystem& {
        static AudioInputSystem* real = []() -> AudioInputSystem* {
            if (MediaBackend* media = mediaBackend()) {
                return &media->audioInputs();
            }
            return new NoAudioInputs();
        }();
        return *real;
    });
}

void AudioInputSystem::setShared(AudioInputSystem* system) {
    SharedInstance<AudioInputSystem>::setStandIn(system);
}

}  // namespace talvor::platform
