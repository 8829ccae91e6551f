#include "myCalSettings.h"

#include "ICalEvents.h"
#include "ICalParser.h"
#include "ICalValues.h"
#include "foundation/CalendarFormat.h"
#include "foundation/Talvortsv.h"
#include "platform/BoundedFile.h"
#include "platform/Clock.h"
#include "platform/Date.h"
#include "platform/Log.h"
#include "platform/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStringDecoder>
#include <QTimeZone>

namespace talvor {
namespace {

bool isPictureAddress(const QString& text) {
    return text.startsWith(QLatin1String("file://")) || text.startsWith(QLatin1String("http://")) ||
           text.startsWith(QLatin1String("https://"));
}

// Text of a file or a download: a byte-order mark decides, else UTF-8 when the bytes are
// UTF-8, else Latin-1.
QString decodeText(const QByteArray& bytes) {
    if (auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        return decoder(bytes);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

// A file's bytes, bounded: a FIFO or a device at the path is refused at once (opening a FIFO
// would wait for a writer for ever) and a file over `cap` is refused, both with one log
// line. The program's own resources (":/...") are read as they are.
platform::BoundedRead readTextFile(const QString& path, qint64 cap) {
    if (path.startsWith(QLatin1String(":/"))) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return {std::nullopt, platform::ReadRefusal::Missing, {}, file.errorString()};
        }
        return {file.read(cap), platform::ReadRefusal::Unreadable, {}, {}};
    }
    return platform::readRegularFile(path, cap);
}

QImage readPicture(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read();
}

QString datedKey(const QDate& day) {
    return QString::asprintf("%04d%02d%02d", day.year(), day.month(), day.day());
}

QString yearlyKey(int month, int day) {
    return QString::asprintf("xx%02d%02d", month, day);
}

ical::ZonePtr localZone() {
    if (auto zone = ical::ZoneRules::system(QTimeZone::systemTimeZoneId().toStdString())) {
        return zone;
    }
    return ical::ZoneRules::utc();
}

QDate localDateOf(int64_t utcSeconds) {
    return QDateTime::fromSecsSinceEpoch(utcSeconds, QTimeZone::systemTimeZone()).date();
}

// A yearly rule that falls on the start's month and day every year, for ever: one every-year
// entry serves it. Anything else (a weekday rule, a count, an end, exceptions) is spread over
// dated entries.
bool isPlainYearly(const ical::CalendarEvent& event, const QDate& start) {
    if (event.rules.size() != 1 || !event.rdates.empty() || !event.exdates.empty()) {
        return false;
    }
    const ical::RecurrenceRule& rule = event.rules.front();
    const auto onlyThe = [](const std::vector<int>& values, int wanted) {
        return values.empty() || (values.size() == 1 && values.front() == wanted);
    };
    return rule.frequency == ical::Frequency::Yearly && rule.interval == 1 && !rule.count &&
           !rule.until && rule.byDay.empty() && rule.byYearDay.empty() && rule.byWeekNo.empty() &&
           rule.bySetPos.empty() && onlyThe(rule.byMonth, start.month()) &&
           onlyThe(rule.byMonthDay, start.day());
}

std::optional<QDate> parseBirthday(QString text) {
    text = text.trimmed();
    if (const qsizetype t = text.indexOf(QLatin1Char('T')); t > 0) {
        text.truncate(t);
    }
    text.remove(QLatin1Char('-'));
    if (text.size() == 4) {  // "--MMDD": no year; a leap year keeps 29 February
        text.prepend(QLatin1String("2000"));
    }
    if (text.size() != 8) {
        return std::nullopt;
    }
    const QDate day = QDate::fromString(text, QStringLiteral("yyyyMMdd"));
    return day.isValid() ? std::optional<QDate>(day) : std::nullopt;
}

QString unescaped(const std::string& value) {
    return QString::fromStdString(ical::unescapeText(value));
}

// The parts of a structured value ("Last;First;Middle"), split on the semicolons that are not
// escaped, each unescaped.
QStringList structuredParts(const std::string& value) {
    QStringList parts;
    std::string part;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            part += value[i];
            part += value[++i];
        } else if (value[i] == ';') {
            parts << unescaped(part);
            part.clear();
        } else {
            part += value[i];
        }
    }
    parts << unescaped(part);
    return parts;
}

}  // namespace

myCalSettings::myCalSettings(QObject* parent) : QObject(parent) {
    SetCntV(1);
    SetCntH(1);
    specialDaysFiles_ = defaultSpecialDaysFiles();
}

