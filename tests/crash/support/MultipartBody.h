#pragma once

#include <zlib.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Reading back a packaged report: its multipart body and gzip-compressed parts.
namespace talvor::crash::test {

struct Part {
    std::string name;
    std::optional<std::string> fileName;
    std::string contentType;
    std::string body;
};

// The parts of a multipart/form-data body, in order; empty when it does not end with the
// closing boundary.
inline std::vector<Part> parseMultipart(const std::string& body, const std::string& boundary) {
    const std::string delimiter = "--" + boundary;
    const std::string closing = delimiter + "--\r\n";
    if (body.size() < closing.size() ||
        body.compare(body.size() - closing.size(), closing.size(), closing) != 0) {
        return {};
    }
    std::vector<Part> parts;
    std::size_t at = body.find(delimiter + "\r\n");
    while (at != std::string::npos) {
        const std::size_t headersStart = at + delimiter.size() + 2;
        const std::size_t headersEnd = body.find("\r\n\r\n", headersStart);
        if (headersEnd == std::string::npos) {
            return {};
        }
        const std::string headers = body.substr(headersStart, headersEnd - headersStart);
        std::size_t next = body.find("\r\n" + delimiter, headersEnd + 4);
        if (next == std::string::npos) {
            return {};
        }
        Part part;
        part.body = body.substr(headersEnd + 4, next - headersEnd - 4);
        const auto quoted = [&](const std::string& key) -> std::optional<std::string> {
            const std::size_t start = headers.find(key + "=\"");
            if (start == std::string::npos) {
                return std::nullopt;
            }
            const std::size_t end = headers.find('"', start + key.size() + 2);
            return headers.substr(start + key.size() + 2, end - start - key.size() - 2);
        };
        part.name = quoted("name").value_or("");
        part.fileName = quoted("filename");
        const std::size_t type = headers.find("Content-Type: ");
        if (type != std::string::npos) {
            part.contentType = headers.substr(type + 14, headers.find("\r\n", type) - type - 14);
        }
        parts.push_back(std::move(part));
        at = body.compare(next + 2, closing.size(), closing) == 0 ? std::string::npos : next + 2;
    }
    return parts;
}

inline std::optional<std::string> gunzip(const std::string& compressed) {
    z_stream stream{};
    if (::inflateInit2(&stream, 15 + 16) != Z_OK) {
        return std::nullopt;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    std::string out;
    char buffer[16384];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = ::inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    ::inflateEnd(&stream);
    if (result != Z_STREAM_END || stream.avail_in != 0) {
        return std::nullopt;
    }
    return out;
}

}  // namespace talvor::crash::test
