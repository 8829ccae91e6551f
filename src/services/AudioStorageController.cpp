#include "AudioStorageController.h"

#include "SoundKeys.h"
#include "platform/NotificationCenter.h"
#include "platform/OpenDialogs.h"
#include "platform/Paths.h"
#include "platform/SharedInstance.h"
#include "platform/SoundPlayer.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSet>

namespace talvor {
namespace {

const QDir::Filters kEntries =
    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

QStringList entryNames(const QString& folder) {
    return QDir(folder).entryList(kEntries, QDir::Name);
}

// Through a hidden temporary name, so that a listing never sees half a file.
bool copyFile(const QString& from, const QString& to) {
    if (QFileInfo::exists(to)) {
        return false;
    }
    const QFileInfo target(to);
    const QString partial =
        target.path() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".part");
    QFile::remove(partial);
    if (!QFile::copy(from, partial)) {
        return false;
    }
    if (!QFile::rename(partial, to)) {
        QFile::remove(partial);
        return false;
    }
    return true;
}

bool copyItem(const QString& from, const QString& to) {
    const QFileInfo info(from);
    if (!info.isDir()) {
        return copyFile(from, to);
    }
    if (QFileInfo::exists(to) || !QDir().mkpath(to)) {
        return false;
    }
    for (const QString& name : entryNames(from)) {
        copyItem(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name);
    }
    return true;
}

bool removeItem(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink()) {
        return QDir(path).removeRecursively();
    }
    return QFile::remove(path);
}

bool sameFileContents(const QString& a, const QString& b) {
    QFile fa(a);
    QFile fb(b);
    if (fa.size() != fb.size() || !fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly)) {
        return false;
    }
    constexpr qint64 kChunk = 64 * 1024;
    while (!fa.atEnd()) {
        if (fa.read(kChunk) != fb.read(kChunk)) {
            return false;
        }
    }
    return true;
}

// Equal names, kinds and contents, folders compared recursively.
bool contentsEqual(const QString& a, const QString& b) {
    const QFileInfo ia(a);
    const QFileInfo ib(b);
    if (!ia.exists() || !ib.exists() || ia.isDir() != ib.isDir()) {
        return false;
    }
    if (!ia.isDir()) {
        return sameFileContents(a, b);
    }
    const QStringList na = entryNames(a);
    if (na != entryNames(b)) {
        return false;
    }
    for (const QString& name : na) {
        if (!contentsEqual(a + QLatin1Char('/') + name, b + QLatin1Char('/') + name)) {
            return false;
        }
    }
    return true;
}

// Every file under `source`, at any depth, copied side by side into `destination` unless
// its name was there when the pass began; the first of two equal names stays.
void flatteningCopy(const QString& source, const QString& destination,
                    const QSet<QString>& listedAtStart, const std::atomic<bool>* cancelled) {
    if (!QFileInfo(source).isDir()) {
        return;
    }
    QDirIterator it(source, kEntries, QDirIterator::Subdirectories);
    QStringList files;
    while (it.hasNext()) {
        it.next();
        if (!it.fileInfo().isDir()) {
            files.append(it.filePath());
        }
    }
    files.sort();  // a stable "first one" whatever order the file system lists
    for (const QString& file : files) {
        if (cancelled != nullptr && cancelled->load()) {
            return;
        }
        const QString name = QFileInfo(file).fileName();
        if (!listedAtStart.contains(name)) {
            copyFile(file, destination + QLatin1Char('/') + name);
        }
    }
}

QSet<QString> nameSet(const QString& folder) {
    const QStringList names = entryNames(folder);
    return QSet<QString>(names.begin(), names.end());
}

QString menuTitle(const QString& path) {
    return QFileInfo(path).completeBaseName();
}

}  // namespace

SoundSourceFolders SoundSourceFolders::defaults() {
    SoundSourceFolders f;
    f.systemSounds = QStringLiteral("/usr/share/sounds/freedesktop/stereo");
    f.userSounds = platform::Paths::systemDataDir() + QLatin1Char('/') + SoundKeys::UserSounds;
    // The reminder recordings live under Application Support (the reminder code's folder).
    f.reminders = platform::Paths::dataDir() + QStringLiteral("/Zephyrel/Recordings");
    return f;
}

