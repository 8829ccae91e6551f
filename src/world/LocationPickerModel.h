#pragma once

#include "LocationLists.h"
#include "ZoneInfoTree.h"
#include "foundation/AddressBook.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <array>
#include <functional>
#include <optional>

namespace talvor {

namespace platform {
class UserDefaults;
}

// The state behind the location picker: the region, zone, country, state and city lists
// and the six-cell form, kept in step with each other, and the record they make.
class LocationPickerModel {
  public:
    enum class PopUpKind { Category, Zone, Country, State, City };
    // Who asked for TimeZoneChange: the region list, the zone list or the panel itself.
    enum class Sender { Category, Zone, Panel };
    enum Cell {
        kCountryCell = 0,
        kStateCell,
        kCityCell,
        kFirstNameCell,
        kLastNameCell,
        kPhoneCell
    };
    static constexpr int kCellCount = 6;

    struct PopUp {
        QStringList titles;
        QStringList ids;       // zone list: the zone identifiers ("" for none)
        QStringList toolTips;  // zone list: the zones' abbreviations
        int selected = 0;
        bool enabled = true;

        QString selectedTitle() const { return titles.value(selected); }
        int indexOf(const QString& title) const { return titles.indexOf(title); }
    };

    static inline const QString kNoRegion = QStringLiteral("No Region");
    static inline const QString kNoZone = QStringLiteral("No Zone");
    static inline const QString kNoCountry = QStringLiteral("- No Country -");
    static inline const QString kNoStateList =
        QStringLiteral("-No Country State/Province List Defined.");
    static inline const QString kNoCityList = QStringLiteral("- No City List Defined -");
    static inline const QString kNoLocation = QStringLiteral("No Location is selected");
    static inline const QString kPleaseSelect = QStringLiteral("Please first select location.");
    static inline const QString kLocationAdded = QStringLiteral("Location added.");
    static inline const QString kCountryHeading = QStringLiteral("Country:");
    static inline const QString kStateHeading = QStringLiteral("State/Province:");
    static inline const QString kCityHeading = QStringLiteral("City:");

    using Now = std::function<QDateTime()>;
    // `now` is the instant offsets and abbreviations are taken at (the shared clock's when
    // empty).
    LocationPickerModel(ZoneInfoTree tree, LocationLists lists, platform::UserDefaults& defaults,
                        Now now = {});

    // Lists the regions, restores the remembered region and zone, loads the default lists.
    void awakeFromNib();
    // Opens on the user's own place: the country, city and zone of `zoneId` (the system's
    // zone), when the table knows a place in it; otherwise its region and zone alone.
    void selectHome(const QString& zoneId);
    // Lists the selected region's zones into the zone list.
    void ChangeCatagory();
    QString BuildZoneIndexKey() const;
    // Replaces the list's items after its heading with the named list ("DefaultCountries",
    // "DefaultStates", "DefaultCities", "<country>States", "<country>Cities"); selects item 1
    // when there is one. False when no list of that name exists.
    bool loadPopUp(PopUpKind kind, const QString& name);

    // Selects an item (an index that is not an item selects the first), without effects.
    void select(PopUpKind kind, int index);
    // The effects of choosing the selected item of a country, state or city list.
    void popUp(PopUpKind sender);
    // A region or zone choice, then the summary line; Sender::Panel only recomputes the line.
    void TimeZoneChange(Sender sender);

    // A form edit: the cell's new text, then its effects.
    void AddressRecChange(int cell, const QString& text);
    void ClearAddressRecFields();
    QString makeNotesString() const;

    // A person taken from the address book: the form empties, then takes their names, the
    // city, state and country of their first work address (else home address) and their
    // first work, home or mobile phone; a country the country list knows is chosen there.
    void takePerson(const AddressBook::Person& person);
    // The unique id of the person taken last; empty after the form was cleared.
    const QString& ABUID() const { return abUID_; }
    // A person's row in the people table: a bullet when their city is among `knownCities`,
    // the name ("NA" without one), the city ("No Address defined." without one) and the
    // phone (" W:", " H:" or " M:" and the number).
    static QStringList peopleRow(const AddressBook::Person& person, const QStringList& knownCities);

    // The record the form makes, or nullopt (and nothing stored) when nothing is chosen.
    std::optional<QVariantList> addLocation();
    // Remembers the region and zone for the next time the picker opens.
    void FinishedLookup();

    const PopUp& list(PopUpKind kind) const { return lists_[index(kind)]; }
    // Where the picker's choices are remembered.
    platform::UserDefaults& defaults() const { return defaults_; }
    QString cell(int cell) const { return cells_.at(cell); }
    // The text under the form: the location as it would be added.
    QString timeInfo() const { return tTimeInfo_; }

  private:
    struct ZoneFacts {
        double hours = 0;
        QString abbreviation;
    };

    static int index(PopUpKind kind) { return static_cast<int>(kind); }
    PopUp& mutableList(PopUpKind kind) { return lists_[index(kind)]; }
    // The cell's text, "" when it is a placeholder or blank.
    QString cellValue(int cell) const;
    QString regionFolder() const;
    QString zoneId() const;
    std::optional<ZoneFacts> zoneFacts(const QString& id) const;
    void selectStoredZone();
    bool selectZoneId(const QString& id);
    void selectTitledLike(PopUpKind kind, const QString& title);
    void countryChosen();
    void cityChosen();
    void composeTimeInfo();

    ZoneInfoTree tree_;
    LocationLists locations_;
    platform::UserDefaults& defaults_;
    Now now_;
    std::array<PopUp, 5> lists_;
    std::array<QString, kCellCount> cells_;
    QString tTimeInfo_;
    // Set while a zone choice picks the matching city and state, so that they do not pick
    // a zone in turn.
    bool zoneChange_ = false;
    QString abUID_;
};

}  // namespace talvor
