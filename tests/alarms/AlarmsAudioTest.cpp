// Real sound and speech into the private sound server that scripts/test starts (a null sink
// whose monitor is recorded), measured with sox: a ringing alarm is heard, and so are the
// spoken hour and the quarter chime.
#include "AlarmsTestSupport.h"
#include "support/SkipInCI.h"

#include "alarms/AlarmsKeys.h"
#include "alarms/PlatformChimeSounds.h"
#include "alarms/ReminderController.h"
#include "alarms/TalvorChimeSettings.h"
#include "alarms/TalvorTakeABreakSettings.h"
#include "foundation/StringsBundle.h"
#include "platform/SoundPlayer.h"
#include "services/DecodedSound.h"
#include "services/SoundFadeOut.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMediaDevices>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "support/EndWithoutTeardown.h"

#include <csignal>

namespace talvor::test {
namespace {

// Registered before main() runs the cases.
[[maybe_unused]] ::testing::Environment* const kEndWithoutTeardown =
    ::testing::AddGlobalTestEnvironment(new EndWithoutTeardown);

QString bundled(const char* file) {
    return QStringLiteral(TALVOR_BUNDLED_SOUNDS "/") + QString::fromUtf8(file);
}

// The largest sample of a recording, 0..1; -1 when sox cannot read it.
double maximumAmplitude(const QString& file) {
    QProcess sox;
    sox.start(QStringLiteral("sox"), {file, QStringLiteral("-n"), QStringLiteral("stat")});
    sox.waitForFinished(30000);
    const QString text = QString::fromLocal8Bit(sox.readAllStandardError());
    const auto m =
        QRegularExpression(QStringLiteral(R"(Maximum amplitude:\s*([-0-9.e]+))")).match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : -1.0;
}

class alarmsAudio : public AlarmsTest {
  protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
            GTEST_SKIP() << "no private sound server (scripts/test starts one)";
        }
        for (const char* tool : {"sox", "parecord"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                GTEST_SKIP() << tool << " is missing";
            }
        }
        AlarmsTest::SetUp();
        controller_.setIsSystemSound([](const QString&) { return false; });
    }

    // Records the sink's monitor while `start` runs and for `seconds` after it, the event
    // loop turning.
    QString recordWhile(const std::function<void()>& start, int seconds) {
        const QString file = dir_.path() + QStringLiteral("/monitor.wav");
        QProcess rec;
        rec.start(QStringLiteral("parecord"),
                  {QStringLiteral("--latency-msec=20"), QStringLiteral("-d"),
                   QStringLiteral("@DEFAULT_MONITOR@"), QStringLiteral("--file-format=wav"), file});
        EXPECT_TRUE(rec.waitForStarted());
        EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo(file).size() > 44; }, 5000))
            << "the monitor records nothing";
        start();
        QTest::qWait(seconds * 1000);
        ::kill(static_cast<pid_t>(rec.processId()), SIGINT);
        rec.waitForFinished(5000);
        return file;
    }

    QTemporaryDir dir_;
};

TEST_F(alarmsAudio, ARingingAlarmIsHeard) {
    auto tea = dateAlarm(at("2024-03-04T10:00:00"));
    tea->setTitle(QStringLiteral("Tea"));
    tea->setIsPlaySound(true);
    tea->setSoundPath(bundled("Alarms/Alarm.ogg"));
    controller_.scheduleAlarm(tea);
    const QString recording = recordWhile([&] { scheduler_.advanceBy(1.0); }, 3);
    EXPECT_TRUE(tea->isTriggered());
    EXPECT_GT(maximumAmplitude(recording), 0.1) << "the alarm is not heard";
    controller_.clearFromMenu(tea);
    scheduler_.runPosted();
}

TEST_F(alarmsAudio, TheHourIsSpokenAndTheQuarterChimes) {
    store().setValue(keys::ChimeStates, QStringLiteral("Chimes: 1 1 0 0 1 0 0 0"));
    store().setValue(keys::ChimeQuarterSoundPath, bundled("Chimes/Quarter Chime.ogg"));
    TalvorChimeSettings chimes(&PlatformChimeSounds::shared());
    StringsBundle bundle;

    const QString spoken =
        recordWhile([&] { chimes.doChimesIfNeeded(at("2024-03-04T11:00:00"), bundle); }, 4);
    EXPECT_GT(maximumAmplitude(spoken), 0.05) << "the hour is not spoken";

    const QString quarter =
        recordWhile([&] { chimes.doChimesIfNeeded(at("2024-03-04T11:15:00"), bundle); }, 4);
    EXPECT_GT(maximumAmplitude(quarter), 0.1) << "the quarter chime is not heard";
}

// A break starts with the stored default, which names the bundled "Take 5": it is heard, as
// the break plays it, and so is the default end of a break.
TEST_F(alarmsAudio, TheDefaultBreakSoundsAreHeard) {
    TalvorTakeABreakSettings::setBundledSoundsFolder(QStringLiteral(TALVOR_BUNDLED_SOUNDS));
    for (const QString& stored : {TalvorTakeABreakSettings::defaultSoundPath(),
                                  TalvorTakeABreakSettings::defaultDurationSoundPath()}) {
        SCOPED_TRACE(stored.toStdString());
        const std::optional<QString> file = TalvorTakeABreakSettings::soundFile(stored);
        ASSERT_TRUE(file && QFileInfo::exists(*file));
        std::shared_ptr<platform::SoundPlayer> sound;
        const QString recording = recordWhile(
            [&] {
                sound = platform::SoundSystem::shared().soundWithContentsOfFile(*file);
                ASSERT_NE(sound, nullptr);
                FadeOut::playFor(sound, 20.0, 10.0);
            },
            4);
        EXPECT_GT(maximumAmplitude(recording), 0.1) << "the break sound is not heard";
        sound->stop();
    }
    FadeOut::stopTimers();
    TalvorTakeABreakSettings::setBundledSoundsFolder(QString());
}

// The test server's input is a 440 Hz tone: a message recorded from it is that tone.
TEST_F(alarmsAudio, ARecordedMessageHoldsTheToneOfTheInput) {
    if (QMediaDevices::audioInputs().isEmpty()) {
        test::maySkipInCI(
            "the private sound server of a machine without a sound card offers no input");
        GTEST_SKIP() << "no audio input here";
    }
    ReminderController window(dir_.path());
    window.reminderTitle()->setText(QStringLiteral("Tone"));
    window.startRecording();
    ASSERT_TRUE(window.isRecording()) << window.statusLine()->text().toStdString();
    QTest::qWait(1500);
    window.stopRecording();
    const QString file = window.soundPath();
    ASSERT_FALSE(file.isEmpty()) << "the recording is listed and selected";
    EXPECT_EQ(QFileInfo(file).completeBaseName(), QStringLiteral("Tone"));

    const auto sound = DecodedSound::read(file);
    ASSERT_TRUE(sound.ok) << sound.error.toStdString();
    ASSERT_FALSE(sound.channels.empty());
    EXPECT_GT(sound.seconds(), 0.8);
    EXPECT_GT(sound.rms(0), 0.05) << "not silent";
    // Two sign changes per period.
    const std::vector<float>& left = sound.channels[0];
    int crossings = 0;
    for (std::size_t i = 1; i < left.size(); ++i) {
        crossings += (left[i - 1] < 0) != (left[i] < 0) ? 1 : 0;
    }
    EXPECT_NEAR(crossings / 2.0 / sound.seconds(), 440.0, 30.0);
}

}  // namespace
}  // namespace talvor::test