myCalSettings::~myCalSettings() {
    delete fetch_;  // before the members its answers would reach
    fetch_ = nullptr;
    freeImageCache();
}

int myCalSettings::SetCntH(int count) {
    const int old = cntH_;
    if (count != 0) {
        cntH_ = count;
    }
    SetDrawWindowTitleFormat(3);
    if (startMonthOffset_ != 0 && cntH_ == 1 && cntV_ == 1) {
        startMonthOffset_ = 0;
    }
    return old;
}

int myCalSettings::SetCntV(int count) {
    const int old = cntV_;
    if (count != 0) {
        cntV_ = count;
    }
    SetDrawWindowTitleFormat(3);
    if (startMonthOffset_ != 0 && cntH_ == 1 && cntV_ == 1) {
        startMonthOffset_ = 0;
    }
    return old;
}

void myCalSettings::SetFirstDayOfWeek(int weekday) {
    firstDay_ = weekday >= 0 && weekday <= 6 ? weekday : 6;
}

int myCalSettings::weekdayOfStartDayIndex(qint64 index) {
    return index >= 0 && index <= 6 ? static_cast<int>(index) : 0;
}

void myCalSettings::setStartMonthOffset(int offset) {
    startMonthOffset_ = cntH_ == 1 && cntV_ == 1 ? 0 : offset;
}

int myCalSettings::SetOffsetMonth(int offset) {
    const int old = startMonthOffset_;
    startMonthOffset_ = offset;
    return old;
}

int myCalSettings::SetDropShadow(int shadow) {
    const int old = textDS_;
    textDS_ = shadow;
    return old;
}

void myCalSettings::SetGridLines(int horizontal, int vertical) {
    horGrid_ = horizontal;
    verGrid_ = vertical;
}

int myCalSettings::SethPosDay(int position) {
    const int old = dayHPos_;
    dayHPos_ = position;
    return old;
}

int myCalSettings::SetDrawWindowTitleFormat(int format) {
    const int old = drawWindowTitle_;
    drawWindowTitle_ = format;
    return old;
}

int myCalSettings::SetImageStyle(int style) {
    const int old = imageStyle_;
    imageStyle_ = style >= 9 ? 1 : style;
    return old;
}

int myCalSettings::SetImageScaleType(int type) {
    const int old = imageScaleType_;
    imageScaleType_ = type;
    return old;
}

myCalSettings::Error myCalSettings::buildErrorWithDescription(const QString& description,
                                                              const QString& reason,
                                                              const QString& solution) {
    return Error{QStringLiteral("Talvor Calendar"), -1, description, reason, solution};
}

// Pictures -------------------------------------------------------------------------------

void myCalSettings::setSImagePath(const std::optional<QString>& path) {
    imagePathIsDir_ = false;
    bgImageIsURL_ = false;
    ++pictureGeneration_;
    if (!path) {
        sImagePath_.clear();
        return;
    }
    if (isPictureAddress(*path)) {
        bgImageIsURL_ = true;
        sImagePath_ = *path;
        return;
    }
    const QFileInfo info(*path);
    const QString resolved = info.exists() ? info.canonicalFilePath() : *path;
    sImagePath_ = resolved;
    imagePathIsDir_ = QFileInfo(resolved).isDir();
}

void myCalSettings::LoadImage(const std::optional<QString>& path) {
    if (!path || path->isEmpty()) {
        bgImageIsURL_ = false;
        imagePathIsDir_ = false;
        freeImageCache();
        return;
    }
    if (imagePathIsDir_ || QFileInfo(*path).isDir()) {
        return;
    }
    if (!bgImage_.isNull()) {
        return;
    }
    LoadSingleImage(path);
}

void myCalSettings::LoadSingleImage(const std::optional<QString>& path) {
    err_.reset();
    if (!path || !isPictureAddress(*path)) {
        if (path) {
            bgImage_ = readPicture(*path);
        }
    } else {
        const QString expanded = expandDateTemplate(*path, today());
        const QUrl url(expanded);
        if (!url.isValid()) {
            platform::log(QStringLiteral("URL error %1").arg(expanded));
        } else if (url.isLocalFile()) {
            bgImage_ = readPicture(url.toLocalFile());
        } else {
            loadNetworkPicture(*path, expanded, true);
            return;  // the picture arrives later
        }
    }
    if (path && bgImage_.isNull() && !QFileInfo(*path).isDir()) {
        platform::log(QStringLiteral("Talvor: Failed loading Cal BG Picture %1\n%2")
                          .arg(*path, err_ ? err_->suggestion : QString()));
    }
}

