#include "LocationsSandbox.h"

#include "foundation/CompiledLocationTable.h"
#include "foundation/LocationRecord.h"
#include "foundation/TalvorFilePaths.h"
#include "platform/PropertyList.h"
#include "support/QtPrinters.h"

#include <QDateTime>
#include <QSize>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using test::LocationsSandbox;
namespace LR = LocationRecord;

QVariant v(const char* s) {
    return QVariant(QString::fromUtf8(s));
}

// A record as the picker writes it: fields 0-11, both flags on.
QVariantList picker(const char* city, const char* zone = "Europe/Paris") {
    return {v("Ann Example"), v(city),       v(""),          v("France"),
            v(zone),          QVariant(1.0), v("CET"),       v("+33 1 23"),
            v("Ann"),         v("Example"),  QVariant(true), QVariant(true)};
}

// A record as the net cache holds it once merged: 14 fields, field 13 true.
QVariantList netRecord(const char* city) {
    QVariantList r = {
        v(""),          v(city),         v("Ontario"), v("Canada"),   v("America/Toronto"),
        v("-5"),        v("EST"),        v(""),        v(""),         v(""),
        QVariant(true), QVariant(false), v(""),        QVariant(true)};
    return r;
}

QVariantList table(std::initializer_list<QVariantList> records) {
    QVariantList t;
    for (const QVariantList& r : records) {
        t.append(QVariant(r));
    }
    return t;
}

QStringList cities(const LocationTable& t) {
    QStringList names;
    for (const QVariant& entry : t) {
        names.append(LR::text(LR::fields(entry), LR::kCity));
    }
    return names;
}

// ---------------------------------------------------------------------------------------
// The record

TEST(foundationLocationsRecord, FieldsReadAsTextNumbersAndFlags) {
    const QVariantList r = {v("note"),       QVariant(qint64(44)), QVariant(2.5), QVariant(true),
                            QVariant(false), v(" -3.5 "),          v("abc"),      v("")};
    struct TextCase {
        int index;
        const char* text;
    };
    for (const TextCase& c : {TextCase{0, "note"},
                              {1, "44"},
                              {2, "2.5"},
                              {3, "1"},
                              {4, "0"},
                              {7, ""},
                              {8, ""},
                              {-1, ""}}) {
        EXPECT_EQ(LR::text(r, c.index), QString::fromUtf8(c.text)) << c.index;
    }
    struct NumberCase {
        int index;
        std::optional<double> number;
    };
    for (const NumberCase& c : {NumberCase{1, 44.0},
                                {2, 2.5},
                                {5, -3.5},
                                {6, std::nullopt},
                                {7, std::nullopt},
                                {3, std::nullopt},
                                {99, std::nullopt}}) {
        EXPECT_EQ(LR::number(r, c.index), c.number) << c.index;
    }
    for (int index = 0; index < 9; ++index) {
        EXPECT_EQ(LR::flag(r, index), index == 3) << index;
    }
}

TEST(foundationLocationsRecord, NoZoneIsAnyFieldFiveWhoseIntegerPartIsMinusOneHundred) {
    struct Case {
        QVariant field5;
        std::optional<double> hours;
    };
    const Case cases[] = {
        {QVariant(5.5), 5.5},         {v("-3.5"), -3.5}, {QVariant(qint64(0)), 0.0},
        {QVariant(-100.0), {}},       {v("-100"), {}},   {QVariant(-100.75), {}},
        {QVariant(qint64(-100)), {}}, {v(""), {}},       {QVariant(true), {}},
        {QVariant(-99.5), -99.5},
    };
    for (const Case& c : cases) {
        const QVariantList r = {v(""), v(""), v(""), v(""), v(""), c.field5};
        EXPECT_EQ(LR::hoursFromGMT(r), c.hours) << c.field5.toString().toStdString();
    }
    EXPECT_EQ(LR::hoursFromGMT({v("short")}), std::nullopt);
}

