#include "FunctionLength.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <sstream>
#include <tuple>

namespace fs = std::filesystem;

namespace talvor::test {
namespace {

bool isIdentifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// Blanks [from, to) of `out`, keeping line breaks.
void blank(std::string& out, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to && i < out.size(); ++i) {
        if (out[i] != '\n') {
            out[i] = ' ';
        }
    }
}

// Whether the quote at `i` separates digits (1'000'000) rather than opening a literal.
bool isDigitSeparator(std::string_view s, std::size_t i) {
    std::size_t start = i;
    while (start > 0 && (isIdentifierChar(s[start - 1]) || s[start - 1] == '.')) {
        --start;
    }
    return start < i && std::isdigit(static_cast<unsigned char>(s[start])) != 0;
}

// Whether `R"` at `i` opens a raw string (R"x(, u8R"(, LR"(...), not the end of a name.
bool opensRawString(std::string_view s, std::size_t i) {
    if (s.compare(i, 2, "R\"") != 0) {
        return false;
    }
    std::size_t start = i;
    while (start > 0 && isIdentifierChar(s[start - 1])) {
        --start;
    }
    const std::string_view prefix = s.substr(start, i - start);
    return prefix.empty() || prefix == "u8" || prefix == "L" || prefix == "u" || prefix == "U";
}

// The end of the quoted literal opening at `i` (past its closing quote).
std::size_t literalEnd(std::string_view s, std::size_t i) {
    const char quote = s[i];
    std::size_t j = i + 1;
    while (j < s.size() && s[j] != quote && s[j] != '\n') {
        j += s[j] == '\\' ? 2 : 1;
    }
    return std::min(j + 1, s.size());
}

std::size_t rawStringEnd(std::string_view s, std::size_t i) {
    const std::size_t open = s.find('(', i + 2);
    if (open == std::string_view::npos) {
        return s.size();
    }
    const std::string closing = ")" + std::string(s.substr(i + 2, open - i - 2)) + "\"";
    const std::size_t close = s.find(closing, open);
    return close == std::string_view::npos ? s.size() : close + closing.size();
}

// The end of the preprocessor line starting at `i`, with its continuations.
std::size_t directiveEnd(std::string_view s, std::size_t i) {
    std::size_t j = i;
    while (j < s.size()) {
        const std::size_t eol = s.find('\n', j);
        if (eol == std::string_view::npos) {
            return s.size();
        }
        if (eol == 0 || s[eol - 1] != '\\') {
            return eol;
        }
        j = eol + 1;
    }
    return j;
}

bool startsLine(std::string_view s, std::size_t i) {
    while (i > 0 && (s[i - 1] == ' ' || s[i - 1] == '\t')) {
        --i;
    }
    return i == 0 || s[i - 1] == '\n';
}

std::string trimmed(std::string_view s) {
    std::size_t a = 0;
    std::size_t b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a])) != 0) {
        ++a;
    }
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1])) != 0) {
        --b;
    }
    return std::string(s.substr(a, b - a));
}

// The head without what may follow a parameter list: qualifiers, noexcept(...), a trailing
// return type.
std::string withoutQualifiers(std::string head) {
    static const std::regex qualifier(
        R"((\s*(const|override|final|noexcept|mutable|volatile|&&|&)|\s*noexcept\s*\([^()]*\)|\s*->[\w:<>,\s*&]+)$)");
    std::smatch m;
    while (std::regex_search(head, m, qualifier) && m.length(0) > 0) {
        head.erase(head.size() - m.length(0));
    }
    return head;
}

bool declaresType(const std::string& head) {
    static const std::regex typeHead(
        R"(^(template\s*<[^{};]*>\s*)?(class|struct|union|enum|namespace)\b)");
    return std::regex_search(head, typeHead);
}

// A constructor's member initializers have begun: ") :" (not "::").
bool inMemberInitializers(const std::string& head) {
    static const std::regex initializers(R"(\)\s*:(?!:))");
    return std::regex_search(head, initializers);
}

