#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "kit/network/URLRequest.h"

// For the programs that watch when the kit's network module is opened: each is a program of
// its own, linking neither libcurl nor OpenSSL, since a process opens the module only once.
namespace talvor::kit::test {

// The libraries the network module brings into a process.
inline constexpr const char* kModuleLibraries[] = {"talvor-network.so", "libcurl", "libssl",
                                                   "libcrypto"};

inline std::string mappedFiles() {
    std::ifstream maps("/proc/self/maps");
    return {std::istreambuf_iterator<char>(maps), std::istreambuf_iterator<char>()};
}

// A request to a port of 127.0.0.1 that nothing listens on (free a moment ago), so that a
// transfer ends at once, refused, whatever the machine's network.
inline URLRequest requestToAClosedLoopbackPort() {
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        ::unsetenv(name);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(socket);
    URLRequest request;
    request.URL = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
    request.timeoutInterval = 10.0;
    return request;
}

}  // namespace talvor::kit::test
