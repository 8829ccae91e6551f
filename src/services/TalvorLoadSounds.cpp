#include "TalvorLoadSounds.h"

#include "AudioStorageController.h"
#include "platform/Log.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace talvor {
namespace {

// Symbolic links resolved; "" when the folder is missing.
QString resolved(const QString& path) {
    if (path.isEmpty()) {
        return QString();
    }
    QString p = path;
    if (p.startsWith(QLatin1String("~/"))) {
        p = platform::Paths::homeDir() + p.mid(1);
    }
    return QFileInfo(p).canonicalFilePath();
}

QStringList listing(const QString& folder) {
    if (folder.isEmpty()) {
        return {};
    }
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

bool canList(const QString& folder) {
    return !folder.isEmpty() && QFileInfo(folder).isDir() && QFileInfo(folder).isReadable();
}

QString under(const QString& base, const QString& rest) {
    return base.isEmpty() ? QString() : base + QLatin1Char('/') + rest;
}

// The first of the two that can be listed; the second otherwise.
QString eitherFolder(const QString& first, const QString& second) {
    const QString a = resolved(first);
    return canList(a) ? a : resolved(second);
}

}  // namespace

SoundMenuFolders SoundMenuFolders::defaults() {
    SoundMenuFolders f;
    const SoundSourceFolders sources = SoundSourceFolders::defaults();
    f.systemSounds = sources.systemSounds;
    f.talvorSoundLibrary = AudioStorageController::storedSoundsPath() + QStringLiteral("Sounds");
    // The user's own sound folder of the freedesktop sound theme: $XDG_DATA_HOME/sounds.
    f.userSoundLibrary = QFileInfo(platform::Paths::dataDir()).path() + QStringLiteral("/sounds");
    f.iMovieSounds = AudioStorageController::storedSoundsPath() + QStringLiteral("iMovie");
    f.iMovieApp = sources.iMovieResources;
    return f;
}

namespace TalvorLoadSounds {

void TalvorLoadSounds(platform::Menu& menu, const platform::MenuAction& action,
                      const SoundMenuFolders& folders) {
    menu.setAutoenablesItems(false);
    const auto group = [&](const QString& folder, const QString& title) {
        const QString path = resolved(folder);
        TalvorLoadSoundsArray(listing(path), path, title, menu, action);
    };
    group(folders.systemSounds, QStringLiteral("System Sounds:"));
    group(folders.talvorSoundLibrary, QStringLiteral("Talvor Sound Library:"));
    group(folders.userSoundLibrary, QStringLiteral("User Sound Library:"));
    group(folders.iMovieSounds, QStringLiteral("Sound Effects:"));
    const QString iMovie08 =
        resolved(under(folders.iMovieApp, QStringLiteral("iMovie '08 Sound Effects")));
    if (canList(iMovie08)) {
        group(iMovie08, QStringLiteral("More Sound Effects:"));
    }
    group(under(folders.iMovieHDApp, QStringLiteral("Sound Effects")),
          QStringLiteral("Classic Sound Effects:"));
    const auto effects = [&](const QString& name, const QString& title) {
        const QString rest = QStringLiteral("Sound Effects/") + name;
        const QString path =
            eitherFolder(under(folders.iMovieApp, rest), under(folders.iMovieHDApp, rest));
        TalvorLoadSoundsArray(listing(path), path, title, menu, action);
    };
    effects(QStringLiteral("Standard Sound Effects"), QStringLiteral("Standard Sound Effects:"));
    effects(QStringLiteral("Skywalker Sound Effects"), QStringLiteral("Skywalker Sound Effects:"));
}

void TalvorLoadSoundsArray(const QStringList& entries, const QString& path, const QString& title,
                           platform::Menu& menu, const platform::MenuAction& action) {
    platform::debugLog(QStringLiteral("loading sounds %1 - %2").arg(title).arg(entries.size()));
    QStringList files;
    for (const QString& name : entries) {
        if (name.startsWith(QLatin1Char('.'))) {
            continue;
        }
        const QString full = path + QLatin1Char('/') + name;
        const QFileInfo info(full);
        if (!info.isDir() && info.isReadable()) {
            files.append(full);
        }
    }
    // A group without sounds (most folders do not exist on Linux) shows no header either.
    if (files.isEmpty()) {
        return;
    }
    auto header = menu.addItemWithTitle(title);
    header->setEnabled(false);
    for (const QString& full : files) {
        auto item = menu.addItemWithTitle(QFileInfo(full).completeBaseName(), action, QString());
        item->setRepresentedObject(full);
    }
}

}  // namespace TalvorLoadSounds

namespace TalvorLoadPopUpSounds {

void TalvorLoadSoundInPopUp(platform::Menu* popUpMenu, const SoundMenuFolders& folders) {
    if (popUpMenu != nullptr) {
        TalvorLoadSounds::TalvorLoadSounds(*popUpMenu, {}, folders);
    }
}

}  // namespace TalvorLoadPopUpSounds

}  // namespace talvor
