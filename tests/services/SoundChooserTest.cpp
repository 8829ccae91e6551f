#include "platform/Menu.h"
#include "services/SoundChooser.h"
#include "support/FakeClock.h"
#include "support/FakeSoundPlayer.h"
#include "support/ManualScheduler.h"

#include <QSignalSpy>

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

// A clock and scheduler of the test's own, and sounds that exist only here.
class servicesSoundChooser : public ::testing::Test {
  protected:
    servicesSoundChooser() {
        platform::Clock::setShared(&clock);
        platform::Scheduler::setShared(&scheduler);
    }
    ~servicesSoundChooser() override {
        platform::Scheduler::setShared(nullptr);
        platform::Clock::setShared(nullptr);
    }
    static std::shared_ptr<platform::MenuItem> item(const QString& path) {
        auto i = platform::MenuItem::create(QStringLiteral("item"));
        i->setRepresentedObject(path);
        return i;
    }

    test::FakeClock clock;
    test::ManualScheduler scheduler{clock};
    test::FakeSoundSystem sounds{scheduler};
};

// The button names the shown sound (a built-in one as "Select Sound"), and Play is on only
// while the row is active and has a file to play.
TEST_F(servicesSoundChooser, ShowsTheSoundAndPlayFollowsTheFileAndTheRowsState) {
    struct Case {
        const char* name;
        bool builtInKnown;
        bool active;
        const char* path;
        const char* title;
        bool playable;
    };
    const Case cases[] = {
        {"nothing chosen", false, true, "", "Select Sound", false},
        {"a file", false, true, "/s/Bell.ogg", "Bell", true},
        {"a file, row off", false, false, "/s/Bell.ogg", "Bell", false},
        {"the built-in sound", true, true, "/b/Default.ogg", "Select Sound", true},
        {"nothing, built-in played", true, true, "", "Select Sound", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoundChooser::Parts parts;
        if (c.builtInKnown) {
            parts.builtInPath = QStringLiteral("/b/Default.ogg");
            parts.fileOf = [](const QString&) { return QStringLiteral("/b/Default.ogg"); };
        }
        SoundChooser row(parts);
        row.setActive(c.active);
        row.showSound(QString::fromLatin1(c.path));
        EXPECT_EQ(row.soundButton()->text(), QString::fromLatin1(c.title));
        EXPECT_EQ(row.playButton()->isEnabled(), c.playable);
        EXPECT_EQ(row.soundButton()->isEnabled(), c.active);
    }
}

// Only the parts asked for are made, under the names the panes' tests find them by.
TEST_F(servicesSoundChooser, MakesOnlyThePartsAskedFor) {
    SoundChooser bare({});
    EXPECT_EQ(bare.fadeInCheck(), nullptr);
    EXPECT_EQ(bare.chooseFileButton(), nullptr);
    EXPECT_EQ(bare.well(), nullptr);
    SoundChooser full({.fadeIn = true, .addFile = true, .well = true});
    for (const char* name : {"selectSoundButton", "playButton", "shouldFadeInCheck",
                             "chooseFileButton", "soundWell"}) {
        EXPECT_NE(full.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    }
    full.setActive(false);
    EXPECT_FALSE(full.fadeInCheck()->isEnabled());
}

// Play plays what `fileOf` gives, starting over on a second click; a sound chosen in the
// menu stops the preview and is handed on; the menu's record item asks for a recording.
TEST_F(servicesSoundChooser, PlayChoiceAndRecordingAreHandedOn) {
    sounds.addSound(QStringLiteral("/b/Default.ogg"), 60.0);
    SoundChooser row({.fileOf = [](const QString&) { return QStringLiteral("/b/Default.ogg"); }});
    QSignalSpy chosen(&row, &SoundChooser::soundChosen);
    QSignalSpy record(&row, &SoundChooser::recordAsked);
    row.showSound(QString());
    row.playButton()->click();
    row.playButton()->click();
    ASSERT_EQ(sounds.created.size(), 2u);
    EXPECT_FALSE(sounds.created[0]->isPlaying()) << "the first preview stopped";
    EXPECT_EQ(sounds.created[1]->path(), QStringLiteral("/b/Default.ogg"));
    EXPECT_TRUE(sounds.created[1]->isPlaying());

    row.soundSelected(*item(QStringLiteral("/s/Gong.ogg")));
    EXPECT_FALSE(sounds.created[1]->isPlaying());
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen[0][0].toString(), QStringLiteral("/s/Gong.ogg"));
    row.soundSelected(*item(QString()));
    EXPECT_EQ(chosen.size(), 1) << "an item without a path chooses nothing";
    row.manageReminders(*item(QString()));
    EXPECT_EQ(record.size(), 1);
}

}  // namespace
}  // namespace talvor
