#include "LocationsSandbox.h"

#include "foundation/TalvorFilePaths.h"
#include "foundation/vltPaths.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

class locations_Folders : public test::LocationsSandbox {
  protected:
    QString vendor() const { return data() + "/com.larkspindle.Talvor"; }
    QString localVendor() const { return systemDir() + "/com.larkspindle.Talvor"; }

    static bool isDir(const QString& path) { return QFileInfo(path).isDir(); }
    static void makeFile(const QString& path) { writeBytes(path, "x"); }
};

using foundationLocationsFolders = locations_Folders;

TEST_F(foundationLocationsFolders, SupportFoldersMapOntoTheXdgAndSystemFoldersAndAreCreated) {
    struct Case {
        const char* name;
        std::function<QString()> get;
        QString expected;
        bool created;
    };
    const Case cases[] = {
        {"user appl support", [] { return TalvorFilePaths::vltGetUserApplSupportFolder(); }, data(),
         false},
        {"user appl support/name",
         [] { return TalvorFilePaths::vltGetUserApplSupportFolder("Sub"); }, data() + "/Sub", true},
        {"vendor", [] { return TalvorFilePaths::vltGetUserFennelWorkshopFolder(); }, vendor(),
         true},
        {"vendor/name", [] { return TalvorFilePaths::vltGetUserFennelWorkshopFolder("Holidays"); },
         vendor() + "/Holidays", true},
        {"per-user data", [] { return TalvorFilePaths::vltGetUsersTalvorProSupportDir(); },
         vendor() + "/Talvor Pro", true},
        {"local vendor", [] { return TalvorFilePaths::vltGetLocalFennelWorkshopSupportDir(); },
         localVendor(), true},
        {"local Talvor", [] { return TalvorFilePaths::vltGetLocalTalvorApplSupportFolder(); },
         localVendor() + "/Talvor", true},
        {"local Talvor Pro", [] { return TalvorFilePaths::vltGetLocalTalvorProSupportDir(); },
         localVendor() + "/Talvor Pro", true},
        {"appl support", [] { return vltPaths::vltGetApplSupportFolder(); }, vendor() + "/Talvor",
         true},
        {"appl support/name", [] { return vltPaths::vltGetApplSupportFolder("Pictures"); },
         vendor() + "/Talvor/Pictures", true},
        {"per-user 'local' folder", [] { return vltPaths::vltGetLocalFennelWorkshopSupportDir(); },
         vendor() + "/Talvor", true},
        {"legacy table", [] { return TalvorFilePaths::TalvorOldPathLocationFile(); },
         home() + "/Library/Talvor Locations", false},
        {"backgrounds", [] { return vltPaths::vltGetDeskTopBackgroundsPath(); },
         systemDir() + "/Desktop Pictures/Vistamoor Backgrounds", false},
        {"iPhoto albums", [] { return vltPaths::vltGetiPhotoAlbumPath(); },
         home() + "/Pictures/iPhoto Library/Albums", false},
        {"frames", [] { return vltPaths::vltGetVistamoorSupportPath(); },
         data() + "/Vistamoor Frames", false},
    };
    for (const Case& c : cases) {
        QDir(data()).removeRecursively();
        QDir(localVendor()).removeRecursively();
        const QString got = c.get();
        EXPECT_EQ(got, c.expected) << c.name;
        EXPECT_EQ(isDir(got), c.created) << c.name;
    }
    EXPECT_TRUE(log_.lines().isEmpty()) << log_.lines().join('\n').toStdString();
}

TEST_F(foundationLocationsFolders,
       CreatingAFolderFailsLoudlyForTheUserAndSilentlyUnderTheSystemFolder) {
    makeFile(data() + "/blocker");
    EXPECT_FALSE(vltPaths::vltMakeDirIfNeeded(data() + "/blocker/sub"));
    ASSERT_EQ(log_.lines().size(), 1);
    EXPECT_TRUE(log_.lines().first().startsWith("vltMakeDirIfNeeded: Error: "));
    EXPECT_TRUE(log_.lines().first().endsWith(", path: " + data() + "/blocker/sub"));

    log_.clear();
    makeFile(localVendor());
    EXPECT_EQ(TalvorFilePaths::vltGetLocalTalvorApplSupportFolder(), localVendor() + "/Talvor");
    vltPaths::vltTalvorMakeLocalSupportDir();
    EXPECT_TRUE(log_.lines().isEmpty()) << log_.lines().join('\n').toStdString();

    EXPECT_TRUE(vltPaths::vltMakeDirIfNeeded(data() + "/a/b/c"));
    EXPECT_TRUE(vltPaths::vltMakeDirIfNeeded(data() + "/a/b/c")) << "an existing folder is fine";
}

