#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "kit/OutputStream.h"

namespace talvor::kit {

// Writes a multipart/form-data body straight onto an output stream, so that large files
// pass through without the body being built first, and counts the bytes it wrote for an
// exact Content-Length. One thread uses it from `beginEncoding` to `endEncoding`.
//
// A write the stream refuses stops the encoding: nothing more is written (the footer
// neither), `length` counts what was written and `hasFailed` tells the caller not to send
// the truncated body. Quotes and line breaks in field and file names are percent-encoded
// ("%22", "%0D", "%0A"), as browsers do, so a name cannot end its header early.
class TRLMultipartMimeStreamEncoder {
  public:
    using Block = std::function<void(TRLMultipartMimeStreamEncoder& encoder)>;

    // A new boundary: a UUID, 36 upper-case characters with dashes.
    static std::string generateBoundary();
    // An encoder on `stream`; no boundary: a generated one.
    static std::unique_ptr<TRLMultipartMimeStreamEncoder> encoderWithStream(
        std::shared_ptr<OutputStream> stream, std::optional<std::string> boundary = {});
    static std::string contentTypeHTTPHeaderValueWithBoundary(std::string_view boundary);

    // Encodes in memory and fills `request`: "Content-Type", "Content-Length" (through its
    // setValue(value, field)) and the body (setHTTPBody). A failed encoding leaves the
    // request untouched and answers false.
    template <class Request>
    static bool populateRequest(Request& request, const Block& block);

    TRLMultipartMimeStreamEncoder(std::shared_ptr<OutputStream> stream,
                                  std::optional<std::string> boundary);

    // beginEncoding, the block, endEncoding; answers whether everything was written.
    bool encode(const Block& block);
    // `length` = 0, opens the stream, writes the header.
    void beginEncoding();
    // Writes the footer, closes the stream.
    void endEncoding();

    std::string headerData() const;
    std::string footerData() const;

    // A text part holding the value's text; none (a null value) or an empty field name is
    // logged and skipped.
    void addValue(const std::optional<std::string>& value, std::string_view fieldName);
    void addValue(const char* value, std::string_view fieldName);
    // A number as its decimal text (booleans as 1 and 0).
    template <class Number, std::enable_if_t<std::is_arithmetic_v<Number>, int> = 0>
    void addValue(Number value, std::string_view fieldName) {
        addValue(describe(value), fieldName);
    }
    // A file part with `data`; no MIME type: "application/octet-stream". Empty data and an
    // empty field or file name are logged and skipped.
    void addFileData(std::string_view data, std::string_view fileName,
                     const std::optional<std::string>& mimeType, std::string_view fieldName);
    // As addFileData with the file's bytes, read piece by piece while they are written (the
    // file is never held whole). A missing, unreadable or empty file is logged and skipped.
    void addFile(const std::filesystem::path& file, std::string_view fileName,
                 const std::optional<std::string>& mimeType, std::string_view fieldName);

    bool writeData(std::string_view data);
    bool writeBytes(const std::uint8_t* bytes, std::size_t length);

    std::string contentTypeHTTPHeaderValue() const;
    std::string contentLengthHTTPHeaderValue() const;

    std::uint64_t length() const { return length_; }
    void setLength(std::uint64_t length) { length_ = length; }
    const std::string& boundary() const { return boundary_; }
    void setBoundary(std::string boundary) { boundary_ = std::move(boundary); }
    const std::shared_ptr<OutputStream>& outputStream() const { return outputStream_; }
    void setOutputStream(std::shared_ptr<OutputStream> stream) {
        outputStream_ = std::move(stream);
    }
    // Whether a write failed since `beginEncoding`.
    bool hasFailed() const { return failed_; }

  private:
    template <class Number>
    static std::string describe(Number value) {
        if constexpr (std::is_same_v<Number, bool>) {
            return value ? "1" : "0";
        } else {
            char text[64];
            const auto result = std::to_chars(text, text + sizeof text, value);
            return std::string(text, result.ptr);
        }
    }
    std::string fileHeader(std::string_view fileName, const std::optional<std::string>& mimeType,
                           std::string_view fieldName) const;
    bool fileNamesValid(std::string_view fileName, std::string_view fieldName) const;

    std::uint64_t length_ = 0;
    std::string boundary_;
    std::shared_ptr<OutputStream> outputStream_;
    bool failed_ = false;
};

template <class Request>
bool TRLMultipartMimeStreamEncoder::populateRequest(Request& request, const Block& block) {
    auto stream = std::make_shared<MemoryOutputStream>();
    TRLMultipartMimeStreamEncoder encoder(stream, generateBoundary());
    if (!encoder.encode([&block](TRLMultipartMimeStreamEncoder& e) {
            if (block) {
                block(e);
            }
        })) {
        return false;
    }
    request.setValue(encoder.contentTypeHTTPHeaderValue(), "Content-Type");
    request.setValue(encoder.contentLengthHTTPHeaderValue(), "Content-Length");
    request.setHTTPBody(stream->data());
    return true;
}

}  // namespace talvor::kit
