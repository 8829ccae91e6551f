#pragma once

#include "platform/AudioFileWriter.h"
#include "platform/AudioInput.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace talvor {

// A failure of the recorder: `domain` is the formatted message, `code` the status.
struct SoundRecorderError {
    QString domain;
    int code = 0;
};

// Records the default audio input into an AAC file in an MPEG-4 audio container (.m4a) at
// 11025 Hz in two channels, a mono input going to both. Where no AAC encoder is installed
// the file is 16-bit PCM WAV instead, with ".wav" for the extension (file() tells).
// prepare, start, stop; destroying the recorder completes the file.
class SoundRecorder {
  public:
    static constexpr double kFileSampleRate = 11025.0;
    static constexpr int kFileChannels = 2;

    explicit SoundRecorder(const QString& outputFile, platform::AudioInputSystem& inputs =
                                                          platform::AudioInputSystem::shared());
    ~SoundRecorder();
    SoundRecorder(const SoundRecorder&) = delete;
    SoundRecorder& operator=(const SoundRecorder&) = delete;

    // The file being written (after prepare: the one actually created).
    QString file() const;
    // Each returns nullopt on success.
    std::optional<SoundRecorderError> prepare();
    std::optional<SoundRecorderError> start();
    std::optional<SoundRecorderError> stop();
    // Completes the file now rather than at destruction.
    void release();

    // The input callback's work: `frameCount` frames at the device's channel count, made
    // into the capture format and queued for the file. Returns the write's status.
    int handleAudioInput(const float* samples, qint64 frameCount);

  private:
    QString outputFile_;
    platform::AudioInputSystem& inputs_;
    std::unique_ptr<platform::AudioCapture> fAudioUnit_;
    std::unique_ptr<platform::AudioFileWriter> fOutputAudioFile_;
    std::optional<platform::AudioInputDevice> fInputDevice_;
    qint32 fDeviceChannels_ = 0;
    qint32 fAudioChannels_ = 0;
    qint32 fAudioSamples_ = 0;
    double fSampleRate_ = 0;
    // The capture buffer, sized once in prepare: the callback never allocates.
    std::vector<float> fAudioBuffer_;
};

}  // namespace talvor
