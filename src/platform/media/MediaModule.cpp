// The media module's entry: its backend, and the log line sink the program hands it.
#include "GstAudioFileWriter.h"
#include "QtAudioInput.h"
#include "QtSoundPlayer.h"
#include "QtVideoPlayer.h"
#include "platform/Log.h"
#include "platform/MediaBackend.h"

#include <atomic>

namespace talvor::platform {
namespace {

std::atomic<void (*)(const QString&)> gLog{nullptr};

class QtMediaBackend final : public MediaBackend {
  public:
    SoundSystem& sounds() override { return sounds_; }
    AudioInputSystem& audioInputs() override { return *inputs_; }
    std::unique_ptr<VideoPlayer> videoPlayer(QWidget* parent) override {
        return makeQtVideoPlayer(parent);
    }
    AudioFileFormat audioFileFormat() override { return GstAudioFileWriter::supportedFormat(); }
    std::unique_ptr<AudioFileWriter> createAudioFileWriter(const QString& path, double fileRate,
                                                           int fileChannels, int* status) override {
        return GstAudioFileWriter::create(path, fileRate, fileChannels, status);
    }

  private:
    QtSoundSystem sounds_;
    std::unique_ptr<AudioInputSystem> inputs_ = makeQtAudioInputSystem();
};

}  // namespace

// The module's own: its sources log through the program's log.
void log(const QString& line) {
    if (auto sink = gLog.load()) {
        sink(line);
    }
}

}  // namespace talvor::platform

extern "C" talvor::platform::MediaBackend* talvor_media_backend(void (*log)(const QString& line)) {
    talvor::platform::gLog.store(log);
    // Never destroyed: sounds may still be finishing while the process exits.
    static auto* backend = new talvor::platform::QtMediaBackend();
    return backend;
}
