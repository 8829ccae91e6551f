#include "ReminderStrings.h"

#include "Clock.h"
#include "Event.h"
#include "SavedAlarms.h"
#include "TalvorTakeABreakSettings.h"
#include "platform/Paths.h"
#include "platform/SoundPlayer.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

namespace talvor {
namespace {

QString canonical(const QString& path) {
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QFileInfo(path).absoluteFilePath() : c;
}

}  // namespace

StringContainer StringContainer::containerWithStringValue(const QString& title,
                                                          const QString& soundPath) {
    StringContainer c;
    if (!title.isEmpty()) {
        c.reminderString_ = title;
    }
    if (!soundPath.isEmpty()) {
        c.soundPath_ = soundPath;
    }
    return c;
}

std::optional<QString> StringContainer::completeString(const QString& prefix) const {
    if (reminderString_.startsWith(prefix)) {
        return reminderString_;
    }
    return std::nullopt;
}

QString ReminderStrings::soundDirectory() {
    QString dir = platform::Paths::dataDir() + QStringLiteral("/Zephyrel/Recordings");
    platform::Paths::makePath(dir);
    return dir;
}

QSet<QString> ReminderStrings::soundPathsInUse() {
    QSet<QString> paths;
    for (const auto& a : SavedAlarms::load()) {
        paths.insert(a->soundPath());
    }
    for (const auto& a : Clock::sharedClock().allAlarms()) {
        paths.insert(a->soundPath());
    }
    for (const Event& e : loadEvents()) {
        paths.insert(e.soundPath());
    }
    const TalvorTakeABreakSettings& breaks = TalvorTakeABreakSettings::sharedInstance();
    paths.insert(breaks.soundPath());
    paths.insert(breaks.durationSoundPath());
    paths.remove(QString());
    return paths;
}

std::optional<QString> ReminderStrings::fileNameForTitle(const QString& title) {
    QString name;
    for (const QChar c : title) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\')) {
            name += QLatin1Char('-');
        } else if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
                   c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            name += QLatin1Char(' ');
        } else {
            name += c;
        }
    }
    name = name.simplified();
    while (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char(' '))) {
        name.remove(0, 1);
    }
    if (name.size() > kMaxNameLength) {
        name.truncate(kMaxNameLength);
        // Never half a surrogate pair.
        if (name.back().isHighSurrogate()) {
            name.chop(1);
        }
        name = name.trimmed();
    }
    if (name.isEmpty()) {
        return std::nullopt;
    }
    return name;
}

ReminderStrings::ReminderStrings(QString folder, References references)
    : folder_(std::move(folder)), references_(std::move(references)) {
    if (!references_) {
        references_ = &ReminderStrings::soundPathsInUse;
    }
    refreshContent();
}

void ReminderStrings::refreshContent() {
    stringContainers_.clear();
    QDir dir(folder_);
    // Newest first: the order the list keeps as recordings are added.
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Time);
    for (const QFileInfo& f : files) {
        if (platform::isSoundFile(f.absoluteFilePath())) {
            stringContainers_.push_back(StringContainer::containerWithStringValue(
                f.completeBaseName(), f.absoluteFilePath()));
        }
    }
    reloadComboBox();
}

void ReminderStrings::attachToComboBox(QComboBox* comboBox) {
    if (comboBox_) {
        disconnect(comboBox_, nullptr, this, nullptr);
    }
    comboBox_ = comboBox;
    if (comboBox_) {
        connect(comboBox_, &QComboBox::currentIndexChanged, this,
                [this] { QTimer::singleShot(0, this, [this] { emit reminderChanged(); }); });
    }
    reloadComboBox();
}

void ReminderStrings::reloadComboBox() {
    if (!comboBox_) {
        return;
    }
    const QString path = currentSoundPath();
    comboBox_->blockSignals(true);
    comboBox_->clear();
    for (const StringContainer& c : stringContainers_) {
        comboBox_->addItem(c.stringValue(), c.soundPath());
    }
    comboBox_->setCurrentIndex(-1);
    comboBox_->blockSignals(false);
    setCurrentSoundPath(path);
}

void ReminderStrings::addReminderString(const QString& title, const QString& soundPath) {
    const StringContainer added = StringContainer::containerWithStringValue(title, soundPath);
    std::erase(stringContainers_, added);
    stringContainers_.insert(stringContainers_.begin(), added);
    if (static_cast<int>(stringContainers_.size()) > kMaxEntries) {
        // The oldest recording nothing plays any more; with none, all stay.
        const QSet<QString> used = references_();
        for (auto it = stringContainers_.end(); it != stringContainers_.begin() + 1;) {
            --it;
            if (!used.contains(it->soundPath())) {
                const QString path = it->soundPath();
                stringContainers_.erase(it);
                reclaimSound(path);
                break;
            }
        }
    }
    reloadComboBox();
    setCurrentSoundPath(soundPath);
}

bool ReminderStrings::reclaimSound(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo file(path);
    if (canonical(file.absolutePath()) != canonical(folder_)) {
        return false;
    }
    const QString c = canonical(path);
    for (const StringContainer& e : stringContainers_) {
        if (canonical(e.soundPath()) == c) {
            return false;
        }
    }
    for (const QString& used : references_()) {
        if (canonical(used) == c) {
            return false;
        }
    }
    return QFile::remove(path);
}

void ReminderStrings::removeCurrentSound() {
    const int index = currentIndex();
    if (index < 0) {
        return;
    }
    // The user asked for this one: only its own file, inside the folder.
    const QString path = soundPathAtIndex(index);
    if (canonical(QFileInfo(path).absolutePath()) == canonical(folder_)) {
        QFile::remove(path);
    }
    refreshContent();
    QTimer::singleShot(0, this, [this, index] {
        if (stringContainers_.empty()) {
            if (comboBox_) {
                comboBox_->setCurrentIndex(-1);
                comboBox_->setEditText(QString());
            }
            return;
        }
        setCurrentSoundPath(soundPathAtIndex(std::max(0, index - 1)));
    });
}

int ReminderStrings::currentIndex() const {
    return comboBox_ ? comboBox_->currentIndex() : -1;
}

QString ReminderStrings::currentSoundPath() const {
    return soundPathAtIndex(currentIndex());
}

void ReminderStrings::setCurrentSoundPath(const QString& path) {
    if (!comboBox_) {
        return;
    }
    const auto it = std::find_if(stringContainers_.begin(), stringContainers_.end(),
                                 [&](const StringContainer& c) { return c.soundPath() == path; });
    comboBox_->setCurrentIndex(it == stringContainers_.end() || path.isEmpty()
                                   ? -1
                                   : static_cast<int>(it - stringContainers_.begin()));
}

QString ReminderStrings::currentStringValue() const {
    return comboBox_ ? comboBox_->currentText() : QString();
}

void ReminderStrings::setCurrentStringValue(const QString& title) {
    if (!comboBox_) {
        return;
    }
    const auto it =
        std::find_if(stringContainers_.begin(), stringContainers_.end(),
                     [&](const StringContainer& c) { return c.stringValue() == title; });
    comboBox_->setCurrentIndex(
        it == stringContainers_.end() ? -1 : static_cast<int>(it - stringContainers_.begin()));
}

QString ReminderStrings::soundPathAtIndex(int index) const {
    if (index < 0 || index >= static_cast<int>(stringContainers_.size())) {
        return {};
    }
    return stringContainers_[static_cast<std::size_t>(index)].soundPath();
}

}  // namespace talvor
