#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The kit's HTTPS transfers and certificate checks live in a module of their own
// (talvor-network.so), linked against libcurl and OpenSSL and opened at the first request,
// so that a start of the program does not load those libraries and the twenty they bring.
// This header is all the two sides share: standard C++ only, destructors inline.
namespace talvor::kit {

// A server's certificate chain as presented, the server's own certificate first (DER).
struct ServerTrust {
    std::string host;
    std::vector<std::string> chainDER;
};

namespace net {

// One request as the library sends it; headers already merged and spelt out.
struct TransferRequest {
    std::string url;
    std::string method = "GET";
    std::vector<std::string> headerLines;  // "Name: value", or "Name;" for an empty value
    // Sent as it is; none and no body file: no body.
    std::optional<std::string> body;
    // Read piece by piece through TransferSink::readBody, this many bytes.
    std::optional<std::uint64_t> bodyFileSize;
    // The roots a server's chain must lead to, as PEM text; none: the system's bundle.
    std::optional<std::string> anchorsPEM;
    double timeout = 60.0;                             // to connect, and the longest idle stretch
    double resourceTimeout = 60.0;                     // the whole transfer
    std::uint64_t maximumResponseBytes = 1024 * 1024;  // an announced larger body is refused
};

// The caller's side of a transfer, called on the thread that moves it on.
class TransferSink {
  public:
    virtual ~TransferSink() = default;
    // Each header line without its line end; a status line starts a new response.
    virtual void headerLine(const std::string& line) = 0;
    // False stops the transfer.
    virtual bool bodyBytes(const char* bytes, std::size_t length) = 0;
    // Up to `capacity` bytes of the body file; none stops the transfer.
    virtual std::optional<std::size_t> readBody(char* into, std::size_t capacity) = 0;
    // Whether the server's chain is trusted; none: the request's anchors decide.
    virtual std::optional<bool> trust(const ServerTrust& chain) = 0;
};

// How a transfer ended.
struct TransferEnd {
    // The library's result code (0: a response came) and its words for a failure.
    int resultCode = 0;
    std::string reason;
    long statusCode = 0;
    std::string effectiveURL;
};

// Transfers moved on together by one thread.
class TransferGroup {
  public:
    virtual ~TransferGroup() = default;
    // False when the library cannot make the transfer.
    virtual bool add(std::uint64_t key, const TransferRequest& request, TransferSink& sink) = 0;
    // Stops a transfer and forgets it; no end is reported for it.
    virtual void remove(std::uint64_t key) = 0;
    // Moves every transfer on; answers those that ended since, forgotten here.
    virtual std::vector<std::pair<std::uint64_t, TransferEnd>> perform() = 0;
    // Waits up to `milliseconds` for network activity or wakeUp().
    virtual void wait(int milliseconds) = 0;
    // From any thread: ends a wait.
    virtual void wakeUp() = 0;
};

enum class ChainCheck {
    Trusted,
    Untrusted,  // also a chain that cannot be read
    Failed,     // the anchors cannot be used, or the check cannot run
};

class NetworkModule {
  public:
    virtual std::unique_ptr<TransferGroup> makeGroup() const = 0;
    // One transfer on the calling thread; none when the library cannot make it.
    virtual std::optional<TransferEnd> performOne(const TransferRequest& request,
                                                  TransferSink& sink) const = 0;
    // The host part of an absolute URL; none when the library does not take the URL.
    virtual std::optional<std::string> hostOf(const std::string& url) const = 0;
    // Whether the bytes are exactly one DER certificate.
    virtual bool isCertificate(const std::string& der) const = 0;
    // The DER of each certificate of a PEM text, in order.
    virtual std::vector<std::string> certificatesOfPEM(const std::string& pem) const = 0;
    // Whether `chain` leads to one of `anchorsDER` and names its host.
    virtual ChainCheck checkChain(const ServerTrust& chain,
                                  const std::vector<std::string>& anchorsDER) const = 0;

  protected:
    ~NetworkModule() = default;
};

// The module, opened at the first call; none when it cannot be (said once in the log).
const NetworkModule* networkModule();

// Where the module would be opened from; empty when it is nowhere (a moved copy takes it).
std::string networkModulePath();

// The module's one entry point.
using NetworkModuleEntry = const NetworkModule* (*)();
inline constexpr const char* kNetworkModuleEntry = "talvor_network_module";

}  // namespace net
}  // namespace talvor::kit
