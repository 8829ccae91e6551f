#include "kit/OutputStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace talvor::kit {

std::ptrdiff_t MemoryOutputStream::write(const std::uint8_t* bytes, std::size_t length) {
    data_.append(reinterpret_cast<const char*>(bytes), length);
    return static_cast<std::ptrdiff_t>(length);
}

FileOutputStream::FileOutputStream(std::filesystem::path path) : path_(std::move(path)) {}

FileOutputStream::~FileOutputStream() {
    close();
}

bool FileOutputStream::open() {
    close();
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    return fd_ >= 0;
}

std::ptrdiff_t FileOutputStream::write(const std::uint8_t* bytes, std::size_t length) {
    if (fd_ < 0) {
        return -1;
    }
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, bytes + done, length - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::ptrdiff_t>(done);
}

void FileOutputStream::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace talvor::kit
