#include "foundation/DictionaryExtras.h"
#include "foundation/FileManagerExtras.h"
#include "foundation/LoadVCAL.h"
#include "foundation/NumberOrdinals.h"
#include "foundation/StringsBundle.h"
#include "foundation/TalvorPlugin.h"
#include "foundation/TalvorRunCommand.h"
#include "foundation/TalvorURL.h"
#include "platform/Log.h"
#include "platform/Menu.h"
#include "platform/PropertyList.h"
#include "support/FakeClock.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace talvor {
namespace {

void writeFile(const QString& path, const QByteArray& content = {}) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(content);
}

TEST(foundationUniqueFile, SkipsTakenNamesInOrderAndClaimsTheOneItGives) {
    QTemporaryDir dir;
    const test::FakeClock clock(Date::fromReference(1234.7));
    writeFile(dir.filePath("12340.ics"));
    writeFile(dir.filePath("12341.ics"));
    EXPECT_EQ(FileManagerExtras::uniqueFileInDirectory(dir.path(), "ics", clock),
              dir.filePath("12342.ics"));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("12342.ics")));
    // The name given is taken, so the next caller gets another.
    EXPECT_EQ(FileManagerExtras::uniqueFileInDirectory(dir.path(), "ics", clock),
              dir.filePath("12343.ics"));
}

TEST(foundationUniqueFile, NoNameWhenAllHundredAreTakenOrTheFolderIsMissing) {
    QTemporaryDir dir;
    const test::FakeClock clock(Date::fromReference(50));
    for (int i = 0; i < 100; ++i) {
        writeFile(dir.filePath(QStringLiteral("50%1.txt").arg(i)));
    }
    EXPECT_EQ(FileManagerExtras::uniqueFileInDirectory(dir.path(), "txt", clock), std::nullopt);

    test::LogCapture logs;
    EXPECT_EQ(FileManagerExtras::uniqueFileInDirectory(dir.filePath("missing"), "txt", clock),
              std::nullopt);
    EXPECT_EQ(logs.lines().size(), 1);
}

TEST(foundationTalvorURL, OrdersByTheFullText) {
    struct Case {
        const char* a;
        const char* b;
        int result;
    };
    const Case cases[] = {
        {"file:///a/b.ics", "file:///a/b.ics", 0},
        {"file:///a/a.ics", "file:///a/b.ics", -1},
        {"https://b.example/", "file:///z", 1},
        {"https://example.com/x", "https://example.com/x?q=1", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TalvorURL::compare(QUrl(c.a), QUrl(c.b)), c.result) << c.a << " " << c.b;
        EXPECT_EQ(TalvorURL::compare(QUrl(c.b), QUrl(c.a)), -c.result) << c.a << " " << c.b;
    }
}

