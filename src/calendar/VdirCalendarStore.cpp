#include "VdirCalendarStore.h"

#include "CalSource.h"
#include "CivilTime.h"
#include "TalvorVCALENDAR.h"
#include "platform/AtomicFile.h"
#include "platform/BoundedFile.h"
#include "platform/Clock.h"
#include "platform/FileLock.h"
#include "platform/FolderWatcher.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <QUuid>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace talvor {
namespace {

using platform::StoreCalendar;
using platform::StoreOccurrence;

constexpr int64_t kDay = 86400;
constexpr size_t kOccurrenceCap = 5000;  // of one series in one range
// Up to this much changed data is read at once (an edit, a sync of a few events); more goes
// to the loading thread, so that the windows never wait on it.
constexpr qint64 kReadAtOnceBytes = 1024 * 1024;
constexpr int kReadAtOnceFiles = 100;
// A writer holds a calendar's lock for milliseconds; a holder past this is stuck.
constexpr int kLockWaitMs = 2000;

// One lock per calendar folder; hidden, so it is neither a calendar nor an event.
QString lockPathOf(const QString& folder) {
    return folder + QStringLiteral("/.talvor.lock");
}

// An iCalendar file put straight into a root is no calendar: said once per file, with where
// calendars go, rather than ignored without a word.
void sayLooseFiles(const QDir& root) {
    static std::mutex mutex;
    static QSet<QString> said;
    // Names are matched here, not by a name filter, which would compile a regular expression
    // (and map its library) at every start.
    for (QDirIterator it(root.path(), QDir::Files); it.hasNext();) {
        const QString name = it.nextFileInfo().fileName();
        if (!name.endsWith(QLatin1String(".ics"), Qt::CaseInsensitive)) {
            continue;
        }
        const QString path = QDir::cleanPath(root.absoluteFilePath(name));
        const std::lock_guard<std::mutex> lock(mutex);
        if (!said.contains(path)) {
            said.insert(path);
            platform::log(QStringLiteral("calendar: %1 is not read: each calendar is a folder in "
                                         "%2; move the file into one")
                              .arg(path, QDir::cleanPath(root.absolutePath())));
        }
    }
}

QStringList calendarFolders(const QStringList& roots) {
    QStringList out;
    for (const QString& root : roots) {
        QDir dir(root);
        sayLooseFiles(dir);
        QStringList names;
        for (QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable);
             it.hasNext();) {
            names << it.nextFileInfo().fileName();
        }
        std::sort(names.begin(), names.end());
        for (const QString& name : std::as_const(names)) {
            out << QDir::cleanPath(dir.absoluteFilePath(name));
        }
    }
    return out;
}

// A calendar's "displayname" or "color": never a FIFO or a device, which would block or
// never end.
// The paths of a folder's ".ics" files, by name, from the listing alone (no look at each).
QStringList listCalendarFiles(const QString& folder) {
    QStringList out;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) {
        return out;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.size() > 4 && name.front() != '.' && name.substr(name.size() - 4) == ".ics" &&
            entry->d_type != DT_DIR) {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    const QString prefix = folder + QLatin1Char('/');
    out.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names) {
        out << prefix + QFile::decodeName(name.c_str());
    }
    return out;
}

QString readSmallFile(const QString& path) {
    const std::optional<QByteArray> bytes =
        platform::readRegularFile(path, platform::kSmallFileCap).bytes;
    return bytes ? QString::fromUtf8(bytes->left(4096)).trimmed() : QString();
}

// "#RRGGBB" or "#RRGGBBAA", the way vdirsyncer writes it (QColor reads 8 digits as ARGB).
QColor parseColor(const QString& text) {
    if (text.size() == 9 && text.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const uint rgba = text.mid(1).toUInt(&ok, 16);
        if (ok) {
            return QColor((rgba >> 24) & 0xff, (rgba >> 16) & 0xff, (rgba >> 8) & 0xff,
                          rgba & 0xff);
        }
    }
    const QColor color = QColor::fromString(text);
    return color.isValid() ? color : CalSource::defaultColor();
}

ical::ZonePtr shownZone() {
    const QByteArray id = platform::Clock::shared().currentZone().id();
    ical::ZonePtr zone = ical::ZoneRules::system(id.toStdString());
    return zone ? zone : ical::ZoneRules::utc();
}

int64_t toUnix(Date date) {
    return static_cast<int64_t>(std::floor(date.timeIntervalSince1970()));
}

QString eventIdOf(const QString& path, const std::string& uid) {
    return path + QLatin1Char('#') + QString::fromStdString(uid);
}

