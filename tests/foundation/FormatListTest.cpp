#include "foundation/FormatComposer.h"
#include "foundation/FormatList.h"
#include "platform/Paths.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unicode/locid.h>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using Kind = FormatList::Kind;

QByteArray plistOf(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body +
           "\n</plist>\n";
}

QByteArray arrayOf(const QStringList& entries) {
    QByteArray body = "<array>";
    for (const QString& e : entries) {
        body += "<string>" + e.toHtmlEscaped().toUtf8() + "</string>";
    }
    return plistOf(body + "</array>");
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A user data folder and a system-wide folder of their own, English dates in UTC.
class FormatListFixture : public ::testing::Test {
  protected:
    FormatListFixture() {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
    }
    ~FormatListFixture() override {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(previousLocale, status);
    }
    static Date at(const char* iso) {
        return Date::fromQDateTime(QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate));
    }

    icu::Locale previousLocale = icu::Locale::getDefault();
    test::XdgSandbox sandbox;
    QTemporaryDir systemDir;
    test::ScopedEnvVar system{"TALVOR_SYSTEM_DATA_DIR", systemDir.path()};
    const QTimeZone utc = QTimeZone::utc();
};

using foundationFormatList = FormatListFixture;

TEST_F(foundationFormatList, ReadsTheUserCopyThenTheSystemOneThenTheBuiltInList) {
    const QStringList user = {QStringLiteral("HH:mm"), QStringLiteral("h a")};
    const QStringList shared = {QStringLiteral("hh:mm:ss a"), QStringLiteral("-----")};
    struct Case {
        const char* name;
        std::optional<QByteArray> userFile;
        std::optional<QByteArray> systemFile;
        QStringList expected;
        enum { User, System, BuiltIn } from;
    };
    const Case cases[] = {
        {"user copy first", arrayOf(user), arrayOf(shared), user, Case::User},
        {"no user copy", std::nullopt, arrayOf(shared), shared, Case::System},
        {"corrupt user copy", QByteArray("<plist><array><string>", 22), arrayOf(shared), shared,
         Case::System},
        {"user copy not an array", plistOf("<dict><key>a</key><string>HH:mm</string></dict>"),
         arrayOf(shared), shared, Case::System},
        {"user copy with a number",
         plistOf("<array><string>HH:mm</string><integer>3</integer></array>"), arrayOf(shared),
         shared, Case::System},
        {"empty user copy", arrayOf({}), arrayOf(shared), shared, Case::System},
        {"binary noise everywhere", QByteArray("\x00\x01\xff", 3), QByteArray("bplist00\x01", 9),
         FormatList::builtIn(Kind::Time), Case::BuiltIn},
        {"nothing at all", std::nullopt, std::nullopt, FormatList::builtIn(Kind::Time),
         Case::BuiltIn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(FormatList::userPath(Kind::Time));
        QFile::remove(FormatList::systemPath(Kind::Time));
        if (c.userFile) {
            ASSERT_TRUE(writeBytes(FormatList::userPath(Kind::Time), *c.userFile));
        }
        if (c.systemFile) {
            ASSERT_TRUE(writeBytes(FormatList::systemPath(Kind::Time), *c.systemFile));
        }
        const FormatList list = FormatList::load(Kind::Time);
        EXPECT_EQ(list.entries(), c.expected);
        const QString source[] = {FormatList::userPath(Kind::Time),
                                  FormatList::systemPath(Kind::Time), QString()};
        EXPECT_EQ(list.source(), source[c.from]);
    }
}

TEST_F(foundationFormatList, AFolderInPlaceOfTheFileCountsAsMissing) {
    ASSERT_TRUE(QDir().mkpath(FormatList::userPath(Kind::Date)));
    EXPECT_EQ(FormatList::readFile(FormatList::userPath(Kind::Date)), std::nullopt);
    EXPECT_EQ(FormatList::load(Kind::Date).entries(), FormatList::builtIn(Kind::Date));
}

TEST_F(foundationFormatList, TheShippedFilesHoldTheBuiltInLists) {
    for (Kind kind : {Kind::Time, Kind::Date}) {
        const QString shipped =
            QStringLiteral(TALVOR_SOURCE_RESOURCES "/") + FormatList::fileName(kind);
        EXPECT_EQ(FormatList::readFile(shipped), FormatList::builtIn(kind))
            << shipped.toStdString();
        // The defaults of the settings are in their lists.
        EXPECT_TRUE(FormatList::builtIn(kind).contains(
            kind == Kind::Time ? QStringLiteral("hh:mm:ss a") : QStringLiteral("EEE dd MMM")));
    }
}

TEST_F(foundationFormatList, IndexToPatternAndPatternToIndex) {
    const QStringList list = {QStringLiteral("HH:mm"), QStringLiteral("-----"),
                              QStringLiteral("h:mm a")};
    struct Translate {
        int index;
        QStringList list;
        QString expected;
    };
    const QString fallback = QStringLiteral("hh:mm:ss a");
    for (const Translate& c : std::initializer_list<Translate>{
             {0, list, QStringLiteral("HH:mm")},
             {2, list, QStringLiteral("h:mm a")},
             {1, list, QStringLiteral("-----")},
             {3, list, QStringLiteral("HH:mm")},  // one past the end: the first entry
             {99, list, QStringLiteral("HH:mm")},
             {-1, list, fallback},
             {0, {}, fallback},  // an emptied list never reads out of range
         }) {
        EXPECT_EQ(FormatList::translateDateFormatStr(c.index, c.list, fallback), c.expected)
            << c.index;
    }
    struct Select {
        QString pattern;
        QStringList list;
        std::optional<int> expected;
    };
    for (const Select& c : std::initializer_list<Select>{
             {QStringLiteral("h:mm a"), list, 2},
             {QStringLiteral("HH:mm"), list + QStringList{QStringLiteral("HH:mm")}, 0},
             {QStringLiteral("yyyy"), list, 2},  // not in the list: the last item
             {QString(), list, 2},
             {QStringLiteral("HH:mm"), {}, std::nullopt},
         }) {
        EXPECT_EQ(FormatList::indexOfPattern(c.list, c.pattern), c.expected)
            << c.pattern.toStdString();
    }
    const QStringList separators = {QStringLiteral("a"), QStringLiteral("-"), QStringLiteral("--"),
                                    QStringLiteral("b")};
    EXPECT_EQ(FormatList::nearestPattern(separators, 1), 3);
    EXPECT_EQ(FormatList::nearestPattern(separators, 0), 0);
    EXPECT_EQ(FormatList::nearestPattern({QStringLiteral("a"), QStringLiteral("-")}, 1), 0);
    EXPECT_EQ(FormatList::nearestPattern({QStringLiteral("-")}, 0), std::nullopt);
}

TEST_F(foundationFormatList, EntriesRenderAsThePopUpShowsThem) {
    const Date now = at("2026-05-15T15:04:05Z");  // a Friday
    struct Case {
        Kind kind;
        QString entry;
        QString expected;
    };
    for (const Case& c : std::initializer_list<Case>{
             {Kind::Time, QStringLiteral("HH:mm"), QStringLiteral("15:04")},
             {Kind::Time, QStringLiteral("-----"), QStringLiteral("-----")},
             {Kind::Time, QStringLiteral("h 'PM.'"), QStringLiteral("3 p.m.")},
             // The time list formats a composite whole.
             {Kind::Time, QStringLiteral("d$*&"), QStringLiteral("15$*&")},
             {Kind::Date, QStringLiteral("EEEE$*&, $*&d$*&"), QStringLiteral("Friday, 15")},
             {Kind::Date, QStringLiteral("EEE dd MMM"), QStringLiteral("Fri 15 May")},
             // A piece outside the recognised patterns is literal, even with pattern letters.
             {Kind::Date, QStringLiteral("Week $*&w$*&"), QStringLiteral("Week 20")},
             {Kind::Date, QStringLiteral("dd MMM$*&"), QStringLiteral("dd MMM")},
             {Kind::Date, QStringLiteral("----- $*&"), QStringLiteral("----- $*&")},
         }) {
        EXPECT_EQ(renderFormatEntry(c.kind, c.entry, now, utc), c.expected)
            << c.entry.toStdString();
    }
    EXPECT_EQ(formatArr().size(), 31);
}

TEST_F(foundationFormatList, ChangesAreWrittenToTheUserCopyOnly) {
    const QStringList shared = {QStringLiteral("HH:mm"), QStringLiteral("-----"),
                                QStringLiteral("h:mm a")};
    ASSERT_TRUE(writeBytes(FormatList::systemPath(Kind::Time), arrayOf(shared)));
    const QByteArray systemBytes = readBytes(FormatList::systemPath(Kind::Time));
    QFile::setPermissions(systemDir.path(), QFile::ReadOwner | QFile::ExeOwner);

    FormatList list = FormatList::load(Kind::Time);
    ASSERT_TRUE(list.add(QStringLiteral("k:mm")));
    EXPECT_EQ(list.entries(), shared + QStringList{QStringLiteral("k:mm")});
    EXPECT_EQ(list.source(), FormatList::userPath(Kind::Time));
    ASSERT_TRUE(list.remove(0));
    EXPECT_EQ(
        FormatList::load(Kind::Time).entries(),
        (QStringList{QStringLiteral("-----"), QStringLiteral("h:mm a"), QStringLiteral("k:mm")}));
    EXPECT_EQ(readBytes(FormatList::systemPath(Kind::Time)), systemBytes);
    QFile::setPermissions(systemDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(foundationFormatList, AFailedWriteKeepsTheOldList) {
    FormatList list = FormatList::load(Kind::Date);
    const QStringList before = list.entries();
    // A file where the data folder should be: nothing can be written below it.
    QDir(platform::Paths::dataDir()).removeRecursively();
    ASSERT_TRUE(writeBytes(platform::Paths::dataDir(), "not a folder"));
    QString why;
    EXPECT_FALSE(list.add(QStringLiteral("yyyy$*&"), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(list.remove(0));
    EXPECT_EQ(list.entries(), before);
    EXPECT_EQ(list.source(), QString());
}

TEST_F(foundationFormatList, RemovingNeverEmptiesTheListOfPatterns) {
    ASSERT_TRUE(writeBytes(
        FormatList::userPath(Kind::Time),
        arrayOf({QStringLiteral("HH:mm"), QStringLiteral("-----"), QStringLiteral("h a")})));
    FormatList list = FormatList::load(Kind::Time);
    EXPECT_FALSE(list.remove(3));
    EXPECT_FALSE(list.remove(-1));
    EXPECT_TRUE(list.remove(2));  // the last entry
    EXPECT_TRUE(list.remove(1));  // a separator may go
    QString why;
    EXPECT_FALSE(list.remove(0, &why)) << "the last pattern stays";
    EXPECT_EQ(list.entries(), QStringList{QStringLiteral("HH:mm")});
    EXPECT_FALSE(list.add(QStringLiteral("---")));
    EXPECT_FALSE(list.add(QString()));
    EXPECT_EQ(FormatList::load(Kind::Time).entries(), QStringList{QStringLiteral("HH:mm")});
}

// Composing: each token keeps the pattern it was made with, whatever it shows.
class foundationFormatComposer : public FormatListFixture {
  protected:
    static TokenString token(const QString& shows, const QString& pattern) {
        return TokenString{shows, 0, 1, pattern};
    }
};

TEST_F(foundationFormatComposer, TimeTokensComposeObjectByObject) {
    struct Case {
        const char* name;
        QList<FormatObject> objects;
        QString expected;
    };
    const Case cases[] = {
        {"hour, typed colon, minute",
         {token("3", "h"), QStringLiteral(":"), token("5", "m")},
         QStringLiteral("h:m")},
        // At 03:03 the hour and the minute both show "3".
        {"same shown text",
         {token("3", "h"), QStringLiteral(":"), token("3", "mm")},
         QStringLiteral("h:mm")},
        // A zone "GMT+1" and an hour "1": no text of one token reaches into another.
        {"overlapping samples",
         {token("GMT+1", "z"), QStringLiteral(" "), token("1", "h")},
         QStringLiteral("z h")},
        {"typed letters act as letters; commas and quotes go",
         {token("3", "h"), QStringLiteral(" a,'")},
         QStringLiteral("h a")},
        {"a token of no pattern adds nothing",
         {token("?", ""), token("3", "h")},
         QStringLiteral("h")},
        {"nothing", {}, QString()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(composeTimePattern(c.objects), c.expected) << c.name;
    }
    const Date now = at("2026-05-15T03:03:07Z");
    EXPECT_EQ(previewTimePattern(QStringLiteral("h:mm"), now, utc), QStringLiteral("3:03"));
    EXPECT_EQ(previewTimePattern(QStringLiteral("h a"), now, utc), QStringLiteral("3 AM"));
    EXPECT_EQ(previewTimePattern(QStringLiteral("'%'h"), now, utc), QStringLiteral("3"));
}

TEST_F(foundationFormatComposer, DateTokensComposeIntoPiecesAndPreview) {
    const Date now = at("2026-05-15T12:00:00Z");  // Friday 15 May 2026
    struct Case {
        const char* name;
        QList<FormatObject> objects;
        QString composed;
        QString preview;
    };
    const Case cases[] = {
        {"weekday, comma and blank, year",
         {token("Friday", "EEEE"), QStringLiteral(", "), token("2026", "yyyy")},
         QStringLiteral("EEEE$*&, $*&yyyy$*&"),
         QStringLiteral("Friday, 2026")},
        {"typed text equal to a pattern is rendered",
         {QStringLiteral("MMM")},
         QStringLiteral("MMM$*&"),
         QStringLiteral("May")},
        {"a token of no pattern adds nothing",
         {token("x", ""), QStringLiteral("[ ")},
         QStringLiteral("[ $*&"),
         QStringLiteral("[")},
        // In May "May" is the sample of both "MMMM" and "MMM": the token keeps "MMMM".
        {"same shown text",
         {token("May", "MMMM"), QStringLiteral(" "), token("15", "d")},
         QStringLiteral("MMMM$*& $*&d$*&"),
         QStringLiteral("May 15")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(composeDatePattern(c.objects), c.composed);
        EXPECT_EQ(previewDatePattern(c.composed, now, utc), c.preview);
    }
}

TEST_F(foundationFormatComposer, SourcesShowTheirSamplesAndOfferTheirAlternatives) {
    const Date now = at("2026-10-15T03:03:07Z");
    const std::vector<FormatTokenSource> time = timeTokenSources(now, utc);
    ASSERT_EQ(time.size(), 6u);
    EXPECT_EQ(time[0].id, QStringLiteral("hour"));
    EXPECT_EQ(time[0].alternatives.size(), 8u);
    EXPECT_EQ(time[0].alternatives[1].title, QStringLiteral("01-12"));
    EXPECT_EQ(time[0].alternatives[1].pattern, QStringLiteral("hh"));
    EXPECT_EQ(time[1].token(QStringLiteral("AM")).hasMenu, 0);
    EXPECT_EQ(time[2].token(QStringLiteral("3")).pattern, QStringLiteral("m"));
    EXPECT_EQ(time[2].token(QStringLiteral("3")).MenuType, 9);
    const std::vector<FormatTokenSource> date = dateTokenSources(now, utc);
    ASSERT_EQ(date.size(), 10u);
    // October: "M" and "MM" both show "10", and keep apart.
    const auto& month = date[2].alternatives;
    EXPECT_EQ(month[3].title, month[4].title);
    EXPECT_NE(month[3].pattern, month[4].pattern);
    EXPECT_EQ(date[5].menuType, -1);
}

}  // namespace
}  // namespace talvor
