#include "ProgramCopy.h"

#include "kit/network/NetworkModule.h"
#include "platform/DesktopEntryFile.h"
#include "platform/MediaBackend.h"
#include "platform/Preferences.h"
#include "services/AppStartup.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <link.h>
#include <unistd.h>

namespace talvor {
namespace {

const QString kCopyFolder = QStringLiteral("talvor-pro");

QString canonical(const QString& path) {
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(path) : c;
}

bool isUnder(const QString& path, const QString& folder) {
    return canonical(path).startsWith(canonical(folder) + QLatin1Char('/'));
}

// Our shared libraries (the rooms of a shared build) as the loader found them.
QStringList loadedLibrariesOfOurs() {
    QStringList found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const QString path = QString::fromLocal8Bit(info->dlpi_name);
            if (QFileInfo(path).fileName().startsWith(QLatin1String("libtalvor_"))) {
                static_cast<QStringList*>(data)->append(canonical(path));
            }
            return 0;
        },
        &found);
    return found;
}

bool copyFile(const QString& from, const QString& to, QString* error) {
    QDir().mkpath(QFileInfo(to).path());
    QFile::remove(to);
    QFile source(from);
    if (!source.copy(to)) {
        *error =
            QStringLiteral("Could not copy '%1' to '%2' (%3)").arg(from, to, source.errorString());
        return false;
    }
    return true;
}

bool copyFolder(const QString& from, const QString& to, QString* error) {
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (!copyFile(file, to + file.mid(from.size()), error)) {
            return false;
        }
    }
    return true;
}

// A file, a link (even one pointing at nothing) or a folder.
bool isThere(const QString& path) {
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

// The program that a desktop entry starts; empty when it cannot be read.
QString entryProgram(const QString& path) {
    const auto entry = platform::DesktopEntryFile::read(path);
    if (!entry) {
        return QString();
    }
    const QStringList args =
        platform::DesktopEntryFile::splitExec(entry->value(QStringLiteral("Exec")));
    return args.isEmpty() ? QString() : args.constFirst();
}

bool startsProgram(const QString& entryPath, const QString& program) {
    const QString started = entryProgram(entryPath);
    return !started.isEmpty() && canonical(started) == canonical(program);
}

}  // namespace

ProgramFiles ProgramFiles::beside(const QString& executable) {
    ProgramFiles files;
    files.executable = QDir::cleanPath(executable);
    const QDir libraries(platform::programLibraryFolder(executable));
    for (const QFileInfo& library : libraries.entryInfoList(QDir::Files)) {
        files.libraries << library.absoluteFilePath();
    }
    const QString share = QFileInfo(executable).absolutePath() + QStringLiteral("/../share");
    for (const QString& name : {QStringLiteral("talvor"), QStringLiteral("icons")}) {
        if (QFileInfo(share + QLatin1Char('/') + name).isDir()) {
            files.shareFolders << QDir::cleanPath(share + QLatin1Char('/') + name);
        }
    }
    return files;
}

ProgramFiles ProgramFiles::running() {
    ProgramFiles files = beside(QCoreApplication::applicationFilePath());
    QStringList loaded = loadedLibrariesOfOurs();
    if (const QString media = platform::mediaModulePath(); !media.isEmpty()) {
        loaded << canonical(media);
    }
    if (const std::string network = kit::net::networkModulePath(); !network.empty()) {
        loaded << canonical(QString::fromStdString(network));
    }
    for (const QString& library : loaded) {
        // One of a name: the loaded one wins over one that lies beside the program unused.
        const QString name = QFileInfo(library).fileName();
        files.libraries.removeIf(
            [&name](const QString& other) { return QFileInfo(other).fileName() == name; });
        files.libraries << library;
    }
    return files;
}

PlacedCopy::PlacedCopy(const QString& binFolder)
    : folder_(QDir::cleanPath(binFolder + QStringLiteral("/../lib/") + kCopyFolder)),
      link_(QDir::cleanPath(binFolder + QStringLiteral("/talvor"))) {}

QString PlacedCopy::executable() const {
    return folder_ + QStringLiteral("/bin/talvor");
}

QString PlacedCopy::menuEntryPath() {
    return platform::DesktopEntryFile::applicationsFolder() + QLatin1Char('/') +
           platform::kMainBundleIdentifier + QStringLiteral(".desktop");
}

