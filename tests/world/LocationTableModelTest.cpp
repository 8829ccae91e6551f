#include "foundation/LocationRecord.h"
#include "support/BinaryPlistBytes.h"
#include "support/TestEnvironment.h"
#include "world/LocationRowOrder.h"
#include "world/LocationTableModel.h"
#include "world/LocationTransfer.h"
#include "world/WorldKeys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace talvor {
namespace {

const QString kLoc = keys::TalvorLocationChangeNotification;
const QString kFloat = keys::TalvorFloatingClockPrefsChangeNotification;

QVariantList place(const QString& note, const QString& city, const QString& country,
                   const QString& zone, bool menu = false, bool floating = false) {
    return {note,      city,      QString(), country,   zone, 0.0,
            QString(), QString(), QString(), QString(), menu, floating};
}

const QVariantList kParis = place("", "Paris", "France", "Europe/Paris");
const QVariantList kTokyo = place("", "Tokyo", "Japan", "Asia/Tokyo", true, true);
const QVariantList kLima = place("", "Lima", "Peru", "America/Lima");
const QVariantList kOslo = place("", "Oslo", "Norway", "Europe/Oslo");

LocationTable table(std::initializer_list<QVariantList> records) {
    LocationTable t;
    for (const QVariantList& r : records) {
        t.append(QVariant(r));
    }
    return t;
}

QStringList cities(const LocationTable& t) {
    QStringList out;
    for (const QVariant& r : t) {
        out.append(LocationRecord::text(r.toList(), LocationRecord::kCity));
    }
    return out;
}

class LocationModel : public ::testing::Test {
  protected:
    LocationTableModel make(LocationTable list, QVariantList dialCodes = {}) {
        return LocationTableModel(std::move(list), std::move(dialCodes),
                                  {[this](const LocationTable& t) {
                                       saved_.append(t);
                                       return true;
                                   },
                                   [this](const QString& name) { posted_.append(name); }});
    }
    QList<LocationTable> saved_;
    QStringList posted_;
};

using worldLocationModel = LocationModel;

TEST_F(worldLocationModel, CheckBoxesStoreBooleansSaveAndAnnounce) {
    struct Case {
        int field;
        QStringList posted;
    };
    for (const Case& c : {Case{10, {kLoc}}, Case{11, {kFloat, kLoc}}}) {
        SCOPED_TRACE(c.field);
        saved_.clear();
        posted_.clear();
        // A short record is padded up to the flag it gains.
        auto model = make(table({kParis, {QString(), QStringLiteral("Short")}}));
        model.toggleFlag(1, c.field);
        ASSERT_EQ(saved_.size(), 1);
        const QVariantList rec = saved_.back().at(1).toList();
        ASSERT_GT(rec.size(), c.field);
        EXPECT_EQ(rec.at(c.field), QVariant(true));
        EXPECT_EQ(posted_, c.posted);
        model.toggleFlag(1, c.field);
        EXPECT_EQ(saved_.back().at(1).toList().at(c.field), QVariant(false));
        EXPECT_EQ(model.objectValue(1, c.field, {}), QVariant(false));
    }

    auto model = make(table({kTokyo, kParis}));
    posted_.clear();
    model.allOff(11);
    for (const QVariant& r : saved_.back()) {
        EXPECT_EQ(r.toList().at(11), QVariant(false));
    }
    EXPECT_EQ(saved_.back().at(0).toList().at(10), QVariant(true)) << "the other column stays";
    EXPECT_EQ(posted_, (QStringList{kFloat, kLoc}));
}

TEST_F(worldLocationModel, EditingSavesRealChangesOnly) {
    const QVariantList dialCodes{QVariantList{QStringLiteral("FR"), QStringLiteral("France")},
                                 QVariantList{QStringLiteral("PE"), QStringLiteral("Peru")}};
    QVariantList net = kLima;
    net.append(QString());
    net.append(true);  // field 13: from the net cache
    QVariantList noCountry = place("", "Cusco", "", "America/Lima");
    QVariantList noNote = place("", "Lyon", "", "Europe/Paris");
    auto model = make(table({kParis, net, noCountry, noNote, kTokyo}), dialCodes);

    EXPECT_FALSE(model.setObjectValue(0, 1, QStringLiteral("Paris")));
    EXPECT_TRUE(saved_.isEmpty());
    EXPECT_TRUE(posted_.isEmpty());

    // The offsets and the abbreviation come from the zone; field 14 would make a net record.
    for (int column : {-1, 5, 6, 10, 14}) {
        EXPECT_FALSE(model.setObjectValue(0, column, QStringLiteral("x"))) << column;
    }
    EXPECT_EQ(model.record(0), kParis);

    EXPECT_TRUE(model.setObjectValue(1, 2, QStringLiteral("Lima Province")));
    EXPECT_FALSE(LocationRecord::isNetRecord(model.record(1)));
    EXPECT_EQ(model.record(1).size(), 13);
    EXPECT_EQ(posted_, QStringList{kLoc});

    EXPECT_TRUE(model.setObjectValue(2, 0, QStringLiteral("Inca, PE")));
    EXPECT_EQ(LocationRecord::text(model.record(2), 3), QStringLiteral("Peru"));
    EXPECT_TRUE(model.setObjectValue(3, 3, QStringLiteral("France")));
    EXPECT_EQ(LocationRecord::text(model.record(3), 0), QStringLiteral("FR"));

    posted_.clear();
    EXPECT_TRUE(model.setObjectValue(4, 1, QStringLiteral("Tōkyō")));
    EXPECT_EQ(posted_, (QStringList{kFloat, kLoc})) << "a floating clock's name changed";
    EXPECT_EQ(saved_.size(), 4);
    EXPECT_EQ(saved_.back(), model.locationList());
}

TEST_F(worldLocationModel, DragMovesOneRowAndRefusesNoOpDrops) {
    struct Case {
        int source, target;
        bool accepted;
        QStringList order;
    };
    const Case cases[] = {
        {0, 0, false, {"Paris", "Tokyo", "Lima", "Oslo"}},
        {0, 1, false, {"Paris", "Tokyo", "Lima", "Oslo"}},
        {0, 2, true, {"Tokyo", "Paris", "Lima", "Oslo"}},
        {3, 0, true, {"Oslo", "Paris", "Tokyo", "Lima"}},
        {1, 4, true, {"Paris", "Lima", "Oslo", "Tokyo"}},
        {2, 1, true, {"Paris", "Lima", "Tokyo", "Oslo"}},
        {1, 5, false, {"Paris", "Tokyo", "Lima", "Oslo"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source << " above " << c.target);
        auto model = make(table({kParis, kTokyo, kLima, kOslo}));
        saved_.clear();
        EXPECT_EQ(model.validateDrop(c.source, c.target), c.accepted);
        model.moveRow(c.source, c.target);
        EXPECT_EQ(cities(model.locationList()), c.order);
        EXPECT_EQ(saved_.size(), c.accepted ? 1 : 0);
    }
}

TEST_F(worldLocationModel, DeleteRemovesRowsAndSaysWhichRowToSelect) {
    auto model = make(table({kParis, kTokyo, kLima, kOslo}));
    EXPECT_EQ(model.deleteRows({}), std::nullopt);
    EXPECT_TRUE(saved_.isEmpty());

    EXPECT_EQ(model.deleteRows({2, 1}), 1);
    EXPECT_EQ(cities(saved_.back()), (QStringList{"Paris", "Oslo"}));
    EXPECT_EQ(posted_, (QStringList{kFloat, kLoc}));
    EXPECT_EQ(model.deleteRows({1}), 0) << "the last row goes: select the new last";
    EXPECT_EQ(model.deleteRows({0}), std::nullopt);
    EXPECT_TRUE(saved_.back().isEmpty());
}

TEST_F(worldLocationModel, RowComparatorOrdersByKindThenCase) {
    const QVariantList a{
        QStringLiteral("b"), QStringLiteral("apple"), QString(), QString(), QString(), 5.5};
    const QVariantList b{
        QStringLiteral("A"), QStringLiteral("Banana"), QString(), QString(), QString(), qint64(-3)};
    const QVariantList text5{QString(), QString(), QString(),
                             QString(), QString(), QStringLiteral("10")};
    struct Case {
        QVariantList first, second;
        std::optional<int> column;
        bool descending;
        int sign;
    };
    const Case cases[] = {
        {a, b, std::nullopt, false, 0},
        {a, b, 0, false, 1},   // "b" after "A", ignoring case
        {a, b, 1, false, -1},  // "apple" before "Banana"
        {a, b, 1, true, 1},
        {a, b, 5, false, 1},      // 5.5 after -3: numbers as numbers
        {a, b, 14, false, 1},     // column 14 sorts by field 5
        {a, text5, 5, false, 1},  // "5.5" after "10" once both are text
        {a, a, 1, false, 0},
    };
    for (const Case& c : cases) {
        const int order = ORDER_BY_CONTEXT2(c.first, c.second, c.column, c.descending);
        EXPECT_EQ((order > 0) - (order < 0), c.sign)
            << c.column.value_or(-9) << (c.descending ? " desc" : " asc");
    }

    auto model = make(table({kParis, kTokyo, kLima, kOslo}));
    const std::vector<int> order = model.sortData(-1, true);  // the flag column: by country
    EXPECT_EQ(cities(model.locationList()), (QStringList{"Lima", "Oslo", "Tokyo", "Paris"}));
    EXPECT_EQ(order, (std::vector<int>{2, 3, 1, 0}));
    EXPECT_EQ(posted_, QStringList{kLoc});
}

TEST_F(worldLocationModel, ImportSkipsLocationsAlreadyPresent) {
    auto model = make(table({kParis, kTokyo}));
    QVariantList tokyoAgain = kTokyo;
    tokyoAgain[10] = false;  // only the identity fields count
    const auto dupes = model.importRecords(table({kParis, tokyoAgain}));
    EXPECT_EQ(dupes.added, 0);
    EXPECT_EQ(dupes.duplicates, 2);
    EXPECT_TRUE(saved_.isEmpty());
    EXPECT_TRUE(posted_.isEmpty());

    const auto mixed = model.importRecords(table({kLima, kParis, kOslo}));
    EXPECT_EQ(mixed.added, 2);
    EXPECT_EQ(mixed.duplicates, 1);
    EXPECT_EQ(cities(saved_.back()), (QStringList{"Paris", "Tokyo", "Lima", "Oslo"}));
    EXPECT_EQ(posted_, QStringList{kLoc});
}

TEST_F(worldLocationModel, OffsetsFollowTheZoneAndTheGmtChoice) {
    QVariantList noZone = place("", "Nowhere", "", "");
    noZone[5] = qint64(-100);
    QVariantList unknown = place("", "Atlantis", "", "Ocean/Atlantis");
    unknown[6] = QStringLiteral("ATL");
    const QVariantList shortRec{QString(), QStringLiteral("Tiny"), QString()};
    auto model = make(table({kTokyo, kLima, noZone, unknown, shortRec}));
    // 2024-01-15 12:00 UTC, the user in Paris (UTC+1).
    LocationTableModel::Now now{QDateTime(QDate(2024, 1, 15), QTime(12, 0), QTimeZone::utc()),
                                QTimeZone("Europe/Paris"), false};

    EXPECT_EQ(model.objectValue(0, 5, now), QVariant(QStringLiteral("8")));
    EXPECT_EQ(model.objectValue(1, 5, now), QVariant(QStringLiteral("-6")));
    EXPECT_EQ(model.record(1).at(5), QVariant(0.0)) << "a local difference is only shown";
    EXPECT_EQ(model.objectValue(0, 6, now), QVariant(QStringLiteral("JST")));
    EXPECT_EQ(model.record(0).at(6), QVariant(QStringLiteral("JST")));
    EXPECT_EQ(model.objectValue(2, 5, now), QVariant(QString()));
    EXPECT_EQ(model.objectValue(3, 5, now), QVariant(QString()));
    EXPECT_EQ(model.objectValue(3, 6, now), QVariant(QStringLiteral("ATL")));
    EXPECT_EQ(model.objectValue(4, 5, now), QVariant(QString()));
    EXPECT_EQ(model.objectValue(4, 7, now), QVariant(QString()));
    EXPECT_EQ(model.objectValue(0, 8, now), QVariant(QStringLiteral("bug 3")));

    now.gmtOffsets = true;
    EXPECT_EQ(model.objectValue(1, 5, now), QVariant(QStringLiteral("-5")));
    EXPECT_EQ(model.record(1).at(5), QVariant(-5.0));
    EXPECT_EQ(model.objectValue(0, 14, now), QVariant(QStringLiteral("9")));
    EXPECT_TRUE(saved_.isEmpty()) << "refreshed fields wait for the next change";
}

class LocationFiles : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return dir_.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QTemporaryDir dir_;
};

using worldLocationFiles = LocationFiles;

TEST_F(worldLocationFiles, ExportedRecordsReadBackUnchanged) {
    QVariantList padded{QString(),
                        QStringLiteral("Quito"),
                        QString(),
                        QStringLiteral("Ecuador"),
                        QStringLiteral("America/Guayaquil"),
                        -5.0,
                        QStringLiteral("-05"),
                        QString(),
                        QString(),
                        QString(),
                        QString(),
                        true};
    const LocationTable records = table({kTokyo, padded});
    ASSERT_TRUE(LocationTransfer::write(path("out.plist"), records));
    const auto back = LocationTransfer::read(path("out.plist"));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->records, records);
    EXPECT_EQ(back->rejected, 0);
    EXPECT_FALSE(LocationTransfer::write(path("missing/out.plist"), records));
}

