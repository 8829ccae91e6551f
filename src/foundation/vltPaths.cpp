#include "vltPaths.h"

#include "platform/Log.h"
#include "platform/Paths.h"

#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

namespace talvor::vltPaths {
namespace {

using platform::Paths;

const QString kVendorFolder = QStringLiteral("com.larkspindle.Talvor");
const QString kThemes = QStringLiteral("Themes");
const QString kFramesLink = QStringLiteral("Vistamoor Backgrounds");

QString join(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

QString localVendorFolder() {
    return join(Paths::systemDataDir(), kVendorFolder);
}

// Users cannot write the system folder; failing there is expected and not worth a line.
bool isUnderSystemFolder(const QString& path) {
    const QString system = QDir::cleanPath(Paths::systemDataDir());
    const QString clean = QDir::cleanPath(path);
    return clean == system || clean.startsWith(system + QLatin1Char('/')) ||
           clean.startsWith(QStringLiteral("/Library"));
}

bool isFolder(const QString& path) {
    return QFileInfo(path).isDir();
}

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// A link `link` -> `target` when both ends are folders; an entry already at `link` is kept.
void linkFolderIfBothExist(const QString& target, const QString& folder,
                           const QString& failureText) {
    if (!isFolder(target) || !isFolder(folder)) {
        return;
    }
    const QString link = join(folder, kFramesLink);
    const QFileInfo existing(link);
    if (existing.exists() || existing.isSymLink()) {
        return;
    }
    std::error_code ec;
    std::filesystem::create_directory_symlink(fsPath(target), fsPath(link), ec);
    if (ec) {
        platform::log(failureText.arg(link));
    }
}

QStringList entriesOf(const QString& folder) {
    QDir dir(folder);
    return dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDir::Name);
}

QStringList subpathsOf(const QString& folder, bool followLinks = false) {
    QStringList paths;
    const QDir root(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    followLinks ? QDirIterator::Subdirectories | QDirIterator::FollowSymlinks
                                : QDirIterator::Subdirectories);
    while (it.hasNext()) {
        paths.append(root.relativeFilePath(it.next()));
    }
    paths.sort();
    return paths;
}

bool openWithDesktop(const QString& folder) {
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
        return true;
    }
    return QProcess::startDetached(QStringLiteral("xdg-open"), {folder});
}

std::mutex& handlerMutex() {
    static std::mutex m;
    return m;
}

OpenFolderHandler& handlerSlot() {
    static OpenFolderHandler handler;
    return handler;
}

}  // namespace

bool vltMakeDirIfNeeded(const QString& path) {
    std::error_code ec;
    std::filesystem::create_directories(fsPath(path), ec);
    if (isFolder(path)) {
        return true;
    }
    if (!isUnderSystemFolder(path)) {
        const QString reason =
            ec ? QString::fromLocal8Bit(ec.message().c_str()) : QStringLiteral("not a folder");
        platform::log(QStringLiteral("vltMakeDirIfNeeded: Error: %1, path: %2").arg(reason, path));
    }
    return false;
}

QString vltGetApplSupportFolder(const QString& name) {
    QString folder = join(join(Paths::dataDir(), kVendorFolder), QStringLiteral("Talvor"));
    vltMakeDirIfNeeded(folder);
    if (!name.isEmpty()) {
        folder = join(folder, name);
        vltMakeDirIfNeeded(folder);
    }
    return folder;
}

QString vltGetLocalFennelWorkshopSupportDir() {
    return vltGetApplSupportFolder();
}

QString TalvorThemesFolder() {
    return vltGetApplSupportFolder(kThemes);
}

QString TalvorSystemThemesFolder() {
    return join(localVendorFolder(), kThemes);
}

QString TalvorThemePath(const QString& name) {
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QStringLiteral("..")) {
        return QString();
    }
    for (const QString& folder : {TalvorThemesFolder(), TalvorSystemThemesFolder()}) {
        QString theme = join(folder, name);
        if (isFolder(theme)) {
            return theme;
        }
    }
    return QString();
}

std::optional<QStringList> TalvorThemesList() {
    const QString user = join(vltGetApplSupportFolder(), kThemes);
    const bool hadUserFolder = isFolder(user);
    QStringList names;
    if (hadUserFolder) {
        names = entriesOf(user);
    } else {
        vltMakeDirIfNeeded(user);
    }
    for (const QString& name : entriesOf(TalvorSystemThemesFolder())) {
        if (!names.contains(name)) {
            names.append(name);
        }
    }
    if (!hadUserFolder && names.isEmpty()) {
        return std::nullopt;
    }
    return names;
}

