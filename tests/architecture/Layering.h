#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace talvor::test {

// The rooms of src/ in their order: a room may include only itself and the rooms before it
// (docs/ARCHITECTURE.md).
const std::vector<std::string>& roomOrder();

// One include that breaks the order, as "src/<room>/<file>:<line>: <why>".
struct LayeringFault {
    std::string where;  // file:line, relative to the source root
    std::string why;
};

// Scans src/<room>/**/*.{h,cpp} under `sourceRoot` for includes of the form "room/...".
// Faults: a room including one listed after it; platform/linux (which counts as platform)
// included outside shell and app; the platform room outside linux/ reaching into linux/;
// kit or crash including a Qt header; anything outside platform/media/ including the media
// module (also as "media/..." from platform) or the Qt Multimedia and GStreamer headers it
// alone links.
std::vector<LayeringFault> findLayeringFaults(const std::filesystem::path& sourceRoot);

// The rooms' add_subdirectory lines in CMakeLists.txt ("src/<room>") and
// tests/CMakeLists.txt ("<room>") out of the order of roomOrder().
std::vector<LayeringFault> findSubdirectoryOrderFaults(const std::filesystem::path& sourceRoot);

// The rooms of the table under "## Rooms and their order" in docs/ARCHITECTURE.md, in its
// order, "platform/linux" (which counts as platform) left out.
std::vector<std::string> documentedRoomOrder(const std::filesystem::path& sourceRoot);

// Headers under src/ whose name starts with a prefix (capitals before a capitalised word,
// as TLY in TLYEvent, or small letters, as my in myCalView) that the glossary table of
// docs/ARCHITECTURE.md does not explain; a prefix made of explained parts (TRL + URL) is
// explained.
std::vector<LayeringFault> findUnexplainedPrefixes(const std::filesystem::path& sourceRoot);

// The libraries a room's sources include: "talvor_<room>" for each other room, and
// "talvor_platform_linux" for platform/linux.
std::map<std::string, std::set<std::string>> includedLibraries(
    const std::filesystem::path& sourceRoot);

// The talvor_* libraries each room's target links in src/<room>/CMakeLists.txt (the app's
// target is "talvor"), its own library left out.
std::map<std::string, std::set<std::string>> linkedLibraries(
    const std::filesystem::path& sourceRoot);

}  // namespace talvor::test