TEST_F(worldLocationFiles, DamagedImportFilesAreRefused) {
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">";
    struct Case {
        const char* name;
        QByteArray body;
    };
    const Case refused[] = {
        {"garbage", "\x01\x02 not a plist"},
        {"truncated", head + "<array><array><string>x</string>"},
        {"dictionary", head + "<dict><key>a</key><string>b</string></dict></plist>"},
        {"empty", head + "<array/></plist>"},
        {"no records", head + "<array><string>Paris</string><integer>3</integer></array></plist>"},
        {"number city",
         head + "<array><array><string/><integer>7</integer></array></array></plist>"},
        {"text flag", head + "<array><array><string/><string>Rome</string><string/><string/>"
                             "<string/><real>1</real><string/><string/><string/><string/>"
                             "<string>1</string></array></array></plist>"},
    };
    for (const Case& c : refused) {
        write(c.name, c.body);
        EXPECT_FALSE(LocationTransfer::read(path(c.name)).has_value()) << c.name;
    }
    EXPECT_FALSE(LocationTransfer::read(path("nothing-here")).has_value());
    EXPECT_FALSE(LocationTransfer::read(dir_.path()).has_value());

    write("mixed", head +
                       "<array><string>junk</string><array><string/><string>Rome</string>"
                       "</array><array/></array></plist>");
    const auto mixed = LocationTransfer::read(path("mixed"));
    ASSERT_TRUE(mixed.has_value());
    EXPECT_EQ(mixed->records.size(), 1);
    EXPECT_EQ(mixed->rejected, 2);
}