TEST(foundationLocationsRecord, IdentityIsFieldsZeroToFourAndMissingFieldsCountAsEmpty) {
    const QVariantList base = picker("Paris");
    QVariantList otherPhone = base;
    otherPhone[7] = v("+33 9 99");
    QVariantList otherNote = base;
    otherNote[0] = v("Bob");
    QVariantList otherZone = base;
    otherZone[4] = v("Europe/Berlin");
    QVariantList numericNote = base;
    numericNote[0] = QVariant(qint64(33));
    QVariantList textNote = base;
    textNote[0] = v("33");
    struct Case {
        QVariantList a;
        QVariantList b;
        bool same;
    };
    const Case cases[] = {
        {base, otherPhone, true},
        {base, base.mid(0, 5), true},
        {base, otherNote, false},
        {base, otherZone, false},
        {{v(""), v("Lima")}, {v(""), v("Lima"), v(""), v(""), v("")}, true},
        {{v(""), v("Lima")}, {v(""), v("Lima"), v(""), v(""), v("America/Lima")}, false},
        {numericNote, textNote, true},
        {{}, {v(""), v(""), v(""), v(""), v("")}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LR::sameIdentity(c.a, c.b), c.same);
        EXPECT_EQ(LR::identityKey(c.a) == LR::identityKey(c.b), c.same);
    }
    // A separator inside a field cannot make two different records look alike.
    EXPECT_NE(LR::identityKey({v("a:1"), v("b")}), LR::identityKey({v("a"), v("1:b")}));
}

TEST(foundationLocationsRecord, CachedRecordsArePaddedToThirteenFieldsAndMarked) {
    struct Case {
        QVariantList in;
        qsizetype size;
    };
    QVariantList fifteen = netRecord("Ottawa");
    fifteen[13] = QVariant(false);
    fifteen.append(v("extra"));
    const Case cases[] = {
        {{v(""), v("Lima"), v(""), v("Peru"), v("America/Lima")}, 14},
        {picker("Paris") + QVariantList{v("")}, 14},
        {fifteen, 15},
        {{}, 14},
    };
    for (const Case& c : cases) {
        const QVariantList out = LR::asNetRecord(c.in);
        ASSERT_EQ(out.size(), c.size);
        for (qsizetype i = 0; i < out.size(); ++i) {
            if (i == LR::kNetMarker) {
                EXPECT_EQ(out[i], QVariant(true));
            } else if (i < c.in.size()) {
                EXPECT_EQ(out[i], c.in[i]) << i;
            } else {
                EXPECT_EQ(out[i], v("")) << i;
            }
        }
        EXPECT_TRUE(LR::isNetRecord(out));
    }
}

TEST(foundationLocationsRecord, SettingAFlagPadsTheRecord) {
    QVariantList r = {v(""), v("Lima")};
    LR::setFlag(r, LR::kInTimeMenu, true);
    ASSERT_EQ(r.size(), 11);
    EXPECT_EQ(r[9], v(""));
    EXPECT_TRUE(LR::flag(r, LR::kInTimeMenu));
    LR::setFlag(r, LR::kInTimeMenu, false);
    EXPECT_EQ(r[10], QVariant(false));
}

// ---------------------------------------------------------------------------------------
// Loading

class locations_TableLoad : public LocationsSandbox {};

using foundationLocationsTableLoad = locations_TableLoad;

TEST_F(foundationLocationsTableLoad, AFreshAccountLoadsTheBundledTableThenTheNetCache) {
    writePlist(bundledFile(), table({picker("Paris"), picker("Lima", "America/Lima")}));
    writePlist(netFile(), table({netRecord("Ottawa")}));
    const std::optional<LocationTable> t = TalvorFilePaths::TalvorLoadLocationFile();
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(cities(*t), (QStringList{"Paris", "Lima", "Ottawa"}));
    EXPECT_TRUE(log_.contains(QStringLiteral("Default locations loaded")));
    EXPECT_FALSE(QFileInfo::exists(liveFile())) << "loading writes nothing back";
}

TEST_F(foundationLocationsTableLoad, AMissingOrUnreadableBundledTable) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        bool hasTable;
        const char* logLine;
    };
    const QString bundle = systemDir();
    const Case cases[] = {
        {"missing", [] {}, true, "bug -- missing 'LocationsConfig.plist' in bundle "},
        {"no bundle folder", [&] { QDir(bundle).removeRecursively(); }, true,
         "LocationList  thisBundle nil"},
        {"garbage", [&] { writeBytes(bundledFile(), "not a plist"); }, false,
         "Default locations failed to load at "},
        {"a dictionary",
         [&] {
             writePlist(bundledFile(), QVariantMap{{"a", 1}});
         },
         false, "Default locations failed to load at "},
    };
    for (const Case& c : cases) {
        QDir(bundle).removeRecursively();
        QDir().mkpath(bundle);
        log_.clear();
        c.prepare();
        const std::optional<LocationTable> t = TalvorFilePaths::TalvorLoadLocationFile();
        EXPECT_EQ(t.has_value(), c.hasTable) << c.name;
        if (t) {
            EXPECT_TRUE(t->isEmpty()) << c.name;
        }
        EXPECT_TRUE(log_.contains(QString::fromUtf8(c.logLine))) << c.name;
    }
}

