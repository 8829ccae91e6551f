#include "SoundsTestSupport.h"
#include "platform/Menu.h"
#include "platform/NotificationCenter.h"
#include "services/AlarmSoundMenuContructor.h"
#include "services/AudioStorageController.h"
#include "services/SoundKeys.h"
#include "services/TalvorLoadSounds.h"
#include "support/TestEnvironment.h"

#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::Menu;
using platform::MenuItem;
using test::readFile;
using test::writeFile;
using test::writeSound;

QStringList names(const QStringList& paths) {
    QStringList out;
    for (const QString& p : paths) {
        out.append(QFileInfo(p).fileName());
    }
    return out;
}

QStringList titles(const Menu& menu) {
    QStringList out;
    for (const auto& item : menu.itemArray()) {
        out.append(item->isSeparatorItem() ? QStringLiteral("---") : item->title());
    }
    return out;
}

// A sandboxed home and cache, and source folders of the test's making.
class SoundLibrary : public ::testing::Test {
  protected:
    SoundLibrary() {
        sources.systemSounds = dir("system");
        sources.userSounds = dir("bundle/UserSounds");
        sources.reminders = dir("recordings");
    }
    QString dir(const char* name) const {
        return sandbox.root() + QLatin1Char('/') + QLatin1String(name);
    }
    AudioStorageController make() const { return AudioStorageController(sources, false); }

    test::XdgSandbox sandbox;
    SoundSourceFolders sources;
};

using soundsLibrary = SoundLibrary;

using servicesSoundsLibrary = soundsLibrary;

TEST_F(servicesSoundsLibrary, CachesLiveUnderTheCacheFolderAndTheEffectsCacheOnlyWithTheEditor) {
    struct Case {
        const char* name;
        bool editorPresent;
    };
    for (const Case& c : {Case{"no editor", false}, Case{"editor", true}}) {
        SCOPED_TRACE(c.name);
        test::XdgSandbox fresh;
        SoundSourceFolders s = sources;
        s.iMovieResources = c.editorPresent ? dir("iMovie.app/Resources") : QString();
        if (c.editorPresent) {
            QDir().mkpath(s.iMovieResources);
        }
        AudioStorageController lib(s, false);
        const QString root = fresh.root() + QStringLiteral("/cache/talvor/Clock/");
        EXPECT_EQ(AudioStorageController::storedSoundsPath(), root);
        EXPECT_TRUE(QFileInfo(root + "Sounds").isDir());
        EXPECT_TRUE(QFileInfo(root + "Rings").isDir());
        EXPECT_EQ(QFileInfo(root + "iMovie").isDir(), c.editorPresent);
        lib.LoadSoundsThread();
        EXPECT_TRUE(lib.imovieSounds().isEmpty());
        auto menu = Menu::create();
        menu->addItemWithTitle(QStringLiteral("stale"));
        lib.fillMenuWithiMovieSounds(*menu, {});
        EXPECT_EQ(menu->numberOfItems(), 0);
    }
}

TEST_F(servicesSoundsLibrary, SystemSoundsAreMirroredAddedAndRemovedButNotRefreshed) {
    writeSound(sources.systemSounds + "/bell.oga", "v1");
    writeSound(sources.systemSounds + "/complete.oga");
    AudioStorageController lib = make();
    lib.refreshSystemSounds();
    EXPECT_EQ(names(lib.rings()), (QStringList{"bell.oga", "complete.oga"}));

    // The next run: one removed, one new, one changed in place.
    QFile::remove(sources.systemSounds + "/complete.oga");
    writeSound(sources.systemSounds + "/message.oga");
    writeSound(sources.systemSounds + "/bell.oga", "v2");
    lib.refreshSystemSounds();
    EXPECT_EQ(names(lib.rings()), (QStringList{"bell.oga", "message.oga"}));
    EXPECT_TRUE(readFile(lib.ringsFolder() + "/bell.oga").endsWith("v1"));

    EXPECT_TRUE(lib.isSystemSound(lib.ringsFolder() + "/message.oga"));
    EXPECT_FALSE(lib.isSystemSound(sources.systemSounds + "/message.oga"));
    EXPECT_FALSE(lib.isSystemSound(lib.soundsFolder() + "/message.oga"));
}

