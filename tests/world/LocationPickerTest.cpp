#include "foundation/LocationRecord.h"
#include "platform/UserDefaults.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "world/LocationPickerModel.h"
#include "world/LocationRowOrder.h"
#include "world/TalvorMyAddressPanel.h"
#include "world/ZoneInfoTree.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimeZone>

#include <QTableWidget>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using Kind = LocationPickerModel::PopUpKind;
using Sender = LocationPickerModel::Sender;

// A zone database laid out like the system's, with the folders the picker must not list.
class ZoneTreeFixture {
  public:
    ZoneTreeFixture() {
        for (const char* path :
             {"Europe/Paris", "Europe/Berlin", "America/New_York", "America/Argentina/Buenos_Aires",
              "US/Eastern", "US/Pacific", "Etc/UTC", "Atlantis/Nowhere", "posix/Europe/Paris",
              "right/Europe/Paris", "zone.tab"}) {
            const QString file = dir_.filePath(QString::fromLatin1(path));
            QDir().mkpath(QFileInfo(file).path());
            QFile(file).open(QIODevice::WriteOnly);
        }
    }
    QString root() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
};

QVariantList place(const char* city, const char* state, const char* country, const char* zone,
                   const char* latitude, const char* longitude) {
    return {QString(),
            QString::fromUtf8(city),
            QString::fromUtf8(state),
            QString::fromUtf8(country),
            QString::fromLatin1(zone),
            0.0,
            QString(),
            QString::fromLatin1(latitude),
            QString::fromLatin1(longitude),
            QString(),
            false,
            false};
}

LocationTable fixtureTable() {
    return {
        place("Paris", "Île-de-France", "France", "Europe/Paris", "48.8566", "2.3522"),
        place("Lyon", "Auvergne-Rhône-Alpes", "France", "Europe/Paris", "45.7640", "4.8357"),
        place("Berlin", "Berlin", "Germany", "Europe/Berlin", "52.5200", "13.4050"),
        place("New York", "New York", "United States of America", "America/New_York", "40.7128",
              "-74.0060"),
        place("Buenos Aires", "Buenos Aires", "Argentina", "America/Argentina/Buenos_Aires",
              "-34.6037", "-58.3816"),
    };
}

// Winter: Paris on CET, New York on EST.
QDateTime winter() {
    return QDateTime(QDate(2025, 1, 15), QTime(12, 0), Qt::UTC);
}

class PickerTest : public ::testing::Test {
  protected:
    std::unique_ptr<LocationPickerModel> makeModel() {
        return std::make_unique<LocationPickerModel>(ZoneInfoTree(tree_.root()),
                                                     LocationLists(fixtureTable()), defaults_,
                                                     [] { return winter(); });
    }
    void SetUp() override {
        model_ = makeModel();
        model_->awakeFromNib();
    }
    void chooseRegion(const QString& title) {
        model_->select(Kind::Category, model_->list(Kind::Category).indexOf(title));
        model_->TimeZoneChange(Sender::Category);
    }
    void chooseZone(const QString& title) {
        model_->select(Kind::Zone, model_->list(Kind::Zone).indexOf(title));
        model_->TimeZoneChange(Sender::Zone);
    }
    void choose(Kind kind, const QString& title) {
        const int index = model_->list(kind).indexOf(title);
        ASSERT_GT(index, 0) << title.toStdString();
        model_->select(kind, index);
        model_->popUp(kind);
    }
    QString selectedZoneId() const {
        const auto& zones = model_->list(Kind::Zone);
        return zones.ids.value(zones.selected);
    }

    ZoneTreeFixture tree_;
    test::ScopedMemoryDomain domain_{QStringLiteral("picker-test")};
    platform::UserDefaults defaults_{domain_.store()};
    std::unique_ptr<LocationPickerModel> model_;
};

