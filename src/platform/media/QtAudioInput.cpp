#include "QtAudioInput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>

#include <vector>

namespace talvor::platform {
namespace {

// Status codes of our own, in the spirit of the hardware layer's.
constexpr int kNoDevice = -1;
constexpr int kDeviceGone = -2;
constexpr int kFormatUnsupported = -3;
constexpr int kStartFailed = -4;

QAudioFormat captureFormat(const QAudioDevice& device) {
    QAudioFormat f;
    f.setSampleRate(device.preferredFormat().sampleRate());
    f.setChannelCount(device.preferredFormat().channelCount());
    f.setSampleFormat(QAudioFormat::Float);
    return f;
}

QAudioDevice findInput(const QString& id) {
    for (const QAudioDevice& d : QMediaDevices::audioInputs()) {
        if (QString::fromUtf8(d.id()) == id) {
            return d;
        }
    }
    return {};
}

class QtAudioCapture : public AudioCapture {
  public:
    QtAudioCapture(const QAudioDevice& device) : source_(device, captureFormat(device)) {
        channels_ = captureFormat(device).channelCount();
    }
    ~QtAudioCapture() override { source_.stop(); }

    int start(FramesCallback onFrames) override {
        onFrames_ = std::move(onFrames);
        io_ = source_.start();
        if (io_ == nullptr || source_.error() != QAudio::NoError) {
            return kStartFailed;
        }
        QObject::connect(io_, &QIODevice::readyRead, io_, [this] { drain(); });
        return 0;
    }

    int stop() override {
        if (io_ != nullptr) {
            drain();
            io_ = nullptr;
        }
        source_.stop();
        return source_.error() == QAudio::NoError || source_.error() == QAudio::UnderrunError
                   ? 0
                   : static_cast<int>(source_.error());
    }

  private:
    void drain() {
        pending_.append(io_->readAll());
        const qint64 frameBytes = static_cast<qint64>(sizeof(float)) * channels_;
        const qint64 frames = pending_.size() / frameBytes;
        if (frames > 0 && onFrames_) {
            onFrames_(reinterpret_cast<const float*>(pending_.constData()), frames);
        }
        pending_.remove(0, static_cast<qsizetype>(frames * frameBytes));
    }

    QAudioSource source_;
    QIODevice* io_ = nullptr;
    int channels_ = 0;
    QByteArray pending_;
    FramesCallback onFrames_;
};

class QtAudioInputSystem : public AudioInputSystem {
  public:
    int openComponent() override { return 0; }

    std::optional<AudioInputDevice> defaultInputDevice() const override {
        const QAudioDevice d = QMediaDevices::defaultAudioInput();
        if (d.isNull()) {
            return std::nullopt;
        }
        const QAudioFormat f = d.preferredFormat();
        // Ten milliseconds at a time, as a hardware buffer would.
        const int frames = f.sampleRate() > 0 ? f.sampleRate() / 100 : 0;
        return AudioInputDevice{QString::fromUtf8(d.id()), d.description(), f.channelCount(),
                                static_cast<double>(f.sampleRate()), frames};
    }

    int selectDevice(const AudioInputDevice& device) override {
        return findInput(device.identifier).isNull() ? kDeviceGone : 0;
    }

    int checkCaptureFormat(const AudioInputDevice& device) const override {
        const QAudioDevice d = findInput(device.identifier);
        if (d.isNull()) {
            return kNoDevice;
        }
        return d.isFormatSupported(captureFormat(d)) ? 0 : kFormatUnsupported;
    }

    std::unique_ptr<AudioCapture> openCapture(const AudioInputDevice& device,
                                              int* status) override {
        const QAudioDevice d = findInput(device.identifier);
        if (d.isNull()) {
            *status = kDeviceGone;
            return nullptr;
        }
        *status = 0;
        return std::make_unique<QtAudioCapture>(d);
    }
};

}  // namespace

std::unique_ptr<AudioInputSystem> makeQtAudioInputSystem() {
    return std::make_unique<QtAudioInputSystem>();
}

}  // namespace talvor::platform
