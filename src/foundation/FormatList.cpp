#include "FormatList.h"

#include "IcuDates.h"
#include "platform/AtomicFile.h"
#include "platform/BoundedFile.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"

#include <QDir>

namespace talvor {
namespace {

QString withLowerCaseMarks(QString text) {
    text.replace(QLatin1String("AM."), QLatin1String("a.m."));
    text.replace(QLatin1String("PM."), QLatin1String("p.m."));
    return text;
}

}  // namespace

const QStringList& formatArr() {
    static const QStringList patterns = {
        QStringLiteral("EEEE"),   QStringLiteral("E"),     QStringLiteral("EEE"),
        QStringLiteral("EEEEEE"), QStringLiteral("EEEEE"), QStringLiteral("D"),
        QStringLiteral("DD"),     QStringLiteral("DDD"),   QStringLiteral("MMMM"),
        QStringLiteral("MMM"),    QStringLiteral("MMMMM"), QStringLiteral("MM"),
        QStringLiteral("M"),      QStringLiteral("w"),     QStringLiteral("ww"),
        QStringLiteral("d"),      QStringLiteral("dd"),    QStringLiteral("W"),
        QStringLiteral("yyyy"),   QStringLiteral("yy"),    QStringLiteral("F"),
        QStringLiteral("FF"),     QStringLiteral("G"),     QStringLiteral("GGGG"),
        QStringLiteral("GGGGG"),  QStringLiteral("Q"),     QStringLiteral("QQ"),
        QStringLiteral("QQQ"),    QStringLiteral("QQQQ"),  QStringLiteral("d/M/yy"),
        QStringLiteral("M/d/yy"),
    };
    return patterns;
}

QString FormatList::fileName(Kind kind) {
    return kind == Kind::Time ? QStringLiteral("TimeFormats.plist")
                              : QStringLiteral("DateFormats.plist");
}

QString FormatList::userPath(Kind kind) {
    return QDir(platform::Paths::dataDir()).filePath(fileName(kind));
}

QString FormatList::systemPath(Kind kind) {
    return QDir(platform::Paths::systemDataDir()).filePath(fileName(kind));
}

const QStringList& FormatList::builtIn(Kind kind) {
    // Kept equal to resources/TimeFormats.plist and resources/DateFormats.plist.
    static const QStringList time = {
        QStringLiteral("hh:mm:ss a"), QStringLiteral("hh:mm a"),   QStringLiteral("h:mm a"),
        QStringLiteral("h:mm:ss a"),  QStringLiteral("HH:mm"),     QStringLiteral("HH:mm:ss"),
        QStringLiteral("-----"),      QStringLiteral("h:mm a z"),  QStringLiteral("HH:mm z"),
        QStringLiteral("EEE h:mm a"), QStringLiteral("EEE HH:mm"),
    };
    static const QStringList date = {
        QStringLiteral("EEE dd MMM"),       QStringLiteral("EEE MMM d"),
        QStringLiteral("EEEE, MMMM d"),     QStringLiteral("d MMM yyyy"),
        QStringLiteral("dd/MM/yy"),         QStringLiteral("MM/dd/yy"),
        QStringLiteral("yyyy-MM-dd"),       QStringLiteral("-----"),
        QStringLiteral("EEEE$*&, $*&d$*&"), QStringLiteral("MMM$*& $*&d$*&, $*&yyyy$*&"),
        QStringLiteral("Week $*&w$*&"),
    };
    return kind == Kind::Time ? time : date;
}

std::optional<QStringList> FormatList::readFile(const QString& path) {
    const platform::BoundedRead read = platform::readRegularFile(path, platform::kSmallFileCap);
    if (!read.bytes) {
        return std::nullopt;  // a refusal other than a missing file is logged by the reader
    }
    QString why;
    const std::optional<QVariant> root = platform::PropertyList::parse(*read.bytes, &why);
    if (!root || root->typeId() != QMetaType::QVariantList) {
        platform::log(QStringLiteral("Format list %1 is not a list of formats%2")
                          .arg(path, why.isEmpty() ? QString() : QStringLiteral(": ") + why));
        return std::nullopt;
    }
    QStringList entries;
    for (const QVariant& entry : root->toList()) {
        if (entry.typeId() != QMetaType::QString) {
            platform::log(
                QStringLiteral("Format list %1 holds an entry that is not text").arg(path));
            return std::nullopt;
        }
        entries << entry.toString();
    }
    return entries;
}

FormatList FormatList::load(Kind kind) {
    FormatList list;
    list.kind_ = kind;
    for (const QString& path : {userPath(kind), systemPath(kind)}) {
        if (std::optional<QStringList> entries = readFile(path); entries && !entries->isEmpty()) {
            list.entries_ = *entries;
            list.source_ = path;
            return list;
        }
    }
    list.entries_ = builtIn(kind);
    return list;
}

QString FormatList::translateDateFormatStr(int index, const QStringList& list,
                                           const QString& fallback) {
    if (list.isEmpty() || index < 0) {
        return fallback;
    }
    return index < list.size() ? list.at(index) : list.front();
}

std::optional<int> FormatList::indexOfPattern(const QStringList& list, const QString& pattern) {
    if (list.isEmpty()) {
        return std::nullopt;
    }
    const qsizetype i = pattern.isEmpty() ? -1 : list.indexOf(pattern);
    return static_cast<int>(i >= 0 ? i : list.size() - 1);
}

std::optional<int> FormatList::nearestPattern(const QStringList& list, int index) {
    if (list.isEmpty()) {
        return std::nullopt;
    }
    const int start = std::clamp(index, 0, static_cast<int>(list.size()) - 1);
    for (int i = start; i < list.size(); ++i) {
        if (!isSeparator(list.at(i))) {
            return i;
        }
    }
    for (int i = start - 1; i >= 0; --i) {
        if (!isSeparator(list.at(i))) {
            return i;
        }
    }
    return std::nullopt;
}

bool FormatList::write(const QStringList& entries, QString* error) {
    const QString path = userPath(kind_);
    if (!platform::Paths::makePath(platform::Paths::dataDir())) {
        if (error != nullptr) {
            *error = QStringLiteral("cannot create the folder %1").arg(platform::Paths::dataDir());
        }
        return false;
    }
    QVariantList root;
    for (const QString& entry : entries) {
        root << entry;
    }
    const std::optional<QByteArray> bytes =
        platform::PropertyList::serialize(root, platform::PropertyList::Format::Xml, error);
    if (!bytes || !platform::writeFileAtomically(path, *bytes, error)) {
        return false;
    }
    entries_ = entries;
    source_ = path;
    return true;
}

bool FormatList::add(const QString& pattern, QString* error) {
    if (pattern.isEmpty() || isSeparator(pattern)) {
        if (error != nullptr) {
            *error = QStringLiteral("an empty format or a separator is not added");
        }
        return false;
    }
    QStringList changed = entries_;
    changed << pattern;
    return write(changed, error);
}

bool FormatList::remove(int index, QString* error) {
    if (index < 0 || index >= entries_.size()) {
        if (error != nullptr) {
            *error = QStringLiteral("no format at %1").arg(index);
        }
        return false;
    }
    const auto patterns = std::count_if(entries_.cbegin(), entries_.cend(),
                                        [](const QString& e) { return !isSeparator(e); });
    if (!isSeparator(entries_.at(index)) && patterns <= 1) {
        if (error != nullptr) {
            *error = QStringLiteral("the last format of the list is kept");
        }
        return false;
    }
    QStringList changed = entries_;
    changed.removeAt(index);
    return write(changed, error);
}

QString formatWithPattern(const QString& pattern, Date now, const QTimeZone& zone) {
    if (pattern.isEmpty()) {
        return QString();
    }
    const std::unique_ptr<icu::SimpleDateFormat> format =
        IcuDates::createPatternFormat(pattern, zone);
    return format ? IcuDates::format(*format, now) : QString();
}

QString renderFormatEntry(FormatList::Kind kind, const QString& entry, Date now,
                          const QTimeZone& zone) {
    if (FormatList::isSeparator(entry)) {
        return entry;
    }
    if (kind == FormatList::Kind::Time || !entry.contains(kFormatPieceMarker)) {
        return withLowerCaseMarks(formatWithPattern(entry, now, zone));
    }
    QString text;
    for (const QString& piece : entry.split(kFormatPieceMarker)) {
        text += formatArr().contains(piece)
                    ? withLowerCaseMarks(formatWithPattern(piece, now, zone))
                    : piece;
    }
    return text;
}

}  // namespace talvor
