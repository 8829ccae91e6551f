#include "kit/TRLMultipartMimeStreamEncoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "kit/KitLog.h"
#include "kit/TRLEncoding.h"

namespace talvor::kit {
namespace {

constexpr std::string_view kCRLF = "\r\n";
constexpr std::size_t kFileChunk = 256 * 1024;

// A name inside a quoted header parameter: quotes and line breaks percent-encoded.
std::string quotedName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        switch (c) {
            case '"':
                out += "%22";
                break;
            case '\r':
                out += "%0D";
                break;
            case '\n':
                out += "%0A";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

// A descriptor that closes itself.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

std::string TRLMultipartMimeStreamEncoder::generateBoundary() {
    return TRLGenerateUUID();
}

std::unique_ptr<TRLMultipartMimeStreamEncoder> TRLMultipartMimeStreamEncoder::encoderWithStream(
    std::shared_ptr<OutputStream> stream, std::optional<std::string> boundary) {
    return std::make_unique<TRLMultipartMimeStreamEncoder>(std::move(stream), std::move(boundary));
}

std::string TRLMultipartMimeStreamEncoder::contentTypeHTTPHeaderValueWithBoundary(
    std::string_view boundary) {
    return "multipart/form-data; boundary=" + std::string(boundary);
}

TRLMultipartMimeStreamEncoder::TRLMultipartMimeStreamEncoder(std::shared_ptr<OutputStream> stream,
                                                             std::optional<std::string> boundary)
    : boundary_(boundary ? std::move(*boundary) : generateBoundary()),
      outputStream_(std::move(stream)) {}

bool TRLMultipartMimeStreamEncoder::encode(const Block& block) {
    beginEncoding();
    if (block) {
        block(*this);
    }
    endEncoding();
    return !failed_;
}

void TRLMultipartMimeStreamEncoder::beginEncoding() {
    length_ = 0;
    failed_ = false;
    if (!outputStream_ || !outputStream_->open()) {
        log(KitLogLevel::Error, "[Trellis] Failed to open the stream for a multipart body");
        failed_ = true;
        return;
    }
    writeData(headerData());
}

void TRLMultipartMimeStreamEncoder::endEncoding() {
    writeData(footerData());
    if (outputStream_) {
        outputStream_->close();
    }
}

std::string TRLMultipartMimeStreamEncoder::headerData() const {
    return "MIME-Version: 1.0\r\n";
}

std::string TRLMultipartMimeStreamEncoder::footerData() const {
    return "--" + boundary_ + "--\r\n";
}

void TRLMultipartMimeStreamEncoder::addValue(const std::optional<std::string>& value,
                                             std::string_view fieldName) {
    if (!value || fieldName.empty()) {
        log(KitLogLevel::Error, "[Trellis] name (" + std::string(fieldName) + ") or value (" +
                                    (value ? *value : std::string("(null)")) + ") is invalid");
        return;
    }
    std::string part = "--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" +
                       quotedName(fieldName) + "\"\r\n";
    part += "Content-Type: text/plain\r\n\r\n";
    part += *value;
    part += kCRLF;
    writeData(part);
}

void TRLMultipartMimeStreamEncoder::addValue(const char* value, std::string_view fieldName) {
    addValue(value ? std::optional<std::string>(value) : std::nullopt, fieldName);
}

bool TRLMultipartMimeStreamEncoder::fileNamesValid(std::string_view fileName,
                                                   std::string_view fieldName) const {
    if (fieldName.empty() || fileName.empty()) {
        log(KitLogLevel::Error, "[Trellis] name (" + std::string(fieldName) + ") or fieldname (" +
                                    std::string(fileName) + ") is invalid");
        return false;
    }
    return true;
}

std::string TRLMultipartMimeStreamEncoder::fileHeader(std::string_view fileName,
                                                      const std::optional<std::string>& mimeType,
                                                      std::string_view fieldName) const {
    std::string header = "--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" +
                         quotedName(fieldName) + "\"; filename=\"" + quotedName(fileName) +
                         "\"\r\n";
    if (mimeType) {
        header += "Content-Type: " + *mimeType + "\r\n";
        header += "Content-Transfer-Encoding: binary\r\n\r\n";
    } else {
        header += "Content-Type: application/octet-stream\r\n\r\n";
    }
    return header;
}

void TRLMultipartMimeStreamEncoder::addFileData(std::string_view data, std::string_view fileName,
                                                const std::optional<std::string>& mimeType,
                                                std::string_view fieldName) {
    if (data.empty()) {
        log(KitLogLevel::Error, "[Trellis] Unable to MIME encode data with zero length (" +
                                    std::string(fieldName) + ")");
        return;
    }
    if (!fileNamesValid(fileName, fieldName)) {
        return;
    }
    if (writeData(fileHeader(fileName, mimeType, fieldName)) && writeData(data)) {
        writeData(kCRLF);
    }
}

void TRLMultipartMimeStreamEncoder::addFile(const std::filesystem::path& file,
                                            std::string_view fileName,
                                            const std::optional<std::string>& mimeType,
                                            std::string_view fieldName) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size == 0) {
        log(KitLogLevel::Error, "[Trellis] Unable to MIME encode data with zero length (" +
                                    std::string(fieldName) + ")");
        return;
    }
    if (!fileNamesValid(fileName, fieldName)) {
        return;
    }
    if (!writeData(fileHeader(fileName, mimeType, fieldName))) {
        return;
    }
    std::vector<std::uint8_t> chunk(kFileChunk);
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            // The part would silently hold less than the file: the body is not to be sent.
            log(KitLogLevel::Error, "[Trellis] Failed to read " + file.string());
            failed_ = true;
            return;
        }
        if (n == 0) {
            break;
        }
        if (!writeBytes(chunk.data(), static_cast<std::size_t>(n))) {
            return;
        }
    }
    writeData(kCRLF);
}

bool TRLMultipartMimeStreamEncoder::writeData(std::string_view data) {
    if (failed_) {
        return false;
    }
    bool written = true;
    TRLEnumerateByteRangesOfNSDataUsingBlock(
        data, [&](const std::uint8_t* bytes, TRLByteRange range, bool& stop) {
            if (range.length == 0) {
                return;
            }
            const std::ptrdiff_t n = outputStream_->write(bytes + range.location, range.length);
            if (n < 0 || static_cast<std::size_t>(n) < range.length) {
                log(KitLogLevel::Error, "[Trellis] Failed to write data to stream");
                // What the stream did take is in the body, so it counts.
                length_ += n > 0 ? static_cast<std::uint64_t>(n) : 0;
                written = false;
                failed_ = true;
                stop = true;
                return;
            }
            length_ += range.length;
        });
    return written;
}

bool TRLMultipartMimeStreamEncoder::writeBytes(const std::uint8_t* bytes, std::size_t length) {
    if (failed_) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    const std::ptrdiff_t n = outputStream_->write(bytes, length);
    if (n < 0 || static_cast<std::size_t>(n) < length) {
        log(KitLogLevel::Error, "[Trellis] Failed to write bytes to stream");
        length_ += n > 0 ? static_cast<std::uint64_t>(n) : 0;
        failed_ = true;
        return false;
    }
    length_ += length;
    return true;
}

std::string TRLMultipartMimeStreamEncoder::contentTypeHTTPHeaderValue() const {
    return contentTypeHTTPHeaderValueWithBoundary(boundary_);
}

std::string TRLMultipartMimeStreamEncoder::contentLengthHTTPHeaderValue() const {
    return std::to_string(length_);
}

}  // namespace talvor::kit