void myCalSettings::refreshNetworkPicture() {
    if (bgImageIsURL_ && !sImagePath_.isEmpty()) {
        const QString expanded = expandDateTemplate(sImagePath_, today());
        if (!QUrl(expanded).isLocalFile()) {
            loadNetworkPicture(sImagePath_, expanded, true);
        }
    }
}

void myCalSettings::loadNetworkPicture(const QString& pattern, const QString& address,
                                       bool firstTry) {
    if (fetch_ == nullptr) {
        fetch_ = new CappedFetch(this);
    }
    const int generation = pictureGeneration_;
    fetch_->get(QUrl(address), fetchLimits_,
                [this, pattern, address, firstTry, generation](const CappedFetch::Result& result) {
                    if (generation != pictureGeneration_) {
                        return;  // the picture path changed meanwhile
                    }
                    QImage picture;
                    if (result.data) {
                        picture = QImage::fromData(*result.data);
                    }
                    if (!picture.isNull()) {
                        bgImage_ = picture;
                        err_.reset();
                        emit changed();
                        return;
                    }
                    const QString yesterday = expandDateTemplate(pattern, today().addDays(-1));
                    if (firstTry && address != pattern && yesterday != address) {
                        loadNetworkPicture(pattern, yesterday, false);
                        return;
                    }
                    // The last good picture, if any, stays.
                    err_ = buildErrorWithDescription(
                        address, QStringLiteral("Unable to load image from network URL"),
                        QStringLiteral("Enable network access or select another site."));
                    platform::log(QStringLiteral("Talvor: Failed loading Cal BG Picture %1\n%2")
                                      .arg(address, err_->suggestion));
                    emit changed();
                });
}

QString myCalSettings::expandDateTemplate(const QString& pattern, const QDate& day) {
    // Only the calendar-date escapes are replaced; a percent escape of a URL ("%20") is not
    // one and stays as written.
    return formatCalendarDate(pattern, Date::fromQDateTime(QDateTime(day, QTime(12, 0))),
                              QTimeZone::systemTimeZone(), QLocale::c());
}

QDate myCalSettings::today() const {
    return platform::Clock::shared().now().toQDateTime().toLocalTime().date();
}

void myCalSettings::LoadMonthImage(int month) {
    if (sImagePath_.isEmpty() || !imagePathIsDir_) {
        return;
    }
    bgImage_ = QImage();
    err_.reset();
    const int slot = month + 6;
    if (slot < 0 || slot >= static_cast<int>(bgThemeImage_.size())) {
        return;
    }
    if (bgThemeImage_[slot].isNull()) {
        const QString name = QStringLiteral("%1.jpg").arg(month);
        const QFileInfo file(QDir(sImagePath_).filePath(name));
        ++monthPictureReads_;
        const QImage picture =
            readPicture(file.exists() ? file.canonicalFilePath() : file.filePath());
        if (picture.isNull()) {
            platform::log(QStringLiteral("Missing Cal BG for Month %1: %2").arg(month).arg(name));
            return;
        }
        bgThemeImage_[slot] = fixResolution(picture);
    }
    bgImage_ = bgThemeImage_[slot];
}