TEST_F(servicesSoundsLibrary, FlatteningCopiesKeepTheFirstOfEqualNamesAndWhatWasThere) {
    sources.iMovieResources = dir("iMovie.app/Resources");
    const QString effects = sources.iMovieResources + "/iMovie Sound Effects";
    writeSound(effects + "/A/Door.aif", "from A");
    writeSound(effects + "/B/Door.aif", "from B");
    writeSound(effects + "/B/Deep/Wind.aif");
    writeSound(sources.iMovieResources + "/iLife Sound Effects/Jingles/Wind.aif", "iLife");
    QDir().mkpath(sources.iMovieResources);
    AudioStorageController lib = make();
    lib.LoadSoundsThread();
    EXPECT_EQ(names(lib.imovieSounds()), (QStringList{"Door.aif", "Wind.aif"}));
    EXPECT_TRUE(readFile(lib.iMovieFolder() + "/Door.aif").endsWith("from A"));
    // The iLife folder is copied first; the later one finds the name taken.
    EXPECT_TRUE(readFile(lib.iMovieFolder() + "/Wind.aif").endsWith("iLife"));
    EXPECT_FALSE(QFileInfo(lib.iMovieFolder() + "/A").exists());
}

TEST_F(servicesSoundsLibrary, BundledSoundsLandSideBySideAndTheRetiredWatchAlarmGoes) {
    sources.userSounds = test::bundledSounds();
    AudioStorageController lib = make();
    writeSound(lib.soundsFolder() + "/Alarm_Long_Digital_Watch.mp3");
    writeSound(lib.soundsFolder() + "/Chime.ogg", "the user's own");
    lib.refreshUserSounds();
    const QStringList added = names(lib.addedSounds());
    for (const char* name : {"Chime.ogg", "Low Chime.ogg", "Alarm.ogg", "Digital Alarm.ogg",
                             "Alert.ogg", "Ping.ogg"}) {
        EXPECT_TRUE(added.contains(QLatin1String(name))) << name;
    }
    EXPECT_FALSE(added.contains("Alarm_Long_Digital_Watch.mp3"));
    EXPECT_TRUE(readFile(lib.soundsFolder() + "/Chime.ogg").endsWith("the user's own"));
}

TEST_F(servicesSoundsLibrary, OnlySoundFilesAreListedExceptInTheEffectsCache) {
    sources.iMovieResources = dir("iMovie.app/Resources");
    QDir().mkpath(sources.iMovieResources);
    AudioStorageController lib = make();
    for (const QString& folder : {lib.soundsFolder(), lib.iMovieFolder()}) {
        writeSound(folder + "/Gong.ogg");
        writeFile(folder + "/notes.txt", "not a sound");
        writeFile(folder + "/.Gong2.ogg.part", "half a copy");
    }
    EXPECT_EQ(names(lib.addedSounds()), QStringList{"Gong.ogg"});
    EXPECT_EQ(names(lib.imovieSounds()), (QStringList{"Gong.ogg", "notes.txt"}));
    EXPECT_TRUE(lib.fullPathsContentsAtPath(dir("missing")).isEmpty());
}

TEST_F(servicesSoundsLibrary, AddingFilesNeverReplacesOneOfTheSameName) {
    AudioStorageController lib = make();
    writeSound(lib.soundsFolder() + "/Mine.ogg", "kept");
    const QString incoming = writeSound(dir("desktop/Mine.ogg"), "dropped");
    const QString other = writeSound(dir("desktop/Other.ogg"));
    lib.addAudioFilesWithURLs({QUrl::fromLocalFile(incoming), QUrl::fromLocalFile(other),
                               QUrl(QStringLiteral("https://example.org/x.ogg"))});
    EXPECT_TRUE(readFile(lib.soundsFolder() + "/Mine.ogg").endsWith("kept"));
    EXPECT_EQ(names(lib.addedSounds()), (QStringList{"Mine.ogg", "Other.ogg"}));
}

