// A client of the page server over raw sockets, for its tests: requests sent as any client
// may send them (slowly, malformed, from another loopback address), answers read back whole.
#ifndef KMI_TESTS_PAGE_SERVER_CLIENT_H
#define KMI_TESTS_PAGE_SERVER_CLIENT_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "kmi_host_support.h"

namespace kmi::test::host_program {

struct Socket {
    int fd = -1;
    Socket() = default;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (fd >= 0) close(fd);
    }
};

// From 127.0.0.1, or another loopback address `from`: another client address to the server.
inline void connect_to(Socket& socket, std::uint16_t port, int receive_buffer = 0, const char* from = nullptr) {
    socket.fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(socket.fd, 0);
    if (receive_buffer > 0) setsockopt(socket.fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    if (from != nullptr) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        ASSERT_EQ(inet_pton(AF_INET, from, &source.sin_addr), 1);
        ASSERT_EQ(bind(socket.fd, reinterpret_cast<const sockaddr*>(&source), sizeof source), 0);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(socket.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
}

// Sends what the server takes: it may answer and stop reading before the end.
inline void send_text(const Socket& socket, const std::string& text) {
    for (std::size_t sent = 0; sent < text.size();) {
        const ssize_t n = send(socket.fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

// Reads until `done` says so or the connection ends; a server that says nothing for 10 s fails.
template <typename Done>
std::string read_until(const Socket& socket, Done done) {
    std::string text;
    char buffer[65536];
    while (!done(text)) {
        pollfd ready{socket.fd, POLLIN, 0};
        if (poll(&ready, 1, 10000) <= 0) {
            ADD_FAILURE() << "no answer; so far: " << text.substr(0, 200);
            break;
        }
        const ssize_t n = recv(socket.fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// One response: its header, and its body as long as its Content-Length (none for HEAD).
inline std::string read_response(const Socket& socket, bool head = false) {
    return read_until(socket, [head](const std::string& text) {
        const std::size_t end = text.find("\r\n\r\n");
        if (end == std::string::npos) return false;
        if (head) return true;
        const std::size_t length = text.find("Content-Length: ");
        return length != std::string::npos && text.size() >= end + 4 + std::stoul(text.substr(length + 16));
    });
}

inline int status_of(const std::string& response) {
    return response.rfind("HTTP/1.", 0) == 0 && response.size() >= 12 ? std::stoi(response.substr(9, 3)) : 0;
}

// Whether the server has closed the connection, waiting up to `wait` for it.
inline bool closed_by_server(const Socket& socket, std::chrono::milliseconds wait) {
    pollfd ready{socket.fd, POLLIN, 0};
    char byte = 0;
    return poll(&ready, 1, static_cast<int>(wait.count())) > 0 && recv(socket.fd, &byte, 1, MSG_PEEK) <= 0;
}

inline std::string body_of(const std::string& response) { return response.substr(response.find("\r\n\r\n") + 4); }

inline std::string get(std::uint16_t port, const std::string& target) {
    Socket socket;
    connect_to(socket, port);
    send_text(socket, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    return read_response(socket);
}

// The data of the next event of a stream (its "data: " line).
inline Json next_event(const Socket& socket, std::string& pending) {
    pending += read_until(socket, [&pending](const std::string& text) {
        const std::string all = pending + text;
        const std::size_t data = all.find("\ndata: ");
        return data != std::string::npos && all.find("\n\n", data) != std::string::npos;
    });
    const std::size_t data = pending.find("\ndata: ");
    const std::size_t end = pending.find("\n\n", data);
    const Json event = Json::parse(pending.substr(data + 7, end - data - 7));
    pending.erase(0, end + 2);
    return event;
}

}  // namespace kmi::test::host_program

#endif