AudioStorageController::AudioStorageController(SoundSourceFolders sources, bool startBackgroundPass)
    : sources_(std::move(sources)), cacheRoot_(storedSoundsPath()) {
    QDir().mkpath(soundsFolder());
    QDir().mkpath(ringsFolder());
    if (!sources_.iMovieResources.isEmpty() && QFileInfo(sources_.iMovieResources).isDir()) {
        QDir().mkpath(iMovieFolder());
    }
    if (!startBackgroundPass) {
        return;
    }
    cancel_ = std::make_unique<std::atomic<bool>>(false);
    mainThreadContext_ = std::make_unique<QObject>();
    // The thread reads nothing of this object but the two it is handed, which outlive it.
    pass_ = std::thread([sources = sources_, root = cacheRoot_, cancel = cancel_.get(),
                         context = mainThreadContext_.get()] {
        const AudioStorageController pass(sources, root, cancel);
        pass.LoadSoundsThread();
        if (!cancel->load()) {
            QMetaObject::invokeMethod(
                context,
                [] {
                    platform::NotificationCenter::defaultCenter().post(
                        SoundKeys::SoundLibraryDidLoad);
                },
                Qt::QueuedConnection);
        }
    });
}

AudioStorageController::AudioStorageController(SoundSourceFolders sources, QString cacheRoot,
                                               const std::atomic<bool>* cancelled)
    : sources_(std::move(sources)), cacheRoot_(std::move(cacheRoot)), cancelled_(cancelled) {}

AudioStorageController::~AudioStorageController() {
    SharedInstance<AudioStorageController>::withdraw(this);
    if (cancel_) {
        cancel_->store(true);
    }
    waitForBackgroundPass();
}

void AudioStorageController::waitForBackgroundPass() {
    if (pass_.joinable()) {
        pass_.join();
    }
}

AudioStorageController& AudioStorageController::sharedController() {
    return SharedInstance<AudioStorageController>::getOr([]() -> AudioStorageController& {
        static AudioStorageController* real = new AudioStorageController();
        return *real;
    });
}

void AudioStorageController::setSharedController(AudioStorageController* controller) {
    SharedInstance<AudioStorageController>::setStandIn(controller);
}

QString AudioStorageController::storedSoundsPath() {
    return platform::Paths::cacheDir() + QStringLiteral("/Clock/");
}

QString AudioStorageController::soundsFolder() const {
    return cacheRoot_ + QStringLiteral("Sounds");
}

QString AudioStorageController::ringsFolder() const {
    return cacheRoot_ + QStringLiteral("Rings");
}

QString AudioStorageController::iMovieFolder() const {
    return cacheRoot_ + QStringLiteral("iMovie");
}

bool AudioStorageController::isSystemSound(const QString& path) const {
    return rings().contains(path);
}

void AudioStorageController::chooseAudioFilesToAdd(QWidget* parent) {
    auto* panel = new QFileDialog(
        parent, QCoreApplication::translate("AudioStorageController", "Choose audio file(s)"));
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setNameFilter(QCoreApplication::translate(
        "AudioStorageController", "Sounds (*.ogg *.oga *.wav *.flac *.mp3 *.m4a *.aiff *.aif)"));
    platform::openDialog(panel, [panel](int result) {
        if (result == QDialog::Accepted) {
            sharedController().addAudioFilesWithURLs(panel->selectedUrls());
        }
    });
}

void AudioStorageController::addAudioFilesWithURLs(const QList<QUrl>& urls) const {
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) {
            continue;
        }
        const QString from = url.toLocalFile();
        copyFile(from, soundsFolder() + QLatin1Char('/') + QFileInfo(from).fileName());
    }
}

void AudioStorageController::fillMenu(platform::Menu& menu, const QStringList& fileItems,
                                      const platform::MenuAction& action) {
    menu.removeAllItems();
    for (const QString& path : fileItems) {
        auto item = menu.addItemWithTitle(menuTitle(path), action, QString());
        item->setRepresentedObject(path);
    }
}

