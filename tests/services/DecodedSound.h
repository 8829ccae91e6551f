#pragma once

#include <QAudioBuffer>
#include <QAudioDecoder>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <vector>

namespace talvor::test {

// A sound file decoded to floats through Qt Multimedia, channel by channel.
struct DecodedSound {
    bool ok = false;
    QString error;
    int sampleRate = 0;
    std::vector<std::vector<float>> channels;

    double seconds() const {
        return channels.empty() || sampleRate == 0
                   ? 0.0
                   : static_cast<double>(channels[0].size()) / sampleRate;
    }
    double rms(int channel) const {
        double sum = 0;
        for (float v : channels[static_cast<std::size_t>(channel)]) {
            sum += static_cast<double>(v) * v;
        }
        const auto n = channels[static_cast<std::size_t>(channel)].size();
        return n == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(n));
    }

    // The decoder picks the sample format it likes; every one is read as -1..1.
    static float sample(const QAudioBuffer& b, qsizetype index) {
        switch (b.format().sampleFormat()) {
            case QAudioFormat::UInt8:
                return (b.constData<quint8>()[index] - 128) / 128.0f;
            case QAudioFormat::Int16:
                return b.constData<qint16>()[index] / 32768.0f;
            case QAudioFormat::Int32:
                return static_cast<float>(b.constData<qint32>()[index] / 2147483648.0);
            case QAudioFormat::Float:
                return b.constData<float>()[index];
            default:
                return 0.0f;
        }
    }

    static DecodedSound read(const QString& path) {
        DecodedSound out;
        QAudioDecoder decoder;
        decoder.setSource(QUrl::fromLocalFile(path));
        QEventLoop loop;
        QObject::connect(&decoder, &QAudioDecoder::bufferReady, [&] {
            const QAudioBuffer b = decoder.read();
            const QAudioFormat f = b.format();
            const int ch = f.channelCount();
            out.sampleRate = f.sampleRate();
            out.channels.resize(static_cast<std::size_t>(ch));
            for (qsizetype i = 0; i < b.frameCount(); ++i) {
                for (int c = 0; c < ch; ++c) {
                    out.channels[static_cast<std::size_t>(c)].push_back(sample(b, i * ch + c));
                }
            }
        });
        QObject::connect(&decoder, &QAudioDecoder::finished, &loop, [&] {
            out.ok = true;
            loop.quit();
        });
        QObject::connect(&decoder, qOverload<QAudioDecoder::Error>(&QAudioDecoder::error), &loop,
                         [&](QAudioDecoder::Error) {
                             out.error = decoder.errorString();
                             loop.quit();
                         });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        decoder.start();
        loop.exec();
        return out;
    }
};

}  // namespace talvor::test
