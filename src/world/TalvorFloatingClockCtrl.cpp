#include "TalvorFloatingClockCtrl.h"

#include "CountryFlags.h"
#include "TalvorClockControl.h"
#include "TimeZoneWindow.h"
#include "WorldKeys.h"
#include "foundation/CalendarFormat.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/StringsBundle.h"
#include "foundation/SystemTimeZone.h"
#include "foundation/TalvorLoadFonts.h"
#include "foundation/TalvorProColor.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/Log.h"
#include "platform/Menu.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "services/HotKeyKeys.h"
#include "services/ServicesKeys.h"
#include "services/TalvorHotKeys.h"
#include "services/TalvorKeyCombo.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLabel>

#include <cmath>
#include <exception>

namespace talvor {

namespace {

const QString kDefaultTimeFormat = FloatingOptions::defaultTimeFormat();
// "YY" would be the week-based year: 30 December 2024 would show as 12/30/25.
const QString kDefaultDateFormat = FloatingOptions::defaultDateFormat();
const QString kDefaultFontName = FloatingOptions::defaultFontFamily();
constexpr float kDefaultFontSize = FloatingOptions::kDefaultFontSize;
const QString kMenuTitle = QStringLiteral("Floating Clocks\u2026");

int weekNumber(Date now, const QTimeZone& zone) {
    return now.toQDateTime()
        .toTimeZone(zone.isValid() ? zone : QTimeZone::utc())
        .date()
        .weekNumber();
}

// Whether a UTS #35 pattern shows anything finer than minutes (seconds, their fractions,
// milliseconds of the day) outside its quoted text.
bool showsSeconds(const QString& pattern) {
    bool quoted = false;
    for (const QChar c : pattern) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        } else if (!quoted &&
                   (c == QLatin1Char('s') || c == QLatin1Char('S') || c == QLatin1Char('A'))) {
            return true;
        }
    }
    return false;
}

QSizeF measure(const QFontMetricsF& metrics, const QString& text) {
    return text.isEmpty() ? QSizeF() : metrics.size(0, text);
}

QRect pixelRect(const QRectF& r) {
    return QRect(static_cast<int>(std::lround(r.x())), static_cast<int>(std::lround(r.y())),
                 static_cast<int>(std::ceil(r.width())), static_cast<int>(std::ceil(r.height())));
}

// NSString's capitalising: the first letter of each blank-separated word upper case.
QString capitalized(const QString& text) {
    QString out = text.toLower();
    bool wordStart = true;
    for (QChar& c : out) {
        if (c.isSpace()) {
            wordStart = true;
        } else if (wordStart) {
            c = c.toUpper();
            wordStart = false;
        }
    }
    return out;
}

QLabel* makeLabel(QWidget* window, const QRectF& frame, const QString& text, const QFont& font,
                  const QColor& background, const QColor& foreground, Qt::Alignment alignment) {
    auto* label = new QLabel(text, window);
    label->setFont(font);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, foreground);
    label->setPalette(palette);
    label->setAlignment(alignment | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setGeometry(pixelRect(frame));
    label->setVisible(frame.height() > 0);
    return label;
}

}  // namespace

// One floating location as the measuring pass found it.
struct TalvorFloatingClockCtrl::Measured {
    QVariantList record;
    QTimeZone zone;
    QString abbreviation;
    QString below;
    QString above;
};

TalvorFloatingClockCtrl::TalvorFloatingClockCtrl(platform::Clock& clock,
                                                 platform::UserDefaults& defaults, Poster post)
    : clock_(clock), defaults_(defaults), post_(std::move(post)) {
    options_.normalise();
}

TalvorFloatingClockCtrl::TalvorFloatingClockCtrl()
    : TalvorFloatingClockCtrl(platform::Clock::shared(), platform::UserDefaults::standard()) {}

