#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "TestPki.h"

// An HTTPS server on 127.0.0.1 (a port of its own) that answers as the test scripts and
// records every request; and a listener that never answers.
namespace talvor::kit::test {

struct RecordedPart {
    std::string name, fileName, contentType, content;
};

struct RecordedRequest {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;  // empty for a form: the server takes it apart into `parts`
    // A multipart form's parts, by name (the server keeps the order only among equal names).
    std::vector<RecordedPart> parts;
    std::string target;  // the path with its query, as sent

    std::optional<std::string> header(const std::string& name) const;
};

struct ScriptedResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string contentType = "text/plain";
    // A body of this many pattern bytes, produced piece by piece instead of `body`; the
    // server gives up after kServerGivesUpAfter of them (a client that never hangs up
    // still ends).
    std::uint64_t streamedBytes = 0;
    // The streamed body goes in chunks, its length never announced.
    bool chunked = false;
    // The connection drops after this many streamed bytes, the body cut off.
    std::optional<std::uint64_t> cutOffAfter;
    // Answers only once `release` is called (or the server stops).
    bool hold = false;
};

inline ScriptedResponse answer(int status,
                               std::vector<std::pair<std::string, std::string>> headers = {}) {
    ScriptedResponse response;
    response.status = status;
    response.headers = std::move(headers);
    return response;
}
inline ScriptedResponse withBody(std::string body, std::string contentType) {
    ScriptedResponse response;
    response.body = std::move(body);
    response.contentType = std::move(contentType);
    return response;
}
inline ScriptedResponse held() {
    ScriptedResponse response;
    response.hold = true;
    return response;
}
inline ScriptedResponse streamed(std::uint64_t bytes) {
    ScriptedResponse response;
    response.streamedBytes = bytes;
    response.contentType = "application/octet-stream";
    return response;
}

inline constexpr std::uint64_t kServerGivesUpAfter = 64 * 1024 * 1024;

// A body announced as `announced` bytes (none: sent in chunks) whose connection drops after
// `sent` of them.
inline ScriptedResponse cutOff(std::optional<std::uint64_t> announced, std::uint64_t sent,
                               std::string contentType = "application/json") {
    ScriptedResponse response = streamed(announced.value_or(kServerGivesUpAfter));
    response.chunked = !announced;
    response.cutOffAfter = sent;
    response.contentType = std::move(contentType);
    return response;
}

// A reply without end, in chunks: served until the client hangs up (or the server gives up).
inline ScriptedResponse endless(std::string contentType = "application/json") {
    ScriptedResponse response = streamed(kServerGivesUpAfter);
    response.chunked = true;
    response.contentType = std::move(contentType);
    return response;
}

// The byte at `offset` of a streamed body.
inline char patternByte(std::uint64_t offset) {
    return static_cast<char>((offset * 131 + offset / 4096) & 0xFF);
}

class LoopbackTlsServer {
  public:
    using Script = std::function<ScriptedResponse(const RecordedRequest&)>;

    explicit LoopbackTlsServer(const TestIdentity& identity, Script script = {});
    ~LoopbackTlsServer();
    LoopbackTlsServer(const LoopbackTlsServer&) = delete;
    LoopbackTlsServer& operator=(const LoopbackTlsServer&) = delete;

    // "https://127.0.0.1:<port><path>".
    std::string url(const std::string& path) const;
    void setScript(Script script);
    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    // The streamed body bytes the clients took, over every reply so far.
    std::uint64_t streamedBytesSent() const;
    // Waits (at most `limit`) until `count` requests arrived.
    bool waitForRequests(std::size_t count,
                         std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    void release();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Accepts connections on 127.0.0.1 and never says a word.
class SilentListener {
  public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    std::string url(const std::string& path) const;

  private:
    int socket_ = -1;
    int port_ = 0;
};

}  // namespace talvor::kit::test
