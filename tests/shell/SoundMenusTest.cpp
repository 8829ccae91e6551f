#include "platform/Menu.h"
#include "platform/NotificationCenter.h"
#include "prefs/TalvorPrefsChimesView.h"
#include "services/AlarmSoundMenuContructor.h"
#include "services/AudioStorageController.h"
#include "services/SoundKeys.h"
#include "support/QtPrinters.h"
#include "support/ShellHarness.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::Menu;

Date utc(int y, int mo, int d, int h, int mi, int s) {
    return Date::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()));
}

QString bundled(const char* relative) {
    return QStringLiteral(TALVOR_BUILD_SHARE_DIR "/UserSounds/") + QLatin1String(relative);
}

// The bundled sounds, by title.
const QStringList kBundledTitles = {"Alarm",      "Alert",  "Chime",         "Digital Alarm",
                                    "Low Chime",  "Ping",   "Quarter Chime", "Rise",
                                    "Slow Alarm", "Take 5", "Take 5 Over"};

// The titles of a pop-up's group, from its disabled header to the next one.
QStringList group(const QComboBox& menu, const QString& header) {
    const auto* model = qobject_cast<const QStandardItemModel*>(menu.model());
    QStringList out;
    const int start = menu.findText(header);
    if (start < 0 || model == nullptr) {
        return {QStringLiteral("(no header %1)").arg(header)};
    }
    for (int i = start + 1; i < menu.count(); ++i) {
        if (!model->item(i)->isEnabled()) {
            break;
        }
        out.append(menu.itemText(i));
    }
    return out;
}

QStringList titles(const Menu& menu) {
    QStringList out;
    for (const auto& item : menu.itemArray()) {
        out.append(item->title());
    }
    return out;
}

// The library's sounds in every group of a chimes pane's pop-ups, sorted.
QStringList libraryGroups(TalvorPrefsChimesView& pane) {
    QStringList out;
    for (auto chime :
         {TalvorPrefsChimesView::Chime::Hour, TalvorPrefsChimesView::Chime::Quarter,
          TalvorPrefsChimesView::Chime::Half, TalvorPrefsChimesView::Chime::ThreeQuarter}) {
        QComboBox* menu = pane.soundMenu(chime);
        if (menu == nullptr) {
            return {QStringLiteral("(no pop-up)")};
        }
        QStringList library = group(*menu, QStringLiteral("Talvor Sound Library:"));
        library.sort();
        out.append(library.join(QLatin1Char(',')));
    }
    return out;
}

class shellSoundMenus : public ::testing::Test {
  protected:
    shellSoundMenus() {
        // A sound of the user's own, already in the library's folder.
        const QString folder = AudioStorageController::storedSoundsPath() + "Sounds";
        QDir().mkpath(folder);
        mine = folder + "/My Bell.ogg";
        QFile::copy(bundled("Chimes/Chime.ogg"), mine);
        expected = kBundledTitles;
        expected.append(QStringLiteral("My Bell"));
        expected.sort();
    }
    // Waits for the end of the library's copying.
    bool waitForLibrary() {
        return QTest::qWaitFor([&] { return loaded; }, 10000);
    }
    TalvorPrefsChimesView* openChimesPane() {
        harness.delegate->settingsWindow().doOnMain(PaneTag::chimes);
        return dynamic_cast<TalvorPrefsChimesView*>(harness.delegate->settingsWindow().viewCtrl());
    }

    // The start-up reads the bundled sounds where the build put them.
    test::ScopedEnvVar systemData{"TALVOR_SYSTEM_DATA_DIR", QStringLiteral(TALVOR_BUILD_SHARE_DIR)};
    test::ShellHarness harness{utc(2024, 7, 1, 9, 30, 0)};
    QString mine;
    QStringList expected;
    bool loaded = false;
    const platform::Observation observation =
        platform::NotificationCenter::defaultCenter().addObserver(
            SoundKeys::SoundLibraryDidLoad, QVariant(),
            [this](const platform::Notification&) { loaded = true; });
};

TEST_F(shellSoundMenus, TheBundledAndTheUsersOwnSoundsAreInEverySoundMenu) {
    AppDelegate& delegate = harness.launch();
    ASSERT_NE(delegate.soundLibrary(), nullptr);
    EXPECT_EQ(&AudioStorageController::sharedController(), delegate.soundLibrary());
    ASSERT_TRUE(waitForLibrary());

    TalvorPrefsChimesView* pane = openChimesPane();
    ASSERT_NE(pane, nullptr);
    const QString all = expected.join(QLatin1Char(','));
    EXPECT_EQ(libraryGroups(*pane), QStringList(4, all));
    QComboBox* hour = pane->soundMenu(TalvorPrefsChimesView::Chime::Hour);
    EXPECT_EQ(hour->itemData(hour->findText(QStringLiteral("My Bell"))).toString(), mine);

    // The alarm sound menu lists the same library, and the system sounds beside it.
    auto alarmMenu = Menu::create();
    AlarmSoundMenuContructor& builder = AlarmSoundMenuContructor::sharedConstructor();
    builder.setObjectMenu(alarmMenu);
    builder.constructMenu();
    builder.setObjectMenu(nullptr);
    const platform::MenuItem* libraryItem =
        alarmMenu->itemWithTitle(QStringLiteral("Talvor Sound Library"));
    ASSERT_NE(libraryItem, nullptr);
    ASSERT_TRUE(libraryItem->hasSubmenu());
    QStringList library = titles(*libraryItem->submenu());
    library.sort();
    EXPECT_EQ(library, expected);
    const QDir systemSounds(SoundSourceFolders::defaults().systemSounds);
    const platform::MenuItem* systemItem =
        alarmMenu->itemWithTitle(QStringLiteral("System Sounds"));
    ASSERT_NE(systemItem, nullptr);
    EXPECT_EQ(systemItem->submenu()->numberOfItems(), systemSounds.entryList(QDir::Files).size())
        << "the system sounds are mirrored into the library";
}

TEST_F(shellSoundMenus, AChimesPaneOpenedBeforeTheCopyingEndsFollowsIt) {
    // The pane opens before the start-up, so before any copying: only the user's own sound.
    harness.store().setValue(TalvorPrefsChimesView::soundKey(TalvorPrefsChimesView::Chime::Hour),
                             mine);
    harness.make();
    TalvorPrefsChimesView* pane = openChimesPane();
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(libraryGroups(*pane), QStringList(4, QStringLiteral("My Bell")));
    QComboBox* hour = pane->soundMenu(TalvorPrefsChimesView::Chime::Hour);
    EXPECT_EQ(hour->currentText(), QStringLiteral("My Bell"));

    harness.delegate->applicationDidFinishLaunching();
    ASSERT_TRUE(waitForLibrary());
    EXPECT_EQ(libraryGroups(*pane), QStringList(4, expected.join(QLatin1Char(','))));
    EXPECT_EQ(hour->currentText(), QStringLiteral("My Bell")) << "the choice is kept";
}

TEST_F(shellSoundMenus, TheLibraryLivesWithTheApplicationAndStopsWithIt) {
    harness.launch();
    AudioStorageController* library = harness.delegate->soundLibrary();
    ASSERT_NE(library, nullptr);
    // The quit stops the copying at once (the sandbox goes after it); a relaunch makes a
    // library of its own.
    harness.quit();
    harness.launch();
    EXPECT_NE(harness.delegate->soundLibrary(), nullptr);
    EXPECT_EQ(&AudioStorageController::sharedController(), harness.delegate->soundLibrary());
}

}  // namespace
}  // namespace talvor