TalvorFloatingClockCtrl::~TalvorFloatingClockCtrl() {
    try {
        clocks_.clear();
        if (tzWin_) {
            tzWin_->close();
        }
        tzWin_.reset();
    } catch (const std::exception& e) {
        platform::log(QStringLiteral("Floating clock window dispose had an exception name: %1   "
                                     "reason: %2   userInfo: %3")
                          .arg(QStringLiteral("std::exception"), QString::fromLocal8Bit(e.what()),
                               QString()));
    }
}

void TalvorFloatingClockCtrl::profile(const char* operation) const {
    if (debugProfile) {
        platform::log(QStringLiteral("TalvorFloatingClockCtrl %1").arg(QLatin1String(operation)));
    }
}

void TalvorFloatingClockCtrl::post(const QString& name) {
    if (post_) {
        post_(name);
    } else {
        platform::DistributedNotificationCenter::defaultCenter().post(name);
    }
}

void TalvorFloatingClockCtrl::LoadFloatingOptions(const platform::Notification* notification) {
    profile("LoadFloatingOptions");
    if (notification != nullptr) {
        PreferenceDomain::synchronize(
            QStringLiteral("Floating clocks: the preferences could not be synchronised"));
    }
    const std::optional<QString> states = CopyAnnotateString(keys::FloatingStates);
    options_ = FloatingOptions::fromText(states);
    if (!states && !saidDefaults_) {
        // Every location edit reloads the options: once is enough to say so.
        saidDefaults_ = true;
        platform::log(QStringLiteral("Floating clock using default settings"));
    }
    options_.ShowFloater = PreferenceDomain::readFlag(keys::Floater, false) ? 1 : 0;
    options_.normalise();
    configuredColumns_ = options_.iFloaterColumns;
    floatingHasSec_ = 1;

    const auto formatOrDefault = [this](const QString& key, const QString& fallback) {
        QString value = defaults_.stringForKey(key);
        if (value.isNull()) {
            value = fallback;
            defaults_.setObject(value, key);
            defaults_.synchronize();
        }
        return value;
    };
    floatDateFormat_ = formatOrDefault(keys::floatingTimeFormat, kDefaultTimeFormat);
    floatDateFormat2_ = formatOrDefault(keys::floatingDateFormat, kDefaultDateFormat);
    customFormat_ =
        PreferenceDomain::readText(keys::CustomFloatTime, FloatingOptions::defaultCustomFormat());
    textsShowSeconds_ = showsSeconds(floatDateFormat_) || showsSeconds(floatDateFormat2_) ||
                        (options_.aDigital != 0 && customFormat_.contains(QLatin1String("%S")));
    textsMinute_.reset();

    if (notification != nullptr && options_.ShowFloater == 0 && isFloating()) {
        hideClocks();
    }
}

QTimeZone TalvorFloatingClockCtrl::zoneOf(const QVariantList& record) const {
    const QByteArray id = LocationRecord::text(record, LocationRecord::kZone).toUtf8();
    if (!id.isEmpty() && QTimeZone::isTimeZoneIdAvailable(id)) {
        return QTimeZone(id);
    }
    // A location without a zone shows the machine's time, as a clock without a zone does.
    return clock_.currentZone();
}

QString TalvorFloatingClockCtrl::TimeZoneGetFloatingText(const QVariantList& record,
                                                         const QString& abbreviation) const {
    const QString city = LocationRecord::text(record, LocationRecord::kCity);
    QString text = options_.bShowText != 0 ? city : QString();
    if (options_.bIncCountry != 0 || (options_.bShowText != 0 && city.isEmpty())) {
        if (!text.isEmpty()) {
            text += QStringLiteral(", ");
        }
        text += LocationRecord::text(record, LocationRecord::kCountry);
    }
    if (options_.bIncTimeZone != 0) {
        text = text.isEmpty() ? abbreviation : text + QStringLiteral(", ") + abbreviation;
    }
    return text;
}

