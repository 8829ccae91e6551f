#include "Layering.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace talvor::test {
namespace {

const std::string kLinux = "platform/linux/";
const std::string kMedia = "platform/media/";

int rankOf(const std::string& room) {
    const auto& order = roomOrder();
    const auto it = std::find(order.begin(), order.end(), room);
    return it == order.end() ? -1 : static_cast<int>(it - order.begin());
}

std::string libraryOf(const std::string& room) {
    return room == "app" ? "talvor" : "talvor_" + room;
}

struct Include {
    std::string file;  // relative to the source root
    int line = 0;
    std::string path;  // as written between the quotes or brackets
};

// Every include of every source of `room`, in a stable order.
std::vector<Include> includesOf(const fs::path& sourceRoot, const std::string& room) {
    std::vector<Include> out;
    const fs::path dir = sourceRoot / "src" / room;
    if (!fs::is_directory(dir)) {
        return out;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".h" || ext == ".cpp")) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    static const std::regex include(R"(^\s*#\s*include\s*[<"]([^">]+)[">])");
    for (const fs::path& file : files) {
        std::ifstream in(file);
        std::string text;
        int number = 0;
        while (std::getline(in, text)) {
            ++number;
            std::smatch m;
            if (std::regex_search(text, m, include)) {
                out.push_back({fs::relative(file, sourceRoot).generic_string(), number, m[1]});
            }
        }
    }
    return out;
}

// The room an include names ("sky" for "sky/SunWindow.h"); empty for other includes.
std::string roomNamed(const std::string& path) {
    const auto slash = path.find('/');
    if (slash == std::string::npos) {
        return {};
    }
    const std::string first = path.substr(0, slash);
    return rankOf(first) >= 0 ? first : std::string();
}

bool inLinuxFolder(const std::string& file) {
    return file.rfind("src/" + kLinux, 0) == 0;
}