TEST_F(servicesSoundsLibrary, TheBackgroundPassFillsTheCachesWithoutHoldingUpTheCaller) {
    writeSound(sources.systemSounds + "/bell.oga");
    sources.userSounds = test::bundledSounds();
    int announced = 0;
    const platform::Observation heard = platform::NotificationCenter::defaultCenter().addObserver(
        SoundKeys::SoundLibraryDidLoad, QVariant(),
        [&](const platform::Notification&) { ++announced; });
    {
        AudioStorageController lib(sources, true);
        // Announced on the main thread once the caches are filled.
        ASSERT_TRUE(QTest::qWaitFor([&] { return announced == 1; }, 10000));
        EXPECT_EQ(names(lib.rings()), QStringList{"bell.oga"});
        EXPECT_GE(lib.addedSounds().size(), 9);
    }
    // A library gone before its pass ended announces nothing afterwards.
    {
        test::XdgSandbox fresh;
        AudioStorageController lib(sources, true);
    }
    {
        AudioStorageController sentinel(sources, true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return announced > 1; }, 10000));
    }
    EXPECT_EQ(announced, 2);
}

TEST_F(servicesSoundsLibrary, MenusGetOneItemPerSoundTitledWithoutExtension) {
    writeSound(sources.reminders + "/Take the bins out.aiff");
    writeSound(sources.reminders + "/Call home.aiff");
    AudioStorageController lib = make();
    auto menu = Menu::create();
    menu->addItemWithTitle(QStringLiteral("old"));
    QStringList chosen;
    lib.fillMenuWithReminderSounds(
        *menu, [&](MenuItem& item) { chosen.append(item.representedObject().toString()); });
    EXPECT_EQ(titles(*menu), (QStringList{"Call home", "Take the bins out"}));
    EXPECT_TRUE(menu->itemAtIndex(0)->keyEquivalent().isEmpty());
    ASSERT_TRUE(menu->performActionForItemAtIndex(1));
    EXPECT_EQ(chosen, QStringList{sources.reminders + "/Take the bins out.aiff"});
}

// The grouped alarm sound menu, filled from the library's folders.
class AlarmSoundMenu : public SoundLibrary, public AlarmSoundMenuTarget {
  protected:
    AlarmSoundMenu() : lib(sources, false) {
        AudioStorageController::setSharedController(&lib);
        builder.setTarget(this);
    }
    ~AlarmSoundMenu() override { AudioStorageController::setSharedController(nullptr); }

    void soundSelected(MenuItem& sender) override {
        selected.append(sender.representedObject().isValid() ? sender.representedObject().toString()
                                                             : QStringLiteral("(no path)"));
    }
    void manageReminders(MenuItem&) override { ++reminderRequests; }

    std::shared_ptr<Menu> build(const QString& firstTitle = {}) {
        auto menu = Menu::create();
        if (!firstTitle.isEmpty()) {
            menu->addItemWithTitle(firstTitle);
            menu->addItemWithTitle(QStringLiteral("whatever followed"));
        }
        builder.setObjectMenu(menu);
        builder.constructMenu();
        return menu;
    }
    Menu& submenu(Menu& menu, const char* title) {
        MenuItem* item = menu.itemWithTitle(QLatin1String(title));
        EXPECT_NE(item, nullptr);
        EXPECT_TRUE(item->hasSubmenu());
        return *item->submenu();
    }

    AudioStorageController lib;
    AlarmSoundMenuContructor builder;
    QStringList selected;
    int reminderRequests = 0;
};

using soundsAlarmMenu = AlarmSoundMenu;

using servicesSoundsAlarmMenu = soundsAlarmMenu;

