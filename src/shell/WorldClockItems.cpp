#include "WorldClockItems.h"

#include "foundation/TalvorFilePaths.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/FreedMemory.h"
#include "platform/Log.h"
#include "platform/Menu.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace talvor {
namespace {

const QString kSeparator = QStringLiteral(", ");
const QString kNoZoneTime = QStringLiteral(" NA      ");
const QString kDefaultLocationTimeFormat = QStringLiteral("hh:mm:ss a");

QString noteOf(const QVariantList& record) {
    return LocationRecord::text(record, LocationRecord::kNote);
}

bool hasNoZone(const QVariantList& record) {
    if (record.size() < 6) {
        return true;
    }
    const std::optional<double> hours =
        LocationRecord::number(record, LocationRecord::kHoursFromGMT);
    return hours && std::trunc(*hours) == LocationRecord::kNoZoneHours;
}

}  // namespace

WorldClockItems::WorldClockItems(platform::Menu& menu, TalvorTimeSettings& settings,
                                 platform::Clock& clock, std::function<quint32()> flags,
                                 Actions actions)
    : menu_(menu),
      settings_(settings),
      clock_(clock),
      flags_(std::move(flags)),
      actions_(std::move(actions)) {
    // Nobody sees the lines of a closed menu: they are brought up to date as it opens.
    openConnection_ =
        QObject::connect(&menu_, &platform::Menu::willOpen, [this] { refresh(true); });
    // Queued: the item chosen as the menu closed runs its action before the lines go.
    closeConnection_ = QObject::connect(&menu_, &platform::Menu::didClose, [this] {
        if (rebuildWhenClosed_) {
            QMetaObject::invokeMethod(
                &menu_, [this] { refresh(true); }, Qt::QueuedConnection);
        }
    });
}

WorldClockItems::~WorldClockItems() {
    QObject::disconnect(openConnection_);
    QObject::disconnect(closeConnection_);
}

void WorldClockItems::reloadLocListNow() {
    // Nothing else touches the table's files meanwhile: everything that writes them reads
    // the list first. The program's folder is looked up (and cached by Qt) here, not on
    // the thread, where it would race the main thread's first look-up.
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::applicationDirPath();
    }
    loading_ = std::async(std::launch::async, [] {
        std::optional<LocationTable> table = TalvorFilePaths::TalvorLoadLocationFile();
        if (table) {
            *table = recordsInUse(*table);
        }
        // The whole table was read into this thread's arena: its megabytes go back now.
        platform::returnFreedMemory();
        return table;
    });
}

LocationTable WorldClockItems::recordsInUse(const LocationTable& table) {
    LocationTable kept;
    for (const QVariant& entry : table) {
        const QVariantList record = LocationRecord::fields(entry);
        if (LocationRecord::flag(record, LocationRecord::kInTimeMenu) ||
            LocationRecord::flag(record, LocationRecord::kFloating)) {
            kept.push_back(entry);
        }
    }
    return kept;
}

void WorldClockItems::takeLoadedTable() const {
    if (!loading_.valid()) {
        return;
    }
    std::optional<LocationTable> table = loading_.get();
    if (!table) {
        platform::debugLog(QStringLiteral("\n\nLocations failed to loaded\n\n"));
        return;
    }
    LocationList_ = std::move(*table);
    platform::debugLog(QStringLiteral("\n%1 Locations loaded\n").arg(LocationList_.size()));
}

const LocationTable& WorldClockItems::LocationList() const {
    takeLoadedTable();
    return LocationList_;
}

void WorldClockItems::setLocationList(LocationTable list) {
    takeLoadedTable();  // a table read later must not replace this one
    LocationList_ = std::move(list);
}

bool WorldClockItems::isShown(const QVariant& entry) {
    const QVariantList record = LocationRecord::fields(entry);
    return record.size() >= 11 && LocationRecord::flag(record, LocationRecord::kInTimeMenu);
}

int WorldClockItems::lineCount() const {
    int count = 1;  // "Add Location..."
    for (const QVariant& entry : LocationList()) {
        count += isShown(entry) ? 1 : 0;
    }
    return count;
}

QString WorldClockItems::titleFor(const QVariantList& record, Date now) {
    QString name = LocationRecord::text(record, LocationRecord::kCity);
    if (!settings_.hideCountryInMenuItems) {
        if (!name.isEmpty()) {
            name += kSeparator;
        }
        name += LocationRecord::text(record, LocationRecord::kCountry);
    }
    const quint32 flags = flags_ ? flags_() : 0;
    QString title = name;
    if (flags & kShowTime) {
        QString time = kNoZoneTime;
        const QTimeZone zone(LocationRecord::text(record, LocationRecord::kZone).toUtf8());
        // An unknown zone would otherwise show the local time under another city's name.
        if (!hasNoZone(record) && zone.isValid()) {
            const QString pattern = settings_.locationTimeFormat.isNull()
                                        ? kDefaultLocationTimeFormat
                                        : settings_.locationTimeFormat;
            time = formats_.format(pattern, now, zone);
        }
        if (flags & kNameThenTime) {
            title = name + kSeparator + time;
        } else if (flags & kTimeThenName) {
            title = time + kSeparator + name;
        }
    }
    const QString note = noteOf(record);
    if ((flags & kAppendNote) && !note.isEmpty() && note != QLatin1String(" ")) {
        title += kSeparator + note;
    }
    return title;
}