TEST_F(foundationLocationsFolders, TheSupportFoldersAreMadeWithTheirSubFolders) {
    ASSERT_TRUE(vltPaths::vltTalvorMakeUserSupportDir());
    EXPECT_TRUE(isDir(data() + "/Talvor"));

    vltPaths::vltTalvorMakeLocalSupportDir();
    for (const char* sub : {"Talvor", "Pictures", "Holidays", "Themes"}) {
        EXPECT_TRUE(isDir(localVendor() + "/" + sub)) << sub;
    }
    EXPECT_FALSE(QFileInfo(localVendor() + "/Pictures/Vistamoor Backgrounds").isSymLink())
        << "no backgrounds, no link";
}

TEST_F(foundationLocationsFolders, TheBackgroundsAreLinkedWhereBothFoldersExist) {
    const QString backgrounds = vltPaths::vltGetDeskTopBackgroundsPath();
    QDir().mkpath(backgrounds);
    vltPaths::vltTalvorMakeLocalSupportDir();
    const QFileInfo localLink(localVendor() + "/Pictures/Vistamoor Backgrounds");
    EXPECT_TRUE(localLink.isSymLink());
    EXPECT_EQ(localLink.symLinkTarget(), backgrounds);

    vltPaths::vltVistamoorMakeSupportDir();
    const QFileInfo framesLink(data() + "/Vistamoor Frames/Vistamoor Backgrounds");
    EXPECT_TRUE(framesLink.isSymLink());
    EXPECT_EQ(framesLink.symLinkTarget(), backgrounds);

    vltPaths::vltVistamoorMakeSupportDir();
    vltPaths::vltTalvorMakeLocalSupportDir();
    EXPECT_TRUE(log_.lines().isEmpty()) << "making them again keeps the links quietly";
}

TEST_F(foundationLocationsFolders, AnEntryInTheLinksPlaceIsKeptAndAFailedLinkIsLogged) {
    QDir().mkpath(vltPaths::vltGetDeskTopBackgroundsPath());
    const QString frames = vltPaths::vltGetVistamoorSupportPath();
    QDir().mkpath(frames);
    ASSERT_TRUE(QFile::link(data() + "/nowhere", frames + "/Vistamoor Backgrounds"));
    vltPaths::vltVistamoorMakeSupportDir();
    EXPECT_EQ(QFileInfo(frames + "/Vistamoor Backgrounds").symLinkTarget(), data() + "/nowhere");
    EXPECT_TRUE(log_.lines().isEmpty());

    // Folders on /proc take no links, not even from root.
    struct Case {
        QString folder;
        std::function<void()> make;
        const char* logLine;
    };
    const Case cases[] = {
        {frames, [] { vltPaths::vltVistamoorMakeSupportDir(); },
         "Error Creating SymbolicLink at: "},
        {localVendor() + "/Pictures", [] { vltPaths::vltTalvorMakeLocalSupportDir(); },
         "Error creating symbolic link at: "},
    };
    for (const Case& c : cases) {
        QDir(c.folder).removeRecursively();
        QDir().mkpath(QFileInfo(c.folder).absolutePath());
        ASSERT_TRUE(QFile::link(QStringLiteral("/proc"), c.folder));
        log_.clear();
        c.make();
        EXPECT_EQ(log_.lines(),
                  QStringList{QString::fromUtf8(c.logLine) + c.folder + "/Vistamoor Backgrounds"});
        QFile::remove(c.folder);
    }
}

// ---------------------------------------------------------------------------------------
// Themes: one per-user folder

class locations_Themes : public locations_Folders {
  protected:
    QString userThemes() const { return vendor() + "/Talvor/Themes"; }
    QString systemThemes() const { return localVendor() + "/Themes"; }
};

using foundationLocationsThemes = locations_Themes;

TEST_F(foundationLocationsThemes, SavedThemesAreListedLookedUpAndShownInOneFolder) {
    // A theme is saved where the save folder says ...
    const QString saveFolder = vltPaths::TalvorThemesFolder();
    EXPECT_EQ(saveFolder, userThemes());
    QDir().mkpath(saveFolder + "/Autumn");
    makeFile(saveFolder + "/Autumn4x3.jpg");
    // ... and found by the list, the look-up and the folder shown.
    EXPECT_EQ(vltPaths::TalvorThemesList(), QStringList({"Autumn", "Autumn4x3.jpg"}));
    EXPECT_EQ(vltPaths::TalvorThemePath("Autumn"), saveFolder + "/Autumn");
    EXPECT_TRUE(vltPaths::vltShowTalvorThemeFolder());
    EXPECT_EQ(opened_, QStringList{saveFolder});
}

