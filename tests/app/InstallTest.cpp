// An install into a staging folder, as a packager makes one (`cmake --install` with DESTDIR),
// and its removal through the `uninstall` target.
#include "kit/network/NetworkModule.h"
#include "platform/MediaBackend.h"
#include "prefs/BoardingWinController.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <optional>

namespace talvor {
namespace {

const QString kId = QStringLiteral("com.larkspindle.TalvorPro");

struct Run {
    int exitCode = -1;
    QString output;
};

// Runs a program to its end with DESTDIR set; nullopt when it could not be started.
std::optional<Run> run(const QString& program, const QStringList& args, const QString& destdir) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), destdir);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted() || !p.waitForFinished(300000)) {
        return std::nullopt;
    }
    return Run{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
               QString::fromUtf8(p.readAll())};
}

// The build tree's install manifest is rewritten by every install: one a user made before
// the test is put back.
class KeptManifest {
  public:
    KeptManifest() : path_(QStringLiteral(TALVOR_BINARY_DIR "/install_manifest.txt")) {
        QFile f(path_);
        if (f.open(QIODevice::ReadOnly)) {
            saved_ = f.readAll();
        }
    }
    ~KeptManifest() {
        if (!saved_) {
            QFile::remove(path_);
            return;
        }
        QFile f(path_);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            f.write(*saved_);
        }
    }
    KeptManifest(const KeptManifest&) = delete;
    KeptManifest& operator=(const KeptManifest&) = delete;

  private:
    QString path_;
    std::optional<QByteArray> saved_;
};

// `cmake --install` of the build tree into a staging folder of its own.
struct StagingInstall {
    StagingInstall()
        : installed(run(QStringLiteral(TALVOR_CMAKE),
                        {QStringLiteral("--install"), QStringLiteral(TALVOR_BINARY_DIR)},
                        stage.path())) {}
    QString prefix() const { return stage.path() + QStringLiteral(TALVOR_INSTALL_PREFIX); }

    QTemporaryDir stage;
    const KeptManifest manifest;
    const std::optional<Run> installed;
};

QStringList filesBelow(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        found << it.next();
    }
    return found;
}

// The desktop tools are Debian packages of their own: without one the test says which
// package brings it, and skips.
TEST(appInstall, AStagingInstallIsValidForTheDesktopAndTheUninstallRemovesIt) {
    const QString desktopValidate =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    const QString appstream = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
    if (desktopValidate.isEmpty()) {
        GTEST_SKIP() << "desktop-file-validate is missing (Debian package desktop-file-utils): "
                        "the menu entry cannot be checked";
    }
    if (appstream.isEmpty()) {
        GTEST_SKIP() << "appstreamcli is missing (Debian package appstream): the metadata "
                        "cannot be checked";
    }
    const QString hicolorIndex = QStringLiteral("/usr/share/icons/hicolor/index.theme");
    if (!QFileInfo::exists(hicolorIndex)) {
        GTEST_SKIP() << hicolorIndex.toStdString()
                     << " is missing (Debian package hicolor-icon-theme): the icon cannot be "
                        "looked up as a desktop does";
    }

    const StagingInstall staging;
    ASSERT_TRUE(staging.installed);
    ASSERT_EQ(staging.installed->exitCode, 0) << staging.installed->output.toStdString();
    const QTemporaryDir& stage = staging.stage;
    const QString prefix = staging.prefix();
    const QString share = prefix + QStringLiteral("/share");

    // The menu entry: valid, and both its Exec and TryExec name the installed program.
    const QString entry =
        share + QStringLiteral("/applications/") + kId + QStringLiteral(".desktop");
    const auto validEntry = run(desktopValidate, {entry}, stage.path());
    ASSERT_TRUE(validEntry);
    EXPECT_EQ(validEntry->exitCode, 0) << validEntry->output.toStdString();
    EXPECT_FALSE(validEntry->output.contains(QStringLiteral("error")))
        << validEntry->output.toStdString();
    QSettings keys(entry, QSettings::IniFormat);
    keys.beginGroup(QStringLiteral("Desktop Entry"));
    const QString program = keys.value(QStringLiteral("TryExec")).toString();
    EXPECT_EQ(keys.value(QStringLiteral("Exec")).toString(), program);
    EXPECT_TRUE(QFileInfo(stage.path() + program).isExecutable()) << program.toStdString();

    // The metadata software centres read, offline.
    const QString metainfo =
        share + QStringLiteral("/metainfo/") + kId + QStringLiteral(".metainfo.xml");
    const auto validMetainfo =
        run(appstream, {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo},
            stage.path());
    ASSERT_TRUE(validMetainfo);
    EXPECT_EQ(validMetainfo->exitCode, 0) << validMetainfo->output.toStdString();

    // The man page is there and groff reads it without a warning.
    const QString manPage = share + QStringLiteral("/man/man1/talvor.1");
    ASSERT_TRUE(QFileInfo::exists(manPage));
    if (const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
        !groff.isEmpty()) {
        const auto read = run(
            groff, {QStringLiteral("-man"), QStringLiteral("-ww"), QStringLiteral("-z"), manPage},
            stage.path());
        ASSERT_TRUE(read);
        EXPECT_EQ(read->exitCode, 0);
        EXPECT_TRUE(read->output.isEmpty()) << read->output.toStdString();
    }

    // The icon, looked up by the entry's name in the hicolor theme of the staging folder
    // (whose index the hicolor-icon-theme package gives a desktop), at every size.
    const QString icons = share + QStringLiteral("/icons");
    ASSERT_TRUE(QFile::copy(hicolorIndex, icons + QStringLiteral("/hicolor/index.theme")));
    QIcon::setThemeSearchPaths({icons});
    QIcon::setThemeName(QStringLiteral("hicolor"));
    const QString iconName = keys.value(QStringLiteral("Icon")).toString();
    EXPECT_EQ(iconName, kId);
    const QIcon icon = QIcon::fromTheme(iconName);
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon.pixmap(48, 48).isNull());
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString png =
            icons + QStringLiteral("/hicolor/%1x%1/apps/").arg(size) + kId + QStringLiteral(".png");
        EXPECT_EQ(QImage(png).size(), QSize(size, size)) << png.toStdString();
    }
    EXPECT_FALSE(
        QImage(icons + QStringLiteral("/hicolor/scalable/apps/") + kId + QStringLiteral(".svg"))
            .isNull());
    QFile::remove(icons + QStringLiteral("/hicolor/index.theme"));

    // The welcome window's pictures: the program's own windows rendered at build time, each
    // shown whole by its page from the installed data.
    {
        test::ScopedEnvVar data{"TALVOR_SYSTEM_DATA_DIR", share + QStringLiteral("/talvor")};
        std::unique_ptr<BoardingWinController> welcome = BoardingWinController::init({});
        ASSERT_NE(welcome, nullptr);
        for (int page = 0; page < BoardingWinController::kPages; ++page) {
            SCOPED_TRACE(page);
            welcome->pageControlDidSelectPageAtIndex(page);
            const QImage shown =
                welcome->currImg()->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
            const QString file = share + QStringLiteral("/talvor/Onboarding/") +
                                 BoardingWinController::pictureName(page);
            const QImage picture = QImage(file).convertToFormat(QImage::Format_RGB32);
            ASSERT_EQ(picture.size(), OnboardingPictures::kSize) << file.toStdString();
            EXPECT_EQ(shown, picture);
            // A window, not a plain field: many colours.
            QSet<QRgb> colours;
            for (int y = 0; y < picture.height(); y += 4) {
                for (int x = 0; x < picture.width(); x += 4) {
                    colours.insert(picture.pixel(x, y));
                }
            }
            EXPECT_GT(colours.size(), 20);
        }
    }

    // The installed program answers from there.
    const auto version = run(stage.path() + program, {QStringLiteral("--version")}, QString());
    ASSERT_TRUE(version);
    EXPECT_EQ(version->exitCode, 0) << version->output.toStdString();
    EXPECT_TRUE(version->output.startsWith(QStringLiteral("Talvor Pro ")))
        << version->output.toStdString();

    // The removal takes every file the install placed, and our folders with them.
    const auto removed = run(QStringLiteral(TALVOR_CMAKE),
                             {QStringLiteral("--build"), QStringLiteral(TALVOR_BINARY_DIR),
                              QStringLiteral("--target"), QStringLiteral("uninstall")},
                             stage.path());
    ASSERT_TRUE(removed);
    ASSERT_EQ(removed->exitCode, 0) << removed->output.toStdString();
    EXPECT_EQ(filesBelow(stage.path()), QStringList{});
    for (const QString& ours : {share + QStringLiteral("/talvor"),
                                prefix + QStringLiteral("/" TALVOR_INSTALL_LIBDIR "/talvor")}) {
        EXPECT_FALSE(QFileInfo::exists(ours)) << ours.toStdString();
    }
}