// The build's compiled copy of the bundled table is read in its place, unless it is older
// than the list (an edited list wins) or cannot be read.
TEST_F(foundationLocationsTableLoad, TheCompiledTableStandsInForTheBundledListWhenCurrent) {
    const QString compiled = systemDir() + QStringLiteral("/LocationsConfig.table");
    const QByteArray lima = CompiledLocationTable::compile(table({picker("Lima", "America/Lima")}));
    struct Case {
        const char* name;
        QByteArray bytes;
        int ageSeconds;  // of the compiled table, against the list's
        QStringList cities;
        const char* logLine;  // nullptr: none expected
    };
    const Case cases[] = {
        {"current", lima, 0, {"Lima"}, nullptr},
        {"newer", lima, -60, {"Lima"}, nullptr},
        {"older than the list", lima, 60, {"Paris"}, nullptr},
        {"damaged", lima.chopped(7), 0, {"Paris"}, "Compiled locations "},
        {"another format", QByteArray("bplist00"), 0, {"Paris"}, "Compiled locations "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log_.clear();
        writePlist(bundledFile(), table({picker("Paris")}));
        writeBytes(compiled, c.bytes);
        const QDateTime listTime = QFileInfo(bundledFile()).lastModified();
        QFile file(compiled);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(
            file.setFileTime(listTime.addSecs(-c.ageSeconds), QFileDevice::FileModificationTime));
        file.close();
        const std::optional<LocationTable> t = TalvorFilePaths::TalvorLoadLocationFile();
        ASSERT_TRUE(t.has_value());
        EXPECT_EQ(cities(*t), c.cities);
        if (c.logLine != nullptr) {
            EXPECT_TRUE(log_.contains(QString::fromUtf8(c.logLine)));
        }
    }
}

TEST_F(foundationLocationsTableLoad, ALegacyTableIsMovedInOnTheFirstLoad) {
    struct Case {
        const char* name;
        QString legacy;  // where the file lies (a link points here for the linked case)
        QString link;    // empty: no link
    };
    const Case cases[] = {
        {"~/Library", home() + "/Library/Talvor Locations", {}},
        {"Application Support", data() + "/Talvor Locations", {}},
        {"linked", home() + "/elsewhere/old table", home() + "/Library/Talvor Locations"},
    };
    for (const Case& c : cases) {
        QFile::remove(liveFile());
        log_.clear();
        writePlist(c.legacy, table({picker("Legacy")}));
        if (!c.link.isEmpty()) {
            QDir().mkpath(QFileInfo(c.link).absolutePath());
            ASSERT_TRUE(QFile::link(c.legacy, c.link));
        }
        const std::optional<LocationTable> t = TalvorFilePaths::TalvorLoadLocationFile();
        ASSERT_TRUE(t.has_value()) << c.name;
        EXPECT_EQ(cities(*t), QStringList{"Legacy"}) << c.name;
        EXPECT_FALSE(QFileInfo::exists(c.legacy)) << c.name;
        EXPECT_EQ(readPlist(liveFile()), QVariant(table({picker("Legacy")}))) << c.name;
        EXPECT_TRUE(log_.contains(QStringLiteral("Moved Locations from Path = %1 to %2")
                                      .arg(QFileInfo(c.legacy).absoluteFilePath(), liveFile())))
            << c.name;
        if (!c.link.isEmpty()) {
            QFile::remove(c.link);
        }
    }
}

TEST_F(foundationLocationsTableLoad, AMigrationNeverOverwritesTheLiveTable) {
    const QString legacy = home() + "/Library/Talvor Locations";
    writePlist(legacy, table({picker("Old")}));
    writePlist(liveFile(), table({picker("Current")}));
    for (int launch = 0; launch < 2; ++launch) {
        const std::optional<LocationTable> t = TalvorFilePaths::TalvorLoadLocationFile();
        ASSERT_TRUE(t.has_value());
        EXPECT_EQ(cities(*t), QStringList{"Current"});
    }
    EXPECT_EQ(readPlist(legacy), QVariant(table({picker("Old")}))) << "the legacy file stays";
    EXPECT_TRUE(log_.contains(QStringLiteral("left in place")));
}

TEST_F(foundationLocationsTableLoad, AnUnreadableTableIsMovedAsideNotReplaced) {
    const QByteArray unreadable[] = {
        "<?xml version=\"1.0\"?><plist><array><string>trunc",
        QByteArray(),
        platform::PropertyList::serialize(QVariantMap{{"k", 1}},
                                          platform::PropertyList::Format::Xml)
            .value(),
    };
    writePlist(bundledFile(), table({picker("Default")}));
    for (const QByteArray& bytes : unreadable) {
        QDir(userDataFolder()).removeRecursively();
        log_.clear();
        writeBytes(liveFile(), bytes);
        const std::optional<LocationTable> t = TalvorFilePaths::TalvorLoadLocationFile();
        ASSERT_TRUE(t.has_value());
        EXPECT_EQ(cities(*t), QStringList{"Default"});

        const QStringList aside =
            QDir(userDataFolder()).entryList({QStringLiteral("Talvor Locations.corrupt-*")});
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(readBytes(userDataFolder() + "/" + aside.first()), bytes);
        EXPECT_TRUE(log_.contains(QStringLiteral("moved aside to")));

        // The next save writes a new table and leaves the kept one alone.
        EXPECT_TRUE(TalvorFilePaths::TalvorSaveLocationTable(*t));
        EXPECT_EQ(readBytes(userDataFolder() + "/" + aside.first()), bytes);
    }
}

TEST_F(foundationLocationsTableLoad, EveryFieldTypeRoundTripsThroughLoadAndSave) {
    const QVariantList mixed = {
        QVariant(qint64(33)),
        v("Zürich"),
        v(""),
        v("Switzerland"),
        v("Europe/Zurich"),
        v("1"),
        v("CET"),
        v("47.3667"),
        v("8.55"),
        QVariant(QByteArray("\x01\x02", 2)),
        QVariant(false),
        QVariant(true),
        QVariant(QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC)),
    };
    const QVariantList stored =
        table({mixed, picker("Paris"), {v("short")}}) + QVariantList{v("not a record")};
    writePlist(liveFile(), stored);
    const std::optional<LocationTable> t = TalvorFilePaths::TalvorLoadLocationFile();
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(*t, stored);
    ASSERT_TRUE(TalvorFilePaths::TalvorSaveLocationTable(*t));
    EXPECT_EQ(readPlist(liveFile()), QVariant(stored));
}