TEST_F(servicesSoundsAlarmMenu, KeepsTheFirstTitleOrSaysSelectSoundAndShowsNoEmptyGroup) {
    struct Case {
        const char* existing;
        const char* first;
    };
    for (const Case& c : {Case{"", "Select Sound"}, Case{"Chime", "Chime"}}) {
        auto menu = build(QLatin1String(c.existing));
        EXPECT_EQ(titles(*menu), (QStringList{QLatin1String(c.first), "Record Sound"}))
            << c.existing;
    }
}

TEST_F(servicesSoundsAlarmMenu, RecordSoundOffersRecordingFirstThenTheRecordings) {
    auto menu = build();
    Menu& record = submenu(*menu, "Record Sound");
    EXPECT_EQ(titles(record), QStringList{"Record Alarm Sound..."});
    ASSERT_TRUE(record.performActionForItemAtIndex(0));
    EXPECT_EQ(reminderRequests, 1);

    writeSound(sources.reminders + "/Meeting.aiff");
    menu = build();
    Menu& again = submenu(*menu, "Record Sound");
    EXPECT_EQ(titles(again), (QStringList{"Record Alarm Sound...", "Meeting"}));
    ASSERT_TRUE(again.performActionForItemAtIndex(1));
    EXPECT_EQ(selected, QStringList{sources.reminders + "/Meeting.aiff"});
}

TEST_F(servicesSoundsAlarmMenu, GroupsListTheSystemSoundsAndTheLibrary) {
    writeSound(sources.systemSounds + "/bell.oga");
    sources.userSounds = test::bundledSounds();
    AudioStorageController filled(sources, false);
    filled.LoadSoundsThread();
    auto menu = build();
    EXPECT_EQ(titles(submenu(*menu, "System Sounds")), QStringList{"bell"});
    const QStringList library = titles(submenu(*menu, "Talvor Sound Library"));
    EXPECT_TRUE(library.contains("Chime"));
    EXPECT_TRUE(library.contains("Digital Alarm"));
    Menu& system = submenu(*menu, "System Sounds");
    ASSERT_TRUE(system.performActionForItemAtIndex(0));
    EXPECT_EQ(selected, QStringList{lib.ringsFolder() + "/bell.oga"});
}