TEST(foundationNumberOrdinals, OnlyDecimalConversionsAreReplacedByTheNumber) {
    struct Case {
        const char* format;
        std::int64_t n;
        const char* result;
    };
    const Case cases[] = {
        {"%dst", 1, "1st"},
        {"%ldnd", 22, "22nd"},
        {"%ith", -4, "-4th"},
        {"%d%%", 5, "5%"},
        // Conversions that would read other arguments, or none, stay as text.
        {"%@ %s %n %x %", 7, "%@ %s %n %x %"},
        {"%d %d", INT64_MIN, "-9223372036854775808 -9223372036854775808"},
        {"no number", 3, "no number"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(substituteNumber(QString::fromUtf8(c.format), c.n), QString::fromUtf8(c.result))
            << c.format;
    }
}

TEST(foundationNumberOrdinals, FormatComesFromTheNumberThenItsLastDigitThenTheDefault) {
    StringsBundle bundle;
    const QString table = QStringLiteral("Ordinals");
    bundle.setTable(table, {{"1", "%dst"},
                            {"11", "%dth"},
                            {"ends in 1", "%dst"},
                            {"ends in 3", "%drd"},
                            {"ends in -3", "minus %drd"},
                            {"default", "%dth"},
                            {"5", "%@ %s %d"}});
    struct Case {
        std::int64_t n;
        const char* format;
        const char* text;
    };
    const Case cases[] = {
        {1, "%dst", "1st"},
        {11, "%dth", "11th"},
        {21, "%dst", "21st"},
        {13, "%drd", "13rd"},  // no key for 13: the last digit's text
        {-13, "minus %drd", "minus -13rd"},
        {4, "%dth", "4th"},
        {5, "%@ %s %d", "%@ %s 5"},
        {INT64_MAX, "%dth", "9223372036854775807th"},
        {INT64_MIN, "%dth", "-9223372036854775808th"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(numberStringFormat(c.n, table, bundle), QString::fromUtf8(c.format));
        EXPECT_EQ(numberString(c.n, table, bundle), QString::fromUtf8(c.text));
    }
    EXPECT_EQ(numLoc(bundle, "ends in %d", 3, table), QStringLiteral("%drd"));
    EXPECT_EQ(numLoc(bundle, "ends in %d", 7, table), std::nullopt);
    // A table with no text at all gives the bare number.
    EXPECT_EQ(numberStringFormat(8, "Missing", bundle), std::nullopt);
    EXPECT_EQ(numberString(8, "Missing", bundle), QStringLiteral("8"));
}

TEST(foundationStringsBundle, ReadsTablesFromPropertyListFilesOnce) {
    QTemporaryDir dir;
    const QVariantMap strings{{"default", "%dth"}, {"number", 3}};
    writeFile(dir.filePath("Ordinals.strings"),
              *platform::PropertyList::serialize(strings, platform::PropertyList::Format::Xml));
    writeFile(dir.filePath("Broken.strings"), "not a list");
    const StringsBundle bundle(dir.path());
    EXPECT_EQ(bundle.localizedString("default", "Ordinals"), QStringLiteral("%dth"));
    EXPECT_EQ(bundle.localizedString("number", "Ordinals"), std::nullopt);
    EXPECT_EQ(bundle.localizedString("default", "Absent"), std::nullopt);

    test::LogCapture logs;
    EXPECT_EQ(bundle.localizedString("default", "Broken"), std::nullopt);
    EXPECT_EQ(bundle.localizedString("other", "Broken"), std::nullopt);
    EXPECT_EQ(logs.lines().size(), 1);
}

TEST(foundationTalvorPlugin, FindsEntriesByExtensionInNameOrder) {
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + "/builtin/b.plugin/Contents");
    writeFile(root + "/builtin/a.plugin");
    writeFile(root + "/builtin/c.txt");
    writeFile(root + "/builtin/.plugin");
    writeFile(root + "/builtin/d.plugin.bak");
    writeFile(root + "/user/Fennel Workshop/Widgets/u.plugin");
    writeFile(root + "/user/Fennel Workshop/Other/x.plugin");
    writeFile(root + "/system/Fennel Workshop/Widgets/s.plugin");

    EXPECT_EQ(TalvorPlugin::findModulesInDirectory(root + "/builtin", "plugin"),
              QStringList({root + "/builtin/a.plugin", root + "/builtin/b.plugin"}));
    EXPECT_EQ(TalvorPlugin::findModulesInDirectory(root + "/builtin", "txt"),
              QStringList{root + "/builtin/c.txt"});
    EXPECT_EQ(TalvorPlugin::findModulesInDirectory(root + "/builtin/c.txt", "plugin"),
              std::nullopt);
    EXPECT_EQ(TalvorPlugin::findModulesInDirectory(root + "/nothing", "plugin"), std::nullopt);

    EXPECT_EQ(TalvorPlugin::findBundlesWithExtension(
                  "plugin", "Widgets", root + "/builtin",
                  {root + "/user", root + "/missing", root + "/system"}),
              QStringList({root + "/builtin/a.plugin", root + "/builtin/b.plugin",
                           root + "/user/Fennel Workshop/Widgets/u.plugin",
                           root + "/system/Fennel Workshop/Widgets/s.plugin"}));

    const std::pair<const char*, const char*> extensions[] = {{"a.b.c", "c"},  {"/x/y.ics", "ics"},
                                                              {".hidden", ""}, {"noext", ""},
                                                              {"dir.d/", "d"}, {"end.", ""}};
    for (const auto& [path, ext] : extensions) {
        EXPECT_EQ(TalvorPlugin::pathExtension(path), QString(ext)) << path;
    }
}

TEST(foundationLoadVCAL, ListsTheReadableCalendarFilesUnderAHeading) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("Calendars");
    writeFile(folder + "/Work.ics");
    writeFile(folder + "/Home.ics");
    writeFile(folder + "/Plain");
    writeFile(folder + "/.hidden.ics");
    writeFile(folder + "/Sub.ics/inner.ics");

    auto menu = platform::Menu::create();
    QStringList chosen;
    LoadVCAL::TalvorLoadVCAL(
        *menu, [&](platform::MenuItem& item) { chosen << item.representedObject().toString(); },
        folder);

    EXPECT_FALSE(menu->autoenablesItems());
    QStringList titles;
    for (const auto& item : menu->itemArray()) {
        titles << item->title();
    }
    EXPECT_EQ(titles, QStringList({"Your Calendars:", "Home", "Plain", "Work"}));
    EXPECT_FALSE(menu->isItemShownEnabled(*menu->itemAtIndex(0)));
    const platform::MenuItem& work = *menu->itemAtIndex(3);
    EXPECT_TRUE(menu->isItemShownEnabled(work));
    EXPECT_TRUE(work.keyEquivalent().isEmpty());
    EXPECT_EQ(work.representedObject().toString(), folder + "/Work.ics");
    EXPECT_TRUE(menu->performActionForItemAtIndex(3));
    EXPECT_EQ(chosen, QStringList{folder + "/Work.ics"});

    auto popUp = platform::Menu::create();
    LoadPopUpVCAL::TalvorLoadVCALInPopUp(*popUp, folder);
    ASSERT_EQ(popUp->numberOfItems(), 4);
    EXPECT_FALSE(popUp->itemAtIndex(1)->hasAction());
}