TEST(worldZoneInfoTree, ListsRegionsAndZonesAsTheFoldersHoldThem) {
    ZoneTreeFixture fixture;
    const ZoneInfoTree tree(fixture.root());
    // posix/ and right/ repeat the tree; zone.tab is a plain file. "GMT" keeps Etc's place.
    EXPECT_EQ(tree.regions(), (QStringList{"America", "Atlantis", "GMT", "Europe", "US"}));
    EXPECT_EQ(ZoneInfoTree::regionFolder(QStringLiteral("GMT")), QStringLiteral("Etc"));

    const auto gmt = tree.zones(QStringLiteral("GMT"));
    ASSERT_TRUE(gmt);
    ASSERT_EQ(gmt->size(), 1);
    EXPECT_EQ(gmt->at(0).id, QStringLiteral("Etc/UTC"));

    // A sub-folder is listed by its zones, never as a zone itself.
    const auto america = tree.zones(QStringLiteral("America"));
    ASSERT_TRUE(america);
    ASSERT_EQ(america->size(), 2);
    EXPECT_EQ(america->at(0).title, QStringLiteral("Buenos_Aires (Argentina)"));
    EXPECT_EQ(america->at(0).id, QStringLiteral("America/Argentina/Buenos_Aires"));
    EXPECT_EQ(america->at(1).id, QStringLiteral("America/New_York"));

    EXPECT_FALSE(tree.zones(QStringLiteral("Mars")));
}

TEST(worldZoneInfoTree, TheSystemTreeListsZonesTheZoneServiceKnows) {
    const ZoneInfoTree tree;
    const QStringList regions = tree.regions();
    if (!regions.contains(QStringLiteral("Europe"))) {
        GTEST_SKIP() << "no zone database in /usr/share/zoneinfo";
    }
    EXPECT_TRUE(regions.contains(QStringLiteral("GMT")));
    EXPECT_FALSE(regions.contains(QStringLiteral("right")));
    for (const QString& region : {QStringLiteral("Europe"), QStringLiteral("America")}) {
        const auto zones = tree.zones(region);
        ASSERT_TRUE(zones);
        for (const ZoneInfoTree::Zone& zone : *zones) {
            EXPECT_TRUE(QTimeZone(zone.id.toUtf8()).isValid()) << zone.id.toStdString();
        }
    }
}

using worldPicker = PickerTest;

TEST_F(worldPicker, StartsWithNothingSelectedAndAStoredIndexOutOfRangeSelectsTheFirst) {
    defaults_.setInteger(99, QStringLiteral("CategoryIndex"));
    model_ = makeModel();
    model_->awakeFromNib();
    EXPECT_EQ(model_->list(Kind::Category).selectedTitle(), QStringLiteral("No Region"));
    EXPECT_EQ(model_->list(Kind::Zone).titles, QStringList{QStringLiteral("No Zone")});
    EXPECT_EQ(model_->timeInfo(), QStringLiteral("No Location is selected"));
    EXPECT_EQ(model_->list(Kind::Country).titles.mid(1),
              (QStringList{"Argentina", "France", "Germany", "United States of America"}));
}

TEST_F(worldPicker, ChoosingAZoneFillsZoneOffsetAndTheCityOfThatName) {
    chooseRegion(QStringLiteral("Europe"));
    EXPECT_EQ(selectedZoneId(), QStringLiteral("Europe/Berlin"));
    chooseZone(QStringLiteral("Paris"));

    EXPECT_EQ(selectedZoneId(), QStringLiteral("Europe/Paris"));
    EXPECT_EQ(model_->cell(LocationPickerModel::kCityCell), QStringLiteral("Paris"));
    EXPECT_EQ(model_->cell(LocationPickerModel::kStateCell), QStringLiteral("Île-de-France"));
    EXPECT_EQ(model_->cell(LocationPickerModel::kCountryCell), QStringLiteral("France"));
    EXPECT_EQ(model_->timeInfo(),
              QStringLiteral("Paris, Île-de-France, France - CET [1.0 GMT]\n "));
    EXPECT_EQ(defaults_.integerForKey(QStringLiteral("ZoneIndexEurope")),
              model_->list(Kind::Zone).indexOf(QStringLiteral("Paris")));
}

TEST_F(worldPicker, ChoosingACountryThenACityFillsStateZoneAndPosition) {
    choose(Kind::Country, QStringLiteral("France"));
    // The country's usual zone is chosen, and with it the city named like the zone.
    EXPECT_EQ(selectedZoneId(), QStringLiteral("Europe/Paris"));
    EXPECT_EQ(model_->cell(LocationPickerModel::kCityCell), QStringLiteral("Paris"));
    EXPECT_EQ(model_->list(Kind::City).titles.mid(1), (QStringList{"Lyon", "Paris"}));

    choose(Kind::City, QStringLiteral("Lyon"));
    EXPECT_EQ(model_->cell(LocationPickerModel::kStateCell),
              QStringLiteral("Auvergne-Rhône-Alpes"));
    const std::optional<QVariantList> record = model_->addLocation();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->at(1), QVariant(QStringLiteral("Lyon")));
    EXPECT_EQ(record->at(7), QVariant(QStringLiteral("45.7640")));
    EXPECT_EQ(record->at(8), QVariant(QStringLiteral("4.8357")));

    // A city in a sub-folder zone picks that zone, not the region's remembered one.
    choose(Kind::Country, QStringLiteral("Argentina"));
    EXPECT_EQ(selectedZoneId(), QStringLiteral("America/Argentina/Buenos_Aires"));
}