TEST_F(servicesSoundsAlarmMenu, EachGroupWithSoundsStandsInItsPlace) {
    writeSound(sources.systemSounds + "/bell.oga");
    writeSound(lib.soundsFolder() + "/Chime.ogg");
    lib.refreshSystemSounds();
    struct Case {
        const char* name;
        bool editorSounds;
        QStringList expected;
    };
    const Case cases[] = {
        {"no editor sounds",
         false,
         {"Select Sound", "Record Sound", "---", "System Sounds", "---", "Talvor Sound Library"}},
        {"editor sounds",
         true,
         {"Select Sound", "Record Sound", "---", "System Sounds", "---", "Sound Effects", "---",
          "Talvor Sound Library"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.editorSounds) {
            writeSound(lib.iMovieFolder() + "/Door.aif");
        }
        auto menu = build();
        EXPECT_EQ(titles(*menu), c.expected);
        if (c.editorSounds) {
            Menu& editor = submenu(*menu, "Sound Effects");
            ASSERT_TRUE(editor.performActionForItemAtIndex(0));
            EXPECT_EQ(selected, QStringList{lib.iMovieFolder() + "/Door.aif"});
        }
    }
}

// The folder-driven filler of pop-up buttons.
class SoundPopUp : public SoundLibrary {
  protected:
    SoundMenuFolders folders() const {
        SoundMenuFolders f;
        f.systemSounds = sources.systemSounds;
        f.talvorSoundLibrary = dir("cache/Sounds");
        f.userSoundLibrary = dir("home-sounds");
        f.iMovieSounds = dir("cache/iMovie");
        return f;
    }
    static QStringList headers(const Menu& menu) {
        QStringList out;
        for (const auto& item : menu.itemArray()) {
            if (!item->isEnabled()) {
                out.append(item->title());
            }
        }
        return out;
    }
};

using soundsPopUp = SoundPopUp;

using servicesSoundsPopUp = soundsPopUp;

TEST_F(servicesSoundsPopUp, OnlyGroupsWithSoundsAreHeaded) {
    writeSound(sources.systemSounds + "/bell.oga");
    writeSound(sources.systemSounds + "/.hidden.oga");
    QDir().mkpath(sources.systemSounds + "/a folder");
    writeSound(dir("cache/Sounds/Chime.ogg"));
    // Folders with nothing to play: hidden files and folders only, or missing.
    writeSound(dir("home-sounds/.partial.wav"));
    QDir().mkpath(dir("cache/iMovie/nested"));
    Menu menu;
    TalvorLoadSounds::TalvorLoadSounds(
        menu, [](MenuItem&) {}, folders());
    EXPECT_FALSE(menu.autoenablesItems());
    EXPECT_EQ(titles(menu),
              (QStringList{"System Sounds:", "bell", "Talvor Sound Library:", "Chime"}));
    EXPECT_EQ(headers(menu), (QStringList{"System Sounds:", "Talvor Sound Library:"}));
    EXPECT_EQ(menu.itemAtIndex(1)->representedObject().toString(),
              QFileInfo(sources.systemSounds).canonicalFilePath() + "/bell.oga");
    EXPECT_TRUE(menu.itemAtIndex(1)->hasAction());

    Menu empty;
    SoundMenuFolders none;
    none.systemSounds = dir("missing");
    TalvorLoadSounds::TalvorLoadSounds(empty, {}, none);
    EXPECT_EQ(empty.numberOfItems(), 0);
}

TEST_F(servicesSoundsPopUp, OtherGroupsAppearOnlyWithFilesAndTheEditorFoldersFallBack) {
    writeSound(dir("home-sounds/Mine.wav"));
    SoundMenuFolders f = folders();
    f.iMovieApp = dir("iMovie.app/Resources");
    f.iMovieHDApp = dir("iMovie HD.app/Resources");
    writeSound(f.iMovieApp + "/iMovie '08 Sound Effects/Swoosh.aif");
    writeSound(f.iMovieHDApp + "/Sound Effects/Standard Sound Effects/Thud.aif");
    writeSound(f.iMovieApp + "/Sound Effects/Skywalker Sound Effects/Laser.aif");
    // A link resolves to its target.
    QFile::link(dir("home-sounds"), dir("linked-sounds"));
    f.userSoundLibrary = dir("linked-sounds");
    Menu menu;
    TalvorLoadSounds::TalvorLoadSounds(menu, {}, f);
    EXPECT_EQ(
        titles(menu),
        (QStringList{"User Sound Library:", "Mine", "More Sound Effects:", "Swoosh",
                     // The HD edition's own folder holds only folders: no group.
                     "Standard Sound Effects:", "Thud", "Skywalker Sound Effects:", "Laser"}));
    EXPECT_EQ(menu.itemAtIndex(1)->representedObject().toString(),
              QFileInfo(dir("home-sounds")).canonicalFilePath() + "/Mine.wav");
}

TEST_F(servicesSoundsPopUp, APopUpWithoutAMenuIsLeftAloneAndItemsGetNoAction) {
    TalvorLoadPopUpSounds::TalvorLoadSoundInPopUp(nullptr, folders());
    writeSound(sources.systemSounds + "/bell.oga");
    Menu menu;
    TalvorLoadPopUpSounds::TalvorLoadSoundInPopUp(&menu, folders());
    ASSERT_EQ(menu.numberOfItems(), 2);
    EXPECT_FALSE(menu.itemAtIndex(1)->hasAction());
    EXPECT_TRUE(menu.isItemShownEnabled(*menu.itemAtIndex(1)));
}

}  // namespace
}  // namespace talvor
