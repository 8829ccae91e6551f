#include "platform/KeyedArchiver.h"
#include "platform/PropertyList.h"
#include "support/BinaryPlistBytes.h"
#include "support/QtPrinters.h"

#include <QColor>
#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using namespace talvor;
using platform::KeyedArchiver;
using platform::KeyedUnarchiver;
namespace PL = platform::PropertyList;

struct Bell {
    QString name;
    qint32 volume = 0;

    static QString archiveClassName() { return QStringLiteral("TestBell"); }
    void encodeWithCoder(KeyedArchiver& coder) const {
        coder.encodeString(QStringLiteral("name"), name);
        coder.encodeInt32(QStringLiteral("volume"), volume);
    }
    // A bell without a name is refused, as a model refuses an incomplete record.
    static std::optional<Bell> initWithCoder(const KeyedUnarchiver& coder) {
        if (!coder.containsValueForKey(QStringLiteral("name"))) {
            return std::nullopt;
        }
        return Bell{coder.decodeString(QStringLiteral("name")),
                    coder.decodeInt32(QStringLiteral("volume"))};
    }
    bool operator==(const Bell&) const = default;
};

struct Alarm {
    bool enabled = false;
    qint32 snoozeCount = 0;
    qint64 serial = 0;
    float ratio = 0;
    double interval = 0;
    QString title;
    QByteArray sound;
    std::optional<Date> fireDate;
    QVariant extra;
    std::optional<Bell> bell;
    QList<Bell> chimes;

    static QString archiveClassName() { return QStringLiteral("TestAlarm"); }
    void encodeWithCoder(KeyedArchiver& coder) const {
        coder.encodeBool(QStringLiteral("enabled"), enabled);
        coder.encodeInt32(QStringLiteral("snoozeCount"), snoozeCount);
        coder.encodeInt64(QStringLiteral("serial"), serial);
        coder.encodeFloat(QStringLiteral("ratio"), ratio);
        coder.encodeDouble(QStringLiteral("interval"), interval);
        coder.encodeString(QStringLiteral("title"), title);
        coder.encodeData(QStringLiteral("sound"), sound);
        if (fireDate) {
            coder.encodeDate(QStringLiteral("fireDate"), *fireDate);
        }
        coder.encodeValue(QStringLiteral("extra"), extra);
        if (bell) {
            coder.encodeObject(QStringLiteral("bell"), *bell);
        }
        coder.encodeObjects(QStringLiteral("chimes"), chimes);
    }
    static std::optional<Alarm> initWithCoder(const KeyedUnarchiver& coder) {
        Alarm a;
        a.enabled = coder.decodeBool(QStringLiteral("enabled"));
        a.snoozeCount = coder.decodeInt32(QStringLiteral("snoozeCount"));
        a.serial = coder.decodeInt64(QStringLiteral("serial"));
        a.ratio = coder.decodeFloat(QStringLiteral("ratio"));
        a.interval = coder.decodeDouble(QStringLiteral("interval"));
        a.title = coder.decodeString(QStringLiteral("title"));
        a.sound = coder.decodeData(QStringLiteral("sound"));
        a.fireDate = coder.decodeDate(QStringLiteral("fireDate"));
        a.extra = coder.decodeValue(QStringLiteral("extra"));
        a.bell = coder.decodeObject<Bell>(QStringLiteral("bell"));
        a.chimes = coder.decodeObjects<Bell>(QStringLiteral("chimes"));
        return a;
    }
    bool operator==(const Alarm&) const = default;
};

// An object holding another of its kind, `depth` levels down.
struct Chain {
    int depth = 0;

    static QString archiveClassName() { return QStringLiteral("TestChain"); }
    void encodeWithCoder(KeyedArchiver& coder) const {
        if (depth > 0) {
            coder.encodeObject(QStringLiteral("next"), Chain{depth - 1});
        }
    }
    static std::optional<Chain> initWithCoder(const KeyedUnarchiver& coder) {
        if (!coder.containsValueForKey(QStringLiteral("next"))) {
            return Chain{0};
        }
        const std::optional<Chain> next = coder.decodeObject<Chain>(QStringLiteral("next"));
        return next ? std::optional<Chain>(Chain{next->depth + 1}) : std::nullopt;
    }
};

