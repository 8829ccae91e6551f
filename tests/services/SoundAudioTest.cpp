// Real sound through Qt Multimedia into the private sound server that scripts/test starts
// (a null sink whose monitor is recorded, and a test-tone input); measured with sox.
#include "DecodedSound.h"
#include "SoundsTestSupport.h"
#include "platform/SoundPlayer.h"
#include "services/AlertSound.h"
#include "services/SoundFadeOut.h"
#include "services/SoundRecorder.h"
#include "support/SkipInCI.h"

#include <QAudioDevice>
#include <QEventLoop>
#include <QFileInfo>
#include <QMediaDevices>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "support/EndWithoutTeardown.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <csignal>

namespace talvor {
namespace {

// Registered before main() runs the cases.
[[maybe_unused]] ::testing::Environment* const kEndWithoutTeardown =
    ::testing::AddGlobalTestEnvironment(new talvor::test::EndWithoutTeardown);

// One figure of `sox <file> -n <effects> stat`, e.g. "RMS     amplitude".
double soxStat(const QString& file, const QStringList& effects, const QString& figure) {
    QProcess sox;
    sox.start("sox", QStringList{file, "-n"} + effects + QStringList{"stat"});
    sox.waitForFinished(30000);
    const QString text = QString::fromLocal8Bit(sox.readAllStandardError());
    const QRegularExpression re(QRegularExpression::escape(figure) + R"(:\s*([-0-9.e]+))");
    const auto m = re.match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : -1.0;
}

// Leading and trailing quiet removed, as the ear would time a sound.
const QStringList kTrimmed = {"silence", "1", "0.02", "1%", "reverse",
                              "silence", "1", "0.02", "1%", "reverse"};

qint64 fileSize(const QString& path) {
    return QFileInfo(path).size();
}

constexpr qint64 kWavHeaderBytes = 44;
// A third of a second of the monitor's samples (16-bit stereo at 44.1 kHz).
constexpr qint64 kTailBytes = 44100 * 4 / 3;

class soundsAudio : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
            GTEST_SKIP() << "no private sound server (scripts/test starts one)";
        }
        for (const char* tool : {"sox", "parecord"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty()) {
                GTEST_SKIP() << tool << " is missing";
            }
        }
    }

    // Records the sink's monitor while `play` runs and until the sound has finished.
    QString recordWhile(const std::function<std::shared_ptr<platform::SoundPlayer>()>& play) {
        const QString file = dir.path() + "/monitor.wav";
        QProcess rec;
        rec.start("parecord",
                  {"--latency-msec=20", "-d", "@DEFAULT_MONITOR@", "--file-format=wav", file});
        EXPECT_TRUE(rec.waitForStarted());
        // Samples arrive once the file grows past its header: the recording has begun.
        EXPECT_TRUE(QTest::qWaitFor([&] { return fileSize(file) > kWavHeaderBytes; }, 5000))
            << "the monitor records nothing";
        auto sound = play();
        EXPECT_NE(sound, nullptr);
        QEventLoop loop;
        if (sound) {
            sound->didFinishPlaying = [&](bool) { loop.quit(); };
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
                if (!sound->isPlaying()) {
                    loop.quit();
                }
            });
            poll.start(100);
            QTimer::singleShot(20000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        // The end of the sound still on its way through the server, then some quiet.
        const qint64 atEnd = fileSize(file);
        (void)QTest::qWaitFor([&] { return fileSize(file) >= atEnd + kTailBytes; }, 5000);
        ::kill(static_cast<pid_t>(rec.processId()), SIGINT);
        rec.waitForFinished(5000);
        return file;
    }

    QTemporaryDir dir;
};

using servicesSoundsAudio = soundsAudio;

TEST_F(servicesSoundsAudio, TheBundledChimeIsHeardOnTheAlertDeviceForAsLongAsItLasts) {
    const auto device = AlertSound::alertSoundAlertDeviceIdentifier();
    ASSERT_TRUE(device.has_value());
    const QString recording = recordWhile([&] {
        auto sound = platform::SoundSystem::shared().soundWithContentsOfFile(test::bundledChime());
        sound->setPlaybackDeviceIdentifier(*device);
        sound->play();
        return sound;
    });
    EXPECT_GT(soxStat(recording, {}, "Maximum amplitude"), 0.2) << "not silent";
    const double heard = soxStat(recording, kTrimmed, "Length (seconds)");
    const double made = soxStat(test::bundledChime(), kTrimmed, "Length (seconds)");
    EXPECT_GT(made, 1.0);
    EXPECT_NEAR(heard, made, 0.3);
}

TEST_F(servicesSoundsAudio, AFadeLowersTheLevelStepByStepUntilTheStop) {
    // A steady tone, so that only the fade changes the level.
    const QString tone = dir.path() + "/tone.wav";
    ASSERT_EQ(QProcess::execute("sox", {"-n", "-r", "44100", "-c", "1", tone, "synth", "6", "sine",
                                        "440", "vol", "0.8"}),
              0);
    const QString recording = recordWhile([&] {
        auto sound = platform::SoundSystem::shared().soundWithContentsOfFile(tone);
        FadeOut::playFor(sound, 3.0, 1.0);
        return sound;
    });
    // From the first sound on: full until 1 s, fading to 3 s, stopped after.
    const QStringList fromOnset = {"silence", "1", "0.01", "1%"};
    const auto windowRms = [&](double from, double length) {
        return soxStat(
            recording,
            fromOnset + QStringList{"trim", QString::number(from), QString::number(length)},
            "RMS     amplitude");
    };
    const double full = windowRms(0.2, 0.6);
    const double early = windowRms(1.5, 0.4);
    const double late = windowRms(2.3, 0.4);
    // Nothing after the stop (the sink's monitor may deliver no samples at all then).
    const double after = windowRms(3.5, 1.0);
    EXPECT_GT(full, 0.05);
    EXPECT_LT(early, 0.9 * full);
    EXPECT_LT(late, 0.75 * early);
    EXPECT_LT(after, 0.1 * full);
    FadeOut::stopTimers();
}

TEST_F(servicesSoundsAudio, TheDefaultInputIsRecordedIntoBothChannels) {
    if (QMediaDevices::audioInputs().isEmpty()) {
        test::maySkipInCI(
            "the private sound server of a machine without a sound card offers no input");
        GTEST_SKIP() << "no audio input here";
    }
    QString written;
    {
        SoundRecorder recorder(dir.path() + "/voice.m4a");
        const auto prepared = recorder.prepare();
        ASSERT_FALSE(prepared.has_value()) << prepared->domain.toStdString();
        ASSERT_FALSE(recorder.start().has_value());
        // A recording of a set length: the file is written in large blocks, so its size
        // does not tell how much has been recorded.
        QTest::qWait(1500);
        ASSERT_FALSE(recorder.stop().has_value());
        written = recorder.file();
    }
    const auto sound = test::DecodedSound::read(written);
    ASSERT_TRUE(sound.ok) << sound.error.toStdString();
    ASSERT_EQ(sound.channels.size(), 2u);
    EXPECT_EQ(sound.sampleRate, 11025);
    EXPECT_GT(sound.seconds(), 0.5);
    EXPECT_GT(sound.rms(0), 0.01) << "not silent";
    EXPECT_NEAR(sound.rms(1), sound.rms(0), 0.02) << "the mono input in both channels";
}

}  // namespace
}  // namespace talvor