// ---------------------------------------------------------------------------------------
// Merging the net cache

class locations_NetMerge : public LocationsSandbox {};

using foundationLocationsNetMerge = locations_NetMerge;

TEST_F(foundationLocationsNetMerge, DuplicatesMatchFieldsZeroToFourOfTheTableAsItWas) {
    QVariantList parisOtherPhone = picker("Paris");
    parisOtherPhone[7] = v("+33 9 99");
    QVariantList parisOtherNote = picker("Paris");
    parisOtherNote[0] = v("Someone else");
    struct Case {
        const char* name;
        QVariantList table;
        QVariantList cache;
        QStringList merged;  // cities after the merge
        int duplicates;
    };
    const Case cases[] = {
        {"different field 7 is a duplicate",
         table({picker("Paris")}),
         table({parisOtherPhone}),
         {"Paris"},
         1},
        {"different note is new",
         table({picker("Paris")}),
         table({parisOtherNote}),
         {"Paris", "Paris"},
         0},
        {"equal cached records are both added",
         table({picker("Paris")}),
         table({netRecord("Ottawa"), netRecord("Ottawa")}),
         {"Paris", "Ottawa", "Ottawa"},
         0},
        {"short records compare with empty fields",
         table({{v(""), v("Lima")}}),
         table({{v(""), v("Lima"), v(""), v("")}, {v(""), v("Quito")}}),
         {"Lima", "Quito"},
         1},
        {"entries that are not records are skipped",
         table({picker("Paris")}),
         QVariantList{v("junk"), QVariant(netRecord("Ottawa"))},
         {"Paris", "Ottawa"},
         0},
        {"an empty table takes everything", {}, table({netRecord("Ottawa")}), {"Ottawa"}, 0},
    };
    for (const Case& c : cases) {
        log_.clear();
        writePlist(netFile(), c.cache);
        LocationTable t = c.table;
        TalvorFilePaths::mergeNetLocation(t);
        EXPECT_EQ(cities(t), c.merged) << c.name;
        for (qsizetype i = c.table.size(); i < t.size(); ++i) {
            EXPECT_TRUE(LR::isNetRecord(LR::fields(t[i]))) << c.name;
            EXPECT_TRUE(LR::flag(LR::fields(t[i]), LR::kNetMarker)) << c.name;
        }
        EXPECT_EQ(
            log_.contains(
                QStringLiteral("%1 duplicates locations found in subscription").arg(c.duplicates)),
            c.duplicates > 0)
            << c.name;
    }
}

