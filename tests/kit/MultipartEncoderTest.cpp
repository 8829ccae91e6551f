// The multipart body: byte layout, invalid parts, failing streams, streamed files, and a
// read-back by an independent parser (Python's email package).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "kit/OutputStream.h"
#include "kit/TRLEncoding.h"
#include "kit/TRLMultipartMimeStreamEncoder.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;
using test::LogCapture;
using Encoder = TRLMultipartMimeStreamEncoder;

// A folder of its own for each test.
class kitMultipart : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("talvor-multipart-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path write(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path dir_;
};

// The body `block` writes with boundary "B".
std::string encode(const Encoder::Block& block, std::uint64_t* length = nullptr) {
    auto stream = std::make_shared<MemoryOutputStream>();
    Encoder encoder(stream, "B");
    EXPECT_TRUE(encoder.encode(block));
    if (length) {
        *length = encoder.length();
    }
    return stream->data();
}

// A stream that takes `capacity` bytes, then fewer than offered.
class ShortStream final : public OutputStream {
  public:
    explicit ShortStream(std::size_t capacity) : capacity_(capacity) {}
    bool open() override { return true; }
    std::ptrdiff_t write(const std::uint8_t* bytes, std::size_t length) override {
        const std::size_t n = std::min(length, capacity_ - data.size());
        data.append(reinterpret_cast<const char*>(bytes), n);
        return static_cast<std::ptrdiff_t>(n);
    }
    void close() override { ++closes; }
    std::string data;
    int closes = 0;

  private:
    std::size_t capacity_;
};

// A request as the kit's network layer sees one.
struct FakeRequest {
    void setValue(std::string value, const std::string& field) { headers[field] = value; }
    void setHTTPBody(std::string bytes) { body = std::move(bytes); }
    std::map<std::string, std::string> headers;
    std::optional<std::string> body;
};

TEST_F(kitMultipart, EmptyIs61Bytes) {
    auto stream = std::make_shared<MemoryOutputStream>();
    const auto encoder = Encoder::encoderWithStream(stream);
    ASSERT_TRUE(encoder->encode(nullptr));
    const std::string& b = encoder->boundary();
    ASSERT_EQ(b.size(), 36u);
    EXPECT_EQ(b, [&] {
        std::string upper = b;
        for (char& c : upper) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return upper;
    }());
    EXPECT_EQ(stream->data(), "MIME-Version: 1.0\r\n--" + b + "--\r\n");
    EXPECT_EQ(stream->data().size(), 61u);
    EXPECT_EQ(encoder->contentLengthHTTPHeaderValue(), "61");
    EXPECT_EQ(encoder->contentTypeHTTPHeaderValue(), "multipart/form-data; boundary=" + b);
    EXPECT_NE(Encoder::generateBoundary(), Encoder::generateBoundary());
}

TEST_F(kitMultipart, GoldenTextAndFileParts) {
    std::uint64_t length = 0;
    const std::string body = encode(
        [](Encoder& e) {
            e.addValue(std::optional<std::string>("hello"), "greeting");
            e.addValue(4, "count");
            e.addValue(1.5, "ratio");
            e.addValue(true, "flag");
            e.addFileData("{\"a\":1}", "events.json", std::string("application/json"), "file");
            e.addFileData(std::string("\0\r\n--B\r\n", 8), "raw.bin", std::nullopt, "blob");
        },
        &length);
    const std::string expected =
        "MIME-Version: 1.0\r\n"
        "--B\r\nContent-Disposition: form-data; name=\"greeting\"\r\n"
        "Content-Type: text/plain\r\n\r\nhello\r\n"
        "--B\r\nContent-Disposition: form-data; name=\"count\"\r\n"
        "Content-Type: text/plain\r\n\r\n4\r\n"
        "--B\r\nContent-Disposition: form-data; name=\"ratio\"\r\n"
        "Content-Type: text/plain\r\n\r\n1.5\r\n"
        "--B\r\nContent-Disposition: form-data; name=\"flag\"\r\n"
        "Content-Type: text/plain\r\n\r\n1\r\n"
        "--B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"events.json\"\r\n"
        "Content-Type: application/json\r\nContent-Transfer-Encoding: binary\r\n\r\n"
        "{\"a\":1}\r\n"
        "--B\r\nContent-Disposition: form-data; name=\"blob\"; filename=\"raw.bin\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n" +
        std::string("\0\r\n--B\r\n", 8) +
        "\r\n"
        "--B--\r\n";
    EXPECT_EQ(body, expected);
    EXPECT_EQ(length, expected.size());
}