Alarm fullAlarm() {
    Alarm a;
    a.enabled = true;
    a.snoozeCount = std::numeric_limits<qint32>::min();
    a.serial = std::numeric_limits<qint64>::max();
    a.ratio = 0.1f;
    a.interval = -1234.5678901234567;
    a.title = QStringLiteral("Wake up ⏰ 😀");
    a.sound = QByteArray("\x00\xff\x10", 3);
    a.fireDate = Date::fromQDateTime(
        QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 250), QTimeZone::utc()));
    a.extra = QVariantMap{{QStringLiteral("days"), QVariantList{qint64{1}, qint64{5}}},
                          {QStringLiteral("flag"), false}};
    a.bell = Bell{QStringLiteral("Brass"), 70};
    a.chimes = {Bell{QStringLiteral("One"), 1}, Bell{QStringLiteral("Two"), -2}};
    return a;
}

KeyedUnarchiver coderFor(const KeyedArchiver& archiver) {
    return KeyedUnarchiver::fromData(archiver.archivedData()).value();
}

// --- round trips -----------------------------------------------------------------------

TEST(platformKeyedArchiver, ObjectsRoundTripWithEveryValueKind) {
    const Alarm alarm = fullAlarm();
    const QByteArray data = KeyedArchiver::archivedDataWithRootObject(alarm);

    const std::optional<Alarm> back = KeyedUnarchiver::unarchiveObjectWithData<Alarm>(data);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, alarm);

    // Also the empty and absent values an object may hold.
    const std::optional<Alarm> empty = KeyedUnarchiver::unarchiveObjectWithData<Alarm>(
        KeyedArchiver::archivedDataWithRootObject(Alarm{}));
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, Alarm{});
}

TEST(platformKeyedArchiver, ArchiveIsABinaryPlistOfClassTaggedDictionaries) {
    const QByteArray data = KeyedArchiver::archivedDataWithRootObject(fullAlarm());
    ASSERT_TRUE(data.startsWith("bplist00"));
    const QVariantMap root = PL::parse(data)->toMap();

    EXPECT_EQ(root.value(QStringLiteral("$class")), QVariant(QStringLiteral("TestAlarm")));
    EXPECT_EQ(root.value(QStringLiteral("bell")),
              QVariant(QVariantMap{{QStringLiteral("$class"), QStringLiteral("TestBell")},
                                   {QStringLiteral("name"), QStringLiteral("Brass")},
                                   {QStringLiteral("volume"), qint64{70}}}));
    const QVariantList chimes = root.value(QStringLiteral("chimes")).toList();
    ASSERT_EQ(chimes.size(), 2);
    EXPECT_EQ(chimes[1].toMap().value(QStringLiteral("$class")),
              QVariant(QStringLiteral("TestBell")));
    // 32-bit widths are stored as plain integers and reals.
    EXPECT_EQ(root.value(QStringLiteral("snoozeCount")).typeId(), QMetaType::LongLong);
    EXPECT_EQ(root.value(QStringLiteral("ratio")).typeId(), QMetaType::Double);
    EXPECT_EQ(root.value(QStringLiteral("enabled")).typeId(), QMetaType::Bool);
    EXPECT_EQ(root.value(QStringLiteral("fireDate")).typeId(), QMetaType::QDateTime);
}