TEST_F(foundationLocationsNetMerge, AFiveFieldCachedRecordBecomesAFourteenFieldNetRecord) {
    const QVariantList five = {v(""), v("Lima"), v(""), v("Peru"), v("America/Lima")};
    writePlist(netFile(), table({five}));
    LocationTable t;
    TalvorFilePaths::mergeNetLocation(t);
    ASSERT_EQ(t.size(), 1);
    EXPECT_EQ(LR::fields(t[0]), LR::asNetRecord(five));
}

TEST_F(foundationLocationsNetMerge, AMissingEmptyUnreadableOrFolderCacheLeavesTheTableAlone) {
    const std::function<void()> caches[] = {
        [] {},
        [&] { writePlist(netFile(), QVariantList()); },
        [&] { writeBytes(netFile(), "garbage"); },
        [&] { QDir().mkpath(netFile()); },
    };
    for (const auto& prepare : caches) {
        QDir(userDataFolder()).removeRecursively();
        prepare();
        LocationTable t = table({picker("Paris")});
        EXPECT_EQ(TalvorFilePaths::mergeNetLocation(t), table({picker("Paris")}));
    }
}

TEST_F(foundationLocationsNetMerge, AnUnreadableCacheIsKeptAsideAndSurvivesTheNextSave) {
    writePlist(liveFile(), table({picker("Paris")}));
    writeBytes(netFile(), "garbage");
    const std::optional<LocationTable> t = TalvorFilePaths::TalvorLoadLocationFile();
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(cities(*t), QStringList{"Paris"});
    ASSERT_TRUE(TalvorFilePaths::TalvorSaveLocationTable(*t));

    const QStringList aside =
        QDir(userDataFolder()).entryList({QStringLiteral("Talvor Net Locations.plist.corrupt-*")});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readBytes(userDataFolder() + "/" + aside.first()), QByteArray("garbage"));
    EXPECT_TRUE(log_.contains(QStringLiteral("moved aside to")));
}

// ---------------------------------------------------------------------------------------
// Saving

class locations_Save : public LocationsSandbox {};

using foundationLocationsSave = locations_Save;

TEST_F(foundationLocationsSave, NetRecordsGoToTheCacheAndComeBackAfterTheOthers) {
    const LocationTable t = table({netRecord("Ottawa"), picker("Paris"), picker("Lima"),
                                   netRecord("Toronto"), picker("Quito")});
    ASSERT_TRUE(TalvorFilePaths::TalvorSaveLocationTable(t));
    EXPECT_EQ(readPlist(liveFile()),
              QVariant(table({picker("Paris"), picker("Lima"), picker("Quito")})));
    EXPECT_EQ(readPlist(netFile()), QVariant(table({netRecord("Ottawa"), netRecord("Toronto")})));
    EXPECT_TRUE(log_.contains(QStringLiteral("Saving Talvor locations: %1 (5)").arg(liveFile())));
    EXPECT_TRUE(log_.contains(QStringLiteral("Saving net locations cache: %1 (2)").arg(netFile())));

    const std::optional<LocationTable> loaded = TalvorFilePaths::TalvorLoadLocationFile();
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(cities(*loaded), (QStringList{"Paris", "Lima", "Quito", "Ottawa", "Toronto"}));
}