TEST_F(foundationLocationsThemes, SystemThemesComeAfterTheUsersAndAreNeverWritten) {
    QDir().mkpath(systemThemes() + "/Winter");
    QDir().mkpath(systemThemes() + "/Autumn");
    QDir().mkpath(userThemes() + "/Autumn");
    QDir().mkpath(userThemes() + "/Spring");
    EXPECT_EQ(vltPaths::TalvorThemesList(), QStringList({"Autumn", "Spring", "Winter"}));
    EXPECT_EQ(vltPaths::TalvorThemePath("Autumn"), userThemes() + "/Autumn");
    EXPECT_EQ(vltPaths::TalvorThemePath("Winter"), systemThemes() + "/Winter");
    for (const char* name : {"Summer", "", "..", "../Themes"}) {
        EXPECT_EQ(vltPaths::TalvorThemePath(name), QString()) << name;
    }
    EXPECT_TRUE(vltPaths::vltShowSystemTalvorThemeFolder());
    EXPECT_EQ(opened_, QStringList{systemThemes()});
}

TEST_F(foundationLocationsThemes, AMissingThemesFolderIsCreatedAndListsNothing) {
    EXPECT_EQ(vltPaths::TalvorThemesList(), std::nullopt);
    EXPECT_TRUE(isDir(userThemes()));
    EXPECT_EQ(vltPaths::TalvorThemesList(), QStringList());

    QDir(userThemes()).removeRecursively();
    QDir().mkpath(systemThemes() + "/Winter");
    EXPECT_EQ(vltPaths::TalvorThemesList(), QStringList{"Winter"});
}

TEST_F(foundationLocationsThemes, AFolderThatCannotBeShownIsLoggedOnce) {
    makeFile(localVendor());
    EXPECT_FALSE(vltPaths::vltShowSystemTalvorThemeFolder());
    EXPECT_TRUE(opened_.isEmpty());
    EXPECT_EQ(log_.lines().size(), 1);

    log_.clear();
    openSucceeds_ = false;
    EXPECT_FALSE(vltPaths::vltShowTalvorThemeFolder());
    EXPECT_EQ(log_.lines(), QStringList{"Unable to open folder: " + userThemes()});
}

// ---------------------------------------------------------------------------------------
// Pictures and photo frames

class locations_Frames : public locations_Folders {};

using foundationLocationsFrames = locations_Frames;

TEST_F(foundationLocationsFrames, ThePicturesListGivesEverySubPath) {
    const QString pictures = vendor() + "/Talvor/Pictures";
    EXPECT_EQ(vltPaths::TalvorPicturesList(), std::nullopt);
    EXPECT_TRUE(isDir(pictures));
    makeFile(pictures + "/b.jpg");
    makeFile(pictures + "/a/c.png");
    EXPECT_EQ(vltPaths::TalvorPicturesList(), QStringList({"a", "a/c.png", "b.jpg"}));
}

TEST_F(foundationLocationsFrames, FramesAreThePictureFilesNotExcluded) {
    EXPECT_EQ(vltPaths::vltVistamoorGetListFrames(), std::nullopt);
    const QString frames = vltPaths::vltGetVistamoorSupportPath();
    struct Entry {
        const char* path;
        bool listed;
    };
    const Entry entries[] = {
        {"a.jpg", true},      {"sub/b.png", true},      {"sub/deeper/c.tiff", true},
        {".DS_Store", false}, {"sub/.DS_Store", false}, {"pack.zip", false},
        {"old.sit", false},   {"x.tar.gz", false},      {"i.ivc", false},
        {"notes.txt", false}, {"list.plist", false},    {"excluded.jpg", false},
        {"rezip", false},     {"photo.ZIP", true},
    };
    for (const Entry& e : entries) {
        makeFile(frames + "/" + e.path);
    }
    QDir().mkpath(frames + "/empty folder.jpg");
    const QString backgrounds = vltPaths::vltGetDeskTopBackgroundsPath();
    makeFile(backgrounds + "/linked.jpg");
    vltPaths::vltVistamoorMakeSupportDir();

    QStringList expected;
    for (const Entry& e : entries) {
        if (e.listed) {
            expected.append(frames + "/" + e.path);
        }
    }
    expected.append(frames + "/Vistamoor Backgrounds/linked.jpg");
    expected.sort();
    const std::optional<QStringList> got =
        vltPaths::vltVistamoorGetListFrames({frames + "/excluded.jpg"});
    ASSERT_TRUE(got.has_value());
    QStringList sorted = *got;
    sorted.sort();
    EXPECT_EQ(sorted, expected);

    EXPECT_TRUE(vltPaths::vltShowFramesFolder());
    EXPECT_EQ(opened_, QStringList{frames});
}

}  // namespace
}  // namespace talvor