// The file and UID of an event id; none for an id of something else.
std::optional<std::pair<QString, QString>> splitEventId(const QString& id) {
    const qsizetype hash = id.lastIndexOf(QLatin1Char('#'));
    if (hash <= 0 || !id.left(hash).endsWith(QLatin1String(".ics"))) {
        return std::nullopt;
    }
    return std::make_pair(id.left(hash), id.mid(hash + 1));
}

// --- Writing -----------------------------------------------------------------------------

QString utcStamp(int64_t unix) {
    return QString::fromStdString(ical::formatUtc(unix))
        .remove(QLatin1Char('-'))
        .remove(QLatin1Char(':'));
}

// A floating time: wall-clock seconds without a zone.
QString localStamp(int64_t local) {
    return utcStamp(local).chopped(1);
}

QString dateStamp(int64_t day) {
    return QString::fromStdString(ical::formatDate(day)).remove(QLatin1Char('-'));
}

// Content lines folded at 75 octets, never inside a UTF-8 sequence, ended by CRLF.
QByteArray foldedLine(const QString& line) {
    const QByteArray utf8 = line.toUtf8();
    QByteArray out;
    qsizetype start = 0;
    qsizetype room = 75;
    while (utf8.size() - start > room) {
        qsizetype cut = start + room;
        while (cut > start && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out += utf8.mid(start, cut - start) + "\r\n ";
        start = cut;
        room = 74;
    }
    out += utf8.mid(start) + "\r\n";
    return out;
}

QByteArray joinLines(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        out += foldedLine(line);
    }
    return out;
}

QString offsetText(int64_t seconds) {
    return (seconds < 0 ? QStringLiteral("-PT") : QStringLiteral("PT")) +
           QString::number(seconds < 0 ? -seconds : seconds) + QLatin1Char('S');
}

QStringList eventLines(const platform::NewStoreEvent& event, const QString& uid,
                       const ical::ZoneRules& zone, int64_t nowUnix) {
    using TalvorVCALENDAR::escapeText;
    QStringList lines{QStringLiteral("BEGIN:VCALENDAR"),
                      QStringLiteral("VERSION:2.0"),
                      QStringLiteral("PRODID:-//Talvor//Talvor Pro//EN"),
                      QStringLiteral("BEGIN:VEVENT"),
                      QStringLiteral("UID:") + uid,
                      QStringLiteral("DTSTAMP:") + utcStamp(nowUnix)};
    const int64_t start = toUnix(event.start);
    const int64_t end = std::max(start, toUnix(event.end));
    if (event.allDay) {
        const int64_t first = civil::floorDiv(zone.toLocal(start), kDay);
        // The end is exclusive: an event ending at midnight does not cover the next day.
        const int64_t last = civil::floorDiv(zone.toLocal(end) - 1, kDay);
        lines << QStringLiteral("DTSTART;VALUE=DATE:") + dateStamp(first)
              << QStringLiteral("DTEND;VALUE=DATE:") + dateStamp(std::max(first, last) + 1);
    } else {
        lines << QStringLiteral("DTSTART:") + utcStamp(start)
              << QStringLiteral("DTEND:") + utcStamp(end);
    }
    lines << QStringLiteral("SUMMARY:") + escapeText(event.title);
    if (!event.notes.isEmpty()) {
        lines << QStringLiteral("DESCRIPTION:") + escapeText(event.notes);
    }
    if (event.recurrence) {
        static const char* const kFreq[] = {"DAILY", "WEEKLY", "MONTHLY", "YEARLY"};
        lines << QStringLiteral("RRULE:FREQ=") +
                     QLatin1String(kFreq[static_cast<int>(*event.recurrence)]);
    }
    if (event.alarmOffset) {
        lines << QStringLiteral("BEGIN:VALARM") << QStringLiteral("ACTION:DISPLAY")
              << QStringLiteral("DESCRIPTION:") + escapeText(event.title)
              << QStringLiteral("TRIGGER:") + offsetText(*event.alarmOffset)
              << QStringLiteral("END:VALARM");
    }
    lines << QStringLiteral("END:VEVENT") << QStringLiteral("END:VCALENDAR");
    return lines;
}

// --- Editing a file's text ---------------------------------------------------------------

QStringList unfoldedLines(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1String("\n "), QString()).replace(QLatin1String("\n\t"), QString());
    QStringList lines = text.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

QString propertyName(const QString& line) {
    const qsizetype end = line.indexOf(QRegularExpression(QStringLiteral("[;:]")));
    return (end < 0 ? line : line.left(end)).toUpper();
}

