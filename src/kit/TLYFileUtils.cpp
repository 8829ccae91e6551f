#include "kit/TLYFileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "kit/KitLog.h"
#include "kit/TRLEncoding.h"

namespace talvor::kit {

namespace fs = std::filesystem;

std::set<fs::path> TLYFileUtils::allFilesInDirectory(const fs::path& directory) {
    std::set<fs::path> files;
    std::error_code error;
    fs::directory_iterator it(directory, error);
    if (error) {
        log(KitLogLevel::Debug,
            "[Tally] Unable to read contents of " + directory.string() + ": " + error.message());
        return files;
    }
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            break;
        }
        files.insert(it->path());
    }
    return files;
}

std::string TLYFileUtils::extensionOf(const fs::path& file) {
    const std::string extension = file.extension().string();
    return extension.empty() ? std::string() : extension.substr(1);
}

std::set<fs::path> TLYFileUtils::filesWithExtension(std::string_view extension,
                                                    const fs::path& directory) {
    std::set<fs::path> files;
    for (const auto& file : allFilesInDirectory(directory)) {
        if (extensionOf(file) == extension) {
            files.insert(file);
        }
    }
    return files;
}

std::uint64_t TLYFileUtils::fileSizeAtURL(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return 0;
    }
    return std::uint64_t(info.st_size);
}

double TLYFileUtils::fileCreatedDateAtURL(const fs::path& file, double fallback) {
    struct statx info {};
    if (::statx(AT_FDCWD, file.c_str(), 0, STATX_MTIME | STATX_BTIME, &info) != 0 ||
        !(info.stx_mask & STATX_MTIME)) {
        return fallback;
    }
    const auto seconds = [](const struct statx_timestamp& t) {
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    };
    double date = seconds(info.stx_mtime);
    if (info.stx_mask & STATX_BTIME) {
        date = std::min(date, seconds(info.stx_btime));
    }
    return date;
}

bool TLYFileUtils::setModificationDate(const fs::path& file, double seconds) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    const double whole = std::floor(seconds);
    times[1].tv_sec = time_t(whole);
    times[1].tv_nsec = long((seconds - whole) * 1e9);
    return ::utimensat(AT_FDCWD, file.c_str(), times, 0) == 0;
}

bool TLYFileUtils::writeAtomically(const fs::path& file, std::string_view bytes) {
    const fs::path temporary = file.string() + "." + TRLGenerateUUID() + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        done += ok ? std::size_t(n) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace talvor::kit