platform::AttributedString WorldClockItems::styledTitle(const QString& title) const {
    platform::TextAttributes attributes;
    if (!settings_.locationFont.family().isEmpty()) {
        attributes.font = settings_.locationFont;
    }
    if (settings_.locationColor.isValid()) {
        attributes.foregroundColor = settings_.locationColor;
    }
    if (settings_.locationHasDropShadow) {
        // As the time in the menu bar casts it.
        platform::TextShadow shadow;
        shadow.offset = QPointF(2.0, -2.0);
        shadow.blurRadius = 1.0;
        attributes.shadow = shadow;
    }
    return platform::AttributedString(title, attributes);
}

QString WorldClockItems::lookUpText(const QVariantList& record) {
    QString text = LocationRecord::text(record, LocationRecord::kCity);
    const QString country = LocationRecord::text(record, LocationRecord::kCountry);
    const QString state = LocationRecord::text(record, LocationRecord::kState);
    const bool unitedStates = country == QLatin1String("USA") || country == QLatin1String("US") ||
                              country == QLatin1String("United States");
    const QString extra = unitedStates ? state : country;
    if (!extra.isEmpty()) {
        text += QLatin1Char(',') + extra;
    }
    return text;
}

QUrl WorldClockItems::lookUpURL(LookUp lookUp, const QString& text) {
    // Query values in UTF-8, so that names in any script reach the page; "+" and "?" must
    // not read as a blank or the start of a query.
    const QString escaped = QString::fromLatin1(QUrl::toPercentEncoding(text, ","));
    QString url;
    switch (lookUp) {
        case LookUp::Weather:
            url = QStringLiteral(
                "https://www.wunderground.com/cgi-bin/findweather/"
                "getForecast?query=%1&wuSelect=WEATHER");
            break;
        case LookUp::AnswerEngine:
            url = QStringLiteral("https://www.wolframalpha.com/input/?i=%1");
            break;
        case LookUp::Encyclopedia:
            url = QStringLiteral("https://en.wikipedia.org/wiki/%1");
            break;
        case LookUp::WebSearch:
            url = QStringLiteral("https://www.google.com/search?q=%1&oe=UTF-8&um=1&ie=UTF-8");
            break;
        case LookUp::MapSearch:
            url = QStringLiteral("https://www.google.com/maps?q=%1&oe=UTF-8&um=1&ie=UTF-8");
            break;
    }
    return QUrl(url.arg(escaped), QUrl::StrictMode);
}

WorldClockItems::LookUp WorldClockItems::lookUpForModifiers(platform::ModifierFlags modifiers) {
    const auto held = [modifiers](platform::ModifierFlags mask) {
        return (modifiers & mask) == mask;
    };
    if (held(platform::ControlKeyMask | platform::ShiftKeyMask)) {
        return LookUp::WebSearch;
    }
    if (held(platform::AlternateKeyMask | platform::ShiftKeyMask)) {
        return LookUp::MapSearch;
    }
    if (held(platform::AlternateKeyMask)) {
        return LookUp::Encyclopedia;
    }
    if (held(platform::ShiftKeyMask)) {
        return LookUp::AnswerEngine;
    }
    return LookUp::Weather;
}

void WorldClockItems::openLookUp(LookUp lookUp, const QString& text) {
    const QUrl url = lookUpURL(lookUp, text);
    platform::log(QStringLiteral("url %1").arg(url.toString(QUrl::FullyEncoded)));
    const bool opened = actions_.openURL ? actions_.openURL(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        platform::log(QStringLiteral("Could not open %1").arg(url.toString(QUrl::FullyEncoded)));
    }
}

void WorldClockItems::menuSelectedTimeZone(platform::MenuItem& sender) {
    QString text = sender.representedObject().toString();
    if (text.isEmpty()) {
        return;
    }
    platform::debugLog(QStringLiteral("%1 weather at: %2").arg(sender.title(), text));
    const LookUp lookUp = lookUpForModifiers(platform::currentEventModifierFlags());
    if (lookUp == LookUp::Encyclopedia) {
        text = text.section(QLatin1Char(','), 0, 0);
    }
    openLookUp(lookUp, text);
}

std::shared_ptr<platform::MenuItem> WorldClockItems::makeEditItem(const QString& title) {
    platform::MenuAction action;
    if (actions_.editLocations) {
        action = [this](platform::MenuItem&) { actions_.editLocations(); };
    }
    auto item = platform::MenuItem::create(title, std::move(action), QString());
    return item;
}