QString propertyValue(const QString& line) {
    // The first colon outside a quoted parameter value.
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (line[i] == QLatin1Char(':') && !quoted) {
            return line.mid(i + 1);
        }
    }
    return {};
}

// One VEVENT of a file's lines: [begin, end] inclusive, its UID and whether it overrides one
// occurrence.
struct EventBlock {
    qsizetype begin = 0, end = 0;
    QString uid;
    bool isOverride = false;
};

std::vector<EventBlock> eventBlocks(const QStringList& lines) {
    std::vector<EventBlock> out;
    int depth = 0;
    EventBlock current;
    bool inEvent = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString name = propertyName(lines[i]);
        if (name == QLatin1String("BEGIN")) {
            ++depth;
            if (!inEvent &&
                propertyValue(lines[i]).trimmed().toUpper() == QLatin1String("VEVENT")) {
                inEvent = true;
                current = EventBlock{i, i, {}, false};
                depth = 1;
            }
        } else if (name == QLatin1String("END") && inEvent) {
            if (--depth == 0) {
                current.end = i;
                out.push_back(current);
                inEvent = false;
            }
        } else if (inEvent && depth == 1 && name == QLatin1String("UID")) {
            current.uid = propertyValue(lines[i]);
        } else if (inEvent && depth == 1 && name == QLatin1String("RECURRENCE-ID")) {
            current.isOverride = true;
        }
    }
    return out;
}

// The lines of a VEVENT's own properties, not those of its alarms.
std::vector<qsizetype> ownLines(const QStringList& lines, const EventBlock& block) {
    std::vector<qsizetype> out;
    int depth = 0;
    for (qsizetype i = block.begin + 1; i < block.end; ++i) {
        const QString name = propertyName(lines[i]);
        if (name == QLatin1String("BEGIN")) {
            ++depth;
        } else if (name == QLatin1String("END")) {
            --depth;
        } else if (depth == 0) {
            out.push_back(i);
        }
    }
    return out;
}

// The UTC second of a time of a series (an RDATE, EXDATE or RECURRENCE-ID): a floating one
// is on the series' clock, the way the recurrence engine reads it.
int64_t seriesUtc(const ical::EventTime& t, const ical::CalendarEvent& series,
                  const ical::ZoneRules& floating) {
    const ical::ZoneRules& zone =
        t.zone ? *t.zone : (series.start.zone ? *series.start.zone : floating);
    return zone.toUtc(t.localSeconds());
}

// Times written into a series take the form of its start: a date for a date, a floating time
// for a floating one (so the series keeps its wall clock when the shown zone changes), UTC for
// a start in a zone or in UTC.
enum class TimeForm { Date, Floating, Utc };

TimeForm formOf(const ical::EventTime& start) {
    if (start.value.isDate) {
        return TimeForm::Date;
    }
    return start.zone ? TimeForm::Utc : TimeForm::Floating;
}

// The EXDATE line of the occurrence at `utc`.
QString exdateLine(TimeForm form, int64_t utc, const ical::ZoneRules& floating) {
    switch (form) {
        case TimeForm::Date:
            return QStringLiteral("EXDATE;VALUE=DATE:") +
                   dateStamp(civil::floorDiv(floating.toLocal(utc), kDay));
        case TimeForm::Floating:
            return QStringLiteral("EXDATE:") + localStamp(floating.toLocal(utc));
        case TimeForm::Utc:
            break;
    }
    return QStringLiteral("EXDATE:") + utcStamp(utc);
}

// The UNTIL that ends a series just before its occurrence at `utc`: the day before for dates.
QString untilBefore(TimeForm form, int64_t utc, const ical::ZoneRules& floating) {
    switch (form) {
        case TimeForm::Date:
            return dateStamp(civil::floorDiv(floating.toLocal(utc), kDay) - 1);
        case TimeForm::Floating:
            // The second before on the wall clock; the smaller of the two readings when the
            // occurrence's wall time was skipped by a change to summer time.
            return localStamp(std::min(floating.toLocal(utc) - 1, floating.toLocal(utc - 1)));
        case TimeForm::Utc:
            break;
    }
    return utcStamp(utc - 1);
}

// The RRULE line ended at `until` (COUNT and an earlier UNTIL dropped).
QString endedRule(const QString& line, const QString& until) {
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    QStringList parts;
    for (const QString& part : line.mid(colon + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char('='), 0, 0).toUpper();
        if (key != QLatin1String("COUNT") && key != QLatin1String("UNTIL")) {
            parts << part;
        }
    }
    parts << QStringLiteral("UNTIL=") + until;
    return line.left(colon + 1) + parts.join(QLatin1Char(';'));
}