QImage myCalSettings::fixResolution(const QImage& picture) {
    int width = picture.width();
    int height = picture.height();
    if (width <= 0 || height <= 0 || width >= 1024 || height >= 768) {
        return picture;
    }
    while (width < 1024 && height < 768) {
        width *= 2;
        height *= 2;
    }
    return picture.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void myCalSettings::freeImageCache() {
    for (QImage& slot : bgThemeImage_) {
        slot = QImage();
    }
    bgImage_ = QImage();
}

// Special days ---------------------------------------------------------------------------

std::optional<QString> myCalSettings::specialDayText(const QDate& day) const {
    if (auto it = specialDays_.constFind(yearlyKey(day.month(), day.day()));
        it != specialDays_.cend()) {
        return *it;
    }
    if (auto it = specialDays_.constFind(datedKey(day)); it != specialDays_.cend()) {
        return *it;
    }
    return std::nullopt;
}

bool myCalSettings::parseCALdata(const QString& text) {
    const std::string utf8 = text.toStdString();
    const ical::ParseResult parsed = ical::parse(utf8);
    QHash<int, QString> urlsByLine;
    bool isCalendar = false;
    for (const ical::Component& calendar : parsed.components) {
        if (calendar.name != "VCALENDAR") {
            continue;
        }
        isCalendar = true;
        for (const ical::Component& event : calendar.components) {
            if (const ical::Property* url = event.property("URL")) {
                urlsByLine.insert(event.line, QString::fromStdString(url->value));
            }
        }
    }
    if (!isCalendar) {
        return false;
    }
    const ical::CalendarData data = ical::readEvents(parsed);
    const ical::ZonePtr floating = localZone();
    const int thisYear = today().year();
    const int64_t from = QDateTime(QDate(thisYear - 1, 1, 1), QTime(0, 0)).toSecsSinceEpoch();
    const int64_t to = QDateTime(QDate(thisYear + kSpecialDayYearsAhead + 1, 1, 1), QTime(0, 0))
                           .toSecsSinceEpoch();

    QHash<QString, QString> table;
    table.reserve(50);
    for (const ical::CalendarEvent& event : data.events) {
        if (event.recurrenceId) {
            continue;  // an override: found through its series below
        }
        QString value = QStringLiteral("%1\n%2").arg(
            QString::fromStdString(event.summary.value_or(std::string())),
            QString::fromStdString(event.description.value_or(std::string())));
        if (auto url = urlsByLine.constFind(event.line); url != urlsByLine.cend()) {
            value += QLatin1Char('\n') + *url;
        }
        const QDate start = localDateOf(event.start.utc(*floating));
        if (!event.recurs()) {
            table.insert(datedKey(start), value);
        } else if (isPlainYearly(event, start)) {
            table.insert(yearlyKey(start.month(), start.day()), value);
        } else {
            std::vector<const ical::CalendarEvent*> overrides;
            for (const ical::CalendarEvent& other : data.events) {
                if (other.recurrenceId && other.uid == event.uid) {
                    overrides.push_back(&other);
                }
            }
            const ical::ExpandResult starts =
                ical::expand(event, overrides, from, to, 4000, *floating);
            for (int64_t at : starts.starts) {
                table.insert(datedKey(localDateOf(at)), value);
            }
        }
    }
    specialDays_ = std::move(table);
    platform::debugLog(QStringLiteral("done processing vcal events"));
    return true;
}

bool myCalSettings::loadCALDesc(const QString& pathOrAddress) {
    QString text = pathOrAddress.trimmed();
    const bool webcal = text.startsWith(QLatin1String("webcal:"));
    if (webcal || text.startsWith(QLatin1String("http://")) ||
        text.startsWith(QLatin1String("https://"))) {
        err_.reset();
        // A web calendar is asked over https first; plain http only when that fails.
        QStringList addresses;
        if (webcal) {
            const QString rest = text.mid(7);
            addresses << QStringLiteral("https:") + rest << QStringLiteral("http:") + rest;
        } else {
            addresses << text;
        }
        if (!QUrl(addresses.front()).isValid()) {
            platform::log(QStringLiteral("Unable to create URL to calendar: %1").arg(text));
            platform::beep();
            return false;
        }
        fetchCalendar(addresses, 0);
        return true;
    }
    constexpr qint64 kMaxCalendarBytes = 16 << 20;
    const platform::BoundedRead read = readTextFile(text, kMaxCalendarBytes);
    if (!read.bytes) {
        err_ =
            buildErrorWithDescription(text, QStringLiteral("The file %1.").arg(read.reason),
                                      QStringLiteral("Choose a calendar file that can be read."));
        if (read.refusal == platform::ReadRefusal::Missing) {
            platform::log(QStringLiteral("error: %1 %2").arg(text, read.reason));
        }
        return false;
    }
    return parseCALdata(decodeText(*read.bytes));
}

void myCalSettings::fetchCalendar(const QStringList& addresses, int index) {
    if (fetch_ == nullptr) {
        fetch_ = new CappedFetch(this);
    }
    fetch_->get(QUrl(addresses[index]), fetchLimits_,
                [this, addresses, index](const CappedFetch::Result& result) {
                    if (!result.data && index + 1 < addresses.size()) {
                        fetchCalendar(addresses, index + 1);
                        return;
                    }
                    const QString body = result.data ? decodeText(*result.data) : QString();
                    if (body.isEmpty()) {
                        if (!result.error.isEmpty()) {
                            platform::log(QStringLiteral("error: %1").arg(result.error));
                        }
                        platform::log(QStringLiteral("Can't reach server: %1, no data returned")
                                          .arg(addresses[index]));
                        platform::beep();
                    } else {
                        parseCALdata(body);
                    }
                    emit changed();
                });
}

bool myCalSettings::SetSpecialDay(bool on) {
    const bool old = bSpecialDays_;
    bSpecialDays_ = on;
    if (on) {
        if (specialDays_.isEmpty()) {
            specialDays_ = dictFromDateLabels();
        }
    } else {
        specialDays_.clear();
    }
    return old;
}

QStringList myCalSettings::defaultSpecialDaysFiles() {
    const QString name = QStringLiteral("Holidays/SpecialDays.txt");
    return {QDir(platform::Paths::dataDir()).filePath(name),
            QDir(platform::Paths::systemDataDir()).filePath(name),
            QStringLiteral(":/talvor/SpecialDays.txt")};
}

QHash<QString, QString> myCalSettings::dictFromDateLabels() const {
    QHash<QString, QString> table;
    for (const QString& path : specialDaysFiles_) {
        const std::optional<QByteArray> bytes =
            readTextFile(path, platform::kSmallFileCap * 4).bytes;
        if (!bytes) {
            continue;
        }
        const QStringList lines =
            Talvortsv::vltComponentsSeparatedByLineSeparators(decodeText(*bytes));
        for (const QString& line : lines) {
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.size() < 8) {
                continue;
            }
            // "YYYYMMDD label" marks one date; "xxMMDD label" every year.
            bool dated = line.size() >= 10;
            for (int i = 0; dated && i < 8; ++i) {
                dated = line.at(i).isDigit();
            }
            const int keyLength = dated ? 8 : 6;
            table.insert(line.left(keyLength), line.mid(keyLength + 1));
        }
        break;
    }
    return table;
}