TEST_F(worldPicker, TheUnitedStatesSelectRegionUsAndItsRememberedZone) {
    defaults_.setInteger(1, QStringLiteral("ZoneIndexUS"));
    choose(Kind::Country, QStringLiteral("United States of America"));
    EXPECT_EQ(model_->list(Kind::Category).selectedTitle(), QStringLiteral("US"));
    EXPECT_EQ(selectedZoneId(), QStringLiteral("US/Pacific"));

    // And the other way: choosing region US names the country.
    chooseRegion(QStringLiteral("Europe"));
    chooseRegion(QStringLiteral("US"));
    EXPECT_EQ(model_->cell(LocationPickerModel::kCountryCell),
              QStringLiteral("United States of America"));
}

TEST_F(worldPicker, RegionGmtIsStoredAsEtc) {
    chooseRegion(QStringLiteral("GMT"));
    chooseZone(QStringLiteral("UTC"));
    model_->AddressRecChange(LocationPickerModel::kCityCell, QStringLiteral("Ship"));
    const std::optional<QVariantList> record = model_->addLocation();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->at(4), QVariant(QStringLiteral("Etc/UTC")));
    EXPECT_TRUE(defaults_.objectForKey(QStringLiteral("ZoneIndexEtc")).isValid());
    EXPECT_FALSE(defaults_.objectForKey(QStringLiteral("ZoneIndexGMT")).isValid());
    EXPECT_EQ(defaults_.integerForKey(QStringLiteral("CategoryIndex")),
              model_->list(Kind::Category).indexOf(QStringLiteral("GMT")));
}

TEST_F(worldPicker, FreeEditsMakeTheSummaryAndARecordOfTheStoredTypes) {
    model_->AddressRecChange(LocationPickerModel::kCountryCell, QStringLiteral("germany"));
    EXPECT_EQ(model_->list(Kind::Country).selectedTitle(), QStringLiteral("Germany"));
    EXPECT_EQ(selectedZoneId(), QStringLiteral("Europe/Berlin"));
    model_->AddressRecChange(LocationPickerModel::kCityCell, QStringLiteral("Potsdam"));
    model_->AddressRecChange(LocationPickerModel::kStateCell, QStringLiteral("Brandenburg"));
    model_->AddressRecChange(LocationPickerModel::kFirstNameCell, QStringLiteral("Ann"));
    model_->AddressRecChange(LocationPickerModel::kLastNameCell, QStringLiteral("Lee"));
    model_->AddressRecChange(LocationPickerModel::kPhoneCell, QStringLiteral("555 0100"));
    EXPECT_EQ(model_->timeInfo(),
              QStringLiteral("Potsdam, Brandenburg, Germany - CET [1.0 GMT]\n555 0100, Ann Lee"));

    const std::optional<QVariantList> record = model_->addLocation();
    ASSERT_TRUE(record);
    const QVariantList expected{
        QStringLiteral("555 0100, Ann Lee"),
        QStringLiteral("Potsdam"),
        QStringLiteral("Brandenburg"),
        QStringLiteral("Germany"),
        QStringLiteral("Europe/Berlin"),
        1.0,
        QStringLiteral("CET"),
        QString(),  // no position known for a typed city
        QString(),
        QString(),
        true,  // listed in the time menu
        false,
    };
    ASSERT_EQ(record->size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(record->at(i).typeId(), expected.at(i).typeId()) << "field " << i;
        EXPECT_EQ(record->at(i), expected.at(i)) << "field " << i;
    }
    EXPECT_EQ(model_->timeInfo(), QStringLiteral("Location added."));
}

