#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>

namespace talvor::test {

// An HTTP server on 127.0.0.1 in a thread of its own, so that it sends as fast as the
// machine allows rather than at the pace of a test's event loop: it answers one request with
// `head`, then body bytes (64 KiB chunks when `chunked`) until the client hangs up or it gives
// up after `givesUpAfter` of them. With `redirectFirst` a first request is sent to the same
// page again (307).
//
// It answers kPause after the request, as a server across a network would at the soonest:
// Qt's HTTP thread learns a reply's read limit through a queued call, and a server answering
// within microseconds of the request can, on a loaded machine, get its body flowing first.
class FloodServer {
  public:
    static constexpr std::int64_t kGivesUpAfter = 256 * 1024 * 1024;
    static constexpr std::chrono::milliseconds kPause{100};

    FloodServer(std::string head, bool chunked, bool redirectFirst = false,
                std::int64_t givesUpAfter = kGivesUpAfter)
        : givesUpAfter_(givesUpAfter) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            if (listener_ >= 0) {
                ::close(listener_);
            }
            throw std::runtime_error("no flood server");
        }
        port_ = ntohs(address.sin_port);
        if (redirectFirst) {
            redirect_ = "HTTP/1.1 307 Temporary Redirect\r\nLocation: " + url("/ExIP.php") +
                        "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        }
        thread_ = std::thread([this, head = std::move(head), chunked] { serve(head, chunked); });
    }
    ~FloodServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    FloodServer(const FloodServer&) = delete;
    FloodServer& operator=(const FloodServer&) = delete;

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    // The body bytes written so far.
    std::int64_t bodyBytesSent() const { return sent_; }
    // Waits (at most 10 s) until the client has gone or the server gave up; the body bytes
    // written by then.
    std::int64_t bodyBytesSentWhenDone() const {
        for (int i = 0; i < 1000 && !done_; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return sent_;
    }

  private:
    // The next request's connection, its head read; -1 when the server stops first.
    int nextRequest() {
        pollfd waiting{listener_, POLLIN, 0};
        while (!stop_ && ::poll(&waiting, 1, 50) == 0) {
        }
        const int client = stop_ ? -1 : ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::string request;
        char buffer[4096];
        while (client >= 0 && request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t got = ::recv(client, buffer, sizeof(buffer), 0);
            if (got <= 0) {
                break;
            }
            request.append(buffer, static_cast<std::size_t>(got));
        }
        return client;
    }

    void serve(const std::string& head, bool chunked) {
        if (!redirect_.empty()) {
            if (const int first = nextRequest(); first >= 0) {
                ::send(first, redirect_.data(), redirect_.size(), MSG_NOSIGNAL);
                ::close(first);
            }
        }
        if (const int client = nextRequest(); client >= 0) {
            std::this_thread::sleep_for(kPause);
            std::string block(64 * 1024, ' ');
            if (chunked) {
                block = "10000\r\n" + block + "\r\n";
            }
            bool open = ::send(client, head.data(), head.size(), MSG_NOSIGNAL) ==
                        static_cast<ssize_t>(head.size());
            while (open && !stop_ && sent_ < givesUpAfter_) {
                const ssize_t put = ::send(client, block.data(), block.size(), MSG_NOSIGNAL);
                open = put > 0;
                sent_ += std::max<ssize_t>(put, 0);
            }
            ::close(client);
        }
        done_ = true;
    }

    const std::int64_t givesUpAfter_;
    int listener_ = -1;
    int port_ = 0;
    std::string redirect_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::atomic<std::int64_t> sent_{0};
};

}  // namespace talvor::test