bool vltShowTalvorThemeFolder() {
    return openFolder(TalvorThemesFolder());
}

bool vltShowSystemTalvorThemeFolder() {
    const QString folder = TalvorSystemThemesFolder();
    vltMakeDirIfNeeded(folder);
    if (!isFolder(folder)) {
        platform::log(QStringLiteral("No system themes folder at %1").arg(folder));
        return false;
    }
    return openFolder(folder);
}

std::optional<QStringList> TalvorPicturesList() {
    const QString folder = join(vltGetApplSupportFolder(), QStringLiteral("Pictures"));
    if (!isFolder(folder)) {
        vltMakeDirIfNeeded(folder);
        return std::nullopt;
    }
    return subpathsOf(folder);
}

bool vltTalvorMakeUserSupportDir() {
    return vltMakeDirIfNeeded(Paths::dataDir()) &&
           vltMakeDirIfNeeded(join(Paths::dataDir(), QStringLiteral("Talvor")));
}

void vltTalvorMakeLocalSupportDir() {
    const QString root = localVendorFolder();
    vltMakeDirIfNeeded(root);
    for (const QString& name : {QStringLiteral("Talvor"), QStringLiteral("Pictures"),
                                QStringLiteral("Holidays"), kThemes}) {
        vltMakeDirIfNeeded(join(root, name));
    }
    linkFolderIfBothExist(vltGetDeskTopBackgroundsPath(), join(root, QStringLiteral("Pictures")),
                          QStringLiteral("Error creating symbolic link at: %1"));
}

QString vltGetDeskTopBackgroundsPath() {
    return join(Paths::systemDataDir(), QStringLiteral("Desktop Pictures/Vistamoor Backgrounds"));
}

QString vltGetiPhotoAlbumPath() {
    return join(Paths::homeDir(), QStringLiteral("Pictures/iPhoto Library/Albums"));
}

QString vltGetVistamoorSupportPath() {
    return join(Paths::dataDir(), QStringLiteral("Vistamoor Frames"));
}

void vltVistamoorMakeSupportDir() {
    vltMakeDirIfNeeded(Paths::dataDir());
    vltMakeDirIfNeeded(vltGetVistamoorSupportPath());
    vltMakeDirIfNeeded(vltGetDeskTopBackgroundsPath());
    linkFolderIfBothExist(vltGetDeskTopBackgroundsPath(), vltGetVistamoorSupportPath(),
                          QStringLiteral("Error Creating SymbolicLink at: %1"));
}

bool vltShowFramesFolder() {
    return openFolder(vltGetVistamoorSupportPath());
}

std::optional<QStringList> vltVistamoorGetListFrames(const QStringList& exclusion) {
    const QString folder = vltGetVistamoorSupportPath();
    if (!isFolder(folder)) {
        return std::nullopt;
    }
    static const QString skippedEndings[] = {
        QStringLiteral("zip"), QStringLiteral("sit"), QStringLiteral("gz"),
        QStringLiteral("ivc"), QStringLiteral("txt"), QStringLiteral("plist"),
    };
    QStringList frames;
    // The backgrounds are linked into the frames folder to be listed with them.
    for (const QString& sub : subpathsOf(folder, true)) {
        const QString name = sub.section(QLatin1Char('/'), -1);
        if (name == QStringLiteral(".DS_Store")) {
            continue;
        }
        bool skipped = false;
        for (const QString& ending : skippedEndings) {
            skipped = skipped || name.endsWith(ending);
        }
        const QString full = join(folder, sub);
        if (skipped || exclusion.contains(full) || !QFileInfo(full).isFile()) {
            continue;
        }
        frames.append(full);
    }
    return frames;
}

OpenFolderHandler setOpenFolderHandler(OpenFolderHandler handler) {
    std::lock_guard lock(handlerMutex());
    return std::exchange(handlerSlot(), std::move(handler));
}

bool openFolder(const QString& folder) {
    OpenFolderHandler handler;
    {
        std::lock_guard lock(handlerMutex());
        handler = handlerSlot();
    }
    const bool opened = handler ? handler(folder) : openWithDesktop(folder);
    if (!opened) {
        platform::log(QStringLiteral("Unable to open folder: %1").arg(folder));
    }
    return opened;
}

}  // namespace talvor::vltPaths