// The removal of an occurrence (or more) of the series `uid` from a file's text: the lines of
// the file edited, the file removed when nothing else is left in it, or why not.
platform::FileEdit removalEdit(const QByteArray& bytes, const QString& uid,
                               const StoreOccurrence& occurrence, platform::RemoveScope scope) {
    using platform::FileEdit;
    QStringList lines = unfoldedLines(bytes);
    const std::vector<EventBlock> blocks = eventBlocks(lines);
    // Each VEVENT of the text beside what the reader made of it, for the times of its
    // RDATEs, EXDATEs and RECURRENCE-ID; a file where the two do not pair up is left alone.
    const ical::CalendarData data =
        ical::readEvents(std::string_view(bytes.constData(), bytes.size()));
    if (!data.errors.empty()) {
        return FileEdit::refuse(
            QStringLiteral("The event's file is damaged; it is left as it is."));
    }
    bool paired = blocks.size() == data.events.size();
    for (size_t i = 0; paired && i < blocks.size(); ++i) {
        paired = blocks[i].uid == QString::fromStdString(data.events[i].uid) &&
                 blocks[i].isOverride == data.events[i].recurrenceId.has_value();
    }
    const auto unsafe = [] {
        return FileEdit::refuse(
            QStringLiteral("The event's file cannot be edited safely; it is left as it is."));
    };
    if (!paired) {
        return unsafe();
    }
    const auto master = std::find_if(blocks.begin(), blocks.end(), [&](const EventBlock& b) {
        return b.uid == uid && !b.isOverride;
    });
    if (master == blocks.end()) {
        return FileEdit::refuse(QStringLiteral("The event is no longer in its calendar."));
    }
    const ical::CalendarEvent& series = data.events[static_cast<size_t>(master - blocks.begin())];

    const ical::ZonePtr zone = shownZone();
    const TimeForm form = formOf(series.start);
    bool wholeSeries = scope == platform::RemoveScope::All || !occurrence.hasRecurrence ||
                       !occurrence.occurrenceDate;
    const int64_t original = occurrence.occurrenceDate ? toUnix(*occurrence.occurrenceDate) : 0;
    if (!wholeSeries && scope == platform::RemoveScope::ThisAndFuture) {
        wholeSeries = original <= series.start.utc(*zone);
    }

    if (wholeSeries) {
        const bool alone = std::all_of(blocks.begin(), blocks.end(),
                                       [&](const EventBlock& b) { return b.uid == uid; });
        if (alone) {
            return FileEdit::removeFile();
        }
        for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
            if (it->uid == uid) {
                lines.erase(lines.begin() + it->begin, lines.begin() + it->end + 1);
            }
        }
    } else if (scope == platform::RemoveScope::ThisEvent) {
        lines.insert(master->end, exdateLine(form, original, *zone));
    } else {
        // Ends the rule before this occurrence, and takes off what the rule no longer
        // bounds: the later RDATEs and EXDATEs and the overrides of later occurrences (by
        // the occurrence they replace, wherever they were moved to).
        auto before = [&](const ical::EventTime& t) {
            return seriesUtc(t, series, *zone) < original;
        };
        const QString until = untilBefore(form, original, *zone);
        std::vector<qsizetype> dropped;
        size_t nextRdate = 0;
        size_t nextExdate = 0;
        bool ruled = false;
        for (qsizetype i : ownLines(lines, *master)) {
            const QString name = propertyName(lines[i]);
            if (name == QLatin1String("RRULE")) {
                lines[i] = endedRule(lines[i], until);
                ruled = true;
                continue;
            }
            const bool rdate = name == QLatin1String("RDATE");
            if (!rdate && name != QLatin1String("EXDATE")) {
                continue;
            }
            const std::vector<ical::EventTime>& times = rdate ? series.rdates : series.exdates;
            size_t& next = rdate ? nextRdate : nextExdate;
            const QString value = propertyValue(lines[i]);
            const QStringList items = value.split(QLatin1Char(','));
            if (next + static_cast<size_t>(items.size()) > times.size()) {
                return unsafe();
            }
            QStringList kept;
            for (const QString& item : items) {
                if (before(times[next++])) {
                    kept << item;
                }
            }
            if (kept.isEmpty()) {
                dropped.push_back(i);
            } else if (kept.size() != items.size()) {
                lines[i] =
                    lines[i].left(lines[i].size() - value.size()) + kept.join(QLatin1Char(','));
            }
        }
        if (nextRdate != series.rdates.size() || nextExdate != series.exdates.size()) {
            return unsafe();
        }
        if (!ruled && series.rdates.empty()) {
            return FileEdit::refuse(QStringLiteral("The event does not repeat."));
        }
        for (size_t b = 0; b < blocks.size(); ++b) {
            const ical::CalendarEvent& e = data.events[b];
            if (blocks[b].isOverride && blocks[b].uid == uid && !before(*e.recurrenceId)) {
                for (qsizetype i = blocks[b].begin; i <= blocks[b].end; ++i) {
                    dropped.push_back(i);
                }
            }
        }
        std::sort(dropped.begin(), dropped.end(), std::greater<>());
        for (qsizetype i : dropped) {
            lines.removeAt(i);
        }
    }
    return FileEdit::replaceWith(joinLines(lines));
}

}  // namespace