TEST(platformKeyedArchiver, DatesKeepMillisecondsAcrossTheYearRange) {
    struct Case {
        double in;
        double out;
    };
    const double ms = 0.001;
    const Case cases[] = {
        {0, 0},
        {739000000.123, 739000000.123},
        {-0.5, -0.5},                                      // just before the reference date
        {-3155760000.0 + 7 * ms, -3155760000.0 + 7 * ms},  // 1901
        {31556952000.0, 31556952000.0},                    // the year 3001
        {100.0004, 100.0},                                 // below a millisecond
        {std::numeric_limits<double>::infinity(), 252423993599.0},  // clamped to 9999
        {-1e300, -63113904000.0},                                   // clamped to the year 1
    };
    for (const Case& c : cases) {
        KeyedArchiver archiver(QStringLiteral("D"));
        archiver.encodeDate(QStringLiteral("d"), Date::fromReference(c.in));
        const std::optional<Date> back = coderFor(archiver).decodeDate(QStringLiteral("d"));
        ASSERT_TRUE(back) << c.in;
        EXPECT_NEAR(back->timeIntervalSinceReferenceDate(), c.out, 1e-6) << c.in;
    }
    KeyedArchiver archiver(QStringLiteral("D"));
    archiver.encodeDate(QStringLiteral("d"), Date::fromReference(std::nan("")));
    EXPECT_FALSE(coderFor(archiver).containsValueForKey(QStringLiteral("d")));
}

TEST(platformKeyedArchiver, NestingCanGoDeepButNotBeyondWhatCanBeReadBack) {
    const std::optional<Chain> fifty = KeyedUnarchiver::unarchiveObjectWithData<Chain>(
        KeyedArchiver::archivedDataWithRootObject(Chain{50}));
    ASSERT_TRUE(fifty);
    EXPECT_EQ(fifty->depth, 50);

    const QByteArray tooDeep = KeyedArchiver::archivedDataWithRootObject(Chain{5000});
    EXPECT_TRUE(tooDeep.isEmpty());
    EXPECT_FALSE(KeyedUnarchiver::unarchiveObjectWithData<Chain>(tooDeep));
}

// --- decoding semantics ----------------------------------------------------------------

TEST(platformKeyedArchiver, AbsentKeysReadAsEmpty) {
    const KeyedUnarchiver coder = coderFor(KeyedArchiver(QStringLiteral("Nothing")));
    const QString key = QStringLiteral("missing");
    EXPECT_EQ(coder.className(), QStringLiteral("Nothing"));
    EXPECT_FALSE(coder.containsValueForKey(key));
    EXPECT_FALSE(coder.decodeBool(key));
    EXPECT_EQ(coder.decodeInt32(key), 0);
    EXPECT_EQ(coder.decodeInt64(key), 0);
    EXPECT_EQ(coder.decodeFloat(key), 0.0f);
    EXPECT_EQ(coder.decodeDouble(key), 0.0);
    EXPECT_TRUE(coder.decodeString(key).isNull());
    EXPECT_TRUE(coder.decodeData(key).isNull());
    EXPECT_FALSE(coder.decodeDate(key));
    EXPECT_FALSE(coder.decodeValue(key).isValid());
    EXPECT_FALSE(coder.decodeObject<Bell>(key));
    EXPECT_TRUE(coder.decodeObjects<Bell>(key).isEmpty());
}