bool inMediaFolder(const std::string& file) {
    return file.rfind("src/" + kMedia, 0) == 0;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Qt's own headers: <QDate>, <QtCore/QDate>, and the older <qstring.h> forms.
bool isQtHeader(const std::string& path) {
    return (path.size() > 1 && path[0] == 'Q' &&
            std::isupper(static_cast<unsigned char>(path[1])) != 0) ||
           startsWith(path, "Qt") ||
           (path.size() > 3 && path[0] == 'q' && path.find('/') == std::string::npos &&
            endsWith(path, ".h"));
}

std::string readText(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines of the Markdown table that follows `heading` (a line of its own) in `text`.
std::vector<std::string> tableAfter(const std::string& text, const std::string& heading) {
    std::vector<std::string> rows;
    std::istringstream in(text);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (line == heading) {
            inSection = true;
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (startsWith(line, "## ")) {
            break;
        }
        if (startsWith(line, "|")) {
            rows.push_back(line);
        } else if (!rows.empty()) {
            break;  // the table is over
        }
    }
    // The header row and its rule carry no entry.
    if (rows.size() >= 2) {
        rows.erase(rows.begin(), rows.begin() + 2);
    }
    return rows;
}

std::string firstCell(const std::string& row) {
    const auto end = row.find('|', 1);
    return row.substr(1, end == std::string::npos ? std::string::npos : end - 1);
}

// The names in backticks of a table cell.
std::vector<std::string> quotedNames(const std::string& cell) {
    std::vector<std::string> names;
    static const std::regex quoted("`([^`]+)`");
    for (auto it = std::sregex_iterator(cell.begin(), cell.end(), quoted);
         it != std::sregex_iterator(); ++it) {
        names.push_back((*it)[1]);
    }
    return names;
}

// The headers of Qt Multimedia and GStreamer, which only the media module may load.
bool isMediaHeader(const std::string& path) {
    for (const char* prefix : {"QMedia", "QAudio", "QVideo", "QSoundEffect", "QCamera",
                               "QImageCapture", "QtMultimedia", "gst/"}) {
        if (startsWith(path, prefix)) {
            return true;
        }
    }
    return false;
}

}  // namespace

const std::vector<std::string>& roomOrder() {
    static const std::vector<std::string> order = {
        "kit",   "crash",  "platform", "foundation", "widgets", "sky",   "services",
        "world", "alarms", "calendar", "calendarui", "prefs",   "shell", "app",
    };
    return order;
}

std::vector<LayeringFault> findLayeringFaults(const fs::path& sourceRoot) {
    std::vector<LayeringFault> faults;
    for (const std::string& room : roomOrder()) {
        for (const Include& inc : includesOf(sourceRoot, room)) {
            const std::string where = inc.file + ":" + std::to_string(inc.line);
            const std::string named = roomNamed(inc.path);
            if (!named.empty() && rankOf(named) > rankOf(room)) {
                faults.push_back({where, room + " includes " + named +
                                             ", a room listed after it (\"" + inc.path + "\")"});
            }
            if (inc.path.rfind(kLinux, 0) == 0 && room != "shell" && room != "app" &&
                !inLinuxFolder(inc.file)) {
                faults.push_back({where, room + " includes the Linux adapters (\"" + inc.path +
                                             "\"): only shell and app assemble them"});
            }
            if (room == "platform" && !inLinuxFolder(inc.file) &&
                inc.path.rfind("linux/", 0) == 0) {
                faults.push_back({where, "platform reaches into its linux/ folder (\"" + inc.path +
                                             "\"): the seam's stand-in must not"});
            }
            if ((room == "kit" || room == "crash") && isQtHeader(inc.path)) {
                faults.push_back({where, room + " includes a Qt header (\"" + inc.path +
                                             "\"): the kits are standard C++"});
            }
            const bool mediaFromPlatform = room == "platform" && startsWith(inc.path, "media/");
            if (!inMediaFolder(inc.file) &&
                (startsWith(inc.path, kMedia) || mediaFromPlatform || isMediaHeader(inc.path))) {
                faults.push_back({where, "\"" + inc.path +
                                             "\" belongs to the media module: only "
                                             "platform/MediaBackend loads it, at first use"});
            }
        }
    }
    return faults;
}

std::vector<std::string> documentedRoomOrder(const fs::path& sourceRoot) {
    std::vector<std::string> rooms;
    const std::string text = readText(sourceRoot / "docs" / "ARCHITECTURE.md");
    for (const std::string& row : tableAfter(text, "## Rooms and their order")) {
        const std::vector<std::string> names = quotedNames(firstCell(row));
        if (!names.empty() && names.front() != "platform/linux") {
            rooms.push_back(names.front());
        }
    }
    return rooms;
}

std::vector<LayeringFault> findUnexplainedPrefixes(const fs::path& sourceRoot) {
    // The usual abbreviations of a technology, which the glossary does not list.
    std::set<std::string> known = {"DBus", "X11", "Xcb", "Gst", "URL", "SDK", "JSON"};
    const std::string text = readText(sourceRoot / "docs" / "ARCHITECTURE.md");
    for (const std::string& row : tableAfter(text, "## Glossary of inherited names")) {
        for (const std::string& name : quotedNames(firstCell(row))) {
            known.insert(name);
        }
    }
    // Whether `prefix` is one known name or several in a row (TRL + URL).
    const std::function<bool(const std::string&)> explained = [&](const std::string& prefix) {
        if (prefix.empty()) {
            return true;
        }
        for (const std::string& name : known) {
            if (startsWith(prefix, name) && explained(prefix.substr(name.size()))) {
                return true;
            }
        }
        return false;
    };
    static const std::regex capitals("^([A-Z]+)[A-Z][a-z]");
    static const std::regex small("^([a-z]+)[A-Z]");
    std::vector<LayeringFault> faults;
    std::vector<fs::path> headers;
    for (const auto& entry : fs::recursive_directory_iterator(sourceRoot / "src")) {
        if (entry.is_regular_file() && entry.path().extension() == ".h") {
            headers.push_back(entry.path());
        }
    }
    std::sort(headers.begin(), headers.end());
    for (const fs::path& header : headers) {
        const std::string name = header.stem().string();
        bool technology = false;
        for (const char* word : {"DBus", "X11", "Xcb", "Gst"}) {
            technology = technology || startsWith(name, word);
        }
        std::smatch m;
        if (technology ||
            !(std::regex_search(name, m, capitals) || std::regex_search(name, m, small))) {
            continue;
        }
        if (!explained(m[1])) {
            faults.push_back({fs::relative(header, sourceRoot).generic_string(),
                              "the prefix \"" + m[1].str() +
                                  "\" is not in the glossary of docs/ARCHITECTURE.md"});
        }
    }
    return faults;
}

std::vector<LayeringFault> findSubdirectoryOrderFaults(const fs::path& sourceRoot) {
    std::vector<LayeringFault> faults;
    static const std::regex call(R"(^\s*add_subdirectory\s*\(\s*(src/)?([a-z]+)\s*\))");
    for (const auto& [file, prefixed] :
         {std::pair<std::string, bool>{"CMakeLists.txt", true},
          std::pair<std::string, bool>{"tests/CMakeLists.txt", false}}) {
        std::ifstream in(sourceRoot / file);
        std::string text;
        int number = 0;
        int lastRank = -1;
        std::string lastRoom;
        while (std::getline(in, text)) {
            ++number;
            std::smatch m;
            if (!std::regex_search(text, m, call) || m[1].matched != prefixed) {
                continue;
            }
            const std::string room = m[2];
            const int rank = rankOf(room);
            if (rank < 0) {
                continue;
            }
            if (rank < lastRank) {
                faults.push_back({file + ":" + std::to_string(number),
                                  room + " comes after " + lastRoom +
                                      ", a room listed after it in the documented order"});
            }
            lastRank = std::max(lastRank, rank);
            if (rank == lastRank) {
                lastRoom = room;
            }
        }
    }
    return faults;
}

std::map<std::string, std::set<std::string>> includedLibraries(const fs::path& sourceRoot) {
    std::map<std::string, std::set<std::string>> out;
    for (const std::string& room : roomOrder()) {
        if (!fs::is_directory(sourceRoot / "src" / room)) {
            continue;
        }
        std::set<std::string>& libs = out[room];
        for (const Include& inc : includesOf(sourceRoot, room)) {
            if (inLinuxFolder(inc.file)) {
                continue;  // the Linux library's own sources
            }
            if (inc.path.rfind(kLinux, 0) == 0) {
                libs.insert("talvor_platform_linux");
            } else if (const std::string named = roomNamed(inc.path);
                       !named.empty() && named != room) {
                libs.insert(libraryOf(named));
            }
        }
    }
    return out;
}

std::map<std::string, std::set<std::string>> linkedLibraries(const fs::path& sourceRoot) {
    std::map<std::string, std::set<std::string>> out;
    static const std::regex call(R"(target_link_libraries\s*\(\s*([A-Za-z0-9_]+)([^)]*)\))");
    static const std::regex library(R"(\btalvor(_[a-z_]+)?\b)");
    for (const std::string& room : roomOrder()) {
        const fs::path file = sourceRoot / "src" / room / "CMakeLists.txt";
        if (!fs::is_regular_file(file)) {
            continue;
        }
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        const std::string cmake = text.str();
        std::set<std::string>& libs = out[room];
        const std::string self = libraryOf(room);
        for (auto it = std::sregex_iterator(cmake.begin(), cmake.end(), call);
             it != std::sregex_iterator(); ++it) {
            if ((*it)[1] != self) {
                continue;
            }
            const std::string args = (*it)[2];
            for (auto lib = std::sregex_iterator(args.begin(), args.end(), library);
                 lib != std::sregex_iterator(); ++lib) {
                if (lib->str() != self) {
                    libs.insert(lib->str());
                }
            }
        }
    }
    return out;
}

}  // namespace talvor::test
