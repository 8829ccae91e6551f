#include "LocationPickerModel.h"

#include "WorldKeys.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include <QTimeZone>

namespace talvor {
namespace {

const QString kStatesSuffix = QStringLiteral("States");
const QString kCitiesSuffix = QStringLiteral("Cities");
const QString kDefaultCountries = QStringLiteral("DefaultCountries");
const QString kDefaultStates = QStringLiteral("DefaultStates");
const QString kDefaultCities = QStringLiteral("DefaultCities");

// Country titles that name a region of the zone database.
struct CountryRegion {
    const char* country;
    const char* region;
};
const CountryRegion kCountryRegions[] = {
    {"USA", "US"},
    {"United States of America", "US"},
};

QString regionForCountry(const QString& country) {
    for (const CountryRegion& alias : kCountryRegions) {
        if (country == QLatin1String(alias.country)) {
            return QString::fromLatin1(alias.region);
        }
    }
    return country;
}

// Zone file names write blanks as underscores ("New_York"); city names do not.
bool sameName(const QString& a, const QString& b) {
    return QString(a).replace(QLatin1Char('_'), QLatin1Char(' ')) ==
           QString(b).replace(QLatin1Char('_'), QLatin1Char(' '));
}

}  // namespace

LocationPickerModel::LocationPickerModel(ZoneInfoTree tree, LocationLists lists,
                                         platform::UserDefaults& defaults, Now now)
    : tree_(std::move(tree)),
      locations_(std::move(lists)),
      defaults_(defaults),
      now_(now ? std::move(now)
               : Now([] { return platform::Clock::shared().now().toQDateTime(); })) {
    mutableList(PopUpKind::Country).titles = {kCountryHeading};
    mutableList(PopUpKind::State).titles = {kStateHeading};
    mutableList(PopUpKind::City).titles = {kCityHeading};
    tTimeInfo_ = kNoLocation;
}

void LocationPickerModel::awakeFromNib() {
    PopUp& regions = mutableList(PopUpKind::Category);
    regions.titles = QStringList{kNoRegion} + tree_.regions();
    select(PopUpKind::Category, static_cast<int>(defaults_.integerForKey(keys::CategoryIndex)));
    ChangeCatagory();
    selectStoredZone();
    TimeZoneChange(Sender::Zone);
    loadPopUp(PopUpKind::City, kDefaultCities);
    loadPopUp(PopUpKind::State, kDefaultStates);
    loadPopUp(PopUpKind::Country, kDefaultCountries);
    // Nothing is chosen yet: the lists must not show the first country and city as if
    // they were.
    for (PopUpKind kind : {PopUpKind::City, PopUpKind::State, PopUpKind::Country}) {
        select(kind, 0);
    }
}

void LocationPickerModel::selectHome(const QString& zoneId) {
    if (const std::optional<LocationLists::Place> home = locations_.placeInZone(zoneId)) {
        const int country = list(PopUpKind::Country).indexOf(home->country);
        if (country > 0) {
            select(PopUpKind::Country, country);
            popUp(PopUpKind::Country);
        }
        const int city = list(PopUpKind::City).indexOf(home->city);
        if (city > 0) {
            select(PopUpKind::City, city);
            popUp(PopUpKind::City);
        }
        return;
    }
    const QString region = ZoneInfoTree::regionTitle(zoneId.section(QLatin1Char('/'), 0, 0));
    const int regionIndex = list(PopUpKind::Category).indexOf(region);
    if (regionIndex > 0) {
        select(PopUpKind::Category, regionIndex);
        ChangeCatagory();
        if (selectZoneId(zoneId)) {
            TimeZoneChange(Sender::Zone);
        }
    }
}

void LocationPickerModel::ChangeCatagory() {
    PopUp& zones = mutableList(PopUpKind::Zone);
    zones = PopUp{};
    const std::optional<QList<ZoneInfoTree::Zone>> listed =
        list(PopUpKind::Category).selected == 0
            ? std::nullopt
            : tree_.zones(list(PopUpKind::Category).selectedTitle());
    if (!listed) {
        zones.titles = {kNoZone};
        zones.ids = {QString()};
        zones.toolTips = {QString()};
        return;
    }
    for (const ZoneInfoTree::Zone& zone : *listed) {
        const std::optional<ZoneFacts> facts = zoneFacts(zone.id);
        zones.titles.append(zone.title);
        zones.ids.append(zone.id);
        zones.toolTips.append(facts ? facts->abbreviation : QString());
    }
}

QString LocationPickerModel::BuildZoneIndexKey() const {
    return keys::ZoneIndex + regionFolder();
}

bool LocationPickerModel::loadPopUp(PopUpKind kind, const QString& name) {
    std::optional<QStringList> items;
    if (name == kDefaultCountries) {
        items = locations_.DefaultCountries();
    } else if (name == kDefaultCities) {
        items = locations_.DefaultCities();
    } else if (name.endsWith(kStatesSuffix)) {
        items = locations_.states(name.chopped(kStatesSuffix.size()));
    } else if (name.endsWith(kCitiesSuffix)) {
        items = locations_.cities(name.chopped(kCitiesSuffix.size()));
    }
    // The table names no states of its own beyond those of each country.
    PopUp& popUp = mutableList(kind);
    popUp.titles = popUp.titles.mid(0, 1);
    if (!items) {
        popUp.selected = 0;
        return false;
    }
    popUp.titles += *items;
    popUp.selected = popUp.titles.size() > 1 ? 1 : 0;
    return true;
}

void LocationPickerModel::select(PopUpKind kind, int index) {
    PopUp& popUp = mutableList(kind);
    popUp.selected = index >= 0 && index < popUp.titles.size() ? index : 0;
}

void LocationPickerModel::popUp(PopUpKind sender) {
    switch (sender) {
        case PopUpKind::Country:
            countryChosen();
            break;
        case PopUpKind::State:
            cells_[kStateCell] = list(PopUpKind::State).selectedTitle();
            if (!zoneChange_) {
                selectTitledLike(PopUpKind::Zone, cells_[kStateCell]);
            }
            break;
        case PopUpKind::City:
            cityChosen();
            break;
        case PopUpKind::Category:
        case PopUpKind::Zone:
            TimeZoneChange(sender == PopUpKind::Zone ? Sender::Zone : Sender::Category);
            return;
    }
    TimeZoneChange(Sender::Panel);
}

void LocationPickerModel::countryChosen() {
    const QString country = list(PopUpKind::Country).selectedTitle();
    cells_[kCountryCell] = country;

    const bool hasCities = loadPopUp(PopUpKind::City, country + kCitiesSuffix);
    if (hasCities) {
        cells_[kCityCell] = list(PopUpKind::City).selectedTitle();
    } else {
        loadPopUp(PopUpKind::City, kDefaultCities);
        cells_[kCityCell] = kNoCityList;
    }
    mutableList(PopUpKind::City).enabled = list(PopUpKind::City).titles.size() > 1;

    if (loadPopUp(PopUpKind::State, country + kStatesSuffix)) {
        cells_[kStateCell] = list(PopUpKind::State).selectedTitle();
    } else {
        loadPopUp(PopUpKind::State, kDefaultStates);
        cells_[kStateCell] = kNoStateList;
    }
    // The first city and the first state seldom belong together: take the city's own.
    if (hasCities) {
        if (const auto place = locations_.place(country, cells_[kCityCell])) {
            cells_[kStateCell] = place->state;
        }
    }
    select(PopUpKind::State, 0);
    mutableList(PopUpKind::State).enabled = list(PopUpKind::State).titles.size() > 1;

    if (const std::optional<QString> zone = locations_.countryZone(country)) {
        const QString region = ZoneInfoTree::regionTitle(zone->section(QLatin1Char('/'), 0, 0));
        const int regionIndex = list(PopUpKind::Category).indexOf(region);
        if (regionIndex > 0) {
            select(PopUpKind::Category, regionIndex);
        }
        ChangeCatagory();
        if (!selectZoneId(*zone)) {
            selectStoredZone();
        }
    }
    const int ownRegion = list(PopUpKind::Category).indexOf(regionForCountry(country));
    if (ownRegion > 0) {
        select(PopUpKind::Category, ownRegion);
        ChangeCatagory();
        selectStoredZone();
    }
    TimeZoneChange(Sender::Zone);
}

void LocationPickerModel::cityChosen() {
    cells_[kCityCell] = list(PopUpKind::City).selectedTitle();
    // A city of the list of all cities names its own country.
    std::optional<LocationLists::Place> place =
        locations_.place(cellValue(kCountryCell), cells_[kCityCell], cellValue(kStateCell));
    if (!place) {
        place = locations_.place(QString(), cells_[kCityCell], cellValue(kStateCell));
    }
    if (place) {
        cells_[kStateCell] = place->state;
        cells_[kCountryCell] = place->country;
        select(PopUpKind::Country, list(PopUpKind::Country).indexOf(place->country));
    }
    if (zoneChange_) {
        return;
    }
    if (place && !place->zone.isEmpty()) {
        const QString region =
            ZoneInfoTree::regionTitle(place->zone.section(QLatin1Char('/'), 0, 0));
        select(PopUpKind::Category, list(PopUpKind::Category).indexOf(region));
        ChangeCatagory();
        selectZoneId(place->zone);
        return;
    }
    selectTitledLike(PopUpKind::Zone, cells_[kCityCell]);
}

void LocationPickerModel::TimeZoneChange(Sender sender) {
    if (sender == Sender::Category) {
        ChangeCatagory();
        selectStoredZone();
        const QString region = list(PopUpKind::Category).selectedTitle();
        int country = -1;
        for (const CountryRegion& alias : kCountryRegions) {
            if (country <= 0 && region == QLatin1String(alias.region)) {
                country = list(PopUpKind::Country).indexOf(QString::fromLatin1(alias.country));
            }
        }
        if (country <= 0) {
            country = list(PopUpKind::Country).indexOf(region);
        }
        select(PopUpKind::Country, country > 0 ? country : 0);
        popUp(PopUpKind::Country);
        // A city matched by the zone may have named its country meanwhile.
        if (country <= 0 && cellValue(kCountryCell).isEmpty()) {
            cells_[kCountryCell] = kNoCountry;
        }
    } else if (sender == Sender::Zone) {
        zoneChange_ = true;
        defaults_.setInteger(list(PopUpKind::Zone).selected, BuildZoneIndexKey());
        const QString zone = list(PopUpKind::Zone).selectedTitle();
        for (PopUpKind kind : {PopUpKind::City, PopUpKind::State}) {
            const PopUp& items = list(kind);
            for (int i = 1; i < items.titles.size(); ++i) {
                if (sameName(items.titles.at(i), zone)) {
                    select(kind, i);
                    popUp(kind);
                    break;
                }
            }
        }
        zoneChange_ = false;
    }
    composeTimeInfo();
}

void LocationPickerModel::AddressRecChange(int cell, const QString& text) {
    if (cell < 0 || cell >= kCellCount) {
        return;
    }
    cells_[cell] = text;
    if (cell == kCountryCell) {
        const QStringList& countries = list(PopUpKind::Country).titles;
        for (int i = 1; i < countries.size(); ++i) {
            if (countries.at(i).compare(text.trimmed(), Qt::CaseInsensitive) == 0) {
                select(PopUpKind::Country, i);
                popUp(PopUpKind::Country);
                break;
            }
        }
    }
    TimeZoneChange(Sender::Panel);
}

void LocationPickerModel::ClearAddressRecFields() {
    for (QString& text : cells_) {
        text.clear();
    }
    abUID_.clear();
}

void LocationPickerModel::takePerson(const AddressBook::Person& person) {
    ClearAddressRecFields();
    abUID_ = person.uid;
    cells_[kFirstNameCell] = person.firstName;
    cells_[kLastNameCell] = person.lastName;
    std::optional<AddressBook::Address> address = person.address(QStringLiteral("work"));
    if (!address) {
        address = person.address(QStringLiteral("home"));
    }
    if (address) {
        cells_[kCityCell] = address->city;
        cells_[kStateCell] = address->state;
        cells_[kCountryCell] = address->country;
    }
    for (const char* label : {"work", "home", "cell"}) {
        if (const std::optional<QString> phone = person.phone(QLatin1String(label))) {
            cells_[kPhoneCell] = *phone;
            break;
        }
    }
    const int country = list(PopUpKind::Country).indexOf(cells_[kCountryCell]);
    if (!cells_[kCountryCell].isEmpty() && country > 0) {
        // The country's own lists, keeping the person's city and state in the form.
        const QString city = cells_[kCityCell];
        const QString state = cells_[kStateCell];
        select(PopUpKind::Country, country);
        popUp(PopUpKind::Country);
        if (!city.isEmpty()) {
            cells_[kCityCell] = city;
        }
        if (!state.isEmpty()) {
            cells_[kStateCell] = state;
        }
    }
    composeTimeInfo();
}

QStringList LocationPickerModel::peopleRow(const AddressBook::Person& person,
                                           const QStringList& knownCities) {
    const std::optional<QString> city = person.city();
    QString name = person.firstName;
    if (!person.lastName.isEmpty()) {
        name = name.isEmpty() ? person.lastName : name + QLatin1Char(' ') + person.lastName;
    }
    QString phone;
    for (const auto& [label, mark] :
         {std::pair{"work", " W:"}, std::pair{"home", " H:"}, std::pair{"cell", " M:"}}) {
        if (const std::optional<QString> number = person.phone(QLatin1String(label))) {
            phone = QLatin1String(mark) + *number;
            break;
        }
    }
    return {city && !city->isEmpty() && knownCities.contains(*city) ? QStringLiteral("\u2022")
                                                                    : QString(),
            name.isEmpty() ? QStringLiteral("NA") : name,
            city.value_or(QStringLiteral("No Address defined.")), phone};
}

QString LocationPickerModel::makeNotesString() const {
    const QString first = cellValue(kFirstNameCell);
    const QString last = cellValue(kLastNameCell);
    const QString phone = cellValue(kPhoneCell);
    if (!phone.isEmpty()) {
        return QStringLiteral("%1, %2 %3").arg(phone, first, last);
    }
    return QStringLiteral("%1 %2").arg(first, last);
}

std::optional<QVariantList> LocationPickerModel::addLocation() {
    composeTimeInfo();
    if ((list(PopUpKind::Category).selected == 0 && cells_[kCountryCell] == kNoCountry) ||
        tTimeInfo_ == kNoLocation) {
        return std::nullopt;
    }
    FinishedLookup();

    const QString id = zoneId();
    const std::optional<ZoneFacts> facts = zoneFacts(id);
    const QString city = cellValue(kCityCell);
    const QString state = cellValue(kStateCell);
    const QString country = cellValue(kCountryCell);
    const std::optional<LocationLists::Place> place = locations_.place(country, city, state);
    QVariantList record{
        makeNotesString(),
        city,
        state,
        country,
        facts ? QVariant(id) : QVariant(QString()),
        facts ? QVariant(facts->hours) : QVariant(QString()),
        facts ? QVariant(facts->abbreviation) : QVariant(QString()),
        place ? place->latitude : QString(),
        place ? place->longitude : QString(),
        QString(),
        // Listed in the time menu, where "Add Location..." is: a place added there shows
        // there. A floating clock waits until the user asks for one.
        true,
        false,
    };
    tTimeInfo_ = kLocationAdded;
    return record;
}

void LocationPickerModel::FinishedLookup() {
    defaults_.setInteger(list(PopUpKind::Category).selected, keys::CategoryIndex);
    defaults_.setInteger(list(PopUpKind::Zone).selected, BuildZoneIndexKey());
}

QString LocationPickerModel::cellValue(int cell) const {
    const QString text = cells_.at(cell).trimmed();
    static const QStringList kPlaceholders{kNoCountry,      kNoStateList,  kNoCityList,
                                           kCountryHeading, kStateHeading, kCityHeading};
    return kPlaceholders.contains(text) ? QString() : text;
}

QString LocationPickerModel::regionFolder() const {
    return ZoneInfoTree::regionFolder(list(PopUpKind::Category).selectedTitle());
}

QString LocationPickerModel::zoneId() const {
    const PopUp& zones = list(PopUpKind::Zone);
    return zones.ids.value(zones.selected);
}

std::optional<LocationPickerModel::ZoneFacts> LocationPickerModel::zoneFacts(
    const QString& id) const {
    const QTimeZone zone(id.toUtf8());
    if (id.isEmpty() || !zone.isValid()) {
        return std::nullopt;
    }
    const QDateTime at = now_();
    return ZoneFacts{zone.offsetFromUtc(at) / 3600.0, zone.abbreviation(at)};
}

void LocationPickerModel::selectStoredZone() {
    select(PopUpKind::Zone, static_cast<int>(defaults_.integerForKey(BuildZoneIndexKey())));
}

bool LocationPickerModel::selectZoneId(const QString& id) {
    const int at = list(PopUpKind::Zone).ids.indexOf(id);
    if (at < 0) {
        return false;
    }
    select(PopUpKind::Zone, at);
    return true;
}

void LocationPickerModel::selectTitledLike(PopUpKind kind, const QString& title) {
    const QStringList& titles = list(kind).titles;
    for (int i = 0; i < titles.size(); ++i) {
        if (sameName(titles.at(i), title)) {
            select(kind, i);
            return;
        }
    }
}

void LocationPickerModel::composeTimeInfo() {
    const QString city = cellValue(kCityCell);
    const QString state = cellValue(kStateCell);
    const QString country = cellValue(kCountryCell);
    if (city.isEmpty() && state.isEmpty() && country.isEmpty()) {
        tTimeInfo_ = kNoLocation;
        return;
    }
    const std::optional<ZoneFacts> facts = zoneFacts(zoneId());
    const ZoneFacts shown = facts.value_or(ZoneFacts{});
    tTimeInfo_ = QStringLiteral("%1, %2, %3 - %4 [%5 GMT]\n%6")
                     .arg(city, state, country, shown.abbreviation,
                          QString::asprintf("%2.1f", shown.hours), makeNotesString());
}

}  // namespace talvor