void AudioStorageController::fillMenuWithSystemSounds(platform::Menu& menu,
                                                      const platform::MenuAction& action) const {
    fillMenu(menu, rings(), action);
}

void AudioStorageController::fillMenuWithAddedSounds(platform::Menu& menu,
                                                     const platform::MenuAction& action) const {
    fillMenu(menu, addedSounds(), action);
}

void AudioStorageController::fillMenuWithiMovieSounds(platform::Menu& menu,
                                                      const platform::MenuAction& action) const {
    fillMenu(menu, imovieSounds(), action);
}

void AudioStorageController::fillMenuWithReminderSounds(platform::Menu& menu,
                                                        const platform::MenuAction& action) const {
    fillMenu(menu, reminders(), action);
}

void AudioStorageController::LoadSoundsThread() const {
    refreshSystemSounds();
    refreshUserSounds();
    refreshiLifeSounds();
    refreshiMovieSounds();
}

void AudioStorageController::refreshSystemSounds() const {
    const QString system = sources_.systemSounds;
    const QString rings = ringsFolder();
    if (contentsEqual(system, rings)) {
        return;
    }
    const QStringList systemNames = entryNames(system);
    const QSet<QString> ringNames = nameSet(rings);
    for (const QString& name : systemNames) {
        if (cancelled()) {
            return;
        }
        if (!ringNames.contains(name)) {
            copyItem(system + QLatin1Char('/') + name, rings + QLatin1Char('/') + name);
        }
    }
    const QSet<QString> systemSet(systemNames.begin(), systemNames.end());
    for (const QString& name : entryNames(rings)) {
        if (!systemSet.contains(name)) {
            removeItem(rings + QLatin1Char('/') + name);
        }
    }
}

void AudioStorageController::refreshUserSounds() const {
    const QString sounds = soundsFolder();
    const QSet<QString> atStart = nameSet(sounds);
    flatteningCopy(sources_.userSounds, sounds, atStart, cancelled_);
    if (atStart.contains(SoundKeys::AlarmLongDigitalWatch)) {
        QFile::remove(sounds + QLatin1Char('/') + SoundKeys::AlarmLongDigitalWatch);
    }
}

void AudioStorageController::refreshiLifeSounds() const {
    if (sources_.iMovieResources.isEmpty()) {
        return;
    }
    flatteningCopy(sources_.iMovieResources + QStringLiteral("/iLife Sound Effects"),
                   iMovieFolder(), nameSet(iMovieFolder()), cancelled_);
}

void AudioStorageController::refreshiMovieSounds() const {
    if (sources_.iMovieResources.isEmpty()) {
        return;
    }
    flatteningCopy(sources_.iMovieResources + QStringLiteral("/iMovie Sound Effects"),
                   iMovieFolder(), nameSet(iMovieFolder()), cancelled_);
}

QStringList AudioStorageController::fullPathsContentsAtPath(const QString& folder) const {
    QStringList out;
    const QString dir = QDir::cleanPath(folder);
    // Hidden names are skipped: they are copies still under way.
    const QStringList names =
        QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString& name : names) {
        const QString path = dir + QLatin1Char('/') + name;
        if (platform::isSoundFile(path)) {
            out.append(path);
        }
    }
    if (dir == QDir::cleanPath(iMovieFolder())) {
        for (const QString& name : names) {
            const QString path = dir + QLatin1Char('/') + name;
            if (!out.contains(path)) {
                out.append(path);
            }
        }
    }
    return out;
}

QStringList AudioStorageController::reminders() const {
    return fullPathsContentsAtPath(sources_.reminders);
}

QStringList AudioStorageController::addedSounds() const {
    return fullPathsContentsAtPath(soundsFolder());
}

QStringList AudioStorageController::rings() const {
    return fullPathsContentsAtPath(ringsFolder());
}

QStringList AudioStorageController::imovieSounds() const {
    return fullPathsContentsAtPath(iMovieFolder());
}

}  // namespace talvor