TEST(platformKeyedArchiver, ValuesOfAnotherTypeReadAsAbsent) {
    // What each decoder reads from a value of each stored type; reals widen integers.
    struct Row {
        const char* key;
        QVariant stored;
        bool b;
        qint64 i;
        double d;
        QString s;
        QByteArray data;
        bool date;
    };
    const QDateTime when(QDate(2020, 1, 1), QTime(), QTimeZone::utc());
    const Row rows[] = {
        {"bool", true, true, 0, 0, {}, {}, false},
        {"int", qint64{7}, false, 7, 7.0, {}, {}, false},
        {"one", qint64{1}, false, 1, 1.0, {}, {}, false},
        {"real", 2.75, false, 0, 2.75, {}, {}, false},
        {"string", QStringLiteral("7"), false, 0, 0, QStringLiteral("7"), {}, false},
        {"data", QByteArray("7"), false, 0, 0, {}, QByteArray("7"), false},
        {"date", when, false, 0, 0, {}, {}, true},
        {"list", QVariantList{true}, false, 0, 0, {}, {}, false},
        {"map", QVariantMap{{QStringLiteral("a"), true}}, false, 0, 0, {}, {}, false},
    };
    KeyedArchiver archiver(QStringLiteral("Mixed"));
    for (const Row& r : rows) {
        ASSERT_TRUE(archiver.encodeValue(QLatin1String(r.key), r.stored)) << r.key;
    }
    const KeyedUnarchiver coder = coderFor(archiver);
    for (const Row& r : rows) {
        const QString key = QLatin1String(r.key);
        EXPECT_TRUE(coder.containsValueForKey(key)) << r.key;
        EXPECT_EQ(coder.decodeBool(key), r.b) << r.key;
        EXPECT_EQ(coder.decodeInt32(key), r.i) << r.key;
        EXPECT_EQ(coder.decodeInt64(key), r.i) << r.key;
        EXPECT_EQ(coder.decodeDouble(key), r.d) << r.key;
        EXPECT_EQ(coder.decodeFloat(key), static_cast<float>(r.d)) << r.key;
        EXPECT_EQ(coder.decodeString(key), r.s) << r.key;
        EXPECT_EQ(coder.decodeData(key), r.data) << r.key;
        EXPECT_EQ(coder.decodeDate(key).has_value(), r.date) << r.key;
        EXPECT_EQ(coder.decodeValue(key), PL::normalized(r.stored)) << r.key;
        EXPECT_FALSE(coder.decodeObject<Bell>(key)) << r.key;
        EXPECT_TRUE(coder.decodeObjects<Bell>(key).isEmpty()) << r.key;
    }
}

TEST(platformKeyedArchiver, NarrowDecodersHandleValuesBeyondTheirRange) {
    constexpr qint64 kMax = std::numeric_limits<qint32>::max();
    constexpr qint64 kMin = std::numeric_limits<qint32>::min();
    const float inf = std::numeric_limits<float>::infinity();
    KeyedArchiver archiver(QStringLiteral("Wide"));
    archiver.encodeInt64(QStringLiteral("max"), kMax);
    archiver.encodeInt64(QStringLiteral("min"), kMin);
    archiver.encodeInt64(QStringLiteral("above"), kMax + 1);
    archiver.encodeInt64(QStringLiteral("below"), kMin - 1);
    archiver.encodeInt64(QStringLiteral("huge"), std::numeric_limits<qint64>::min());
    archiver.encodeDouble(QStringLiteral("big"), 1e300);
    archiver.encodeDouble(QStringLiteral("-big"), -1e300);
    archiver.encodeDouble(QStringLiteral("nan"), std::nan(""));
    const KeyedUnarchiver coder = coderFor(archiver);

    // An int32 out of range is not an int32: it reads as absent, not saturated.
    EXPECT_EQ(coder.decodeInt32(QStringLiteral("max")), kMax);
    EXPECT_EQ(coder.decodeInt32(QStringLiteral("min")), kMin);
    EXPECT_EQ(coder.decodeInt32(QStringLiteral("above")), 0);
    EXPECT_EQ(coder.decodeInt32(QStringLiteral("below")), 0);
    EXPECT_EQ(coder.decodeInt32(QStringLiteral("huge")), 0);
    EXPECT_EQ(coder.decodeInt64(QStringLiteral("above")), kMax + 1);
    EXPECT_EQ(coder.decodeFloat(QStringLiteral("big")), inf);
    EXPECT_EQ(coder.decodeFloat(QStringLiteral("-big")), -inf);
    EXPECT_TRUE(std::isnan(coder.decodeFloat(QStringLiteral("nan"))));
}

