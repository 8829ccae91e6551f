#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Small tools of the settings and onboarding tests.
namespace talvor::kit::test {

// The first bytes of a PNG picture of `width` x `height` pixels: signature and header chunk
// (all the kit looks at), then a marker so that pictures of one size still differ.
inline std::string pngHeader(std::uint32_t width, std::uint32_t height,
                             std::string_view marker = "") {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    auto be32 = [&png](std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            png += static_cast<char>((value >> shift) & 0xFF);
        }
    };
    be32(13);
    png += "IHDR";
    be32(width);
    be32(height);
    png += std::string("\x08\x06\x00\x00\x00", 5);
    be32(0);  // the checksum: not read
    png += marker;
    return png;
}

// Sets (or, with nullopt, unsets) an environment variable for a scope.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) {
            saved_ = old;
        }
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ~ScopedEnv() {
        if (saved_) {
            ::setenv(name_.c_str(), saved_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> saved_;
};

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct FormPart {
    std::string name;
    std::optional<std::string> fileName;
    std::string contentType;
    std::string content;
    bool operator==(const FormPart&) const = default;
};

// The parts of a multipart/form-data body in their order. Written for the kit's encoder's
// layout (one "Content-Disposition" and one "Content-Type" line per part); anything else
// gives no parts.
inline std::vector<FormPart> splitForm(std::string_view body, const std::string& boundary) {
    std::vector<FormPart> parts;
    const std::string delimiter = "--" + boundary;
    std::size_t at = body.find(delimiter + "\r\n");
    while (at != std::string_view::npos) {
        const std::size_t headStart = at + delimiter.size() + 2;
        const std::size_t headEnd = body.find("\r\n\r\n", headStart);
        if (headEnd == std::string_view::npos) {
            return {};
        }
        const std::string_view head = body.substr(headStart, headEnd - headStart);
        const std::size_t next = body.find("\r\n" + delimiter, headEnd + 4);
        if (next == std::string_view::npos) {
            return {};
        }
        FormPart part;
        part.content = std::string(body.substr(headEnd + 4, next - headEnd - 4));
        auto quoted = [&head](std::string_view key) -> std::optional<std::string> {
            const std::string marker = std::string(key) + "=\"";
            const std::size_t start = head.find(marker);
            if (start == std::string_view::npos) {
                return std::nullopt;
            }
            const std::size_t end = head.find('"', start + marker.size());
            return std::string(head.substr(start + marker.size(), end - start - marker.size()));
        };
        part.name = quoted("name").value_or("");
        part.fileName = quoted("filename");
        if (const std::size_t type = head.find("Content-Type: "); type != std::string_view::npos) {
            const std::size_t end = head.find("\r\n", type);
            part.contentType = std::string(head.substr(type + 14, end == std::string_view::npos
                                                                      ? std::string_view::npos
                                                                      : end - type - 14));
        }
        parts.push_back(std::move(part));
        at = next + 2;
        if (body.substr(at, delimiter.size() + 2) == delimiter + "--") {
            break;
        }
    }
    return parts;
}

}  // namespace talvor::kit::test