bool PlacedCopy::place(const ProgramFiles& files, QString* error) const {
    // Where the command goes is checked first: a move that cannot finish leaves the old copy.
    if (!QDir().mkpath(QFileInfo(link_).path())) {
        *error = QStringLiteral("Could not make the folder %1").arg(QFileInfo(link_).path());
        return false;
    }
    // Made beside the old copy first: a copy that fails half way leaves the old one working.
    const QString staging = folder_ + QStringLiteral(".new-%1").arg(::getpid());
    QDir(staging).removeRecursively();
    const QString stagedExecutable = staging + QStringLiteral("/bin/talvor");
    bool ok = copyFile(files.executable, stagedExecutable, error);
    const QString libraries = platform::programLibraryFolder(stagedExecutable);
    for (const QString& library : files.libraries) {
        ok = ok &&
             copyFile(library, libraries + QLatin1Char('/') + QFileInfo(library).fileName(), error);
    }
    for (const QString& folder : files.shareFolders) {
        ok = ok &&
             copyFolder(folder, staging + QStringLiteral("/share/") + QFileInfo(folder).fileName(),
                        error);
    }
    if (!ok) {
        QDir(staging).removeRecursively();
        return false;
    }
    if (QFileInfo(folder_).isDir() && !QDir(folder_).removeRecursively()) {
        *error = QStringLiteral("Could not remove the earlier copy in %1").arg(folder_);
        QDir(staging).removeRecursively();
        return false;
    }
    if (!QDir().rename(staging, folder_)) {
        *error = QStringLiteral("Could not rename '%1' to '%2'").arg(staging, folder_);
        QDir(staging).removeRecursively();
        return false;
    }

    // An earlier link, or the program itself as earlier moves placed it there, is replaced.
    if (isThere(link_)) {
        QFile::remove(link_);
    }
    if (!QFile::link(executable(), link_)) {
        *error = QStringLiteral("Could not make the link %1").arg(link_);
        return false;
    }

    const QString scalable = folder_ + QStringLiteral("/share/icons/hicolor/scalable/apps/") +
                             platform::kMainBundleIdentifier + QStringLiteral(".svg");
    const QString exec = platform::DesktopEntryFile::quoteExecArgument(executable());
    return platform::DesktopEntryFile::write(
        menuEntryPath(),
        {{QStringLiteral("Type"), QStringLiteral("Application")},
         {QStringLiteral("Name"), QStringLiteral("Talvor Pro")},
         {QStringLiteral("GenericName"), QStringLiteral("Clock and Calendar")},
         {QStringLiteral("Comment"), QStringLiteral("Clock, calendar and alarms in the menu bar")},
         {QStringLiteral("Exec"), exec},
         // Gone with the copy: a desktop then shows no entry that points at nothing.
         {QStringLiteral("TryExec"), executable()},
         {QStringLiteral("Icon"),
          QFileInfo::exists(scalable) ? scalable : platform::kMainBundleIdentifier},
         {QStringLiteral("Terminal"), QStringLiteral("false")},
         {QStringLiteral("Categories"), QStringLiteral("Utility;Clock;")}},
        error);
}

QList<PlacedFile> placedFiles(const QString& program, const QString& binFolder) {
    QList<PlacedFile> files;
    if (startsProgram(LoginItems::entryPath(), program)) {
        files.append({LoginItems::entryPath(), QStringLiteral("autostart entry")});
    }
    if (startsProgram(PlacedCopy::menuEntryPath(), program)) {
        files.append({PlacedCopy::menuEntryPath(), QStringLiteral("menu entry")});
    }
    const PlacedCopy copy(binFolder);
    if (isUnder(program, copy.folder())) {
        const QFileInfo link(copy.link());
        if (link.isSymLink() && isUnder(link.symLinkTarget(), copy.folder())) {
            files.append({copy.link(), QStringLiteral("command")});
        }
        files.append({copy.folder(), QStringLiteral("program")});
    }
    return files;
}

QStringList removePlacedFiles(const QList<PlacedFile>& files) {
    QStringList lines;
    for (const PlacedFile& file : files) {
        const bool removed = QFileInfo(file.path).isDir() && !QFileInfo(file.path).isSymLink()
                                 ? QDir(file.path).removeRecursively()
                                 : QFile::remove(file.path);
        lines << (removed ? QStringLiteral("Removed the %1: %2")
                          : QStringLiteral("Could not remove the %1: %2"))
                     .arg(file.what, file.path);
    }
    return lines;
}

}  // namespace talvor