// The installed program and its libraries carry no test hooks: none names the test driver's
// variables or its deliberate failures, and the driver itself stays in the build tree.
TEST(appInstall, TheInstalledProgramCarriesNoTestHooks) {
    const StagingInstall staging;
    ASSERT_TRUE(staging.installed);
    ASSERT_EQ(staging.installed->exitCode, 0) << staging.installed->output.toStdString();
    const QString prefix = staging.prefix();
    QStringList programs = filesBelow(prefix + QStringLiteral("/bin"));
    ASSERT_TRUE(programs.contains(prefix + QStringLiteral("/bin/talvor")))
        << programs.join(u' ').toStdString();
    EXPECT_EQ(programs.size(), 1) << programs.join(u' ').toStdString();
    programs += filesBelow(prefix + QStringLiteral("/" TALVOR_INSTALL_LIBDIR));
    for (const QString& path : programs) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray bytes = file.readAll();
        for (const char* hook :
             {"TALVOR_TEST", "throwFromEventHandler", "crashFromTestAction", "test-driver"}) {
            EXPECT_FALSE(bytes.contains(hook)) << path.toStdString() << " holds " << hook;
        }
    }
}

// The modules the program opens at their first use lie where the installed program looks
// for them (its lib folder's talvor/), and open there with every library they need.
TEST(appInstall, TheModulesOpenedAtFirstUseOpenFromTheInstalledLibraryFolder) {
    const StagingInstall staging;
    ASSERT_TRUE(staging.installed);
    ASSERT_EQ(staging.installed->exitCode, 0) << staging.installed->output.toStdString();
    const QString folder = staging.prefix() + QStringLiteral("/" TALVOR_INSTALL_LIBDIR "/talvor/");
    const struct {
        const char* file;
        const char* entry;
    } modules[] = {{"talvor-network.so", kit::net::kNetworkModuleEntry},
                   {"talvor-media.so", platform::kMediaModuleEntry}};
    for (const auto& module : modules) {
        const QString path = folder + QLatin1String(module.file);
        SCOPED_TRACE(path.toStdString());
        ASSERT_TRUE(QFileInfo::exists(path));
        // Kept open: a module's libraries may not all unload cleanly.
        void* opened = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(opened, nullptr) << dlerror();
        EXPECT_NE(dlsym(opened, module.entry), nullptr) << dlerror();
    }
}

}  // namespace
}  // namespace talvor