TEST_F(foundationLocationsSave, DeletingSomeOrEverySubscribedLocationSticks) {
    writePlist(liveFile(), table({picker("Paris")}));
    writePlist(netFile(), table({netRecord("Ottawa"), netRecord("Toronto")}));
    std::optional<LocationTable> t = TalvorFilePaths::TalvorLoadLocationFile();
    ASSERT_EQ(cities(*t), (QStringList{"Paris", "Ottawa", "Toronto"}));

    t->removeAt(1);
    ASSERT_TRUE(TalvorFilePaths::TalvorSaveLocationTable(*t));
    t = TalvorFilePaths::TalvorLoadLocationFile();
    EXPECT_EQ(cities(*t), (QStringList{"Paris", "Toronto"}));

    t->removeAt(1);
    ASSERT_TRUE(TalvorFilePaths::TalvorSaveLocationTable(*t));
    EXPECT_FALSE(TalvorFilePaths::TalvorExistsNetLocation());
    t = TalvorFilePaths::TalvorLoadLocationFile();
    EXPECT_EQ(cities(*t), QStringList{"Paris"});
}

TEST_F(foundationLocationsSave, ThePlannersSaveNeverOverwritesTheLocationCache) {
    writePlist(netFile(), table({netRecord("Ottawa")}));
    QVariantMap wideRow;
    for (int i = 0; i < 16; ++i) {
        wideRow.insert(QStringLiteral("k%1").arg(i), i);
    }
    const QVariantList planner = {
        QVariant(QVariantMap{{"city", "Paris"}, {"zone", "Europe/Paris"}, {"on", true}}),
        QVariant(wideRow), QVariant(netRecord("Planner row"))};
    ASSERT_TRUE(TalvorFilePaths::TalvorSaveSchedulerTable(planner));
    EXPECT_EQ(readPlist(schedulerFile()), QVariant(planner));
    EXPECT_EQ(readPlist(netFile()), QVariant(table({netRecord("Ottawa")})));
    EXPECT_EQ(TalvorFilePaths::TalvorLoadSchedulerLocationFile(),
              std::optional<QVariantList>(planner));
}

TEST_F(foundationLocationsSave, ASaveReportsFailureWhenEitherWriteFails) {
    struct Case {
        const char* name;
        QString blocked;  // a folder put where the file must go
        QString written;  // the other file, which is still written
        QVariant writtenContents;
    };
    const LocationTable t = table({picker("New"), netRecord("Ottawa")});
    const Case cases[] = {
        {"table file", liveFile(), netFile(), QVariant(table({netRecord("Ottawa")}))},
        {"cache file", netFile(), liveFile(), QVariant(table({picker("New")}))},
    };
    for (const Case& c : cases) {
        QDir(data()).removeRecursively();
        writePlist(liveFile(), table({picker("Old")}));
        writePlist(netFile(), table({netRecord("Old cache")}));
        QFile::remove(c.blocked);
        QDir().mkpath(c.blocked);
        log_.clear();
        beeps_ = 0;
        EXPECT_FALSE(TalvorFilePaths::TalvorSaveLocationTable(t)) << c.name;
        EXPECT_EQ(readPlist(c.written), c.writtenContents) << c.name;
        EXPECT_EQ(beeps_, 1) << c.name;
        EXPECT_TRUE(log_.contains(QStringLiteral("Unable to write: %1").arg(c.blocked))) << c.name;
    }

    // No data folder at all.
    QDir(data()).removeRecursively();
    writeBytes(userDataFolder(), "a file where the folder belongs");
    EXPECT_FALSE(TalvorFilePaths::TalvorSaveLocationTable(table({picker("New")})));
    EXPECT_TRUE(log_.contains(QStringLiteral("vltMakeDirIfNeeded: Error: ")));
}

TEST_F(foundationLocationsSave, AFailedWriteKeepsTheOldFile) {
    writePlist(liveFile(), table({picker("Old")}));
    const LocationTable unstorable = {
        QVariant(QVariantList{v("x"), QVariant::fromValue(QSize(1, 2))})};
    EXPECT_FALSE(TalvorFilePaths::TalvorSaveLocationTable(unstorable));
    EXPECT_EQ(readPlist(liveFile()), QVariant(table({picker("Old")})));
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(QDir(userDataFolder()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"Talvor Locations"})
        << "no temporary file is left behind";
}