VdirCalendarStore::VdirCalendarStore(QStringList roots, QObject* parent)
    : CalendarStore(parent), roots_(std::move(roots)) {
    watcher_ = new platform::FolderWatcher(this);
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(250);  // a sync writes many files at once: one reload for all
    connect(watcher_, &platform::FolderWatcher::changed, this, &VdirCalendarStore::fileChanged);
    connect(settle_, &QTimer::timeout, this, [this] {
        watchFolders();
        emit changed();
    });
    loader_ = new CalendarFileLoader(this);
    connect(loader_, &CalendarFileLoader::loaded, this, &VdirCalendarStore::takeLoaded);
    // The batches of the loading threads come in bursts: the windows redraw once for each.
    announce_ = new QTimer(this);
    announce_->setSingleShot(true);
    announce_->setInterval(100);
    connect(announce_, &QTimer::timeout, this, &VdirCalendarStore::changed);
    watchFolders();
}

VdirCalendarStore::~VdirCalendarStore() = default;

QStringList VdirCalendarStore::configuredRoots(const platform::UserDefaults& defaults) {
    QStringList roots{TalvorVCALENDAR::TalvorLoadVCALPath()};
    for (const QVariant& v : defaults.objectForKey(QStringLiteral("CalendarFolders")).toList()) {
        const QString path = QDir::cleanPath(v.toString());
        if (!path.isEmpty() && !roots.contains(path)) {
            roots << path;
        }
    }
    return roots;
}

void VdirCalendarStore::ensureDefaultCalendar() {
    if (roots_.isEmpty() || !calendarFolders({roots_.first()}).isEmpty()) {
        return;
    }
    const QString folder = roots_.first() + QStringLiteral("/personal");
    if (!QDir().mkpath(folder)) {
        platform::log(QStringLiteral("calendar store: cannot make %1").arg(folder));
        return;
    }
    QString error;
    if (!platform::writeFileAtomically(folder + QStringLiteral("/displayname"), "Personal\n",
                                       &error)) {
        platform::log(QStringLiteral("calendar store: %1").arg(error));
    }
    watchFolders();
}

void VdirCalendarStore::watchFolders() {
    // The roots show calendars added and removed; a calendar's folder shows its files added,
    // removed, renamed and edited in place.
    QStringList folders;
    for (const QString& root : roots_) {
        if (QFileInfo(root).isDir()) {
            folders << root;
        }
    }
    watcher_->setFolders(folders + calendarFolders(roots_));
}

void VdirCalendarStore::fileChanged(const QString& folder, const QString& name) {
    // Hidden entries are our own and other writers' temporary files and locks: what they
    // become shows when they are renamed into place.
    if (name.startsWith(QLatin1Char('.'))) {
        return;
    }
    if (!name.isEmpty()) {
        // Read again even when its time and size look the same (a sync that keeps time
        // stamps, or two writes within the clock's grain); a load of it under way is stale.
        const QString path = folder + QLatin1Char('/') + name;
        files_.remove(path);
        loading_.remove(path);
        listings_.remove(folder);
    } else {
        // The folder itself changed, or changes were lost (the kernel's queue ran over).
        const QString prefix = folder + QLatin1Char('/');
        files_.removeIf([&](const auto& it) { return it.key().startsWith(prefix); });
        loading_.removeIf([&](const auto& it) { return it.key().startsWith(prefix); });
        listings_.remove(folder);
    }
    settle_->start();
}

void VdirCalendarStore::takeLoaded(const std::vector<CalendarFileLoader::Result>& batch) {
    bool taken = false;
    for (const CalendarFileLoader::Result& r : batch) {
        const auto found = loading_.constFind(r.job.path);
        if (found != loading_.constEnd() && found.value() == r.job.ticket) {
            loading_.erase(found);
            files_.insert(r.job.path, r.file);
            taken = true;
        }
    }
    if (taken && !announce_->isActive()) {
        announce_->start();
    }
}

