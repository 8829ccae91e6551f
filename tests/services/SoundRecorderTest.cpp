#include "DecodedSound.h"
#include "services/SoundRecorder.h"
#include "support/FakeAudioInput.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace talvor {
namespace {

using test::FakeAudioInputSystem;

platform::AudioInputDevice microphone(int channels = 1) {
    return {QStringLiteral("fake-mic"), QStringLiteral("Fake microphone"), channels, 48000.0, 480};
}

class soundsRecorder : public ::testing::Test {
  protected:
    QString output(const char* name = "note.m4a") const {
        return dir.path() + QLatin1Char('/') + QLatin1String(name);
    }
    QTemporaryDir dir;
    FakeAudioInputSystem inputs;
};

using servicesSoundsRecorder = soundsRecorder;

TEST_F(servicesSoundsRecorder, EachStepThatFailsSaysSoInItsOwnWords) {
    struct Case {
        const char* message;
        int code;
        std::function<void(FakeAudioInputSystem&)> arrange;
        const char* folder = nullptr;
    };
    const Case cases[] = {
        {"Error opening component: -50", -50, [](auto& in) { in.componentStatus = -50; }},
        {"Failed to get default input device: -1", -1, [](auto& in) { in.device.reset(); }},
        {"Failed to set AU input device: -10851", -10851,
         [](auto& in) { in.selectStatus = -10851; }},
        {"Failed to get input device ASBD: -1", -1, [](auto& in) { in.device->sampleRate = 0; }},
        {"Failed to set input device ASBD: -3", -3, [](auto& in) { in.formatStatus = -3; }},
        {"Failed to get audio sample size: -1", -1, [](auto& in) { in.device->bufferFrames = 0; }},
        {"Failed to initialize AU: -4", -4, [](auto& in) { in.openStatus = -4; }},
        {"ExtAudioFileCreateNew failed: 2", 2, [](auto&) {}, "no/such/folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        FakeAudioInputSystem in;
        in.device = microphone();
        c.arrange(in);
        const QString path =
            c.folder != nullptr ? dir.path() + "/" + c.folder + "/note.m4a" : output();
        SoundRecorder recorder(path, in);
        const auto err = recorder.prepare();
        ASSERT_TRUE(err.has_value());
        EXPECT_EQ(err->domain, QLatin1String(c.message));
        EXPECT_EQ(err->code, c.code);
    }
}

TEST_F(servicesSoundsRecorder, StartAndStopReportTheUnitsFailures) {
    inputs.device = microphone();
    {
        SoundRecorder unprepared(output(), inputs);
        EXPECT_EQ(unprepared.start()->domain, "Failed to start AU: -1");
        EXPECT_EQ(unprepared.stop()->domain, "Failed to stop AU: -1");
    }
    inputs.startStatus = -66681;
    inputs.stopStatus = -66682;
    SoundRecorder recorder(output(), inputs);
    ASSERT_FALSE(recorder.prepare().has_value());
    const auto started = recorder.start();
    ASSERT_TRUE(started.has_value());
    EXPECT_EQ(started->domain, "Failed to start AU: -66681");
    EXPECT_EQ(started->code, -66681);
    EXPECT_EQ(recorder.stop()->domain, "Failed to stop AU: -66682");
}

// The whole path from the input callback to a finished file, without a microphone.
TEST_F(servicesSoundsRecorder, AMonoInputFillsBothChannelsOfTheFile) {
    struct Case {
        int channels;
        double rightGain;  // of the right channel; a mono input copies the left
    };
    for (const Case& c : {Case{1, 1.0}, Case{2, 0.0}}) {
        SCOPED_TRACE(c.channels);
        inputs.device = microphone(c.channels);
        const QString path = output(c.channels == 1 ? "mono.m4a" : "stereo.m4a");
        QString written;
        {
            SoundRecorder recorder(path, inputs);
            ASSERT_FALSE(recorder.prepare().has_value());
            ASSERT_FALSE(recorder.start().has_value());
            written = recorder.file();
            // One second of 440 Hz in chunks larger than the device buffer.
            const int rate = 48000;
            const int chunk = 1000;
            for (int start = 0; start < rate; start += chunk) {
                std::vector<float> samples;
                for (int i = start; i < start + chunk; ++i) {
                    const float v = 0.5f * static_cast<float>(std::sin(2 * M_PI * 440 * i / rate));
                    samples.push_back(v);
                    if (c.channels == 2) {
                        samples.push_back(static_cast<float>(c.rightGain) * v);
                    }
                }
                inputs.capture()->deliver(samples, c.channels);
            }
            ASSERT_FALSE(recorder.stop().has_value());
        }
        if (platform::AudioFileWriter::availableFormat() ==
            platform::AudioFileWriter::Format::AacM4a) {
            EXPECT_EQ(written, path);
        } else {
            EXPECT_TRUE(written.endsWith(".wav"));
        }
        const auto sound = test::DecodedSound::read(written);
        ASSERT_TRUE(sound.ok) << sound.error.toStdString();
        ASSERT_EQ(sound.channels.size(), 2u);
        EXPECT_EQ(sound.sampleRate, 11025);
        EXPECT_NEAR(sound.seconds(), 1.0, 0.15);
        const double left = sound.rms(0);
        EXPECT_NEAR(left, 0.5 / std::sqrt(2.0), 0.08);
        EXPECT_NEAR(sound.rms(1), c.rightGain * left, 0.03);
    }
}

}  // namespace
}  // namespace talvor
