// The rooms of src/ keep their order, and each room's library links the rooms it includes.
#include "Layering.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

namespace fs = std::filesystem;

namespace talvor::test {
namespace {

std::string describe(const std::vector<LayeringFault>& faults) {
    std::string out;
    for (const LayeringFault& f : faults) {
        out += f.where + ": " + f.why + "\n";
    }
    return out;
}

std::vector<std::string> places(const std::vector<LayeringFault>& faults) {
    std::vector<std::string> out;
    for (const LayeringFault& f : faults) {
        out.push_back(f.where);
    }
    return out;
}

std::string names(const std::set<std::string>& libs) {
    std::string out;
    for (const std::string& lib : libs) {
        out += (out.empty() ? "" : " ") + lib;
    }
    return out.empty() ? "(none)" : out;
}

// A source tree of the test's making.
class LayeringTree : public ::testing::Test {
  protected:
    void write(const std::string& relative, const std::string& text) {
        const fs::path file = root() / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    fs::path root() const { return fs::path(dir.path().toStdString()); }

    QTemporaryDir dir;
};

using architectureLayeringTree = LayeringTree;

TEST_F(architectureLayeringTree, NamesEachIncludeThatBreaksTheOrderWithItsFileAndLine) {
    write("src/foundation/Dates.h", "#pragma once\n#include \"platform/Clock.h\"\n");
    write("src/services/Sounds.cpp", "#include \"services/Sounds.h\"\n#include \"sky/Sun.h\"\n");
    write("src/sky/Sun.cpp",
          "#include \"sky/Sun.h\"\n"
          "#include <QDate>\n"
          "  #  include \"services/Sounds.h\"\n");
    write("src/world/Clock.cpp", "#include \"platform/linux/X11Dock.h\"\n");
    write("src/platform/Seam.cpp", "#include \"linux/X11Dock.h\"\n");
    write("src/platform/linux/X11Dock.cpp", "#include \"platform/linux/X11Dock.h\"\n");
    write("src/shell/Start.cpp", "#include \"platform/linux/LinuxSystemServices.h\"\n");
    write("src/app/main.cpp", "#include \"shell/Start.h\"\n");

    const std::vector<LayeringFault> faults = findLayeringFaults(root());
    const std::vector<std::string> where = places(faults);
    EXPECT_EQ(where, (std::vector<std::string>{"src/platform/Seam.cpp:1", "src/sky/Sun.cpp:3",
                                               "src/world/Clock.cpp:1"}))
        << describe(faults);
    ASSERT_EQ(faults.size(), 3u);
    EXPECT_NE(faults[1].why.find("sky includes services"), std::string::npos) << faults[1].why;
    EXPECT_NE(faults[2].why.find("only shell and app"), std::string::npos) << faults[2].why;
}

TEST_F(architectureLayeringTree, KitsStayFreeOfQtAndOnlyTheMediaModuleLoadsMedia) {
    write("src/kit/Queue.cpp", "#include <thread>\n#include <QThread>\n");
    write("src/crash/Report.cpp", "#include <QtCore/QString>\n#include \"kit/Queue.h\"\n");
    write("src/platform/Sound.cpp", "#include \"platform/media/QtSoundPlayer.h\"\n");
    write("src/services/Chime.cpp", "#include <QMediaPlayer>\n#include <QDate>\n");
    write("src/platform/linux/Writer.cpp", "#include <gst/gst.h>\n");
    write("src/platform/media/QtSoundPlayer.cpp",
          "#include \"platform/media/QtSoundPlayer.h\"\n#include <QMediaPlayer>\n"
          "#include <gst/gst.h>\n");

    const std::vector<LayeringFault> faults = findLayeringFaults(root());
    const std::vector<std::string> where = places(faults);
    EXPECT_EQ(where,
              (std::vector<std::string>{
                  "src/kit/Queue.cpp:2", "src/crash/Report.cpp:1", "src/platform/Sound.cpp:1",
                  "src/platform/linux/Writer.cpp:1", "src/services/Chime.cpp:1"}))
        << describe(faults);
}

// The forms that slipped past the first checks: Qt's lower-case headers, and the media
// module reached from platform by a path relative to it.
TEST_F(architectureLayeringTree, OlderQtHeadersAndRelativeMediaIncludesAreCaught) {
    write("src/kit/Log.cpp", "#include <qstring.h>\n#include <queue>\n#include <quadrant>\n");
    write("src/platform/Sound.cpp", "#include \"media/QtSoundPlayer.h\"\n");
    write("src/platform/media/QtSoundPlayer.cpp", "#include \"media/QtSoundPlayer.h\"\n");
    const std::vector<LayeringFault> faults = findLayeringFaults(root());
    const std::vector<std::string> where = places(faults);
    EXPECT_EQ(where, (std::vector<std::string>{"src/kit/Log.cpp:1", "src/platform/Sound.cpp:1"}))
        << describe(faults);
}

TEST_F(architectureLayeringTree, TheDocumentNamesTheOrderAndEveryPrefix) {
    write("docs/ARCHITECTURE.md",
          "# Architecture\n\n## Rooms and their order\n\nText.\n\n"
          "| room | library | what |\n|---|---|---|\n"
          "| `kit` | `talvor_kit` | the kit |\n"
          "| `platform` | `talvor_platform` | seams |\n"
          "| `platform/linux` | `talvor_platform_linux` | adapters |\n"
          "| `app` | `talvor` | main |\n\nAfter.\n\n"
          "## Glossary of inherited names\n\n"
          "| prefix or name | room | what it names |\n|---|---|---|\n"
          "| `TRL` | `kit/` | Trellis; `XYZ` in this cell explains nothing |\n"
          "| `my`, `MA` | `calendarui/` | views |\n");
    for (const char* header : {"src/kit/TRLHost.h", "src/kit/TRLURLBuilder.h", "src/kit/XYZThing.h",
                               "src/calendarui/myCalView.h", "src/calendarui/MAAttachedWindow.h",
                               "src/calendarui/zzCalendar.h", "src/calendarui/CalendarWindow.h",
                               "src/platform/linux/DBusMenuTypes.h", "src/kit/WRKJSON.h"}) {
        write(header, "#pragma once\n");
    }
    EXPECT_EQ(documentedRoomOrder(root()), (std::vector<std::string>{"kit", "platform", "app"}));
    const std::vector<LayeringFault> faults = findUnexplainedPrefixes(root());
    const std::vector<std::string> where = places(faults);
    EXPECT_EQ(where,
              (std::vector<std::string>{"src/calendarui/zzCalendar.h", "src/kit/XYZThing.h"}))
        << describe(faults);
}

TEST_F(architectureLayeringTree, SubdirectoriesAreAddedInTheRoomOrder) {
    write("CMakeLists.txt",
          "add_subdirectory(src/kit)\nadd_subdirectory(src/prefs)\n"
          "add_subdirectory(src/calendar)\nadd_subdirectory(tools)\nadd_subdirectory(tests)\n");
    write("tests/CMakeLists.txt",
          "add_subdirectory(support)\nadd_subdirectory(kit)\nadd_subdirectory(crash)\n"
          "add_subdirectory(shell)\nadd_subdirectory(app)\n");
    const std::vector<LayeringFault> faults = findSubdirectoryOrderFaults(root());
    ASSERT_EQ(faults.size(), 1u) << describe(faults);
    EXPECT_EQ(faults[0].where, "CMakeLists.txt:3");
    EXPECT_NE(faults[0].why.find("calendar comes after prefs"), std::string::npos) << faults[0].why;
}

TEST_F(architectureLayeringTree, LinksAreComparedWithTheIncludes) {
    write("src/sky/Sun.cpp", "#include \"foundation/Dates.h\"\n#include \"platform/Clock.h\"\n");
    write(
        "src/sky/CMakeLists.txt",
        "add_library(talvor_sky STATIC Sun.cpp)\n"
        "target_link_libraries(talvor_sky PUBLIC talvor_foundation\n  talvor_widgets Qt6::Core)\n");
    write("src/app/main.cpp", "#include \"platform/linux/LinuxSystemServices.h\"\n");
    write("src/app/CMakeLists.txt",
          "add_executable(talvor main.cpp)\n"
          "target_link_libraries(talvor PRIVATE talvor_platform_linux)\n");
    const auto included = includedLibraries(root());
    const auto linked = linkedLibraries(root());
    EXPECT_EQ(included.at("sky"), (std::set<std::string>{"talvor_foundation", "talvor_platform"}));
    EXPECT_EQ(linked.at("sky"), (std::set<std::string>{"talvor_foundation", "talvor_widgets"}));
    EXPECT_EQ(included.at("app"), std::set<std::string>{"talvor_platform_linux"});
    EXPECT_EQ(linked.at("app"), std::set<std::string>{"talvor_platform_linux"});
}

const fs::path kSourceRoot = TALVOR_SOURCE_DIR;

TEST(architectureLayering, NoRoomIncludesARoomListedAfterIt) {
    const std::vector<LayeringFault> faults = findLayeringFaults(kSourceRoot);
    EXPECT_TRUE(faults.empty()) << describe(faults);
}

TEST(architectureLayering, RoomsAreBuiltAndTestedInTheirOrder) {
    const std::vector<LayeringFault> faults = findSubdirectoryOrderFaults(kSourceRoot);
    EXPECT_TRUE(faults.empty()) << describe(faults);
}

TEST(architectureLayering, TheOrderCheckedIsTheDocumentedOrder) {
    EXPECT_EQ(documentedRoomOrder(kSourceRoot), roomOrder());
}

TEST(architectureLayering, EveryHeaderPrefixIsInTheGlossary) {
    const std::vector<LayeringFault> faults = findUnexplainedPrefixes(kSourceRoot);
    EXPECT_TRUE(faults.empty()) << describe(faults);
}

TEST(architectureLayering, EachRoomLinksExactlyTheRoomsItIncludes) {
    const auto included = includedLibraries(kSourceRoot);
    const auto linked = linkedLibraries(kSourceRoot);
    ASSERT_FALSE(included.empty());
    for (const auto& [room, libs] : included) {
        SCOPED_TRACE("src/" + room + "/CMakeLists.txt");
        const auto it = linked.find(room);
        const std::set<std::string> links =
            it == linked.end() ? std::set<std::string>{} : it->second;
        EXPECT_EQ(links, libs) << "links: " << names(links) << "\nincludes: " << names(libs);
    }
}

}  // namespace
}  // namespace talvor::test