TEST_F(worldPicker, EmptyPlaceholderOrBlankInputIsRefused) {
    struct Case {
        const char* name;
        std::function<void(LocationPickerModel&)> input;
    };
    const Case cases[] = {
        {"nothing chosen", [](LocationPickerModel&) {}},
        {"blank cells",
         [](LocationPickerModel& m) {
             m.AddressRecChange(LocationPickerModel::kCityCell, QStringLiteral("   "));
             m.AddressRecChange(LocationPickerModel::kCountryCell, QStringLiteral(" "));
         }},
        {"placeholders typed",
         [](LocationPickerModel& m) {
             m.AddressRecChange(LocationPickerModel::kCountryCell,
                                QStringLiteral("- No Country -"));
             m.AddressRecChange(LocationPickerModel::kCityCell,
                                QStringLiteral("- No City List Defined -"));
         }},
        {"a region without a place",
         [](LocationPickerModel& m) {
             m.select(Kind::Category, m.list(Kind::Category).indexOf(QStringLiteral("Atlantis")));
             m.TimeZoneChange(Sender::Category);
         }},
        {"a zone alone, no place",
         [](LocationPickerModel& m) {
             m.select(Kind::Category, m.list(Kind::Category).indexOf(QStringLiteral("GMT")));
             m.TimeZoneChange(Sender::Category);
             m.TimeZoneChange(Sender::Zone);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults_.removeObjectForKey(QStringLiteral("CategoryIndex"));
        model_ = makeModel();
        model_->awakeFromNib();
        c.input(*model_);
        EXPECT_FALSE(model_->addLocation());
        EXPECT_EQ(model_->timeInfo(), QStringLiteral("No Location is selected"));
        EXPECT_FALSE(defaults_.objectForKey(QStringLiteral("CategoryIndex")).isValid());
    }
}

TEST_F(worldPicker, AZoneTheSystemDoesNotKnowGivesARecordWithoutZone) {
    chooseRegion(QStringLiteral("Atlantis"));
    chooseZone(QStringLiteral("Nowhere"));
    model_->AddressRecChange(LocationPickerModel::kCityCell, QStringLiteral("Poseidonis"));
    EXPECT_EQ(model_->timeInfo(), QStringLiteral("Poseidonis, ,  -  [0.0 GMT]\n "));
    const std::optional<QVariantList> record = model_->addLocation();
    ASSERT_TRUE(record);
    for (int field : {4, 5, 6}) {
        EXPECT_EQ(record->at(field), QVariant(QString())) << "field " << field;
    }
}

TEST(worldLocationRowOrder, OrdersByColumnKindAndDirection) {
    const QVariantList paris{"", "paris", "", "France", "Europe/Paris", 1.0};
    const QVariantList berlin{"", "Berlin", "", "Germany", "Europe/Berlin", 1.0};
    const QVariantList kabul{"", "Kabul", "", "Afghanistan", "Asia/Kabul", 4.5};
    const QVariantList lima{"", "Lima", "", "Peru", "America/Lima", QStringLiteral("-5")};
    const QVariantList short1{"", "Nowhere"};
    struct Case {
        const char* name;
        QVariantList first;
        QVariantList second;
        struct {
            std::optional<int> column;
            bool descending;
        } context;
        int expected;
    };
    const Case cases[] = {
        {"no column", paris, berlin, {std::nullopt, false}, 0},
        {"text ignores case", berlin, paris, {1, false}, -1},
        {"descending", berlin, paris, {1, true}, 1},
        {"column 14 sorts the offset", paris, kabul, {14, false}, -1},
        {"equal offsets", paris, berlin, {14, false}, 0},
        {"mixed kinds compare as text", kabul, lima, {14, false}, 1},
        {"a missing field first", short1, paris, {4, false}, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ORDER_BY_CONTEXT2(c.first, c.second, c.context.column, c.context.descending),
                  c.expected)
            << c.name;
    }
}

// The window over the model, as the locations window drives it.
class PanelTest : public PickerTest {
  protected:
    template <typename T>
    T* child(const char* name) {
        T* widget = panel_->window()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void SetUp() override {
        panel_ = std::make_unique<TalvorMyAddressPanel>(makeModel(), homeZone_);
        panel_->beginSheet(
            nullptr, [this](const QVariantList& record) { added_.append(QVariant(record)); },
            [this] { ++finished_; });
    }
    void activate(QComboBox* combo, const QString& title) {
        const int index = combo->findText(title);
        ASSERT_GE(index, 0) << title.toStdString();
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    QString homeZone_;  // none: the picker opens on nothing
    std::unique_ptr<TalvorMyAddressPanel> panel_;
    QVariantList added_;
    int finished_ = 0;
};

using worldPanel = PanelTest;

TEST_F(worldPanel, AddHandsOneRecordPerClickAndDoneFinishesOnce) {
    activate(child<QComboBox>("country"), QStringLiteral("Germany"));
    EXPECT_EQ(child<QComboBox>("city")->currentText(), QStringLiteral("Berlin"));
    EXPECT_TRUE(child<QLabel>("summary")->text().startsWith(QStringLiteral("Berlin, Berlin")));

    child<QPushButton>("add")->click();
    ASSERT_EQ(added_.size(), 1);
    EXPECT_EQ(added_.at(0).toList().at(4), QVariant(QStringLiteral("Europe/Berlin")));
    // It shows in the time menu the user came from ("Add Location..."), not as a floating
    // clock.
    EXPECT_EQ(added_.at(0).toList().at(LocationRecord::kInTimeMenu), QVariant(true));
    EXPECT_EQ(added_.at(0).toList().at(LocationRecord::kFloating), QVariant(false));
    EXPECT_EQ(child<QLabel>("summary")->text(), QStringLiteral("Location added."));

    child<QPushButton>("done")->click();
    EXPECT_EQ(finished_, 1);
    EXPECT_FALSE(panel_->window()->isVisible());
    EXPECT_EQ(added_.size(), 1);
}

TEST_F(worldPanel, AddingNothingShowsTheSheetAndCancelHandsNone) {
    child<QPushButton>("add")->click();
    auto* sheet = panel_->window()->findChild<QMessageBox*>(QStringLiteral("noLocationSheet"));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->text(), QStringLiteral("No Location is selected"));
    EXPECT_EQ(sheet->informativeText(), QStringLiteral("Please first select location."));
    ASSERT_EQ(sheet->buttons().size(), 1);
    EXPECT_EQ(sheet->buttons().at(0)->text(), QStringLiteral("Continue"));
    sheet->buttons().at(0)->click();

    panel_->window()->close();
    EXPECT_EQ(finished_, 1);
    EXPECT_TRUE(added_.isEmpty());
}

// The picker opens on the user's own country, city and zone, with that country's cities.
TEST_F(worldPanel, OpensOnTheUsersOwnPlace) {
    struct Case {
        const char* zone;
        const char* country;
        const char* city;
        const char* state;
    };
    const Case cases[] = {
        {"Europe/Berlin", "Germany", "Berlin", "Berlin"},
        {"Europe/Paris", "France", "Paris", "Île-de-France"},
        {"America/New_York", "United States of America", "New York", "New York"},
        // A zone without a listed place: its region and zone, no country.
        {"US/Pacific", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        homeZone_ = QString::fromLatin1(c.zone);
        SetUp();
        EXPECT_EQ(child<QComboBox>("country")->currentText(), QString::fromUtf8(c.country));
        EXPECT_EQ(child<QComboBox>("city")->currentText(), QString::fromUtf8(c.city));
        EXPECT_EQ(child<QComboBox>("state")->currentText(), QString::fromUtf8(c.state));
        const QComboBox* zones = child<QComboBox>("zone");
        EXPECT_EQ(zones->currentText(), QString::fromLatin1(c.zone).section('/', 1))
            << "the zone is the user's own";
        if (*c.country != 0) {
            // The country's own cities, not the world's.
            QStringList cities;
            for (int i = 0; i < child<QComboBox>("city")->count(); ++i) {
                cities << child<QComboBox>("city")->itemText(i);
            }
            EXPECT_FALSE(cities.contains(QStringLiteral("Buenos Aires")));
        }
    }
}

// A list's heading is not one of its values, and each part of a place is asked for once;
// fields that lead nowhere yet (names, phone) are not offered.
TEST_F(worldPanel, EachPartOfAPlaceIsAskedForOnceAndNoHeadingIsAValue) {
    const auto check = [this] {
        for (const char* name : {"country", "state", "city"}) {
            QComboBox* combo = child<QComboBox>(name);
            for (int i = 0; i < combo->count(); ++i) {
                EXPECT_FALSE(combo->itemText(i).endsWith(QLatin1Char(':')))
                    << name << ": " << combo->itemText(i).toStdString();
            }
            EXPECT_FALSE(combo->currentText().endsWith(QLatin1Char(':'))) << name;
        }
    };
    check();
    activate(child<QComboBox>("country"), QStringLiteral("France"));
    check();
    EXPECT_EQ(child<QComboBox>("state")->currentText(), QStringLiteral("Île-de-France"));
    activate(child<QComboBox>("city"), QStringLiteral("Lyon"));
    check();
    EXPECT_EQ(child<QComboBox>("state")->currentText(), QStringLiteral("Auvergne-Rhône-Alpes"));

    QMap<QString, int> asked;
    for (const QLabel* label : panel_->window()->findChildren<QLabel*>()) {
        asked[label->text()] += 1;
    }
    for (const char* part : {"Country:", "State/Province:", "City:"}) {
        EXPECT_EQ(asked.value(QString::fromLatin1(part)), 1) << part;
    }
    // The person's fields, filled from the address book or typed.
    for (const char* name : {"firstName", "lastName", "phone"}) {
        EXPECT_NE(panel_->window()->findChild<QLineEdit*>(QString::fromLatin1(name)), nullptr)
            << name;
    }
}

// Picking places with long names keeps the window's width.
TEST_F(worldPanel, TheWindowKeepsItsWidthWhenAPlaceIsPicked) {
    QWidget* window = panel_->window();
    QCoreApplication::processEvents();
    const int width = window->width();
    const int hinted = window->sizeHint().width();
    for (const auto& [country, city] : {std::pair{"Germany", "Berlin"}, std::pair{"France", "Lyon"},
                                        std::pair{"United States of America", "New York"},
                                        std::pair{"Argentina", "Buenos Aires"}}) {
        activate(child<QComboBox>("country"), QString::fromUtf8(country));
        activate(child<QComboBox>("city"), QString::fromUtf8(city));
        QCoreApplication::processEvents();
        EXPECT_EQ(window->width(), width) << city;
        EXPECT_EQ(window->sizeHint().width(), hinted) << city;
    }
}

TEST_F(worldPicker, APersonFillsTheFormAndChoosesTheirCountry) {
    const AddressBook book = AddressBook::load(QStringLiteral(TALVOR_WORLD_FIXTURES "/Contacts"));
    const AddressBook::Person& marie = book.people().at(1);
    model_->AddressRecChange(LocationPickerModel::kPhoneCell, QStringLiteral("stale"));
    model_->takePerson(marie);
    EXPECT_EQ(model_->ABUID(), QStringLiteral("uid-marie"));
    EXPECT_EQ(model_->cell(LocationPickerModel::kFirstNameCell), QStringLiteral("Marie"));
    EXPECT_EQ(model_->cell(LocationPickerModel::kLastNameCell), QStringLiteral("Curie"));
    EXPECT_EQ(model_->cell(LocationPickerModel::kCityCell), QStringLiteral("Paris"));
    EXPECT_EQ(model_->cell(LocationPickerModel::kPhoneCell), QStringLiteral("+33 1 00 00 00 02"))
        << "the work phone before the home phone";
    EXPECT_EQ(model_->list(Kind::Country).selectedTitle(), QStringLiteral("France"));
    EXPECT_EQ(model_->makeNotesString(), QStringLiteral("+33 1 00 00 00 02, Marie Curie"));
    const std::optional<QVariantList> record = model_->addLocation();
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->at(1), QVariant(QStringLiteral("Paris")));
    EXPECT_EQ(record->at(4), QVariant(QStringLiteral("Europe/Paris")));

    // A person in a country the lists do not know keeps the form's country as written.
    AddressBook::Person far;
    far.firstName = QStringLiteral("Ana");
    far.addresses = {
        {QStringLiteral("home"), QStringLiteral("Nuuk"), QString(), QStringLiteral("Greenland")}};
    model_->takePerson(far);
    EXPECT_EQ(model_->cell(LocationPickerModel::kCountryCell), QStringLiteral("Greenland"));
    EXPECT_TRUE(model_->cell(LocationPickerModel::kPhoneCell).isEmpty());
    model_->ClearAddressRecFields();
    EXPECT_TRUE(model_->ABUID().isEmpty());
}

TEST(worldPeopleTable, RowsShowTheMarkTheNameTheCityAndOnePhone) {
    using P = AddressBook::Person;
    P work{QStringLiteral("1"),
           QStringLiteral("Marie"),
           QStringLiteral("Curie"),
           QString(),
           {{QStringLiteral("work"), QStringLiteral("Paris"), QString(), QStringLiteral("France")}},
           {{QStringLiteral("home"), QStringLiteral("1")},
            {QStringLiteral("work"), QStringLiteral("2")}},
           std::nullopt};
    P mobile{QStringLiteral("2"), QString(), QStringLiteral("Planck"),
             QString(),           {},        {{QStringLiteral("cell"), QStringLiteral("3")}},
             std::nullopt};
    P nobody{QStringLiteral("3"), QString(), QString(), QStringLiteral("Org"), {}, {},
             std::nullopt};
    const QStringList known{QStringLiteral("Paris")};
    EXPECT_EQ(LocationPickerModel::peopleRow(work, known),
              (QStringList{QStringLiteral("\u2022"), QStringLiteral("Marie Curie"),
                           QStringLiteral("Paris"), QStringLiteral(" W:2")}));
    EXPECT_EQ(LocationPickerModel::peopleRow(mobile, known),
              (QStringList{QString(), QStringLiteral("Planck"),
                           QStringLiteral("No Address defined."), QStringLiteral(" M:3")}));
    EXPECT_EQ(LocationPickerModel::peopleRow(nobody, {}),
              (QStringList{QString(), QStringLiteral("NA"), QStringLiteral("No Address defined."),
                           QString()}));
}

class AddressPanelTest : public PickerTest {
  protected:
    void SetUp() override {
        panel_ = std::make_unique<TalvorMyAddressPanel>(
            makeModel(), QString(), nullptr,
            AddressBook::load(QStringLiteral(TALVOR_WORLD_FIXTURES "/Contacts")));
        panel_->knownCities = [] { return QStringList{QStringLiteral("Berlin")}; };
        panel_->beginSheet(nullptr,
                           [this](const QVariantList& record) { added_.append(QVariant(record)); });
    }
    template <typename T>
    T* child(const char* name) {
        T* widget = panel_->window()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    std::unique_ptr<TalvorMyAddressPanel> panel_;
    QVariantList added_;
};

using worldAddressPanel = AddressPanelTest;

TEST_F(worldAddressPanel, SearchingTakingAPersonAndAddingTheirPlace) {
    auto* table = child<QTableWidget>("addressTable");
    EXPECT_EQ(table->rowCount(), 4) << "an empty search lists everybody";
    child<QComboBox>("tSearchType")->setCurrentIndex(4);
    emit child<QComboBox>("tSearchType")->activated(4);
    child<QLineEdit>("tSearch")->setText(QStringLiteral("germ"));
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("\u2022")) << "Berlin is listed";
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("Max Planck"));
    EXPECT_EQ(table->item(0, 3)->text(), QStringLiteral(" M:+49 30 0000000"));

    table->selectRow(0);
    EXPECT_EQ(child<QLineEdit>("firstName")->text(), QStringLiteral("Max"));
    EXPECT_EQ(child<QLineEdit>("phone")->text(), QStringLiteral("+49 30 0000000"));
    EXPECT_EQ(child<QComboBox>("country")->currentText(), QStringLiteral("Germany"));
    child<QPushButton>("add")->click();
    ASSERT_EQ(added_.size(), 1);
    EXPECT_EQ(added_.at(0).toList().at(0), QVariant(QStringLiteral("+49 30 0000000, Max Planck")));

    // Nobody found: an empty table. The search is remembered for the next opening.
    child<QLineEdit>("tSearch")->setText(QStringLiteral("zz"));
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_TRUE(panel_->ABresults().isEmpty());
    child<QLineEdit>("tSearch")->setText(QStringLiteral("Ge"));
    child<QPushButton>("done")->click();
    EXPECT_EQ(defaults_.stringForKey(QStringLiteral("ABSearchString")), QStringLiteral("Ge"));
    EXPECT_EQ(defaults_.integerForKey(QStringLiteral("ABSearchType")), 4);
    TalvorMyAddressPanel again(
        makeModel(), QString(), nullptr,
        AddressBook::load(QStringLiteral(TALVOR_WORLD_FIXTURES "/Contacts")));
    EXPECT_EQ(again.window()->findChild<QTableWidget*>(QStringLiteral("addressTable"))->rowCount(),
              1);
}

}  // namespace
}  // namespace talvor