TEST(platformKeyedArchiver, ObjectsAreMatchedByClassName) {
    const QByteArray alarmData = KeyedArchiver::archivedDataWithRootObject(fullAlarm());
    EXPECT_FALSE(KeyedUnarchiver::unarchiveObjectWithData<Bell>(alarmData));

    KeyedArchiver archiver(QStringLiteral("Box"));
    archiver.encodeObject(QStringLiteral("alarm"), Alarm{});
    archiver.encodeObject(QStringLiteral("bell"), Bell{QStringLiteral("b"), 1});
    const QVariantMap bellLike{{QStringLiteral("$class"), QStringLiteral("TestBell")},
                               {QStringLiteral("name"), QStringLiteral("by hand")}};
    // Only elements that are bells, and that a bell accepts, come back.
    archiver.encodeValue(
        QStringLiteral("mixed"),
        QVariantList{bellLike, QVariantMap{{QStringLiteral("$class"), QStringLiteral("TestAlarm")}},
                     QVariantMap{{QStringLiteral("name"), QStringLiteral("no class")}},
                     QVariantMap{{QStringLiteral("$class"), qint64{3}}},
                     QVariantMap{{QStringLiteral("$class"), QStringLiteral("TestBell")}},
                     QStringLiteral("TestBell"), bellLike});
    const KeyedUnarchiver coder = coderFor(archiver);

    EXPECT_FALSE(coder.decodeObject<Bell>(QStringLiteral("alarm")));
    EXPECT_FALSE(coder.decodeObject<Alarm>(QStringLiteral("bell")));
    EXPECT_EQ(coder.decodeObject<Bell>(QStringLiteral("bell")), (Bell{QStringLiteral("b"), 1}));
    EXPECT_EQ(
        coder.decodeObjects<Bell>(QStringLiteral("mixed")),
        (QList<Bell>{Bell{QStringLiteral("by hand"), 0}, Bell{QStringLiteral("by hand"), 0}}));
    EXPECT_EQ(coder.decodeObjects<Alarm>(QStringLiteral("mixed")).size(), 1);
}

TEST(platformKeyedArchiver, UnstorableValuesAndTheClassKeyAreLeftOut) {
    KeyedArchiver archiver(QStringLiteral("Kept"));
    EXPECT_FALSE(archiver.encodeValue(QStringLiteral("colour"), QColor(Qt::red)));
    EXPECT_FALSE(archiver.encodeValue(QStringLiteral("list"), QVariantList{1, QColor(Qt::red)}));
    EXPECT_FALSE(archiver.encodeValue(QStringLiteral("$class"), QStringLiteral("Other")));
    archiver.encodeString(QStringLiteral("$class"), QStringLiteral("Other"));
    archiver.encodeString(QStringLiteral("nul"), QStringLiteral("a") + QChar(0));
    archiver.encodeInt32(QStringLiteral("kept"), 5);
    archiver.encodeInt32(QStringLiteral("kept"), 6);  // the last value wins
    const KeyedUnarchiver coder = coderFor(archiver);

    EXPECT_EQ(coder.className(), QStringLiteral("Kept"));
    EXPECT_FALSE(coder.containsValueForKey(QStringLiteral("colour")));
    EXPECT_FALSE(coder.containsValueForKey(QStringLiteral("list")));
    EXPECT_FALSE(coder.containsValueForKey(QStringLiteral("nul")));
    EXPECT_EQ(coder.decodeInt32(QStringLiteral("kept")), 6);
}

// --- bad input -------------------------------------------------------------------------