TEST(foundationLoadVCAL, AnEmptyOrMissingFolderAddsNothing) {
    QTemporaryDir dir;
    for (const QString& folder : {dir.path(), dir.filePath("missing"), QString()}) {
        auto menu = platform::Menu::create();
        LoadVCAL::TalvorLoadVCAL(*menu, {}, folder);
        EXPECT_EQ(menu->numberOfItems(), 0) << folder.toStdString();
        EXPECT_FALSE(menu->autoenablesItems());
    }
}

TEST(foundationDictionaryExtras, ReadsADictionaryFromAFileUrlOnly) {
    QTemporaryDir dir;
    const QVariantMap map{{"a", qint64(1)}, {"b", QStringLiteral("two")}};
    writeFile(dir.filePath("d.plist"),
              *platform::PropertyList::serialize(map, platform::PropertyList::Format::Binary));
    writeFile(
        dir.filePath("list.plist"),
        *platform::PropertyList::serialize(QVariantList{1}, platform::PropertyList::Format::Xml));
    writeFile(dir.filePath("junk.plist"), "junk");

    EXPECT_EQ(DictionaryExtras::dictionaryWithContentsOfURLUnzipped(
                  QUrl::fromLocalFile(dir.filePath("d.plist"))),
              map);
    test::LogCapture logs;
    const QUrl refused[] = {QUrl::fromLocalFile(dir.filePath("list.plist")),
                            QUrl::fromLocalFile(dir.filePath("junk.plist")),
                            QUrl::fromLocalFile(dir.filePath("missing.plist")),
                            QUrl("https://example.com/d.plist")};
    for (const QUrl& url : refused) {
        EXPECT_EQ(DictionaryExtras::dictionaryWithContentsOfURLUnzipped(url), std::nullopt)
            << url.toString().toStdString();
    }
    // Only the failed loads are logged, each once.
    EXPECT_EQ(logs.lines().size(), 2);
}

TEST(foundationTalvorRunCommand, ReadsTheWholeOutputAsUtf8WithoutAShell) {
    EXPECT_EQ(TalvorRunCommand::TalvorUtilGetPipeData({"printf", "h\xc3\xa9llo \xe2\x82\xac"}),
              QStringLiteral("h\u00e9llo \u20ac"));
    EXPECT_EQ(TalvorRunCommand::TalvorUtilGetPipeData({"echo", "a; echo b $(id) `x` | cat"}),
              QStringLiteral("a; echo b $(id) `x` | cat\n"));
    // Far more than a pipe holds, so it arrives in many reads, some of them short.
    const std::optional<QString> many =
        TalvorRunCommand::TalvorUtilGetPipeData({"seq", "1", "100000"});
    ASSERT_TRUE(many);
    EXPECT_EQ(many->size(), 588895);
    EXPECT_TRUE(many->endsWith(QStringLiteral("\n99999\n100000\n")));
    EXPECT_TRUE(TalvorRunCommand::TalvorRunNoOutput({"true"}));
}

TEST(foundationTalvorRunCommand, AProgramThatCannotStartIsLoggedWithABeep) {
    int beeps = 0;
    const platform::BeepHandler previous = platform::setBeepHandler([&] { ++beeps; });
    test::LogCapture logs;
    EXPECT_EQ(TalvorRunCommand::TalvorUtilGetPipeData({"/nonexistent/tool", "x"}), std::nullopt);
    EXPECT_FALSE(TalvorRunCommand::TalvorRunNoOutput({"/nonexistent/tool"}));
    EXPECT_FALSE(TalvorRunCommand::TalvorRunNoOutput({}));
    platform::setBeepHandler(previous);
    EXPECT_EQ(beeps, 3);
    EXPECT_TRUE(logs.contains(QStringLiteral("Error opening pipe: /nonexistent/tool x")));
    EXPECT_EQ(logs.lines().size(), 3);
}

}  // namespace
}  // namespace talvor
