#include "DesktopApplications.h"

#include "BoundedFile.h"
#include "DesktopEntryFile.h"
#include "Log.h"
#include "Paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <algorithm>

namespace talvor::platform {
namespace {

const QString kDesktopSuffix = QStringLiteral(".desktop");
const QString kBookmarkNamespace =
    QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");

bool isTrue(const QString& value) {
    return value.trimmed() == QStringLiteral("true");
}

// Name[de_DE], Name[de], then Name.
QString localizedValue(const QMap<QString, QString>& keys, const QString& key) {
    const QString locale = QLocale().name();
    const QString language = locale.section(QLatin1Char('_'), 0, 0);
    for (const QString& variant : {locale, language}) {
        const auto it = keys.find(key + QLatin1Char('[') + variant + QLatin1Char(']'));
        if (it != keys.end() && !it->isEmpty()) {
            return *it;
        }
    }
    return keys.value(key);
}

QString withoutDesktopSuffix(const QString& name) {
    return name.endsWith(kDesktopSuffix) ? name.chopped(kDesktopSuffix.size()) : name;
}

bool sameText(const QString& a, const QString& b) {
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

}  // namespace

QString DesktopApplicationIndex::userDataDir() {
    return QFileInfo(Paths::dataDir()).path();
}

QStringList DesktopApplicationIndex::systemDataDirs() {
    QStringList dirs;
    for (const QString& dir : qEnvironmentVariable("XDG_DATA_DIRS").split(QLatin1Char(':'))) {
        // Relative entries are invalid and ignored, as the base-directory rules ask.
        if (QDir::isAbsolutePath(dir) && !dirs.contains(QDir::cleanPath(dir))) {
            dirs << QDir::cleanPath(dir);
        }
    }
    if (dirs.isEmpty()) {
        dirs << QStringLiteral("/usr/local/share") << QStringLiteral("/usr/share");
    }
    return dirs;
}

QStringList DesktopApplicationIndex::applicationFolders() {
    QStringList folders{userDataDir() + QStringLiteral("/applications")};
    for (const QString& dir : systemDataDirs()) {
        folders << dir + QStringLiteral("/applications");
    }
    folders.removeDuplicates();
    return folders;
}

std::optional<DesktopApplication> DesktopApplicationIndex::readEntry(const QString& path,
                                                                     const QString& id) {
    const std::optional<QMap<QString, QString>> keys = DesktopEntryFile::read(path);
    if (!keys || keys->value(QStringLiteral("Type")) != QStringLiteral("Application") ||
        isTrue(keys->value(QStringLiteral("Hidden")))) {
        return std::nullopt;
    }
    DesktopApplication entry;
    entry.id = id.isEmpty() ? withoutDesktopSuffix(QFileInfo(path).fileName()) : id;
    entry.path = path;
    entry.name = localizedValue(*keys, QStringLiteral("Name"));
    entry.icon = localizedValue(*keys, QStringLiteral("Icon"));
    entry.startupWMClass = keys->value(QStringLiteral("StartupWMClass"));
    entry.exec = DesktopEntryFile::splitExec(keys->value(QStringLiteral("Exec")));
    entry.categories =
        keys->value(QStringLiteral("Categories")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    entry.noDisplay = isTrue(keys->value(QStringLiteral("NoDisplay")));
    return entry;
}

QIcon DesktopApplicationIndex::icon(const DesktopApplication& entry) {
    if (entry.icon.isEmpty()) {
        return QIcon();
    }
    if (QDir::isAbsolutePath(entry.icon)) {
        return QFileInfo::exists(entry.icon) ? QIcon(entry.icon) : QIcon();
    }
    return QIcon::fromTheme(entry.icon);
}

DesktopApplicationIndex::DesktopApplicationIndex(const QStringList& folders) {
    QSet<QString> seen;
    for (const QString& folder : folders) {
        const QDir root(folder);
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        QStringList paths;
        while (it.hasNext()) {
            paths << it.next();
        }
        paths.sort();
        for (const QString& path : paths) {
            // applications/kde/foo.desktop has the id "kde-foo".
            const QString id = withoutDesktopSuffix(root.relativeFilePath(path))
                                   .replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id)) {
                continue;
            }
            seen.insert(id);
            // A hidden entry still shadows the same id further down: that is how users
            // remove a system entry.
            if (std::optional<DesktopApplication> entry = readEntry(path, id)) {
                entries_.push_back(std::move(*entry));
            }
        }
    }
    // Entries shown in menus first, so that look-ups prefer them over helper entries.
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const DesktopApplication& a, const DesktopApplication& b) {
                         return !a.noDisplay && b.noDisplay;
                     });
}

