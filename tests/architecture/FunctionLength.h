#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace talvor::test {

// One function body: from the line of its opening brace to the line of its closing one.
// Lambdas and local classes inside a function count with it; class bodies are no functions,
// their member functions are.
struct FunctionSpan {
    std::string name;  // as written before its parameters ("Foo::bar"), "lambda" if unnamed
    int firstLine = 0;
    int lines = 0;
};

// The source with comments, string and character literals and preprocessor lines blanked
// (line breaks kept, so lines still count).
std::string blankNonCode(std::string_view source);

std::vector<FunctionSpan> functionSpans(std::string_view source);

// A function longer than a limit, with its file relative to the source root.
struct LongFunction {
    std::string file;
    FunctionSpan span;
};

// Every function in src/**/*.{h,cpp} under `sourceRoot` longer than `limit` lines.
std::vector<LongFunction> findLongFunctions(const std::filesystem::path& sourceRoot, int limit);

}  // namespace talvor::test
