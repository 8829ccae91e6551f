#include "SoundRecorder.h"

#include <algorithm>
#include <new>

namespace talvor {
namespace {

SoundRecorderError error(const char* format, int code) {
    return {QString::fromLatin1(format).replace(QLatin1String("%d"), QString::number(code)), code};
}

}  // namespace

SoundRecorder::SoundRecorder(const QString& outputFile, platform::AudioInputSystem& inputs)
    : outputFile_(outputFile), inputs_(inputs) {}

SoundRecorder::~SoundRecorder() {
    release();
}

QString SoundRecorder::file() const {
    return fOutputAudioFile_ ? fOutputAudioFile_->path() : outputFile_;
}

std::optional<SoundRecorderError> SoundRecorder::prepare() {
    if (const int status = inputs_.openComponent(); status != 0) {
        return error("Error opening component: %d", status);
    }
    fInputDevice_ = inputs_.defaultInputDevice();
    if (!fInputDevice_) {
        return error("Failed to get default input device: %d", -1);
    }
    if (const int status = inputs_.selectDevice(*fInputDevice_); status != 0) {
        return error("Failed to set AU input device: %d", status);
    }
    if (fInputDevice_->channelCount <= 0 || !(fInputDevice_->sampleRate > 0)) {
        return error("Failed to get input device ASBD: %d", -1);
    }
    fDeviceChannels_ = fInputDevice_->channelCount;
    fSampleRate_ = fInputDevice_->sampleRate;
    // Two channels are written; more than two keep the first two.
    fAudioChannels_ = kFileChannels;
    if (const int status = inputs_.checkCaptureFormat(*fInputDevice_); status != 0) {
        return error("Failed to set input device ASBD: %d", status);
    }
    fAudioSamples_ = fInputDevice_->bufferFrames;
    if (fAudioSamples_ <= 0) {
        return error("Failed to get audio sample size: %d", -1);
    }
    int status = 0;
    fAudioUnit_ = inputs_.openCapture(*fInputDevice_, &status);
    if (!fAudioUnit_) {
        return error("Failed to initialize AU: %d", status);
    }
    try {
        fAudioBuffer_.assign(
            static_cast<std::size_t>(fAudioSamples_) * static_cast<std::size_t>(fAudioChannels_),
            0.0f);
    } catch (const std::bad_alloc&) {
        return error("Failed to allocate buffers: %d", 0);
    }
    fOutputAudioFile_ =
        platform::AudioFileWriter::createNew(outputFile_, kFileSampleRate, kFileChannels, &status);
    if (!fOutputAudioFile_) {
        return error("ExtAudioFileCreateNew failed: %d", status);
    }
    if (status = fOutputAudioFile_->setClientFormat(fSampleRate_, fAudioChannels_); status != 0) {
        return error("ExtAudioFileSetProperty failed: %d", status);
    }
    if (status = fOutputAudioFile_->writeAsync(nullptr, 0); status != 0) {
        return error("ExtAudioFileWriteAsync failed: %d", status);
    }
    return std::nullopt;
}

std::optional<SoundRecorderError> SoundRecorder::start() {
    if (!fAudioUnit_) {
        return error("Failed to start AU: %d", -1);
    }
    const int status = fAudioUnit_->start(
        [this](const float* samples, qint64 frames) { handleAudioInput(samples, frames); });
    if (status != 0) {
        return error("Failed to start AU: %d", status);
    }
    return std::nullopt;
}

std::optional<SoundRecorderError> SoundRecorder::stop() {
    if (!fAudioUnit_) {
        return error("Failed to stop AU: %d", -1);
    }
    if (const int status = fAudioUnit_->stop(); status != 0) {
        return error("Failed to stop AU: %d", status);
    }
    return std::nullopt;
}

void SoundRecorder::release() {
    if (fAudioUnit_) {
        fAudioUnit_->stop();
        fAudioUnit_.reset();
    }
    if (fOutputAudioFile_) {
        fOutputAudioFile_->dispose();
    }
}

int SoundRecorder::handleAudioInput(const float* samples, qint64 frameCount) {
    if (!fOutputAudioFile_ || fAudioBuffer_.empty()) {
        return -1;
    }
    const qint64 capacity = fAudioSamples_;
    for (qint64 done = 0; done < frameCount;) {
        const qint64 n = std::min(capacity, frameCount - done);
        const float* in = samples + done * fDeviceChannels_;
        for (qint64 f = 0; f < n; ++f) {
            const float left = in[f * fDeviceChannels_];
            // A mono input feeds both channels.
            const float right = fDeviceChannels_ > 1 ? in[f * fDeviceChannels_ + 1] : left;
            fAudioBuffer_[static_cast<std::size_t>(f * 2)] = left;
            fAudioBuffer_[static_cast<std::size_t>(f * 2 + 1)] = right;
        }
        if (const int status = fOutputAudioFile_->writeAsync(fAudioBuffer_.data(), n);
            status != 0) {
            return status;
        }
        done += n;
    }
    return 0;
}

}  // namespace talvor