void VdirCalendarStore::waitUntilLoaded() {
    while (!loading_.isEmpty()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (announce_->isActive()) {
        announce_->stop();
        emit changed();
    }
}

std::vector<StoreCalendar> VdirCalendarStore::calendars() const {
    std::vector<StoreCalendar> out;
    for (const QString& folder : calendarFolders(roots_)) {
        StoreCalendar calendar;
        calendar.identifier = folder;
        const QString name = readSmallFile(folder + QStringLiteral("/displayname"));
        calendar.title =
            name.isEmpty() ? QFileInfo(folder).fileName() : name.section(QLatin1Char('\n'), 0, 0);
        calendar.color = parseColor(readSmallFile(folder + QStringLiteral("/color")));
        calendar.allowsModifications = QFileInfo(folder).isWritable();
        out.push_back(std::move(calendar));
    }
    return out;
}

const QStringList& VdirCalendarStore::listingOf(const QString& folder) const {
    // A watched folder's listing holds until the watch reports an entry of it.
    const auto kept = listings_.constFind(folder);
    if (kept != listings_.constEnd() && watcher_->seesEveryChange(folder)) {
        return kept.value();
    }
    QStringList paths = listCalendarFiles(folder);
    // The files that went away from it are forgotten.
    const QSet<QString> now(paths.cbegin(), paths.cend());
    const QString prefix = folder + QLatin1Char('/');
    files_.removeIf(
        [&](const auto& it) { return it.key().startsWith(prefix) && !now.contains(it.key()); });
    return listings_[folder] = std::move(paths);
}

void VdirCalendarStore::forgetGoneCalendars(const QStringList& folders) const {
    for (auto it = listings_.begin(); it != listings_.end();) {
        if (folders.contains(it.key())) {
            ++it;
            continue;
        }
        const QString prefix = it.key() + QLatin1Char('/');
        files_.removeIf([&](const auto& file) { return file.key().startsWith(prefix); });
        it = listings_.erase(it);
    }
}

bool VdirCalendarStore::isCurrent(const QString& folder, const QString& path,
                                  const ParsedFile& file) const {
    // A watched folder on a local disk reports every change, and a reported change drops
    // the file: what is kept is current. Elsewhere the file's time and size tell.
    if (watcher_->seesEveryChange(folder)) {
        return true;
    }
    const std::optional<platform::FileVersion> now = platform::versionOf(path);
    return now && file.isCurrent(now->modifiedNs, now->size);
}

const VdirCalendarStore::ParsedFile& VdirCalendarStore::parsed(const QString& folder,
                                                               const QString& path) const {
    FilePtr& slot = files_[path];
    if (!slot || !isCurrent(folder, path, *slot)) {
        slot = ParsedFile::read(path);
        loading_.remove(path);
    }
    return *slot;
}

void VdirCalendarStore::appendOccurrences(const QString& calendarId, const QString& path,
                                          const ParsedFile& file, int64_t fromUtc, int64_t toUtc,
                                          const ical::ZoneRules& floating,
                                          std::vector<StoreOccurrence>& out) const {
    const auto& events = file.data.events;
    auto occurrence = [&](const ical::CalendarEvent& e, int64_t start, int64_t end,
                          std::optional<int64_t> original, bool recurs) {
        if (!(end > fromUtc || (end == start && start >= fromUtc)) || start >= toUtc) {
            return;
        }
        StoreOccurrence o;
        o.eventId = eventIdOf(path, e.uid);
        o.calendarId = calendarId;
        o.title = QString::fromStdString(e.summary.value_or(std::string()));
        o.notes = QString::fromStdString(e.description.value_or(std::string()));
        o.start = Date::fromUnix(static_cast<double>(start));
        o.end = Date::fromUnix(static_cast<double>(end));
        o.allDay = e.allDay;
        o.hasRecurrence = recurs;
        if (original) {
            o.occurrenceDate = Date::fromUnix(static_cast<double>(*original));
        }
        for (const ical::Component& alarm : e.alarms) {
            o.alarms.push_back(TalvorVCALENDAR::dictionaryOfComponent(alarm));
        }
        out.push_back(std::move(o));
    };
    // The end of an occurrence starting at `start`: all-day events keep their count of days
    // on the shown wall clock, timed ones their length.
    auto endOf = [&](const ical::CalendarEvent& e, int64_t start) {
        const int64_t first = e.start.utc(floating);
        const int64_t last = e.endUtc(floating);
        if (e.allDay) {
            const int64_t days = std::max<int64_t>(
                1, (civil::floorDiv(floating.toLocal(last) - floating.toLocal(first) + kDay / 2,
                                    kDay)));
            return floating.toUtc(floating.toLocal(start) + days * kDay);
        }
        return start + std::max<int64_t>(0, last - first);
    };
    for (const ical::CalendarEvent& e : events) {
        if (e.recurrenceId) {
            continue;
        }
        const std::vector<const ical::CalendarEvent*>& overrides = file.overrides->of(e.uid);
        if (!e.recurs()) {
            const int64_t start = e.start.utc(floating);
            occurrence(e, start, endOf(e, start), std::nullopt, false);
            continue;
        }
        const int64_t length = endOf(e, e.start.utc(floating)) - e.start.utc(floating);
        const ical::ExpandResult r =
            ical::expand(e, overrides, fromUtc - length, toUtc, kOccurrenceCap, floating);
        if (r.error) {
            platform::log(QStringLiteral("calendar store: %1: %2")
                              .arg(path, QString::fromStdString(*r.error)));
        }
        for (int64_t start : r.starts) {
            occurrence(e, start, endOf(e, start), start, true);
        }
        for (const ical::CalendarEvent* o : overrides) {
            const int64_t original = seriesUtc(*o->recurrenceId, e, floating);
            const bool removed = std::any_of(
                e.exdates.begin(), e.exdates.end(),
                [&](const ical::EventTime& x) { return seriesUtc(x, e, floating) == original; });
            if (!removed) {
                const int64_t start = o->start.utc(floating);
                occurrence(*o, start, endOf(*o, start), original, true);
            }
        }
    }
}

std::vector<StoreOccurrence> VdirCalendarStore::events(Date start, Date end,
                                                       const QStringList& calendarIds) const {
    std::vector<StoreOccurrence> out;
    const ical::ZonePtr floating = shownZone();
    const int64_t fromUtc = toUnix(start);
    const int64_t toUtc = toUnix(end);
    const QStringList folders = calendarFolders(roots_);
    watcher_->poll();  // every change made so far is known before anything is taken as current
    forgetGoneCalendars(folders);
    // The files of the calendars looked at, each with what is known of it: read and current,
    // stale (shown until its new version is read), or not read yet.
    // The listings of the calendars looked at (shared copies: later listings may move the
    // kept ones). Two passes over them and no list of every file: a look at 10,000 files
    // happens several times while a window opens.
    std::vector<std::pair<QString, QStringList>> looked;
    std::vector<CalendarFileLoader::Job> toRead;
    for (const QString& folder : folders) {
        if (!calendarIds.isEmpty() && !calendarIds.contains(folder)) {
            continue;
        }
        looked.emplace_back(folder, listingOf(folder));
        for (const QString& path : looked.back().second) {
            const auto kept = files_.constFind(path);
            const bool current =
                kept != files_.constEnd() && isCurrent(folder, path, *kept.value());
            if (!current && !loading_.contains(path)) {
                toRead.push_back({path, nextTicket_++});
            }
        }
    }
    if (!toRead.empty()) {
        // A few files of modest size are read at once; the sizes are looked at only then.
        qint64 bytesToRead = 0;
        const bool atOnce = !readsInBackground_ && toRead.size() <= kReadAtOnceFiles;
        for (size_t i = 0; i < toRead.size() && atOnce; ++i) {
            const std::optional<platform::FileVersion> v = platform::versionOf(toRead[i].path);
            // One past the cap is refused unread: no cost to wait for.
            bytesToRead += v && v->size <= kCalendarFileCap ? v->size : 0;
        }
        if (atOnce && bytesToRead <= kReadAtOnceBytes) {
            for (const CalendarFileLoader::Job& job : toRead) {
                files_.insert(job.path, ParsedFile::read(job.path));
            }
        } else {
            for (const CalendarFileLoader::Job& job : toRead) {
                loading_.insert(job.path, job.ticket);
            }
            loader_->load(std::move(toRead));
        }
    }
    // What is read, current or not yet read again (shown until it is).
    for (const auto& [folder, paths] : looked) {
        for (const QString& path : paths) {
            const auto kept = files_.constFind(path);
            if (kept != files_.constEnd() && !kept.value()->unreadable) {
                appendOccurrences(folder, path, *kept.value(), fromUtc, toUtc, *floating, out);
            }
        }
    }
    std::stable_sort(
        out.begin(), out.end(),
        [](const StoreOccurrence& a, const StoreOccurrence& b) { return a.start < b.start; });
    return out;
}

platform::StoreSaveResult VdirCalendarStore::saveEvent(const platform::NewStoreEvent& event) {
    const QStringList folders = calendarFolders(roots_);
    if (!folders.contains(event.calendarId)) {
        return {QString(), QStringLiteral("The calendar of the event no longer exists.")};
    }
    const QString uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString path = event.calendarId + QLatin1Char('/') + uid + QStringLiteral(".ics");
    const ical::ZonePtr zone = shownZone();
    const QByteArray text =
        joinLines(eventLines(event, uid, *zone, toUnix(platform::Clock::shared().now())));
    QString error;
    if (!platform::writeFileAtomically(path, text, &error)) {
        platform::log(QStringLiteral("calendar store: cannot save %1: %2").arg(path, error));
        return {QString(), QStringLiteral("The event could not be saved: %1").arg(error)};
    }
    return {eventIdOf(path, uid.toStdString()), std::nullopt};
}

std::optional<QString> VdirCalendarStore::removeEvent(const StoreOccurrence& occurrence,
                                                      platform::RemoveScope scope) {
    const auto id = splitEventId(occurrence.eventId);
    if (!id || !calendarFolders(roots_).contains(QFileInfo(id->first).absolutePath())) {
        return QStringLiteral("The event is not in a calendar of this computer.");
    }
    const QString& path = id->first;
    // Two copies of the program (or any writer that takes the lock) take turns; a sync tool
    // that does not is caught by the edit itself, which never replaces a version it did not
    // read.
    const platform::FileLock lock(lockPathOf(QFileInfo(path).absolutePath()), kLockWaitMs);
    if (lock.state() == platform::FileLock::State::Busy) {
        return QStringLiteral("Another program is changing this calendar; try again in a moment.");
    }
    const platform::FileEditResult r = platform::editFileAtomically(
        path, kCalendarFileCap,
        [&](const QByteArray& bytes) { return removalEdit(bytes, id->second, occurrence, scope); });
    files_.remove(path);
    if (r.missing) {
        return QStringLiteral("The event is no longer in its calendar.");
    }
    if (r.refused) {
        return r.error;
    }
    if (!r.ok) {
        platform::log(QStringLiteral("calendar store: cannot edit %1: %2").arg(path, r.error));
        return QStringLiteral("The event could not be removed: %1").arg(r.error);
    }
    return std::nullopt;
}

std::vector<platform::StoreTodo> VdirCalendarStore::todos(const QStringList& calendarIds) const {
    std::vector<platform::StoreTodo> out;
    for (const QString& folder : calendarFolders(roots_)) {
        if (!calendarIds.isEmpty() && !calendarIds.contains(folder)) {
            continue;
        }
        watcher_->poll();
        for (const QString& path : listCalendarFiles(folder)) {
            if (parsed(folder, path).unreadable) {
                continue;  // the events' reading of the same file said so in the log
            }
            const std::optional<QByteArray> read =
                platform::readRegularFile(path, kCalendarFileCap).bytes;
            if (!read) {
                continue;
            }
            const QByteArray& bytes = *read;
            // Most files hold events only: those are not parsed again for the list of to-dos.
            if (!bytes.toUpper().contains("BEGIN:VTODO")) {
                continue;
            }
            const QVariantList parts =
                TalvorVCALENDAR::arrayFromVCALENDAR(QString::fromUtf8(bytes));
            for (const QVariant& part : parts.value(1).toList()) {
                const QVariantMap todo = part.toMap();
                const QString status = todo.value(QStringLiteral("STATUS")).toString().trimmed();
                if (status.compare(QLatin1String("CANCELLED"), Qt::CaseInsensitive) == 0) {
                    continue;
                }
                platform::StoreTodo item;
                item.uid = todo.value(QStringLiteral("UID")).toString();
                item.calendarId = folder;
                item.title = todo.value(QStringLiteral("SUMMARY")).toString();
                const QString due = todo.value(QStringLiteral("DUE")).toString();
                if (!due.isEmpty()) {
                    item.due = TalvorVCALENDAR::dateFromVCALENDAR(due);
                }
                item.completed =
                    status.compare(QLatin1String("COMPLETED"), Qt::CaseInsensitive) == 0 ||
                    todo.contains(QStringLiteral("COMPLETED"));
                const int priority = todo.value(QStringLiteral("PRIORITY")).toString().toInt();
                item.priority = priority >= 0 && priority <= 9 ? priority : 0;
                item.notes = todo.value(QStringLiteral("DESCRIPTION")).toString();
                const QString completedAt = todo.value(QStringLiteral("COMPLETED")).toString();
                if (!completedAt.isEmpty()) {
                    item.completedAt = TalvorVCALENDAR::dateFromVCALENDAR(completedAt);
                }
                out.push_back(std::move(item));
            }
        }
    }
    return out;
}

}  // namespace talvor