std::string functionName(const std::string& head) {
    const std::size_t paren = head.find('(');
    if (paren == std::string::npos) {
        return "lambda";
    }
    std::string before = trimmed(std::string_view(head).substr(0, paren));
    if (!before.empty() && before.back() == ']') {
        static const std::regex named(R"((\w+)\s*=\s*\[)");
        std::smatch m;
        return std::regex_search(head, m, named) ? m.str(1) : "lambda";
    }
    static const std::regex name(R"(((?:[\w~]+::)*(?:operator\s*\S+|[\w~]+))$)");
    std::smatch m;
    if (std::regex_search(before, m, name)) {
        std::string found = m.str(1);
        if (found.size() >= 8 && found.compare(found.size() - 8, 8, "operator") == 0) {
            found += "()";
        }
        return found;
    }
    return "lambda";
}

enum class Brace { Function, Initializer, Other };

struct OpenBrace {
    Brace kind;
    int line;
    std::string name;
};

}  // namespace

std::string blankNonCode(std::string_view source) {
    std::string out(source);
    std::size_t i = 0;
    while (i < source.size()) {
        std::size_t end = i;
        if (source.compare(i, 2, "//") == 0) {
            end = std::min(source.find('\n', i), source.size());
        } else if (source.compare(i, 2, "/*") == 0) {
            const std::size_t close = source.find("*/", i + 2);
            end = close == std::string_view::npos ? source.size() : close + 2;
        } else if (opensRawString(source, i)) {
            end = rawStringEnd(source, i);
        } else if (source[i] == '"' || (source[i] == '\'' && !isDigitSeparator(source, i))) {
            end = literalEnd(source, i);
        } else if (source[i] == '#' && startsLine(source, i)) {
            end = directiveEnd(source, i);
        }
        if (end > i) {
            blank(out, i, end);
            i = end;
        } else {
            ++i;
        }
    }
    return out;
}

std::vector<FunctionSpan> functionSpans(std::string_view source) {
    const std::string code = blankNonCode(source);
    std::vector<FunctionSpan> spans;
    std::vector<OpenBrace> open;
    std::size_t headStart = 0;
    int line = 1;
    const auto inFunction = [&open] {
        return std::any_of(open.begin(), open.end(),
                           [](const OpenBrace& b) { return b.kind == Brace::Function; });
    };
    const auto inInitializer = [&open] {
        return !open.empty() && open.back().kind == Brace::Initializer;
    };
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '\n') {
            ++line;
        } else if (c == ';' && !inInitializer()) {
            headStart = i + 1;
        } else if (c == '{') {
            if (inFunction()) {
                open.push_back({Brace::Other, line, {}});
                continue;
            }
            if (inInitializer()) {
                open.push_back({Brace::Initializer, line, {}});
                continue;
            }
            const std::string head =
                trimmed(std::string_view(code).substr(headStart, i - headStart));
            const std::string bare = withoutQualifiers(head);
            const bool initializers = inMemberInitializers(head);
            const char last = bare.empty() ? '\0' : bare.back();
            if (!declaresType(head) && (last == ')' || (initializers && last == '}'))) {
                open.push_back({Brace::Function, line, functionName(head)});
            } else if (initializers && (isIdentifierChar(last) || last == '>')) {
                open.push_back({Brace::Initializer, line, {}});
                continue;  // the head goes on to the body
            } else {
                open.push_back({Brace::Other, line, {}});
            }
            headStart = i + 1;
        } else if (c == '}' && !open.empty()) {
            const OpenBrace closing = open.back();
            open.pop_back();
            if (closing.kind == Brace::Function) {
                spans.push_back({closing.name, closing.line, line - closing.line + 1});
            }
            if (closing.kind != Brace::Initializer && !inInitializer()) {
                headStart = i + 1;
            }
        }
    }
    return spans;
}

std::vector<LongFunction> findLongFunctions(const fs::path& sourceRoot, int limit) {
    std::vector<LongFunction> found;
    for (const auto& entry : fs::recursive_directory_iterator(sourceRoot / "src")) {
        const fs::path& path = entry.path();
        if (!entry.is_regular_file() || (path.extension() != ".cpp" && path.extension() != ".h")) {
            continue;
        }
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        for (FunctionSpan& span : functionSpans(text.str())) {
            if (span.lines > limit) {
                found.push_back({path.lexically_relative(sourceRoot).generic_string(), span});
            }
        }
    }
    std::sort(found.begin(), found.end(), [](const LongFunction& a, const LongFunction& b) {
        return std::tie(a.file, a.span.firstLine) < std::tie(b.file, b.span.firstLine);
    });
    return found;
}

}  // namespace talvor::test
