#pragma once
// A small HTTP server on 127.0.0.1 for the update tests, run in a thread of the test program. Each
// path gets a scripted reply: a whole body, a body cut off part-way (closed or reset), a stall, or
// raw bytes that are no HTTP at all, a body without an announced length, an endless body, or one fed
// a little at a time. Paths without a reply get a 404 error page. Each connection is
// answered in a thread of its own; every reply closes its connection. Nothing here talks to any other address.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tb::testing_support {

struct Reply {
    enum class Mode {
        kWhole,         // status line, Content-Length, the body
        kCloseMidBody,  // announces the whole body, sends half, closes
        kResetMidBody,  // announces the whole body, sends half, resets the connection
        kStallMidBody,  // announces the whole body, sends half, then waits until the server stops
        kRawBytes,      // sends the body as it is, without any HTTP, and closes
        kUnannounced,   // the whole body without Content-Length, ended by closing the connection
        kEndless,       // no Content-Length, and the body repeated until the client goes away
        kDrip,          // announces the whole body, then sends drip_bytes of it every drip_ms
    };
    Reply() = default;
    Reply(std::string body_bytes, int status_code = 200, Mode reply_mode = Mode::kWhole,
          std::function<void()> on_midway = {})
        : body(std::move(body_bytes)), status(status_code), mode(reply_mode), midway(std::move(on_midway)) {}

    std::string body;
    int status = 200;
    Mode mode = Mode::kWhole;
    // Called on the server's thread between the two halves of a kWhole body.
    std::function<void()> midway;
    int drip_ms = 200;
    size_t drip_bytes = 1;
    // Sent as the ETag; a request whose If-None-Match names it gets 304 and no body.
    std::string etag;
    // Sent as the Location of a 302 (the body is then a short page).
    std::string location;
};

class HttpServer {
public:
    HttpServer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        listen(listener_, 8);
        thread_ = std::thread([this] { Serve(); });
    }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;
    ~HttpServer() {
        stop_ = true;
        thread_.join();
        for (std::thread& connection : connections_) connection.join();
        closesocket(listener_);
        WSACleanup();
    }

    // A port on 127.0.0.1 where nothing listens.
    static unsigned short ClosedPort() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
        closesocket(probe);
        WSACleanup();
        return ntohs(address.sin_port);
    }

    std::string Root() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    void Set(const std::string& path, Reply reply) {
        std::lock_guard lock(mutex_);
        replies_[path] = std::move(reply);
    }
    std::vector<std::string> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    // The paths whose whole body was sent (not a 304, a redirect or a cut transfer).
    std::vector<std::string> Bodies() {
        std::lock_guard lock(mutex_);
        return bodies_;
    }