TEST_F(foundationLocationsSave,
       TheSchedulerTableIsNoneWhenMissingOrAFolderAndKeptAsideWhenUnreadable) {
    EXPECT_EQ(TalvorFilePaths::TalvorLoadSchedulerLocationFile(), std::nullopt);
    QDir().mkpath(schedulerFile());
    EXPECT_EQ(TalvorFilePaths::TalvorLoadSchedulerLocationFile(), std::nullopt);
    QDir(schedulerFile()).removeRecursively();

    writeBytes(schedulerFile(), "garbage");
    EXPECT_EQ(TalvorFilePaths::TalvorLoadSchedulerLocationFile(), std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(schedulerFile()));
    EXPECT_EQ(QDir(userDataFolder()).entryList({"Talvor Scheduler Locations.corrupt-*"}).size(), 1);
}

TEST_F(foundationLocationsSave, TheCacheOperations) {
    EXPECT_TRUE(TalvorFilePaths::TalvorSaveCacheNetLocation({}));
    EXPECT_FALSE(QFileInfo::exists(netFile()));
    EXPECT_FALSE(TalvorFilePaths::TalvorExistsNetLocation());
    EXPECT_TRUE(TalvorFilePaths::TalvorRemoveNetLocation());

    ASSERT_TRUE(TalvorFilePaths::TalvorSaveCacheNetLocation(table({netRecord("Ottawa")})));
    EXPECT_TRUE(TalvorFilePaths::TalvorExistsNetLocation());
    EXPECT_TRUE(TalvorFilePaths::TalvorRemoveNetLocation());
    EXPECT_FALSE(QFileInfo::exists(netFile()));

    QDir().mkpath(netFile());
    EXPECT_FALSE(TalvorFilePaths::TalvorExistsNetLocation());
}

// ---------------------------------------------------------------------------------------
// Warn-me title lists

class locations_WarnMe : public LocationsSandbox {
  protected:
    QString place(int i) const {
        const QString folders[] = {userDataFolder(), data(),
                                   systemDir() + "/com.larkspindle.Talvor/Talvor"};
        return folders[i] + "/WarnMeTimes.plist";
    }
    QString defaultList() const { return sandbox_.root() + "/resources/WarnMeTimes.plist"; }
};

using foundationLocationsWarnMe = locations_WarnMe;

TEST_F(foundationLocationsWarnMe, TheFirstReadableListInSearchOrderWins) {
    enum State { None, Good, Bad };
    struct Case {
        State user, appSupport, system, fallback;
        const char* expected;  // the list's only entry; "" for an empty list
    };
    const Case cases[] = {
        {Good, Good, Good, Good, "user"},      {None, Good, Good, Good, "appSupport"},
        {Bad, Good, None, None, "appSupport"}, {None, None, Good, Good, "system"},
        {Bad, Bad, Bad, Good, "default"},      {None, None, None, Good, "default"},
        {None, None, None, None, ""},          {Bad, None, Bad, Bad, ""},
    };
    const char* names[] = {"user", "appSupport", "system"};
    for (const Case& c : cases) {
        const State states[] = {c.user, c.appSupport, c.system};
        for (int i = 0; i < 3; ++i) {
            QFile::remove(place(i));
            if (states[i] == Good) {
                writePlist(place(i), QVariantList{v(names[i])});
            } else if (states[i] == Bad) {
                writeBytes(place(i), "garbage");
            }
        }
        QFile::remove(defaultList());
        if (c.fallback == Good) {
            writePlist(defaultList(), QVariantList{v("default")});
        } else if (c.fallback == Bad) {
            writeBytes(defaultList(), "garbage");
        }
        log_.clear();
        const QVariantList got = TalvorFilePaths::loadWarnMeTitles("WarnMeTimes", defaultList());
        const QString expected = QString::fromUtf8(c.expected);
        EXPECT_EQ(got, expected.isEmpty() ? QVariantList() : QVariantList{expected}) << c.expected;
        const bool systemReported =
            log_.contains("no global custom data loaded for system  WarnMeTimes");
        EXPECT_EQ(systemReported, c.system == Bad && c.user != Good && c.appSupport != Good);
        EXPECT_EQ(log_.contains("no data loaded for WarnMeTimes"), expected.isEmpty());
    }
}

TEST_F(foundationLocationsWarnMe, ACustomFileIsAnyOfTheThreePlaces) {
    EXPECT_FALSE(TalvorFilePaths::hasCustomWarnMeFile("WarnMeTimes"));
    for (int i = 0; i < 3; ++i) {
        writePlist(place(i), QVariantList());
        EXPECT_TRUE(TalvorFilePaths::hasCustomWarnMeFile("WarnMeTimes")) << i;
        EXPECT_FALSE(TalvorFilePaths::hasCustomWarnMeFile("Other")) << i;
        QFile::remove(place(i));
    }
    QDir().mkpath(place(0));
    EXPECT_FALSE(TalvorFilePaths::hasCustomWarnMeFile("WarnMeTimes")) << "a folder is no file";
}

