#include "PublicCalendarFeeds.h"

#include "CalMonth.h"
#include "CalendarFileLoader.h"
#include "VdirCalendarStore.h"
#include "foundation/StringsBundle.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace talvor {
namespace {

const QString kFeedFile = QStringLiteral("basic.ics");
const QString kHolidayMark = QStringLiteral("#holiday@");

PublicCalendarFeeds*& replacement() {
    static PublicCalendarFeeds* feeds = nullptr;
    return feeds;
}

// The ticked built-in calendars that have a feed.
std::vector<CalSourcePtr> tickedSources() {
    std::vector<CalSourcePtr> out;
    for (const auto* list : {&CalSource::publicCalendars(), &CalSource::publicCalendars_Religious(),
                             &CalSource::publicCalendars_Misc()}) {
        for (const CalSourcePtr& s : *list) {
            if (s->enabled() && PublicCalendarFeeds::serves(*s)) {
                out.push_back(s);
            }
        }
    }
    return out;
}

bool isBuiltIn(const CalSource& source) {
    for (const auto* list : {&CalSource::publicCalendars(), &CalSource::publicCalendars_Religious(),
                             &CalSource::publicCalendars_Misc()}) {
        for (const CalSourcePtr& s : *list) {
            if (s.get() == &source) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

QUrl PublicCalendarFeeds::defaultBase() {
    return QUrl(QStringLiteral("https://calendar.google.com/calendar/ical"));
}

CappedFetch::Limits PublicCalendarFeeds::defaultLimits() {
    CappedFetch::Limits limits;
    limits.maxBytes = kCalendarFileCap;  // the cap of a calendar file on disk
    return limits;
}

PublicCalendarFeeds::PublicCalendarFeeds(Settings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {
    if (settings_.cacheFolder.isEmpty()) {
        settings_.cacheFolder = platform::Paths::cacheDir() + QStringLiteral("/PublicCalendars");
    }
    if (settings_.language.isEmpty()) {
        settings_.language = StringsBundle::mainBundle()
                                 .localizedString(QStringLiteral("iso"), QStringLiteral("iso"))
                                 .value_or(QStringLiteral("en"));
    }
}

PublicCalendarFeeds::~PublicCalendarFeeds() {
    stop();
}

PublicCalendarFeeds& PublicCalendarFeeds::shared() {
    if (replacement() != nullptr) {
        return *replacement();
    }
    // Never destroyed: its network manager must not outlive the application object's end.
    static PublicCalendarFeeds* const made = [] {
        auto* feeds = new PublicCalendarFeeds(Settings{});
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, feeds,
                             [feeds] { feeds->stop(); });
        }
        return feeds;
    }();
    return *made;
}

void PublicCalendarFeeds::setShared(PublicCalendarFeeds* feeds) {
    replacement() = feeds;
}

bool PublicCalendarFeeds::serves(const CalSource& source) {
    return !source.identifier().isEmpty() && isBuiltIn(source);
}

QString PublicCalendarFeeds::calendarIdOf(const CalSource& source) const {
    // The holiday calendars come in the user's language: "<language>.<key>#holiday@...".
    const QString& id = source.identifier();
    const qsizetype dot = id.indexOf(QLatin1Char('.'));
    if (id.contains(kHolidayMark) && dot > 0 && dot < id.indexOf(kHolidayMark)) {
        return settings_.language + id.mid(dot);
    }
    return id;
}

QString PublicCalendarFeeds::folderOf(const CalSource& source) const {
    return QDir::cleanPath(settings_.cacheFolder + QLatin1Char('/') + calendarIdOf(source));
}

QUrl PublicCalendarFeeds::feedUrl(const CalSource& source) const {
    QString base = settings_.base.toString(QUrl::FullyEncoded);
    while (base.endsWith(QLatin1Char('/'))) {
        base.chop(1);
    }
    return QUrl(base + QLatin1Char('/') +
                    QString::fromLatin1(QUrl::toPercentEncoding(calendarIdOf(source))) +
                    QStringLiteral("/public/basic.ics"),
                QUrl::StrictMode);
}

VdirCalendarStore& PublicCalendarFeeds::store() {
    if (!store_) {
        QDir().mkpath(settings_.cacheFolder);
        store_ = std::make_unique<VdirCalendarStore>(QStringList{settings_.cacheFolder});
        store_->setReadsInBackground(true);
        // A feed read, or replaced by a newer one: the months are loaded again.
        connect(store_.get(), &platform::CalendarStore::changed, this, [] {
            platform::NotificationCenter::defaultCenter().post(
                QStringLiteral("loadCalendarEvents"));
        });
    }
    return *store_;
}

std::optional<QString> PublicCalendarFeeds::failure(const CalSource& source) const {
    const auto found = failures_.constFind(calendarIdOf(source));
    if (found == failures_.constEnd()) {
        return std::nullopt;
    }
    return found->message;
}

void PublicCalendarFeeds::refresh(const CalSourcePtr& source) {
    const QString id = calendarIdOf(*source);
    if (stopped_ || fetches_.contains(id)) {
        return;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (const auto failed = failures_.constFind(id);
        failed != failures_.constEnd() &&
        failed->at.secsTo(now) < std::chrono::seconds(settings_.retryAfterFailure).count()) {
        return;
    }
    // File times are the system's clock's: so is the age.
    const QFileInfo cached(folderOf(*source) + QLatin1Char('/') + kFeedFile);
    const qint64 maxAge = std::max<qint64>(1, source->refreshInterval()) * 60;
    if (cached.exists() && cached.lastModified().toUTC().secsTo(now) < maxAge) {
        return;
    }
    auto* fetch = new CappedFetch(this);
    fetches_.insert(id, fetch);
    fetch->get(feedUrl(*source), settings_.limits,
               [this, source](const CappedFetch::Result& r) { fetched(source, r); });
}

void PublicCalendarFeeds::fetched(const CalSourcePtr& source, const CappedFetch::Result& result) {
    const QString id = calendarIdOf(*source);
    if (CappedFetch* fetch = fetches_.take(id)) {
        fetch->deleteLater();
    }
    QString error = result.error;
    if (result.data && !result.data->trimmed().startsWith("BEGIN:VCALENDAR")) {
        error = QStringLiteral("the answer is no iCalendar file");
    }
    if (result.data && error.isEmpty()) {
        const QString folder = folderOf(*source);
        if (!QDir().mkpath(folder) ||
            !platform::writeFileAtomically(folder + QLatin1Char('/') + kFeedFile, *result.data,
                                           &error)) {
            error = QStringLiteral("the cache cannot be written: %1").arg(error);
        }
    } else if (error.isEmpty()) {
        error = QStringLiteral("nothing came");
    }
    if (!error.isEmpty()) {
        failures_.insert(id, {QDateTime::currentDateTimeUtc(), error});
        platform::log(QStringLiteral("Public calendars: \"%1\" could not be read from %2: %3")
                          .arg(source->name(), feedUrl(*source).toString(), error));
        return;
    }
    failures_.remove(id);
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("loadCalendarEvents"));
}

std::vector<CalEventPtr> PublicCalendarFeeds::events(Date from, Date to) {
    std::vector<CalEventPtr> out;
    const std::vector<CalSourcePtr> sources = tickedSources();
    if (sources.empty() || stopped_) {
        return out;
    }
    QHash<QString, CalSourcePtr> byFolder;
    QStringList folders;
    for (const CalSourcePtr& s : sources) {
        refresh(s);
        const QString folder = folderOf(*s);
        byFolder.insert(folder, s);
        folders << folder;
    }
    for (const platform::StoreOccurrence& o : store().events(from, to, folders)) {
        const CalSourcePtr source = byFolder.value(o.calendarId);
        if (!source) {
            continue;
        }
        CalEventPtr e = CalEvent::initWithStartTime(
            o.start, std::max(0.0, o.end.timeIntervalSince(o.start)), o.title, o.notes, source);
        e->setIsAllDay(o.allDay);
        out.push_back(std::move(e));
    }
    return out;
}

void PublicCalendarFeeds::fileEvents(CalMonth& month) {
    // Unticked calendars go too; a month loaded by two back ends keeps one copy.
    for (const auto* list : {&CalSource::publicCalendars(), &CalSource::publicCalendars_Religious(),
                             &CalSource::publicCalendars_Misc()}) {
        for (const CalSourcePtr& s : *list) {
            month.removeEventsFromSource(*s);
        }
    }
    for (const CalEventPtr& e : events(month.earliestDate(), month.latestDate())) {
        for (const CalEventDay& day : e->adjustedDaysForCalendar(month.calendar())) {
            if (day.era() == month.era() && day.year() == month.year() &&
                day.month() == month.month()) {
                month.addEvent(day, day.day());
            }
        }
    }
}

void PublicCalendarFeeds::stop() {
    stopped_ = true;
    // Destroying a fetch ends its reply unanswered; destroying the store ends its reading.
    qDeleteAll(std::exchange(fetches_, {}));
    store_.reset();
}

}  // namespace talvor