TEST_F(kitMultipart, InvalidPartsSkippedWithLog) {
    const fs::path empty = write("empty", "");
    struct Case {
        const char* what;
        Encoder::Block add;
        std::string line;
    };
    const Case cases[] = {
        {"no value", [](Encoder& e) { e.addValue(std::nullopt, "field"); },
         "[Trellis] name (field) or value ((null)) is invalid"},
        {"null text", [](Encoder& e) { e.addValue(static_cast<const char*>(nullptr), "field"); },
         "[Trellis] name (field) or value ((null)) is invalid"},
        {"empty field name", [](Encoder& e) { e.addValue(std::optional<std::string>("v"), ""); },
         "[Trellis] name () or value (v) is invalid"},
        {"empty data", [](Encoder& e) { e.addFileData("", "f.bin", std::nullopt, "file"); },
         "[Trellis] Unable to MIME encode data with zero length (file)"},
        {"empty file name", [](Encoder& e) { e.addFileData("x", "", std::nullopt, "file"); },
         "[Trellis] name (file) or fieldname () is invalid"},
        {"empty field name for data",
         [](Encoder& e) { e.addFileData("x", "f.bin", std::nullopt, ""); },
         "[Trellis] name () or fieldname (f.bin) is invalid"},
        {"missing file",
         [this](Encoder& e) { e.addFile(dir_ / "absent", "a.bin", std::nullopt, "file"); },
         "[Trellis] Unable to MIME encode data with zero length (file)"},
        {"empty file", [empty](Encoder& e) { e.addFile(empty, "e.bin", std::nullopt, "file"); },
         "[Trellis] Unable to MIME encode data with zero length (file)"},
        {"a folder", [this](Encoder& e) { e.addFile(dir_, "d.bin", std::nullopt, "file"); },
         "[Trellis] Unable to MIME encode data with zero length (file)"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        const std::string body = encode([&](Encoder& e) {
            c.add(e);
            e.addValue(std::optional<std::string>("kept"), "after");
        });
        EXPECT_EQ(body,
                  "MIME-Version: 1.0\r\n--B\r\nContent-Disposition: form-data; name=\"after\"\r\n"
                  "Content-Type: text/plain\r\n\r\nkept\r\n--B--\r\n")
            << c.what;
        EXPECT_EQ(log.lines, std::vector<std::string>{c.line}) << c.what;
    }
}

TEST_F(kitMultipart, NamesCannotBreakOutOfTheirHeader) {
    const std::string body = encode([](Encoder& e) {
        e.addValue(std::optional<std::string>("v"), "a\"b\r\nX-Injected: 1");
        e.addFileData("d", "evil\".bin\r\n", std::nullopt, "f\nx");
    });
    EXPECT_EQ(body.find("\r\nX-Injected"), std::string::npos);
    EXPECT_NE(body.find("name=\"a%22b%0D%0AX-Injected: 1\"\r\n"), std::string::npos) << body;
    EXPECT_NE(body.find("name=\"f%0Ax\"; filename=\"evil%22.bin%0D%0A\"\r\n"), std::string::npos)
        << body;
}

TEST_F(kitMultipart, ShortWriteLatchesFailure) {
    const Encoder::Block parts = [](Encoder& e) {
        e.addValue(std::optional<std::string>("hello"), "greeting");
        e.addFileData("0123456789", "n.txt", std::nullopt, "file");
        e.addValue(std::optional<std::string>("late"), "late");
    };
    const std::size_t whole = encode(parts).size();
    // Cut inside the header, inside the first part, inside the file's bytes, in the footer.
    for (const std::size_t capacity :
         {std::size_t{5}, std::size_t{40}, std::size_t{190}, whole - 3}) {
        LogCapture log;
        auto stream = std::make_shared<ShortStream>(capacity);
        Encoder encoder(stream, "B");
        const bool ok = encoder.encode(parts);
        EXPECT_FALSE(ok) << capacity;
        EXPECT_TRUE(encoder.hasFailed()) << capacity;
        EXPECT_EQ(stream->data.size(), capacity);
        EXPECT_EQ(encoder.length(), capacity) << "the length is what the stream holds";
        EXPECT_EQ(stream->closes, 1);
        EXPECT_EQ(log.lines, std::vector<std::string>{"[Trellis] Failed to write data to stream"})
            << capacity;
    }
    // Bytes written directly.
    LogCapture log;
    auto stream = std::make_shared<ShortStream>(3);
    Encoder encoder(stream, "B");
    const std::uint8_t bytes[] = {1, 2, 3, 4};
    EXPECT_FALSE(encoder.writeBytes(bytes, 4));
    EXPECT_FALSE(encoder.writeBytes(bytes, 1)) << "nothing after a failure";
    EXPECT_EQ(encoder.length(), 3u);
    EXPECT_EQ(log.lines, std::vector<std::string>{"[Trellis] Failed to write bytes to stream"});
}

TEST_F(kitMultipart, PopulateRequestFillsHeadersAndBodyOrNothing) {
    FakeRequest request;
    ASSERT_TRUE(Encoder::populateRequest(
        request, [](Encoder& e) { e.addValue(std::optional<std::string>("1"), "n"); }));
    ASSERT_TRUE(request.body.has_value());
    EXPECT_EQ(request.headers["Content-Length"], std::to_string(request.body->size()));
    const std::string type = request.headers["Content-Type"];
    ASSERT_EQ(type.rfind("multipart/form-data; boundary=", 0), 0u);
    const std::string boundary = type.substr(type.find('=') + 1);
    EXPECT_EQ(request.body->substr(request.body->size() - boundary.size() - 6),
              "--" + boundary + "--\r\n");
}

TEST_F(kitMultipart, StreamedFileEqualsTheSameBytesGivenInMemory) {
    // Larger than one read, and not a multiple of it.
    std::string bytes(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 131) ^ (i >> 9));
    }
    const fs::path file = write("big.bin", bytes);
    std::uint64_t streamedLength = 0;
    const std::string streamed =
        encode([&](Encoder& e) { e.addFile(file, "big.bin", std::string("x/y"), "file"); },
               &streamedLength);
    const std::string inMemory =
        encode([&](Encoder& e) { e.addFileData(bytes, "big.bin", std::string("x/y"), "file"); });
    EXPECT_TRUE(streamed == inMemory);
    EXPECT_EQ(streamedLength, streamed.size());
}

