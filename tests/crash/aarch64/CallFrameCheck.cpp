// Every call-frame row of the aarch64 C library against readelf's reading of its file
// (argument: that output), run under qemu-user. Vector-register columns are not compared.
#include <link.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "crash/WRKDwarf.h"
#include "crash/WRKPlatform.h"
// No crash context here: the diagnostic log is silent.
namespace talvor::crash {
void WRKSDKFileLog(int, const char*, ...) {}
int WRKSDKLogMinimumLevel() {
    return 1;
}
void WRKSDKLogSetMinimumLevel(int) {}
}  // namespace talvor::crash
using namespace talvor::crash;
static std::string name(std::uint64_t c) {
    return c == 31 ? "sp" : c == 30 ? "ra" : "x" + std::to_string(c);
}
static std::string sgn(std::int64_t o) {
    return (o < 0 ? "-" : "+") + std::to_string(o < 0 ? -o : o);
}
static std::string cell(const WRKDwarfRule& r) {
    switch (r.kind) {
        case WRKDwarfRuleUnspecified:
        case WRKDwarfRuleUndefined:
            return "u";
        case WRKDwarfRuleSameValue:
            return "s";
        case WRKDwarfRuleOffset:
            return "c" + sgn(r.value);
        case WRKDwarfRuleValOffset:
            return "v" + sgn(r.value);
        case WRKDwarfRuleRegister:
            return "r" + std::to_string(r.value) + " (" + name(r.value) + ")";
        case WRKDwarfRuleExpression:
            return "exp";
        default:
            return "vexp";
    }
}
static std::vector<std::string> cells(const std::string& t) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < t.size()) {
        while (at < t.size() && t[at] == ' ')
            ++at;
        if (at == t.size())
            break;
        std::size_t e = t.find(' ', at);
        e = e == std::string::npos ? t.size() : e;
        if (e + 1 < t.size() && t[e + 1] == '(') {
            e = t.find(')', e);
            e = e == std::string::npos ? t.size() : e + 1;
        }
        out.push_back(t.substr(at, e - at));
        at = e;
    }
    return out;
}
struct Lib {
    std::uintptr_t base = 0, hdr = 0;
};
static int find(dl_phdr_info* i, size_t, void* d) {
    if (!i->dlpi_name || !std::strstr(i->dlpi_name, "libc.so.6"))
        return 0;
    auto* l = (Lib*)d;
    l->base = i->dlpi_addr;
    for (int k = 0; k < i->dlpi_phnum; ++k)
        if (i->dlpi_phdr[k].p_type == PT_GNU_EH_FRAME)
            l->hdr = i->dlpi_addr + i->dlpi_phdr[k].p_vaddr;
    return 1;
}
int main(int, char** argv) {
    WRKPlatformInitialize();  // the pipe the validated reads fall back to
    Lib lib;
    dl_iterate_phdr(find, &lib);
    if (!lib.hdr) {
        std::puts("no libc");
        return 2;
    }
    FILE* f = std::fopen(argv[1], "r");
    char buf[8192];
    std::vector<int> cols;
    std::uint64_t begin = 0;
    bool inFde = false, have = false;
    WRKDwarfFDE fde;
    WRKDwarfCIE cie;
    long rows = 0, diff = 0, missing = 0, fdes = 0;
    while (std::fgets(buf, sizeof buf, f)) {
        std::string line(buf);
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        if (auto at = line.find(" FDE cie="); at != std::string::npos) {
            begin = std::stoull(line.substr(line.find("pc=", at) + 3), nullptr, 16);
            inFde = true;
            ++fdes;
            have = WRKDwarfFindFDE(lib.hdr, lib.base + begin, &fde, &cie) &&
                   fde.pcBegin == lib.base + begin;
            if (!have)
                ++missing;
        } else if (line.find(" CIE") != std::string::npos) {
            inFde = false;
        } else if (inFde && line.rfind("   LOC", 0) == 0) {
            auto names = cells(line);
            cols.clear();
            for (size_t i = 2; i < names.size(); ++i) {
                int c = -1;
                if (names[i] == "sp")
                    c = 31;
                else if (names[i] == "ra")
                    c = 30;
                else if (names[i][0] == 'x')
                    c = std::stoi(names[i].substr(1));
                cols.push_back(c);
            }
        } else if (inFde && have && line.size() > 17 && line[16] == ' ' &&
                   line.find_first_not_of("0123456789abcdef") == 16) {
            ++rows;
            auto theirs = cells(line.substr(17));
            WRKDwarfRegisterState st;
            std::vector<std::string> ours;
            if (WRKDwarfRowForPC(cie, fde, lib.base + std::stoull(line.substr(0, 16), nullptr, 16),
                                 &st)) {
                ours.push_back(st.cfaExpression ? "exp" : name(st.cfaRegister) + sgn(st.cfaOffset));
                for (int c : cols)
                    ours.push_back(c >= 0 ? cell(st.rules[c]) : "?");
            }
            for (size_t i = 0; i < cols.size() && i + 1 < theirs.size(); ++i)
                if (cols[i] < 0)
                    theirs[i + 1] = "?";
            if (ours != theirs) {
                if (diff++ < 3) {
                    std::printf("%s | ours:", line.c_str());
                    for (auto& c : ours)
                        std::printf(" %s", c.c_str());
                    std::puts("");
                }
            }
        }
    }
    std::printf("fdes %ld missing %ld rows %ld differing %ld\n", fdes, missing, rows, diff);
    return diff || missing;
}