TEST(platformKeyedArchiver, DataThatIsNotAnArchiveIsRefusedWithAnError) {
    const QVariantMap archiveMap{{QStringLiteral("$class"), QStringLiteral("TestBell")},
                                 {QStringLiteral("name"), QStringLiteral("x")}};
    auto binary = [](const QVariant& v) { return *PL::serialize(v, PL::Format::Binary); };
    struct Case {
        const char* name;
        QByteArray data;
    };
    const Case cases[] = {
        {"empty", QByteArray()},
        {"text", "not an archive at all"},
        // Our archives are binary: the same dictionary as XML is refused.
        {"xml", *PL::serialize(archiveMap, PL::Format::Xml)},
        {"array root", binary(QVariantList{archiveMap})},
        {"string root", binary(QStringLiteral("TestBell"))},
        {"no class", binary(QVariantMap{{QStringLiteral("name"), QStringLiteral("x")}})},
        {"class not a string", binary(QVariantMap{{QStringLiteral("$class"), qint64{1}}})},
        {"empty class", binary(QVariantMap{{QStringLiteral("$class"), QString()}})},
        {"damaged", binary(archiveMap).left(20) + QByteArray(40, '\xff')},
    };
    ASSERT_TRUE(KeyedUnarchiver::fromData(binary(archiveMap)));
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(KeyedUnarchiver::fromData(c.data, &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
        EXPECT_FALSE(KeyedUnarchiver::unarchiveObjectWithData<Bell>(c.data)) << c.name;
    }
}

TEST(platformKeyedArchiver, EveryTruncationOfAnArchiveIsRefused) {
    const QByteArray data = KeyedArchiver::archivedDataWithRootObject(fullAlarm());
    for (qsizetype n = 0; n < data.size(); ++n) {
        QString error;
        EXPECT_FALSE(KeyedUnarchiver::fromData(data.left(n), &error)) << n;
        EXPECT_FALSE(error.isEmpty()) << n;
    }
}

TEST(platformKeyedArchiver, RandomAndDamagedBytesNeverCrash) {
    const QByteArray archive = KeyedArchiver::archivedDataWithRootObject(fullAlarm());
    std::mt19937 rng(424242);
    for (int i = 0; i < 4000; ++i) {
        QByteArray data;
        if (i % 2 == 0) {
            data = archive;
            const int edits = 1 + static_cast<int>(rng() % 3);
            for (int e = 0; e < edits; ++e) {
                data[static_cast<qsizetype>(rng() % data.size())] = static_cast<char>(rng());
            }
        } else {
            data = "bplist00";
            const int length = static_cast<int>(rng() % 120);
            for (int k = 0; k < length; ++k) {
                data.append(static_cast<char>(rng()));
            }
        }
        QString error;
        const std::optional<KeyedUnarchiver> coder = KeyedUnarchiver::fromData(data, &error);
        EXPECT_TRUE(coder ? !coder->className().isEmpty() : !error.isEmpty());
        KeyedUnarchiver::unarchiveObjectWithData<Alarm>(data);
    }
}

TEST(platformKeyedArchiver, DeepOrSelfReferencingArchivesAreRefused) {
    using test::bplistContainer;
    using test::bplistObject;
    auto build = [](int depth, bool cyclic) {
        // Dictionaries 0..depth-1, each holding the next (the last one the first when
        // cyclic), then the strings they share.
        const quint64 classKey = depth, nextKey = depth + 1, name = depth + 2;
        QList<QByteArray> objects;
        for (int i = 0; i < depth; ++i) {
            const bool last = i + 1 == depth;
            if (last && !cyclic) {
                objects.append(bplistContainer(0xd0, {classKey, name}, 4));
            } else {
                const quint64 next = last ? 0 : quint64(i + 1);
                objects.append(bplistContainer(0xd0, {classKey, nextKey, name, next}, 4));
            }
        }
        objects.append(bplistObject(0x50, 6, "$class"));
        objects.append(bplistObject(0x50, 4, "next"));
        objects.append(bplistObject(0x50, 9, "TestChain"));
        return test::binaryPlist(objects, 4);
    };

    const std::optional<Chain> ten =
        KeyedUnarchiver::unarchiveObjectWithData<Chain>(build(10, false));
    ASSERT_TRUE(ten);
    EXPECT_EQ(ten->depth, 9);
    for (const QByteArray& data : {build(200000, false), build(3, true)}) {
        QString error;
        EXPECT_FALSE(KeyedUnarchiver::fromData(data, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(KeyedUnarchiver::unarchiveObjectWithData<Chain>(data));
    }
}

}  // namespace
