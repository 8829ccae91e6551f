#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// Where the kit writes a body or a file: opened, written (a write may take fewer bytes than
// offered, which the writer treats as a failure), closed.
namespace talvor::kit {

class OutputStream {
  public:
    virtual ~OutputStream() = default;
    virtual bool open() = 0;
    // The number of bytes taken; fewer than `length` (or -1) when the stream cannot take more.
    virtual std::ptrdiff_t write(const std::uint8_t* bytes, std::size_t length) = 0;
    virtual void close() = 0;
};

// Collects the bytes in memory.
class MemoryOutputStream final : public OutputStream {
  public:
    bool open() override { return true; }
    std::ptrdiff_t write(const std::uint8_t* bytes, std::size_t length) override;
    void close() override {}
    const std::string& data() const { return data_; }

  private:
    std::string data_;
};

// Writes a file, replacing one that is there (private to the user: bodies may hold reports).
class FileOutputStream final : public OutputStream {
  public:
    explicit FileOutputStream(std::filesystem::path path);
    ~FileOutputStream() override;
    FileOutputStream(const FileOutputStream&) = delete;
    FileOutputStream& operator=(const FileOutputStream&) = delete;

    bool open() override;
    // Writes all of it unless the file system refuses (full disk, I/O error).
    std::ptrdiff_t write(const std::uint8_t* bytes, std::size_t length) override;
    void close() override;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    int fd_ = -1;
};

}  // namespace talvor::kit