QString TalvorFloatingClockCtrl::TimeZoneGetFloatingText(const QTimeZone& zone) {
    const Date now = clock_.now();
    return aboveText(zone, now, weekNumber(now, clock_.currentZone()),
                     SystemTimeZone::abbreviation(zone, now));
}

QString TalvorFloatingClockCtrl::aboveText(const QTimeZone& zone, Date now, int week,
                                           const QString& abbreviation) {
    QString text;
    if (options_.ShowTimeWithClock != 0) {
        text = formatters_.format(patternWithWeekAndZone(floatDateFormat_, week, abbreviation),
                                  zone, now);
    }
    if (options_.ShowDateWithClock != 0) {
        if (options_.ShowTimeWithClock != 0) {
            text += QLatin1Char('\n');
        }
        if (!floatDateFormat2_.isEmpty()) {
            text += formatters_.format(
                patternWithWeekAndZone(floatDateFormat2_, week, abbreviation), zone, now);
        }
    }
    return text;
}

QString& TalvorFloatingClockCtrl::fixWeekNum(QString& format, const QString& week) {
    return TalvorDateFormat::fixWeekNum(format, week);
}

QString& TalvorFloatingClockCtrl::fixTimeZone(QString& format, const QString& tzAbbreviation) {
    return TalvorDateFormat::fixTimeZone(format, tzAbbreviation);
}

std::optional<QString> TalvorFloatingClockCtrl::getiChatFlagPath(const QString& country) {
    if (country.isEmpty()) {
        return std::nullopt;
    }
    // The shipped SVG flags first; a PNG of the country's name where one was installed.
    if (std::optional<QString> svg = CountryFlags::shared().flagPath(country)) {
        return svg;
    }
    QString name = capitalized(country);
    if (name == QLatin1String("United Kingdom")) {
        name = QStringLiteral("UK");
    } else if (name == QLatin1String("Netherlands")) {
        name = QStringLiteral("The Netherlands");
    }
    return QDir(platform::Paths::systemDataDir())
        .filePath(QStringLiteral("Flags/%1.png").arg(name));
}

double TalvorFloatingClockCtrl::digitalTextWidth(const QTimeZone& zone, const QString& abbreviation,
                                                 const QFontMetricsF& metrics) {
    // The time text's width changes with the weekday: take the widest of a whole week.
    const Date now = clock_.now();
    const int week = weekNumber(now, clock_.currentZone());
    const QDate today = now.toQDateTime().toTimeZone(zone).date();
    double widest = 0;
    for (int day = 0; day < 7; ++day) {
        const QDateTime noonish(QDate(today.year(), today.month(), 20).addDays(day), QTime(12, 22),
                                zone);
        widest = std::max(widest, metrics.horizontalAdvance(digitalTime(
                                      zone, Date::fromQDateTime(noonish), week, abbreviation)));
    }
    return widest;
}

QString TalvorFloatingClockCtrl::digitalTime(const QTimeZone& zone, Date now, int week,
                                             const QString& abbreviation) const {
    QString format = customFormat_;
    TalvorDateFormat::fixWeekNum(format, QString::number(week));
    TalvorDateFormat::fixTimeZone(format, abbreviation);
    return formatCalendarDate(format, now, zone);
}

QString TalvorFloatingClockCtrl::belowText(const QVariantList& record, const QTimeZone& zone,
                                           Date now, int week, const QString& abbreviation) const {
    QString place =
        options_.showsBelowText() ? TimeZoneGetFloatingText(record, abbreviation) : QString();
    if (options_.aDigital == 0) {
        return place;
    }
    // A digital clock has no dial: its time is this line.
    const QString time = digitalTime(zone, now, week, abbreviation);
    return place.isEmpty() ? time : time + QLatin1Char('\n') + place;
}

