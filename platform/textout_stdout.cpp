// Text out to standard output. The main thread only appends each JSON line to a queue under the
// lock and wakes the writer; the writer, a thread of its own, writes the lines when the output
// takes them and never waits on anything but poll, woken as well by the end of the sink. A reader
// that stops reading makes the queue fill: past TextOutBacklog bytes the new lines are lost (said
// once), and the title never waits. A reader that goes away (a broken pipe) or an output that
// fails ends the target (said once); the writer's SIGPIPE is blocked, so it does not end the
// player. At the end the lines still queued get a short while to go, then are left.
#include "platform/textout.h"

#include "platform/clock.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace platform {

namespace {

// How long the lines still queued at the end may take to go out.
constexpr int EndGraceMs = 500;


// A descriptor of the process's standard output to write the lines to, close-on-exec. A pipe or
// a terminal is opened again, non-blocking, as a file of its own (setting O_NONBLOCK on the one
// the shell shares would change it for the shell too); anything else is a copy. -1 when there is
// none.
int OwnOutput(bool& Socket) {
    struct stat status {};
    if (fstat(STDOUT_FILENO, &status) != 0) return -1;
    Socket = S_ISSOCK(status.st_mode);
    if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) {
        const int flags = fcntl(STDOUT_FILENO, F_GETFL);
        const int own = open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                                    (flags >= 0 ? flags & O_APPEND : 0));
        if (own >= 0) return own;
    }
    return fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
}

class StdoutTextOut : public TextOutSink {
public:
    StdoutTextOut(int Out, bool Socket, int Wake) : out_(Out), socket_(Socket), wake_(Wake) {
        writer_ = std::thread([this] { Run(); });
    }

    ~StdoutTextOut() override {
        stopping_ = true;
        Wake();
        writer_.join();
        close(out_);
        close(wake_);
    }

    void Deliver(const TextOutItem& Item) override {
        if (ended_) return;
        try {
            std::string line = TextOutJson(Item);
            const std::lock_guard guard(lock_);
            if (waiting_ + line.size() > TextOutBacklog) return LoseLine();
            waiting_ += line.size();
            lines_.push_back(std::move(line));
        } catch (const std::exception&) {
            // No room for the line: it is lost as one the reader did not take.
            return LoseLine();
        }
        Wake();
    }

private:
    void LoseLine() {
        if (!saidLost_.exchange(true))
            std::fputs("velaplay: text out: standard output is not being read: lines are lost\n", stderr);
    }

    void Wake() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
    }

    // The writer's loop: each line in turn, in pieces of at most PIPE_BUF bytes so that even a
    // blocking copy of a pipe takes each piece poll said it had room for. Once the sink ends, the
    // lines left have EndGraceMs to go.
    void Run() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        std::string line;
        size_t at = 0;
        uint64_t deadline = 0;
        for (;;) {
            if (at == line.size() && !TakeLine(line, at)) {
                if (stopping_) return;
                WaitFor(false, -1);
                continue;
            }
            int wait = -1;
            if (stopping_) {
                if (deadline == 0) deadline = ClockNs() + uint64_t(EndGraceMs) * 1000000;
                const uint64_t now = ClockNs();
                if (now >= deadline) return;
                wait = int((deadline - now) / 1000000) + 1;
            }
            if (!WaitFor(true, wait)) continue;
            const size_t piece = std::min<size_t>(line.size() - at, PIPE_BUF);
            const ssize_t written = socket_ ? send(out_, line.data() + at, piece, MSG_DONTWAIT | MSG_NOSIGNAL)
                                            : write(out_, line.data() + at, piece);
            if (written > 0) {
                at += size_t(written);
            } else if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                End(errno);
                return;
            }
        }
    }

    // Takes the next line into Line, the one before having gone; false when none waits.
    bool TakeLine(std::string& Line, size_t& At) {
        const std::lock_guard guard(lock_);
        waiting_ -= Line.size();
        Line.clear();
        At = 0;
        if (lines_.empty()) return false;
        Line = std::move(lines_.front());
        lines_.pop_front();
        return true;
    }

    // Waits up to Ms (-1: for ever) for the sink to be woken or, when Writing, for the output to
    // take bytes; whether it may.
    bool WaitFor(bool Writing, int Ms) {
        pollfd fds[2] = {{wake_, POLLIN, 0}, {out_, POLLOUT, 0}};
        if (poll(fds, Writing ? 2 : 1, Ms) <= 0) return false;
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] const ssize_t taken = read(wake_, &count, sizeof count);
        }
        return Writing && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP));
    }

    // The output failed with Error: the target ends, its lines freed.
    void End(int Error) {
        ended_ = true;
        {
            const std::lock_guard guard(lock_);
            std::deque<std::string>().swap(lines_);
            waiting_ = 0;
        }
        if (Error == EPIPE)
            std::fputs("velaplay: text out: standard output was closed by its reader; it is left out\n", stderr);
        else
            std::fprintf(stderr, "velaplay: text out: standard output cannot be written (%s); it is left out\n",
                         std::strerror(Error));
    }

    const int out_;
    const bool socket_;
    const int wake_;
    std::mutex lock_;
    std::deque<std::string> lines_;  // JSON lines not yet taken by the writer
    size_t waiting_ = 0;             // their bytes, and the bytes of the line being written
    std::atomic<bool> stopping_{false}, ended_{false}, saidLost_{false};
    std::thread writer_;
};

}  // namespace

std::unique_ptr<TextOutSink> MakeStdoutTextOut() {
    std::fflush(stdout);
    // The lines keep the standard output to themselves: a descriptor of it is theirs, and whatever
    // else the process or its children would write there goes to standard error.
    bool socket = false;
    const int own = OwnOutput(socket);
    if (own < 0) {
        std::fprintf(stderr, "velaplay: text out: standard output cannot be had; it is left out\n");
        return nullptr;
    }
    const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::unique_ptr<TextOutSink> sink;
    try {
        if (wake >= 0) sink = std::make_unique<StdoutTextOut>(own, socket, wake);
    } catch (const std::exception&) {
    }
    if (!sink) {
        close(own);
        if (wake >= 0) close(wake);
        std::fprintf(stderr, "velaplay: text out: standard output has no thread to write it; it is left out\n");
        return nullptr;
    }
    dup2(STDERR_FILENO, STDOUT_FILENO);
    return sink;
}

}  // namespace platform
