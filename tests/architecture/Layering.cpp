#include "Layering.h"

#include <algorithm>
#include <cctype>
#include <fstream>
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

// Qt's own headers: <QDate>, <QtCore/QDate>.
bool isQtHeader(const std::string& path) {
    return (path.size() > 1 && path[0] == 'Q' &&
            std::isupper(static_cast<unsigned char>(path[1])) != 0) ||
           startsWith(path, "Qt");
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
            if (!inMediaFolder(inc.file) &&
                (startsWith(inc.path, kMedia) || isMediaHeader(inc.path))) {
                faults.push_back({where, "\"" + inc.path +
                                             "\" belongs to the media module: only "
                                             "platform/MediaBackend loads it, at first use"});
            }
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
