// Without the media module the program still runs: silent, with one log line. Its own
// program, so that the module is looked for here first.
#include "platform/AudioFileWriter.h"
#include "platform/AudioInput.h"
#include "platform/SoundPlayer.h"
#include "platform/VideoPlayer.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <cerrno>

using namespace talvor;
using namespace talvor::platform;

namespace {

TEST(platformMediaModule, MissingLeavesSoundsVideosAndRecordingOffAndSaysSoOnce) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no-such-module.so"));
    test::ScopedEnvVar place{"TALVOR_MEDIA_MODULE", missing};
    test::LogCapture log;
    const QString sound = dir.filePath(QStringLiteral("bell.ogg"));
    QFile file(sound);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("OggS");
    file.close();

    EXPECT_EQ(SoundSystem::shared().soundWithContentsOfFile(sound), nullptr);
    EXPECT_FALSE(SoundSystem::shared().defaultAlertOutputDeviceIdentifier());
    EXPECT_NE(AudioInputSystem::shared().openComponent(), 0);
    EXPECT_FALSE(AudioInputSystem::shared().defaultInputDevice());
    int status = 0;
    EXPECT_EQ(AudioInputSystem::shared().openCapture(AudioInputDevice{}, &status), nullptr);
    EXPECT_NE(status, 0);
    EXPECT_EQ(AudioFileWriter::availableFormat(), AudioFileFormat::PcmWav);
    status = 0;
    EXPECT_EQ(
        AudioFileWriter::createNew(dir.filePath(QStringLiteral("take.m4a")), 48000, 1, &status),
        nullptr);
    EXPECT_EQ(status, ENOSYS);

    QWidget window;
    std::unique_ptr<VideoPlayer> video = VideoPlayer::create(&window);
    ASSERT_NE(video, nullptr);
    ASSERT_NE(video->view(), nullptr);
    EXPECT_EQ(video->view()->parentWidget(), &window);
    video->playFromStart(QUrl::fromLocalFile(sound));
    EXPECT_FALSE(video->isPlaying());

    int said = 0;
    for (const QString& line : log.lines()) {
        said += line.contains(QLatin1String("No media module")) ? 1 : 0;
    }
    EXPECT_EQ(said, 1) << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(log.contains(missing)) << "the line names where it looked";
}

}  // namespace