void TalvorFloatingClockCtrl::TimeZoneFloating(const LocationTable& locationList) {
    profile("TimeZoneFloating");
    if (options_.ShowFloater == 0) {
        return;
    }
    options_.fFloaterClockSize = std::max(16.0f, options_.fFloaterClockSize);
    leftAlign_ = PreferenceDomain::readFlag(keys::FloaterLeftAlign, false);
    options_.bIncTimeZone = PreferenceDomain::readFlag(keys::FloaterShowTimeZone, false) ? 1 : 0;
    FloaterFont_ =
        TalvorLoadFonts::TalvorLoadFont(keys::FloaterFont, kDefaultFontSize, kDefaultFontName)
            .value_or(QFont());
    const QFontMetricsF metrics(FloaterFont_);
    const Date now = clock_.now();

    std::vector<Measured> measured;
    FloatingExtents extents;
    double widest = 0;
    double tallestBelow = 0;
    double tallestAbove = 0;
    for (qsizetype i = 0; i < locationList.size(); ++i) {
        const QVariantList record = LocationRecord::fields(locationList.at(i));
        if (!LocationRecord::flag(record, LocationRecord::kFloating)) {
            if (record.size() <= 9) {
                platform::log(QStringLiteral("Floating clocks: location %1 has only %2 fields")
                                  .arg(i)
                                  .arg(record.size()));
            }
            continue;
        }
        Measured m;
        m.record = record;
        m.zone = zoneOf(record);
        m.abbreviation = SystemTimeZone::abbreviation(m.zone, now);
        m.below =
            belowText(record, m.zone, now, weekNumber(now, clock_.currentZone()), m.abbreviation);
        m.above = options_.showsAboveText() ? TimeZoneGetFloatingText(m.zone) : QString();
        const QSizeF below = measure(metrics, m.below);
        const QSizeF above = measure(metrics, m.above);
        double belowWidth = below.width();
        if (options_.aDigital != 0) {
            belowWidth = std::max(belowWidth, digitalTextWidth(m.zone, m.abbreviation, metrics));
        }
        widest = std::max({widest, belowWidth, above.width()});
        tallestBelow = std::max(tallestBelow, below.height());
        tallestAbove = std::max(tallestAbove, above.height());
        measured.push_back(std::move(m));
    }
    extents.textWidth = widest + 3.0;
    extents.belowHeight = tallestBelow + 1.0;
    extents.aboveHeight = tallestAbove + 1.0;
    extents.count = static_cast<int>(measured.size());

    if (measured.empty()) {
        hideClocks();
        return;
    }
    FloatingOptions asked = options_;
    asked.iFloaterColumns = configuredColumns_;
    grid_ = layoutFloatingClocks(asked, extents);
    options_.iFloaterColumns = grid_.columns;
    buildWindow(measured);
}