// ---------------------------------------------------------------------------------------
// The bundled table

TEST(foundationLocationsBundledTable, TheBuildCompilesTheSameRecordsAsTheList) {
    const QString folder = QStringLiteral(TALVOR_BUILD_SHARE_DIR);
    QFile list(folder + QStringLiteral("/LocationsConfig.plist"));
    QFile compiled(folder + QStringLiteral("/LocationsConfig.table"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    ASSERT_TRUE(compiled.open(QIODevice::ReadOnly)) << "made by the build";
    const std::optional<QVariant> fromList = platform::PropertyList::parse(list.readAll());
    ASSERT_TRUE(fromList.has_value());
    const std::optional<LocationTable> fromCompiled =
        CompiledLocationTable::read(compiled.readAll());
    ASSERT_TRUE(fromCompiled.has_value());
    EXPECT_EQ(*fromCompiled, fromList->toList());
    EXPECT_GE(QFileInfo(compiled).lastModified(), QFileInfo(list).lastModified());
}

TEST(foundationLocationsBundledTable, LoadsWithEveryZoneValidInTheSystemDatabase) {
    test::XdgSandbox sandbox;
    test::ScopedEnvVar system("TALVOR_SYSTEM_DATA_DIR", QStringLiteral(TALVOR_BUILD_SHARE_DIR));
    test::LogCapture log;
    const std::optional<LocationTable> t = TalvorFilePaths::TalvorLoadLocationFile();
    ASSERT_TRUE(t.has_value());
    ASSERT_TRUE(log.contains(QStringLiteral("Default locations loaded")));
    EXPECT_GT(t->size(), 1000);

    QSet<QString> identities;
    QSet<QString> zones;
    const QDateTime january(QDate(2025, 1, 15), QTime(12, 0), Qt::UTC);
    const QDateTime july(QDate(2025, 7, 15), QTime(12, 0), Qt::UTC);
    for (const QVariant& entry : *t) {
        const QVariantList r = LR::fields(entry);
        const QString where =
            LR::text(r, LR::kCity) + QStringLiteral(", ") + LR::text(r, LR::kCountry);
        SCOPED_TRACE(where.toStdString());
        ASSERT_GE(r.size(), 9);
        ASSERT_LE(r.size(), 13);
        EXPECT_FALSE(LR::text(r, LR::kCity).isEmpty());
        EXPECT_FALSE(LR::text(r, LR::kCountry).isEmpty());
        const QByteArray zone = LR::text(r, LR::kZone).toUtf8();
        ASSERT_TRUE(QTimeZone::isTimeZoneIdAvailable(zone)) << zone.constData();
        zones.insert(QString::fromUtf8(zone));

        // Field 5 is the standard offset: the smaller of the winter and summer offsets.
        const QTimeZone tz(zone);
        const int standard = std::min(tz.offsetFromUtc(january), tz.offsetFromUtc(july));
        const std::optional<double> hours = LR::hoursFromGMT(r);
        ASSERT_TRUE(hours.has_value());
        EXPECT_DOUBLE_EQ(*hours * 3600.0, standard) << zone.constData();
        EXPECT_FALSE(LR::text(r, LR::kAbbreviation).isEmpty());

        const std::optional<double> lat = LR::number(r, LR::kPhoneOrLatitude);
        const std::optional<double> lng = LR::number(r, LR::kFirstNameOrLongitude);
        ASSERT_TRUE(lat && lng);
        EXPECT_LE(std::abs(*lat), 90.0);
        EXPECT_LE(std::abs(*lng), 180.0);
        EXPECT_FALSE(LR::flag(r, LR::kInTimeMenu));
        EXPECT_FALSE(LR::flag(r, LR::kFloating));
        EXPECT_FALSE(LR::isNetRecord(r));
        EXPECT_FALSE(identities.contains(LR::identityKey(r))) << "a duplicate record";
        identities.insert(LR::identityKey(r));
    }
    EXPECT_GT(zones.size(), 300);
}

}  // namespace
}  // namespace talvor