// Birthdays ------------------------------------------------------------------------------

int myCalSettings::SetBirthday(int choice) {
    const int old = showAddressBDays_;
    showAddressBDays_ = choice >= 3 || choice < 0 ? 0 : choice;
    if (showAddressBDays_ == 0) {
        bdays_.clear();
        bdaysBuilt_ = false;
    }
    return old;
}

QString myCalSettings::defaultContactsFolder() {
    return QDir(platform::Paths::dataDir()).filePath(QStringLiteral("Contacts"));
}

QList<myCalSettings::Person> myCalSettings::peopleOfVCards(const QString& text) {
    QList<Person> people;
    const ical::ParseResult parsed = ical::parse(text.toStdString());
    for (const ical::Component& card : parsed.components) {
        if (card.name != "VCARD") {
            continue;
        }
        const ical::Property* bday = card.property("BDAY");
        if (bday == nullptr) {
            continue;
        }
        const std::optional<QDate> birthday = parseBirthday(QString::fromStdString(bday->value));
        if (!birthday) {
            continue;
        }
        Person person;
        person.birthday = *birthday;
        if (const ical::Property* name = card.property("N")) {
            const QStringList parts = structuredParts(name->value);
            person.lastName = parts.value(0).trimmed();
            person.firstName = parts.value(1).trimmed();
        }
        if (person.firstName.isEmpty() && person.lastName.isEmpty()) {
            if (const ical::Property* formatted = card.property("FN")) {
                person.firstName = unescaped(formatted->value).trimmed();
            }
        }
        people << person;
    }
    return people;
}

QList<myCalSettings::Person> myCalSettings::BirthDaySearchStart() const {
    QList<Person> people;
    const QDir folder(contactsFolder_.isEmpty() ? defaultContactsFolder() : contactsFolder_);
    const QStringList files = folder.entryList({QStringLiteral("*.vcf"), QStringLiteral("*.vcard")},
                                               QDir::Files, QDir::Name);
    constexpr qint64 kMaxCardFileBytes = 4 << 20;
    for (const QString& name : files) {
        if (const std::optional<QByteArray> bytes =
                readTextFile(folder.filePath(name), kMaxCardFileBytes).bytes) {
            people << peopleOfVCards(decodeText(*bytes));
        }
    }
    return people;
}

QString myCalSettings::GetBirthDay(const QDate& day, const QList<Person>& people) {
    if (!bdaysBuilt_) {
        bdays_.clear();
        bdays_.reserve(50);
        for (const Person& person : people) {
            const QString key =
                QStringLiteral("%1-%2").arg(person.birthday.month()).arg(person.birthday.day());
            QString name;
            if (!person.firstName.isEmpty() && !person.lastName.isEmpty()) {
                name = person.firstName + QLatin1Char(' ') + person.lastName;
            } else {
                name = person.firstName.isEmpty() ? person.lastName : person.firstName;
            }
            QString& value = bdays_[key];
            if (!value.isEmpty()) {
                value += QStringLiteral(",\r");
            }
            value += name + QLatin1Char(' ');
        }
        bdaysBuilt_ = true;
    }
    return bdays_.value(QStringLiteral("%1-%2").arg(day.month()).arg(day.day()));
}

}  // namespace talvor
