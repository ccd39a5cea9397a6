#pragma once
// A WebSocket client of the tests' own (RFC 6455) on 127.0.0.1: the opening handshake with the
// RFC's sample key, from a program or from a page of a given origin, then the server's messages (text frames, continuations joined) read one at a
// time with a deadline. It sends nothing after the handshake.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>  // std::chrono's clocks without <chrono>

class WsClient {
public:
    // Connects to Port and shakes hands; ReceiveBuffer > 0 makes the socket's receive buffer
    // that small (a client that reads nothing then holds back the server at once). A page's
    // client names its Origin ("": none, as a program's).
    explicit WsClient(uint16_t Port, int ReceiveBuffer = 0, const std::string& Origin = "") {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ < 0) return;
        if (ReceiveBuffer > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &ReceiveBuffer, sizeof ReceiveBuffer);
        if (!ShakeHands(Port, Origin)) Close();
    }
    ~WsClient() { Close(); }
    WsClient(const WsClient&) = delete;
    WsClient& operator=(const WsClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    // The status of the server's answer to the handshake (101 when connected); 0 without one.
    int Status() const { return status_; }

    // The next message; nothing when none comes within Ms or the server closed the connection.
    std::optional<std::string> Next(int Ms = 10000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(Ms);
        std::string message;
        for (;;) {
            unsigned char head[2];
            if (!ReadExactly(head, 2, deadline)) return std::nullopt;
            const int opcode = head[0] & 0x0F;
            uint64_t length = head[1] & 0x7F;
            if (length >= 126) {
                unsigned char more[8];
                const int bytes = length == 126 ? 2 : 8;
                if (!ReadExactly(more, bytes, deadline)) return std::nullopt;
                length = 0;
                for (int i = 0; i < bytes; ++i) length = length << 8 | more[i];
            }
            if (length > (uint64_t(64) << 20)) return std::nullopt;
            std::string payload(length, '\0');
            if (length > 0 && !ReadExactly(payload.data(), length, deadline)) return std::nullopt;
            if (opcode == 8) {
                Close();
                return std::nullopt;
            }
            if (opcode != 0 && opcode != 1) continue;  // pings and pongs
            message += payload;
            if (head[0] & 0x80) return message;
        }
    }

    // Whether the server closes the connection within Ms, whatever it sends first.
    bool ClosedWithin(int Ms) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(Ms);
        char sink[4096];
        while (fd_ >= 0) {
            const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) <= 0) return false;
            if (recv(fd_, sink, sizeof sink, 0) <= 0) Close();
        }
        return true;
    }

private:
    using Clock = std::chrono::steady_clock;

    bool ShakeHands(uint16_t Port, const std::string& Origin) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(Port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return false;
        const std::string hello = "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(Port) +
                                  "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                  "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
                                  (Origin.empty() ? "" : "Origin: " + Origin + "\r\n") + "\r\n";
        if (send(fd_, hello.data(), hello.size(), MSG_NOSIGNAL) != ssize_t(hello.size())) return false;
        std::string answer;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (answer.find("\r\n\r\n") == std::string::npos) {
            char c;
            if (!ReadExactly(&c, 1, deadline)) return false;
            answer += c;
        }
        // "HTTP/1.x NNN ..."
        if (answer.starts_with("HTTP/1.") && answer.size() > 12) status_ = std::atoi(answer.c_str() + 9);
        // The accept key the RFC gives for its sample key.
        return status_ == 101 && answer.find("s3pPLMBiTxaQ9kYGzzhZRbK+xOo=") != std::string::npos;
    }

    bool ReadExactly(void* Buffer, size_t Size, Clock::time_point Deadline) {
        auto* at = static_cast<char*>(Buffer);
        while (Size > 0 && fd_ >= 0) {
            const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - Clock::now()).count());
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) <= 0) return false;
            const ssize_t got = recv(fd_, at, Size, 0);
            if (got <= 0) {
                Close();
                return false;
            }
            at += got;
            Size -= size_t(got);
        }
        return Size == 0;
    }

    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    int fd_ = -1;
    int status_ = 0;
};