// The row limit is met while the list is read: a list one row too long is refused for its
// length before any row of it is read, so rows that could not be read at all change nothing.
TEST_F(worldLocationFiles, ListsOfTheRowLimitAreReadAndLongerOnesRefusedBeforeTheirRows) {
    constexpr qsizetype kRows = LocationTransfer::Limits{}.maxRows;
    write("rows.bplist", test::binaryLocationRows(kRows));
    QString problem;
    const auto imported = LocationTransfer::read(path("rows.bplist"), {}, &problem);
    ASSERT_TRUE(imported.has_value()) << problem.toStdString();
    EXPECT_EQ(imported->rejected, 0);
    ASSERT_EQ(imported->records.size(), kRows);
    for (qsizetype i : {qsizetype{0}, qsizetype{1}, kRows - 1}) {
        const QVariantList expected{QString(),
                                    QStringLiteral("Town %1").arg(i),
                                    QString(),
                                    QStringLiteral("Chile"),
                                    QStringLiteral("America/Santiago"),
                                    -4.0,
                                    QString(),
                                    QString(),
                                    QString(),
                                    QString(),
                                    false,
                                    i % 2 == 1};
        EXPECT_EQ(imported->records.at(i), QVariant(expected)) << i;
    }

    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">";
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case tooLong[] = {
        {"binary rows", test::binaryLocationRows(kRows + 1)},
        {"binary, unreadable rows",
         test::binaryPlist({test::bplistContainer(0xa0, QList<quint64>(kRows + 1, 1), 4), "\x70"},
                           4)},
        {"xml, unreadable rows",
         head + "<array>" + QByteArray("<colour/>").repeated(kRows + 1) + "</array></plist>"},
    };
    for (const Case& c : tooLong) {
        write(c.name, c.bytes);
        EXPECT_FALSE(LocationTransfer::read(path(c.name), {}, &problem).has_value()) << c.name;
        EXPECT_EQ(problem, QStringLiteral("The file holds 100001 entries; one import takes at "
                                          "most 100000."))
            << c.name;
    }
}

}  // namespace
}  // namespace talvor