const DesktopApplication* DesktopApplicationIndex::entryWithId(const QString& id) const {
    const QString wanted = withoutDesktopSuffix(id);
    for (const DesktopApplication& entry : entries_) {
        if (sameText(entry.id, wanted)) {
            return &entry;
        }
    }
    return nullptr;
}

QString DesktopApplicationIndex::programOf(const DesktopApplication& entry) const {
    if (entry.exec.isEmpty()) {
        return QString();
    }
    const QString& program = entry.exec.front();
    const auto cached = programs_.find(program);
    if (cached != programs_.end()) {
        return cached->second;
    }
    const QString found =
        QDir::isAbsolutePath(program) ? program : QStandardPaths::findExecutable(program);
    QString canonical = found.isEmpty() ? QString() : QFileInfo(found).canonicalFilePath();
    programs_[program] = canonical;
    return canonical;
}

const DesktopApplication* DesktopApplicationIndex::entryForWindow(const QString& wmInstance,
                                                                  const QString& wmClass,
                                                                  const QString& executable) const {
    for (const DesktopApplication& entry : entries_) {
        if (sameText(entry.startupWMClass, wmClass) || sameText(entry.startupWMClass, wmInstance)) {
            return &entry;
        }
    }
    const QString exe =
        executable.isEmpty() ? QString() : QFileInfo(executable).canonicalFilePath();
    if (!exe.isEmpty()) {
        for (const DesktopApplication& entry : entries_) {
            if (programOf(entry) == exe) {
                return &entry;
            }
        }
    }
    for (const QString& name : {wmClass, wmInstance}) {
        if (const DesktopApplication* entry = name.isEmpty() ? nullptr : entryWithId(name)) {
            return entry;
        }
    }
    return nullptr;
}

const DesktopApplication* DesktopApplicationIndex::entryForName(const QString& name) const {
    if (name.isEmpty()) {
        return nullptr;
    }
    if (const DesktopApplication* entry = entryWithId(name)) {
        return entry;
    }
    for (const DesktopApplication& entry : entries_) {
        if (sameText(entry.name, name)) {
            return &entry;
        }
    }
    for (const DesktopApplication& entry : entries_) {
        if (!entry.exec.isEmpty() && sameText(QFileInfo(entry.exec.front()).fileName(), name)) {
            return &entry;
        }
    }
    for (const DesktopApplication& entry : entries_) {
        if (sameText(entry.startupWMClass, name)) {
            return &entry;
        }
    }
    return nullptr;
}

QStringList recentlyUsedApplicationNames(const QString& xbelPath) {
    // The desktop's own list; a FIFO or a device at its path is refused, never read.
    const BoundedRead read = readRegularFile(xbelPath, kSettingsFileCap);
    if (!read.bytes) {
        return {};
    }
    QStringList names;
    QXmlStreamReader xml(*read.bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.namespaceUri() == kBookmarkNamespace &&
            xml.name() == QStringLiteral("application")) {
            const QString name = xml.attributes().value(QStringLiteral("name")).toString();
            if (!name.isEmpty() && !names.contains(name)) {
                names << name;
            }
        }
    }
    if (xml.hasError()) {
        log(QStringLiteral("Recently used: %1 is damaged (%2)").arg(xbelPath, xml.errorString()));
    }
    return names;
}

QStringList settingsPanelEntries(const QString& folder) {
    QStringList panels;
    const QFileInfoList files = QDir(folder).entryInfoList(
        {QStringLiteral("*.desktop")}, QDir::Files | QDir::Hidden | QDir::Readable);
    for (const QFileInfo& file : files) {
        const std::optional<DesktopApplication> entry =
            DesktopApplicationIndex::readEntry(file.filePath());
        if (entry && entry->categories.contains(QStringLiteral("Settings"))) {
            panels << file.filePath();
        }
    }
    return panels;
}

}  // namespace talvor::platform