void TalvorFloatingClockCtrl::buildWindow(const std::vector<Measured>& measured) {
    if (!tzWin_) {
        tzWin_ = std::make_unique<TimeZoneWindow>(defaults_);
        tzWin_->setEscapeAction(escapeAction_);
    } else {
        clocks_.clear();
        const QList<QWidget*> old = tzWin_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        qDeleteAll(old);
    }
    tzWin_->setLayer(options_.layer());
    tzWin_->setWindowOpacity(options_.fFloaterTransparency);
    tzWin_->resize(static_cast<int>(std::ceil(grid_.contentSize.width())),
                   static_cast<int>(std::ceil(grid_.contentSize.height())));

    const QColor background = TalvorProColor::myGetColorFromDefaults(
        keys::FloaterBGColor, FloatingOptions::defaultBackground());
    const QColor foreground = TalvorProColor::myGetColorFromDefaults(
        keys::FloaterTextColor, FloatingOptions::defaultTextColour());
    const Qt::Alignment alignment = leftAlign_ ? Qt::AlignLeft : Qt::AlignHCenter;
    const Date now = clock_.now();

    clocks_.resize(measured.size());
    textsMinute_.reset();
    // Last location first, as the grid is filled: a dial, then the label above it, then the
    // one below, so that a dial always precedes its labels.
    for (std::size_t k = measured.size(); k-- > 0;) {
        const Measured& m = measured[k];
        const FloatingCellFrames& frames = grid_.cells[k];
        auto* dial = new TalvorClockControl(tzWin_.get());
        dial->setGeometry(pixelRect(frames.dial));
        dial->setChangeTime(false);
        dial->setChangeDigital(options_.aDigital != 0);
        dial->setEnabled(false);
        dial->SetClockType(options_.faceType);
        dial->SetBGColor(background);
        dial->setFontSize(static_cast<float>(FloaterFont_.pointSizeF()));
        dial->SetFontName(FloaterFont_.family());
        dial->SetShowAMPM(options_.ShowAMPM);
        dial->SetAnalogSecHand(options_.ShowSeconds);
        dial->SetTextColor(foreground);
        dial->cell().setAlignment(alignment);
        std::optional<QString> flag;
        if (options_.faceType == FloatingOptions::kFlagFace) {
            flag = getiChatFlagPath(LocationRecord::text(m.record, LocationRecord::kCountry));
            if (flag && !QFileInfo(*flag).isFile()) {
                flag = flag->left(flag->size() - 3) + QStringLiteral("gif");
            }
        }
        dial->setImagePath(flag);
        dial->setTime(CalendarDate{now, m.zone, floatDateFormat_});
        // A child added to a window already on screen stays hidden until shown itself.
        dial->show();

        QLabel* above = makeLabel(tzWin_.get(), frames.above, m.above, FloaterFont_, background,
                                  foreground, alignment);
        above->setProperty("tag", kAboveLabelTag);
        QLabel* below = makeLabel(tzWin_.get(), frames.below, m.below, FloaterFont_, background,
                                  foreground, alignment);
        clocks_[k] = FloatingClock{m.record, m.zone, m.abbreviation, dial, above, below};
    }

    try {
        tzWin_->show();
    } catch (const std::exception& e) {
        platform::log(
            QStringLiteral("Floating Caledar had an exception name: %1   reason: %2   userInfo: %3")
                .arg(QStringLiteral("std::exception"), QString::fromLocal8Bit(e.what()),
                     QString()));
    }
}

void TalvorFloatingClockCtrl::reorderFloatingClocks(const LocationTable& locationList) {
    profile("reorderFloatingClocks");
    if (options_.ShowFloater == 0) {
        return;
    }
    hideClocks();
    TimeZoneFloating(locationList);
}

void TalvorFloatingClockCtrl::updateFoatingClockTime() {
    if (!isFloating()) {
        return;
    }
    profile("updateFoatingClockTime");
    const Date now = clock_.now();
    // Asked once a tick: the machine's zone is read from the system's files each time.
    const QTimeZone system = clock_.currentZone();
    const int week = weekNumber(now, system);
    const QString systemAbbreviation = SystemTimeZone::abbreviation(system, now);
    // The texts change with the minute and the zones: within the minute of the last refresh,
    // in the same machine zone, only the dials move, unless a pattern shows seconds.
    const auto minute = static_cast<qint64>(std::floor(now.timeIntervalSince1970() / 60.0));
    const bool textsCurrent =
        !textsShowSeconds_ && textsMinute_ == minute && textsZone_ == system.id();
    textsMinute_ = minute;
    textsZone_ = system.id();
    for (FloatingClock& c : clocks_) {
        c.dial->setTimeToNow(now);
        if (textsCurrent) {
            continue;
        }
        const QString abbreviation = SystemTimeZone::abbreviation(c.zone, now);
        const QString pattern = patternWithWeekAndZone(floatDateFormat_, week, abbreviation);
        const QString tip = QStringLiteral("%1 %2\n%3 %4 (System/Local time)")
                                .arg(formatters_.format(pattern, c.zone, now), abbreviation,
                                     formatters_.format(pattern, system, now), systemAbbreviation);
        if (c.dial->toolTip() != tip) {
            c.dial->setToolTip(tip);
        }
        c.above->setText(aboveText(c.zone, now, week, abbreviation));
        // Past a daylight-saving change the label would name the old abbreviation; a digital
        // clock's time is its label below.
        if (abbreviation != c.abbreviation || options_.aDigital != 0) {
            c.abbreviation = abbreviation;
            if (options_.bIncTimeZone != 0 || options_.aDigital != 0) {
                c.below->setText(belowText(c.record, c.zone, now, week, abbreviation));
            }
        }
    }
}