void WorldClockItems::SetLocMenuItemToolTip(platform::MenuItem& item, const QVariantList& record) {
    if (!settings_.showOnlineInfo) {
        return;
    }
    const QString city = LocationRecord::text(record, LocationRecord::kCity);
    const QString lookUp = lookUpText(record);
    auto submenu = platform::Menu::create();
    submenu->addItemWithTitle(QStringLiteral("Open Info In"));
    submenu->addItem(platform::MenuItem::separatorItem());

    platform::MenuAction sun;
    if (actions_.showSunInfo) {
        sun = [this](platform::MenuItem& sender) { actions_.showSunInfo(sender.identifier()); };
    }
    submenu->addItemWithTitle(QStringLiteral("Sunset/Sunrise..."), std::move(sun))
        ->setIdentifier(city);
    const struct {
        const char* title;
        LookUp lookUp;
        bool cityOnly;
    } lookUps[] = {
        {"Wikipedia", LookUp::Encyclopedia, true},
        {"Weather Underground", LookUp::Weather, false},
        {"Wolfram|Alpha", LookUp::AnswerEngine, true},
        {"Google", LookUp::WebSearch, false},
        {"Google Maps", LookUp::MapSearch, false},
    };
    for (const auto& entry : lookUps) {
        const LookUp kind = entry.lookUp;
        submenu
            ->addItemWithTitle(
                QString::fromLatin1(entry.title),
                [this, kind](platform::MenuItem& sender) { openLookUp(kind, sender.identifier()); })
            ->setIdentifier(entry.cityOnly ? city : lookUp);
    }
    submenu->addItem(platform::MenuItem::separatorItem());
    auto edit = makeEditItem(QStringLiteral("Edit Locations..."));
    edit->setIdentifier(lookUp);
    submenu->addItem(edit);
    item.setSubmenu(submenu);
}

std::shared_ptr<platform::MenuItem> WorldClockItems::makeLine(const QVariantList& record,
                                                              Date now) {
    auto item = platform::MenuItem::create(
        QString(), [this](platform::MenuItem& sender) { menuSelectedTimeZone(sender); }, QString());
    item->setAttributedTitle(styledTitle(titleFor(record, now)));
    item->setRepresentedObject(lookUpText(record));
    SetLocMenuItemToolTip(*item, record);
    item->setTag(kTag);
    return item;
}

void WorldClockItems::RemoveLocMenuItems() {
    for (int index = menu_.indexOfItemWithTag(kTag); index >= 0;
         index = menu_.indexOfItemWithTag(kTag)) {
        menu_.removeItemAtIndex(index);
    }
}

int WorldClockItems::updateLocationMenuItems(int start) {
    rebuildWhenClosed_ = false;
    RemoveLocMenuItems();
    if (!settings_.showLoctionNames) {
        return start;
    }
    start = std::clamp(start, 0, menu_.numberOfItems());
    const Date now = clock_.now();
    int lines = 0;
    const LocationTable& list = LocationList();
    for (qsizetype i = list.size() - 1; i >= 0; --i) {
        const QVariantList record = LocationRecord::fields(list.at(i));
        if (record.size() < 10) {
            platform::log(QStringLiteral("%1 - %2 items").arg(list.size() - i).arg(record.size()));
        }
        if (!isShown(list.at(i))) {
            continue;
        }
        menu_.insertItem(makeLine(record, now), start);
        ++lines;
    }
    auto add = makeEditItem(QStringLiteral("Add Location..."));
    add->setTag(kTag);
    menu_.insertItem(add, start + lines);
    return start + lines + 1;
}

void WorldClockItems::refreshForTick() {
    if (menu_.isOpen()) {
        refresh(false);
    }
}

void WorldClockItems::refresh(bool mayRebuild) {
    const int first = menu_.indexOfItemWithTag(kTag);
    if (!settings_.showLoctionNames || first < 0) {
        rebuildWhenClosed_ = false;
        return;
    }
    std::vector<QVariantList> shown;
    for (const QVariant& entry : LocationList()) {
        if (isShown(entry)) {
            shown.push_back(LocationRecord::fields(entry));
        }
    }
    int present = 0;
    while (first + present < menu_.numberOfItems() &&
           menu_.itemAtIndex(first + present)->tag() == kTag) {
        ++present;
    }
    bool same = present == static_cast<int>(shown.size()) + 1;
    for (size_t i = 0; same && i < shown.size(); ++i) {
        same = menu_.itemAtIndex(first + static_cast<int>(i))->representedObject().toString() ==
               lookUpText(shown[i]);
    }
    if (same) {
        const Date now = clock_.now();
        for (size_t i = 0; i < shown.size(); ++i) {
            platform::MenuItem* line = menu_.itemAtIndex(first + static_cast<int>(i));
            const platform::AttributedString title = styledTitle(titleFor(shown[i], now));
            if (line->attributedTitle() != title) {
                line->setAttributedTitle(title);
            }
        }
        return;
    }
    if (!mayRebuild) {
        rebuildWhenClosed_ = true;
        return;
    }
    updateLocationMenuItems(first);
}

}  // namespace talvor
