#include "LoopbackTlsServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "kit/network/URLRequest.h"

namespace talvor::kit::test {

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringCase(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

struct LoopbackTlsServer::Impl {
    // Writes at most 64 KiB of the pattern at `offset`; false once the client is gone.
    bool writePiece(std::uint64_t offset, std::size_t length, httplib::DataSink& sink) {
        std::string piece(std::min<std::size_t>(length, 64 * 1024), '\0');
        for (std::size_t i = 0; i < piece.size(); ++i) {
            piece[i] = patternByte(offset + i);
        }
        if (!sink.write(piece.data(), piece.size())) {
            return false;
        }
        streamedSent += piece.size();
        return true;
    }

    std::filesystem::path folder;
    std::unique_ptr<httplib::SSLServer> server;
    std::thread thread;
    int port = 0;
    std::atomic<std::uint64_t> streamedSent{0};

    mutable std::mutex mutex;  // guards the members below
    mutable std::condition_variable changed;
    Script script;
    std::vector<RecordedRequest> requests;
    bool released = false;

    void handle(const httplib::Request& request, httplib::Response& response) {
        RecordedRequest recorded{request.method, request.path, {},
                                 request.body,   {},           request.target};
        for (const auto& [name, value] : request.headers) {
            recorded.headers.emplace_back(name, value);
        }
        for (const auto& [name, part] : request.files) {
            recorded.parts.push_back({name, part.filename, part.content_type, part.content});
        }
        Script current;
        {
            std::lock_guard lock(mutex);
            requests.push_back(recorded);
            current = script;
            changed.notify_all();
        }
        ScriptedResponse answer = current ? current(recorded) : ScriptedResponse{};
        if (answer.hold) {
            std::unique_lock lock(mutex);
            changed.wait_for(lock, std::chrono::seconds(20), [this] { return released; });
        }
        response.status = answer.status;
        for (const auto& [name, value] : answer.headers) {
            response.set_header(name, value);
        }
        if (answer.streamedBytes > 0 && answer.chunked) {
            response.set_chunked_content_provider(
                answer.contentType,
                [this, total = std::min(answer.streamedBytes, kServerGivesUpAfter),
                 cut = answer.cutOffAfter](std::size_t offset, httplib::DataSink& sink) {
                    if (cut && offset >= *cut) {
                        return false;
                    }
                    if (offset >= total) {
                        sink.done();
                        return true;
                    }
                    return writePiece(offset, std::min(total, cut.value_or(total)) - offset, sink);
                });
        } else if (answer.streamedBytes > 0) {
            const std::uint64_t cut =
                std::min(answer.cutOffAfter.value_or(kServerGivesUpAfter), kServerGivesUpAfter);
            response.set_content_provider(
                answer.streamedBytes, answer.contentType,
                [this, cut](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    // Past the cut the connection drops, the body cut off.
                    return offset < cut &&
                           writePiece(offset, std::min<std::uint64_t>(length, cut - offset), sink);
                });
        } else if (!answer.body.empty() || answer.status == 200) {
            response.set_content(answer.body, answer.contentType);
        }
    }
};

LoopbackTlsServer::LoopbackTlsServer(const TestIdentity& identity, Script script)
    : impl_(std::make_unique<Impl>()) {
    std::string folder = (std::filesystem::temp_directory_path() / "talvor-tls-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        throw std::runtime_error("no folder for the test server");
    }
    impl_->folder = folder;
    std::ofstream(impl_->folder / "chain.pem") << identity.chainPEM;
    std::ofstream(impl_->folder / "key.pem") << identity.keyPEM;
    impl_->script = std::move(script);
    impl_->server = std::make_unique<httplib::SSLServer>((impl_->folder / "chain.pem").c_str(),
                                                         (impl_->folder / "key.pem").c_str());
    if (!impl_->server->is_valid()) {
        throw std::runtime_error("the test server has no certificate");
    }
    auto handler = [impl = impl_.get()](const httplib::Request& request,
                                        httplib::Response& response) {
        impl->handle(request, response);
    };
    impl_->server->Get(".*", handler);
    impl_->server->Post(".*", handler);
    impl_->server->Put(".*", handler);
    impl_->server->Delete(".*", handler);
    impl_->port = impl_->server->bind_to_any_port("127.0.0.1");
    if (impl_->port <= 0) {
        throw std::runtime_error("the test server has no port");
    }
    impl_->thread = std::thread([server = impl_->server.get()] { server->listen_after_bind(); });
    // A stop before the server runs would be lost, leaving it waiting for ever.
    for (int i = 0; i < 2000 && !impl_->server->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

LoopbackTlsServer::~LoopbackTlsServer() {
    release();
    impl_->server->stop();
    impl_->thread.join();
    std::error_code ignored;
    std::filesystem::remove_all(impl_->folder, ignored);
}

std::string LoopbackTlsServer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(impl_->port) + path;
}

void LoopbackTlsServer::setScript(Script script) {
    std::lock_guard lock(impl_->mutex);
    impl_->script = std::move(script);
}

std::vector<RecordedRequest> LoopbackTlsServer::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

std::uint64_t LoopbackTlsServer::streamedBytesSent() const {
    return impl_->streamedSent;
}

std::size_t LoopbackTlsServer::requestCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests.size();
}

bool LoopbackTlsServer::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, limit, [&] { return impl_->requests.size() >= count; });
}

void LoopbackTlsServer::release() {
    std::lock_guard lock(impl_->mutex);
    impl_->released = true;
    impl_->changed.notify_all();
}

SilentListener::SilentListener() {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(socket_, 8) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no silent listener");
    }
    port_ = ntohs(address.sin_port);
}

SilentListener::~SilentListener() {
    ::close(socket_);
}

std::string SilentListener::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace talvor::kit::test