private:
    static bool WaitReadable(SOCKET s, int milliseconds) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
        return select(0, &set, nullptr, nullptr, &wait) > 0;
    }
    static bool WaitWritable(SOCKET s, int milliseconds) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
        return select(0, nullptr, &set, nullptr, &wait) > 0;
    }
    // Client sockets do not block: a client that stops reading without closing (a connection the
    // client library keeps for later) would otherwise hold this thread, and the destructor that
    // joins it, for ever. A send gives up when the server stops or after 5 s without progress.
    bool SendAll(SOCKET s, const std::string& bytes) {
        size_t sent = 0;
        int idle_ms = 0;
        while (sent < bytes.size()) {
            const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                idle_ms = 0;
                continue;
            }
            if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && !stop_ && idle_ms < 5000) {
                WaitWritable(s, 50);
                idle_ms += 50;
                continue;
            }
            return false;
        }
        return true;
    }

    void Serve() {
        while (!stop_) {
            if (!WaitReadable(listener_, 50)) continue;
            const SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) continue;
            u_long non_blocking = 1;
            ioctlsocket(client, FIONBIO, &non_blocking);
            connections_.emplace_back([this, client] { Answer(client); });
        }
    }

    void Answer(SOCKET client) {
        std::string request;
        char buffer[2048];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            if (!WaitReadable(client, 5000)) break;
            const int n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, static_cast<size_t>(n));
        }
        const size_t start = request.find(' ');
        const size_t end = start == std::string::npos ? start : request.find(' ', start + 1);
        const std::string path = end == std::string::npos ? "" : request.substr(start + 1, end - start - 1);
        Reply reply;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(path);
            const auto found = replies_.find(path);
            if (found != replies_.end()) {
                reply = found->second;
            } else {
                reply.status = 404;
                reply.body = "<html><body><h1>404 Not Found</h1></body></html>";
            }
        }
        const auto header = [&request](const std::string& name) {
            const size_t at = request.find("\r\n" + name + ": ");
            if (at == std::string::npos) return std::string();
            const size_t value = at + name.size() + 4;
            return request.substr(value, request.find("\r\n", value) - value);
        };
        std::string extra_headers;
        if (!reply.etag.empty()) {
            extra_headers += "ETag: " + reply.etag + "\r\n";
            if (header("If-None-Match") == reply.etag) {
                SendAll(client, "HTTP/1.1 304 Not Modified\r\nETag: " + reply.etag + "\r\nConnection: close\r\n\r\n");
                shutdown(client, SD_SEND);
                closesocket(client);
                return;
            }
        }
        if (!reply.location.empty()) {
            reply.status = 302;
            extra_headers += "Location: " + reply.location + "\r\n";
            if (reply.body.empty()) reply.body = "<html><body>moved</body></html>";
        }
        if (reply.mode == Reply::Mode::kRawBytes) {
            SendAll(client, reply.body);
            closesocket(client);
            return;
        }
        const bool announce = reply.mode != Reply::Mode::kUnannounced && reply.mode != Reply::Mode::kEndless;
        std::string head = "HTTP/1.1 " + std::to_string(reply.status) + (reply.status == 200 ? " OK" : " Other") +
                           "\r\nContent-Type: application/octet-stream\r\n" + extra_headers +
                           (announce ? "Content-Length: " + std::to_string(reply.body.size()) + "\r\n" : "") +
                           "Connection: close\r\n\r\n";
        if (reply.mode == Reply::Mode::kEndless || reply.mode == Reply::Mode::kDrip) {
            SendAll(client, head);
            size_t sent = 0;
            while (!stop_ && !PeerClosed(client)) {
                if (reply.mode == Reply::Mode::kEndless) {
                    if (!SendAll(client, reply.body)) break;
                } else {
                    if (sent >= reply.body.size() || !SendAll(client, reply.body.substr(sent, reply.drip_bytes))) break;
                    sent += reply.drip_bytes;
                    Sleep(static_cast<DWORD>(reply.drip_ms));
                }
            }
            shutdown(client, SD_SEND);
            closesocket(client);
            return;
        }
        const size_t half = reply.body.size() / 2;
        SendAll(client, head + reply.body.substr(0, half));
        switch (reply.mode) {
            case Reply::Mode::kWhole:
            case Reply::Mode::kUnannounced:
                if (reply.midway) reply.midway();
                if (SendAll(client, reply.body.substr(half)) && reply.status == 200) {
                    std::lock_guard lock(mutex_);
                    bodies_.push_back(path);
                }
                break;
            case Reply::Mode::kResetMidBody: {
                linger hard{1, 0};
                setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
                closesocket(client);
                return;
            }
            case Reply::Mode::kStallMidBody:
                while (!stop_ && !PeerClosed(client)) Sleep(20);
                break;
            default:
                break;
        }
        shutdown(client, SD_SEND);
        closesocket(client);
    }

    static bool PeerClosed(SOCKET client) {
        if (!WaitReadable(client, 0)) return false;
        char byte;
        return recv(client, &byte, 1, MSG_PEEK) <= 0;
    }

    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::vector<std::string> requests_;
    std::vector<std::string> bodies_;
    std::vector<std::thread> connections_;  // used by the serving thread only
    std::thread thread_;
};

}  // namespace tb::testing_support