TEST_F(kitMultipart, FileStreamReplacesTheFileAndKeepsItPrivate) {
    const fs::path path = write("body", std::string(1000, 'x'));
    auto stream = std::make_shared<FileOutputStream>(path);
    Encoder encoder(stream, "B");
    ASSERT_TRUE(encoder.encode(nullptr));
    EXPECT_EQ(fs::file_size(path), 26u);  // "MIME-Version: 1.0\r\n--B--\r\n"
    EXPECT_EQ(encoder.length(), 26u);
    EXPECT_EQ(fs::status(dir_ / "new").type(), fs::file_type::not_found);
    auto fresh = std::make_shared<FileOutputStream>(dir_ / "new");
    ASSERT_TRUE(Encoder(fresh, "B").encode(nullptr));
    EXPECT_EQ(fs::status(dir_ / "new").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    // A folder that is not there: the encoding fails, it does not pretend.
    LogCapture log;
    auto nowhere = std::make_shared<FileOutputStream>(dir_ / "absent" / "body");
    EXPECT_FALSE(Encoder(nowhere, "B").encode(nullptr));
}

TEST_F(kitMultipart, ParsesWithIndependentParser) {
    const char* python = "/usr/bin/python3";
    if (::access(python, X_OK) != 0) {
        GTEST_SKIP() << "no " << python;
    }
    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary.push_back(static_cast<char>(i % 256));
    }
    binary += "\r\n--B\r\n--B--\r\n";  // looks like a boundary, but lacks the leading CRLF
    const std::string streamedBytes(300'000, 'z');
    const fs::path streamedFile = write("streamed.log", streamedBytes);
    const std::string utf8 = "Zürich ☀ 東京";
    const std::string boundary = Encoder::generateBoundary();
    const fs::path bodyPath = dir_ / "body";
    auto stream = std::make_shared<FileOutputStream>(bodyPath);
    Encoder encoder(stream, boundary);
    ASSERT_TRUE(encoder.encode([&](Encoder& e) {
        e.addValue(std::optional<std::string>("secret-key"), "api_key");
        e.addValue(std::optional<std::string>(utf8), "city");
        e.addValue(42, "count");
        e.addFileData(binary, "blob.bin", std::nullopt, "blob");
        e.addFileData("{\"k\":[1,2]}", "settings.json", std::string("application/json"), "json");
        e.addFile(streamedFile, "streamed.log", std::string("text/plain"), "log");
    }));
    EXPECT_EQ(fs::file_size(bodyPath), encoder.length());

    const std::string command = std::string(python) + " " + TALVOR_MULTIPART_PARSER + " " +
                                boundary + " " + bodyPath.string();
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        output.append(buffer, n);
    }
    ASSERT_EQ(::pclose(pipe), 0) << output;

    const auto part = [](const std::string& name, const std::string& file, const std::string& type,
                         const std::string& cte, const std::string& payload) {
        return name + "|" + file + "|" + type + "|" + cte + "|" + std::to_string(payload.size()) +
               "|" + FAB256HashNSData(payload) + "|\n";
    };
    const std::string expected =
        "multipart=True\n"
        "preamble='MIME-Version: 1.0'\n"
        "defects=\n" +
        part("api_key", "None", "text/plain", "None", "secret-key") +
        part("city", "None", "text/plain", "None", utf8) +
        part("count", "None", "text/plain", "None", "42") +
        part("blob", "blob.bin", "application/octet-stream", "None", binary) +
        part("json", "settings.json", "application/json", "binary", "{\"k\":[1,2]}") +
        part("log", "streamed.log", "text/plain", "binary", streamedBytes);
    EXPECT_EQ(output, expected);
}

}  // namespace
}  // namespace talvor::kit