bool TalvorFloatingClockCtrl::isFloating() const {
    return tzWin_ && tzWin_->isVisible();
}

void TalvorFloatingClockCtrl::hideClocks() {
    profile("hideClocks");
    if (tzWin_) {
        tzWin_->hide();
    }
}

void TalvorFloatingClockCtrl::menuSelectedShowFloating(platform::MenuItem*) {
    profile("menuSelectedShowFloating");
    PreferenceDomain::store().setValue(keys::Floater, QVariant(true));
    PreferenceDomain::synchronize(
        QStringLiteral("Floating clocks: the preferences could not be synchronised"));
    post(keys::TalvorFloatingClockPrefsChangeNotification);
}

void TalvorFloatingClockCtrl::menuSelectedHideFloating(platform::MenuItem*) {
    profile("menuSelectedHideFloating");
    if (!isFloating()) {
        return;
    }
    PreferenceDomain::store().setValue(keys::Floater, QVariant(false));
    PreferenceDomain::synchronize(
        QStringLiteral("Floating clocks: the preferences could not be synchronised"));
    hideClocks();
}

void TalvorFloatingClockCtrl::setEscapeAction(std::function<void()> action) {
    escapeAction_ = std::move(action);
    if (tzWin_) {
        tzWin_->setEscapeAction(escapeAction_);
    }
}

void TalvorFloatingClockCtrl::buildFloatingClockItem(platform::Menu& menu) {
    profile("buildFloatingClockItem");
    int index = menu.indexOfItemWithTag(kMenuItemTag);
    if (index >= 0) {
        menu.removeItemAtIndex(index);
    }
    if (showFloatingMenuItem_) {
        floatingMenuItem_.reset();
        return;
    }
    if (index < 0) {
        index = menu.indexOfItemWithTag(kMenuAnchorTag);
    }
    if (index < 0) {
        index = menu.numberOfItems();
    }
    const QString title =
        bundle().localizedString(kMenuTitle, keys::LocalizableMETalvor2).value_or(kMenuTitle);
    platform::MenuAction action;
    if (isFloating()) {
        action = [this](platform::MenuItem& sender) { menuSelectedHideFloating(&sender); };
    } else {
        action = [this](platform::MenuItem& sender) { menuSelectedShowFloating(&sender); };
    }
    auto item = platform::MenuItem::create(title, std::move(action));
    const QVariantMap& hotKeys = TalvorHotKeys::sharedInstance().hotKeyValues();
    if (hotKeys.value(keys::FloaterHotKeyEnabled).toBool()) {
        const auto code = static_cast<qint16>(hotKeys.value(keys::hotKeyCodeFloater).toLongLong());
        item->setKeyEquivalent(TalvorKeyCombo::_stringForKeyCode(code));
        item->setKeyEquivalentModifierMask(TalvorKeyCombo::NSModifierForModifiers(
            hotKeys.value(keys::hotKeyModifiersFloater).toLongLong()));
    }
    item->setTag(kMenuItemTag);
    menu.insertItem(item, index);
    floatingMenuItem_ = std::move(item);
}

StringsBundle& TalvorFloatingClockCtrl::bundle() {
    return StringsBundle::mainBundle();
}

}  // namespace talvor
