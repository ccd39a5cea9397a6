#pragma once
// What the socket tests talk to: programs started in the background (curl, socat, microsocks,
// the SOCKS 4 server of tests/tools), a server made of the socket itself, and the pump that
// runs the main queue until something has happened or a bound of time has passed.
#include "net/asyncsock.h"
#include "platform/clock.h"

#include <arpa/inet.h>
#include <csignal>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace nettest {

// Pumps the main queue until Done holds or Ms have passed; whether Done holds.
inline bool PumpUntil(const std::function<bool()>& Done, uint32_t Ms = 5000) {
    const uint32_t start = platform::ClockMs();
    while (!Done()) {
        if (platform::ClockMs() - start >= Ms) return false;
        platform::MainQueue().ProcessMessages();
        if (Done()) break;
        platform::MainQueue().Wait(20);
    }
    return true;
}

// Whether a program is on PATH.
inline bool HaveProgram(const std::string& Name) {
    return system(("command -v " + Name + " >/dev/null 2>&1").c_str()) == 0;
}

// A loopback port nobody listens on at the moment.
inline uint16_t FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len);
    close(s);
    return ntohs(sa.sin_port);
}

// Whether something accepts TCP connections on the loopback port within Ms.
inline bool WaitForListener(uint16_t Port, uint32_t Ms = 5000) {
    const uint32_t start = platform::ClockMs();
    while (platform::ClockMs() - start < Ms) {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = htons(Port);
        const bool ok = connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        close(s);
        if (ok) return true;
        usleep(20000);
    }
    return false;
}

// A program running in the background with its standard output on a pipe; ended (SIGTERM) with
// the object.
class TPeerProcess {
public:
    explicit TPeerProcess(const std::vector<std::string>& Args) {
        int fds[2];
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<char*> argv;
        for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    TPeerProcess(const TPeerProcess&) = delete;
    TPeerProcess& operator=(const TPeerProcess&) = delete;
    ~TPeerProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    bool Started() const { return pid_ > 0; }
    // Whether it has ended (reaped here).
    bool Exited() {
        if (pid_ > 0 && !exited_ && waitpid(pid_, nullptr, WNOHANG) == pid_) exited_ = true;
        return exited_;
    }
    // Standard output read so far, waiting up to Ms for more until the pipe closes.
    std::string ReadOutput(uint32_t Ms) {
        const uint32_t start = platform::ClockMs();
        for (;;) {
            const uint32_t elapsed = platform::ClockMs() - start;
            if (elapsed >= Ms) break;
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(Ms - elapsed)) <= 0) break;
            char buffer[4096];
            const ssize_t got = read(out_, buffer, sizeof buffer);
            if (got <= 0) break;
            output_.append(buffer, static_cast<size_t>(got));
        }
        return output_;
    }
    // The first line of output, waiting up to Ms.
    std::string FirstLine(uint32_t Ms) {
        const uint32_t start = platform::ClockMs();
        while (output_.find('\n') == std::string::npos && platform::ClockMs() - start < Ms) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char c;
            if (read(out_, &c, 1) != 1) break;
            output_ += c;
        }
        return output_.substr(0, output_.find('\n'));
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    std::string output_;
};

// A socket's events, recorded.
struct TRecorder {
    std::string data;
    std::vector<uint16_t> connected, closed;
    bool Connected() const { return !connected.empty(); }
    bool Closed() const { return !closed.empty(); }

    void Attach(TCustomAsyncSocket& S) {
        S.OnSessionConnected = [this](TCustomAsyncSocket*, uint16_t E) { connected.push_back(E); };
        S.OnSessionClosed = [this](TCustomAsyncSocket*, uint16_t E) { closed.push_back(E); };
        S.OnDataAvailable = [this](TCustomAsyncSocket* Sender, uint16_t) {
            char buffer[8192];
            const int32_t got = Sender->Receive(buffer, sizeof buffer);
            if (got > 0) data.append(buffer, static_cast<size_t>(got));
        };
    }
};

// A TCP server on 127.0.0.1 made of the socket itself: it accepts every connection into a
// socket of its own (Dup) and records what each sends.
class TLoopbackServer {
public:
    TLoopbackServer() {
        listener_.SetAddr("127.0.0.1");
        listener_.SetPort("0");
        listener_.OnSessionAvailable = [this](TCustomAsyncSocket*, uint16_t) {
            auto client = std::make_unique<TAsyncSocket>();
            auto recorder = std::make_unique<TRecorder>();
            recorder->Attach(*client);
            client->LingerOnOff = wsLingerNoSet;  // a graceful end, so that the peer reads all
            client->Dup(listener_.Accept());
            clients.push_back(std::move(client));
            recorders.push_back(std::move(recorder));
        };
        listener_.Listen();
    }
    std::string Port() { return listener_.GetLocalPort(); }

    std::vector<std::unique_ptr<TAsyncSocket>> clients;
    std::vector<std::unique_ptr<TRecorder>> recorders;

private:
    TAsyncSocket listener_;
};

}  // namespace nettest
