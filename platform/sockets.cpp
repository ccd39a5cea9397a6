#include "platform/sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

thread_local int lastError = 0;

int Fail(int Error) {
    lastError = Error;
    return -1;
}

int FailErrno() { return Fail(WinsockErrorOfErrno(errno)); }

sockaddr_in ToSockaddr(const SocketAddress& A) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(A.addr);
    sa.sin_port = htons(A.port);
    return sa;
}

SocketAddress FromSockaddr(const sockaddr_in& Sa) { return {ntohl(Sa.sin_addr.s_addr), ntohs(Sa.sin_port)}; }

intptr_t Notification(int32_t Event, int Error) {
    return static_cast<intptr_t>((static_cast<uint32_t>(Error & 0xFFFF) << 16) | static_cast<uint32_t>(Event));
}

// What the service knows of each open socket: its selection and which notifications may come.
struct SocketRecord {
    enum Phase : uint8_t { Fresh, Connecting, Connected, Listening, Failed };
    Phase phase = Fresh;
    TargetId target = 0;
    uint32_t message = 0;
    int32_t events = 0;
    bool readArmed = true, writeArmed = true, acceptArmed = true, closeSent = false;
};

// The open sockets, polled whenever the main queue is pumped.
class SocketService : public WaitSource {
public:
    // The main queue is made first, so that it outlives the service at the program's end.
    SocketService() { MainQueue(); }
    ~SocketService() override {
        if (registered_) MainQueue().RemoveWaitSource(this);
    }

    SocketRecord* Find(SocketHandle S) {
        auto it = records_.find(S);
        return it == records_.end() ? nullptr : &it->second;
    }

    void Add(SocketHandle S, SocketRecord::Phase Phase) {
        records_[S] = SocketRecord{};
        records_[S].phase = Phase;
        if (!registered_) {
            MainQueue().AddWaitSource(this);
            registered_ = true;
        }
    }

    void Remove(SocketHandle S) {
        if (SocketRecord* r = Find(S); r && r->events) MainQueue().DropMessages(r->target, r->message, S);
        records_.erase(S);
    }

    void Watch(std::vector<WatchedDescriptor>& Descriptors) override {
        for (auto& [fd, r] : records_) {
            bool read = false, write = false;
            Interest(r, read, write);
            if (read || write) Descriptors.push_back({fd, read, write});
        }
    }

    void Poll() override {
        std::vector<pollfd> fds;
        for (auto& [fd, r] : records_) {
            bool read = false, write = false;
            Interest(r, read, write);
            if (read || write) fds.push_back({fd, static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0)), 0});
        }
        if (fds.empty() || poll(fds.data(), fds.size(), 0) <= 0) return;
        for (const pollfd& p : fds)
            if (p.revents)
                if (SocketRecord* r = Find(p.fd)) Ready(p.fd, *r, p.revents);
    }

private:
    static void Interest(const SocketRecord& R, bool& Read, bool& Write) {
        if (!R.events) return;
        switch (R.phase) {
        case SocketRecord::Connecting: Write = true; break;
        case SocketRecord::Listening: Read = R.acceptArmed && (R.events & FD_ACCEPT); break;
        case SocketRecord::Connected:
            Read = (R.readArmed && (R.events & FD_READ)) || (!R.closeSent && (R.events & FD_CLOSE) && R.readArmed);
            Write = R.writeArmed && (R.events & FD_WRITE);
            break;
        default: break;
        }
    }

    static int PendingError(SocketHandle S) {
        int error = 0;
        socklen_t len = sizeof error;
        if (getsockopt(S, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
        return error ? WinsockErrorOfErrno(error) : 0;
    }

    static void Notify(SocketHandle S, const SocketRecord& R, int32_t Event, int Error) {
        if (R.events & Event) MainQueue().Post(R.target, R.message, static_cast<uintptr_t>(S), Notification(Event, Error));
    }

    void Ready(SocketHandle S, SocketRecord& R, short Revents) {
        if (R.phase == SocketRecord::Connecting) {
            const int error = PendingError(S);
            R.phase = error ? SocketRecord::Failed : SocketRecord::Connected;
            Notify(S, R, FD_CONNECT, error);
            return;  // FD_WRITE follows at the next poll
        }
        if (R.phase == SocketRecord::Listening) {
            if (Revents & POLLIN) {
                R.acceptArmed = false;
                Notify(S, R, FD_ACCEPT, 0);
            }
            return;
        }
        if (Revents & (POLLIN | POLLHUP | POLLERR)) ReadReady(S, R);
        if ((Revents & POLLOUT) && R.writeArmed && R.phase == SocketRecord::Connected) {
            R.writeArmed = false;
            Notify(S, R, FD_WRITE, 0);
        }
    }

    // Data waiting is FD_READ; the end of the stream or a failure is FD_CLOSE.
    static void ReadReady(SocketHandle S, SocketRecord& R) {
        if (!R.readArmed) return;
        char byte;
        const ssize_t got = recv(S, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        int type = SOCK_STREAM;
        socklen_t len = sizeof type;
        getsockopt(S, SOL_SOCKET, SO_TYPE, &type, &len);
        if (got > 0 || (got == 0 && type == SOCK_DGRAM)) {
            R.readArmed = false;
            Notify(S, R, FD_READ, 0);
            return;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        R.readArmed = false;
        if (R.closeSent) return;
        R.closeSent = true;
        Notify(S, R, FD_CLOSE, got == 0 ? 0 : WinsockErrorOfErrno(errno));
    }

    std::map<SocketHandle, SocketRecord> records_;
    bool registered_ = false;
};

SocketService& Service() {
    static SocketService service;
    return service;
}

int SetInt(SocketHandle S, int Level, int Name, int Value) {
    return setsockopt(S, Level, Name, &Value, sizeof Value) == 0 ? 0 : FailErrno();
}

// ---- The lookup thread ----

class Lookups {
public:
    // The main queue the answers go to is made first, so that it outlives the lookup thread.
    Lookups() { MainQueue(); }
    ~Lookups() { Stop(); }

    LookupHandle Start(TargetId Target, uint32_t Message, std::string Name, uint32_t Addr, bool ByName) {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) {
            stop_ = false;
            thread_ = std::thread([this] { Run(); });
        }
        const LookupHandle handle = next_++;
        if (next_ == 0) next_ = 1;
        jobs_.push_back({handle, Target, Message, std::move(Name), Addr, ByName});
        live_.insert(handle);
        cond_.notify_all();
        return handle;
    }

    int Cancel(LookupHandle Handle) {
        std::lock_guard lock(mutex_);
        if (answers_.erase(Handle)) return 0;  // answered, the message not yet taken
        if (!live_.erase(Handle)) return Fail(WSAEINVAL);
        std::erase_if(jobs_, [&](const Job& J) { return J.handle == Handle; });
        return 0;
    }

    LookupAnswer Take(LookupHandle Handle) {
        std::lock_guard lock(mutex_);
        auto it = answers_.find(Handle);
        if (it == answers_.end()) return {};
        LookupAnswer answer = std::move(it->second);
        answers_.erase(it);
        return answer;
    }

    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
            jobs_.clear();
            live_.clear();
            cond_.notify_all();
        }
        if (thread_.joinable()) thread_.join();
    }

private:
    struct Job {
        LookupHandle handle;
        TargetId target;
        uint32_t message;
        std::string name;
        uint32_t addr;
        bool byName;
    };

    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            cond_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
            if (stop_) return;
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            LookupAnswer answer;
            int error = job.byName ? HostByName(job.name, answer.addresses) : NameOf(job.addr, answer.name);
            lock.lock();
            if (!live_.erase(job.handle)) continue;  // cancelled meanwhile
            answers_[job.handle] = std::move(answer);
            MainQueue().Post(job.target, job.message, job.handle, Notification(0, error));
        }
    }

    static int NameOf(uint32_t Addr, std::string& Name) {
        const sockaddr_in sa = ToSockaddr({Addr, 0});
        char host[NI_MAXHOST];
        const int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD);
        if (rc != 0) return WinsockErrorOfResolver(rc);
        Name = host;
        return 0;
    }

    std::mutex mutex_;
    std::condition_variable cond_;
    std::deque<Job> jobs_;
    std::set<LookupHandle> live_;
    std::map<LookupHandle, LookupAnswer> answers_;
    LookupHandle next_ = 1;
    bool stop_ = false;
    std::thread thread_;
};

Lookups& LookupService() {
    static Lookups lookups;
    return lookups;
}

}  // namespace

int WinsockErrorOfErrno(int Errno) {
    static const std::map<int, int> table = {
        {EINTR, WSAEINTR}, {EBADF, WSAEBADF}, {EACCES, WSAEACCES}, {EPERM, WSAEACCES}, {EFAULT, WSAEFAULT},
        {EINVAL, WSAEINVAL}, {EMFILE, WSAEMFILE}, {ENFILE, WSAEMFILE}, {EAGAIN, WSAEWOULDBLOCK},
        {EINPROGRESS, WSAEINPROGRESS}, {EALREADY, WSAEALREADY}, {ENOTSOCK, WSAENOTSOCK},
        {EDESTADDRREQ, WSAEDESTADDRREQ}, {EMSGSIZE, WSAEMSGSIZE}, {EPROTOTYPE, WSAEPROTOTYPE},
        {ENOPROTOOPT, WSAENOPROTOOPT}, {EPROTONOSUPPORT, WSAEPROTONOSUPPORT}, {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
        {EOPNOTSUPP, WSAEOPNOTSUPP}, {EPFNOSUPPORT, WSAEPFNOSUPPORT}, {EAFNOSUPPORT, WSAEAFNOSUPPORT},
        {EADDRINUSE, WSAEADDRINUSE}, {EADDRNOTAVAIL, WSAEADDRNOTAVAIL}, {ENETDOWN, WSAENETDOWN},
        {ENETUNREACH, WSAENETUNREACH}, {ENETRESET, WSAENETRESET}, {ECONNABORTED, WSAECONNABORTED},
        {ECONNRESET, WSAECONNRESET}, {EPIPE, WSAECONNRESET}, {ENOBUFS, WSAENOBUFS}, {ENOMEM, WSAENOBUFS},
        {EISCONN, WSAEISCONN}, {ENOTCONN, WSAENOTCONN}, {ESHUTDOWN, WSAESHUTDOWN}, {ETOOMANYREFS, WSAETOOMANYREFS},
        {ETIMEDOUT, WSAETIMEDOUT}, {ECONNREFUSED, WSAECONNREFUSED}, {ELOOP, WSAELOOP},
        {ENAMETOOLONG, WSAENAMETOOLONG}, {EHOSTDOWN, WSAEHOSTDOWN}, {EHOSTUNREACH, WSAEHOSTUNREACH},
        {ENOTEMPTY, WSAENOTEMPTY}, {EUSERS, WSAEUSERS}, {EDQUOT, WSAEDQUOT}, {ESTALE, WSAESTALE},
        {EREMOTE, WSAEREMOTE},
    };
    if (Errno == 0) return 0;
    auto it = table.find(Errno);
    return it == table.end() ? Errno : it->second;  // anything else keeps its own number
}

int WinsockErrorOfResolver(int ResolverError) {
    switch (ResolverError) {
    case 0: return 0;
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_NODATA:
    case EAI_ADDRFAMILY: return WSANO_DATA;
    case EAI_MEMORY: return WSAENOBUFS;
    case EAI_SYSTEM: return WinsockErrorOfErrno(errno);
    default: return WSANO_RECOVERY;
    }
}

int SocketLastError() { return lastError; }
void SetSocketLastError(int Error) { lastError = Error; }

SocketHandle OpenSocket(SocketKind Kind, int Protocol) {
    const int type = (Kind == SocketKind::Datagram ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC;
    const SocketHandle s = socket(AF_INET, type, Protocol);
    if (s < 0) return FailErrno();
    Service().Add(s, Kind == SocketKind::Datagram ? SocketRecord::Connected : SocketRecord::Fresh);
    return s;
}

int CloseSocket(SocketHandle S) {
    Service().Remove(S);
    return close(S) == 0 ? 0 : FailErrno();
}

int ShutdownSocket(SocketHandle S, int How) {
    const int how = How == SD_RECEIVE ? SHUT_RD : How == SD_SEND ? SHUT_WR : SHUT_RDWR;
    return shutdown(S, how) == 0 ? 0 : FailErrno();
}

int SetSocketOption(SocketHandle S, SocketOption Option, int Value) {
    switch (Option) {
    case SocketOption::ReuseAddr: return SetInt(S, SOL_SOCKET, SO_REUSEADDR, Value);
    case SocketOption::TcpNoDelay: return SetInt(S, IPPROTO_TCP, TCP_NODELAY, Value);
    case SocketOption::KeepAlive: return SetInt(S, SOL_SOCKET, SO_KEEPALIVE, Value);
    case SocketOption::Broadcast: return SetInt(S, SOL_SOCKET, SO_BROADCAST, Value);
    case SocketOption::MulticastTtl: return SetInt(S, IPPROTO_IP, IP_MULTICAST_TTL, Value);
    }
    return Fail(WSAENOPROTOOPT);
}

int SetSocketLinger(SocketHandle S, bool On, int Seconds) {
    const linger value{On ? 1 : 0, Seconds};
    return setsockopt(S, SOL_SOCKET, SO_LINGER, &value, sizeof value) == 0 ? 0 : FailErrno();
}

int JoinMulticastGroup(SocketHandle S, uint32_t Group, uint32_t Local) {
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(Group);
    request.imr_interface.s_addr = htonl(Local);
    return setsockopt(S, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0 ? 0 : FailErrno();
}

int BindSocket(SocketHandle S, const SocketAddress& Local) {
    const sockaddr_in sa = ToSockaddr(Local);
    return bind(S, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : FailErrno();
}

int SocketName(SocketHandle S, SocketAddress& Local) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getsockname(S, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return FailErrno();
    Local = FromSockaddr(sa);
    return 0;
}

int PeerName(SocketHandle S, SocketAddress& Remote) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getpeername(S, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return FailErrno();
    Remote = FromSockaddr(sa);
    return 0;
}

int ConnectSocket(SocketHandle S, const SocketAddress& Remote) {
    const sockaddr_in sa = ToSockaddr(Remote);
    SocketRecord* r = Service().Find(S);
    if (connect(S, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) {
        // Made at once (loopback, or a datagram socket): FD_CONNECT still tells it.
        if (r && r->phase == SocketRecord::Fresh) r->phase = SocketRecord::Connecting;
        return 0;
    }
    if (errno != EINPROGRESS) return FailErrno();
    if (r) r->phase = SocketRecord::Connecting;
    return Fail(WSAEWOULDBLOCK);
}

int ListenSocket(SocketHandle S, int Backlog) {
    if (listen(S, Backlog) != 0) return FailErrno();
    if (SocketRecord* r = Service().Find(S)) r->phase = SocketRecord::Listening;
    return 0;
}

SocketHandle AcceptSocket(SocketHandle S, SocketAddress* From) {
    if (SocketRecord* r = Service().Find(S)) r->acceptArmed = true;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const SocketHandle accepted = accept4(S, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (accepted < 0) return FailErrno();
    if (From) *From = FromSockaddr(sa);
    Service().Add(accepted, SocketRecord::Connected);
    return accepted;
}

int SendSocket(SocketHandle S, const void* Data, int32_t Len, int Flags) {
    const ssize_t sent = send(S, Data, static_cast<size_t>(std::max<int32_t>(Len, 0)), MSG_NOSIGNAL | ((Flags & 1) ? MSG_OOB : 0));
    if (sent >= 0) return static_cast<int>(sent);
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        if (SocketRecord* r = Service().Find(S)) r->writeArmed = true;
    return FailErrno();
}

int SendToSocket(SocketHandle S, const void* Data, int32_t Len, int Flags, const SocketAddress& To) {
    const sockaddr_in sa = ToSockaddr(To);
    const ssize_t sent = sendto(S, Data, static_cast<size_t>(std::max<int32_t>(Len, 0)), MSG_NOSIGNAL | ((Flags & 1) ? MSG_OOB : 0),
                                reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (sent >= 0) return static_cast<int>(sent);
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        if (SocketRecord* r = Service().Find(S)) r->writeArmed = true;
    return FailErrno();
}

int RecvSocket(SocketHandle S, void* Buffer, int32_t Len, int Flags) {
    if (SocketRecord* r = Service().Find(S)) r->readArmed = true;
    const ssize_t got = recv(S, Buffer, static_cast<size_t>(std::max<int32_t>(Len, 0)), (Flags & 1) ? MSG_OOB : 0);
    return got >= 0 ? static_cast<int>(got) : FailErrno();
}

int RecvFromSocket(SocketHandle S, void* Buffer, int32_t Len, int Flags, SocketAddress& From) {
    if (SocketRecord* r = Service().Find(S)) r->readArmed = true;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const ssize_t got = recvfrom(S, Buffer, static_cast<size_t>(std::max<int32_t>(Len, 0)), (Flags & 1) ? MSG_OOB : 0,
                                 reinterpret_cast<sockaddr*>(&sa), &len);
    if (got < 0) return FailErrno();
    From = FromSockaddr(sa);
    return static_cast<int>(got);
}

int BytesWaiting(SocketHandle S) {
    int count = 0;
    return ioctl(S, FIONREAD, &count) == 0 ? count : FailErrno();
}

int AsyncSelect(SocketHandle S, TargetId Target, uint32_t Message, int32_t Events) {
    SocketRecord* r = Service().Find(S);
    if (!r) return Fail(WSAENOTSOCK);
    r->target = Target;
    r->message = Message;
    r->events = Events;
    // A new selection notifies afresh whatever is ready.
    r->readArmed = r->acceptArmed = true;
    r->writeArmed = r->phase == SocketRecord::Connected;
    return 0;
}

uint32_t InetAddr(const std::string& Text) {
    in_addr a{};
    return inet_pton(AF_INET, Text.c_str(), &a) == 1 ? ntohl(a.s_addr) : AddrNone;
}

std::string InetNtoa(uint32_t Addr) {
    return std::to_string(Addr >> 24) + '.' + std::to_string((Addr >> 16) & 255) + '.' + std::to_string((Addr >> 8) & 255) +
           '.' + std::to_string(Addr & 255);
}

int HostByName(const std::string& Name, std::vector<uint32_t>& Addresses) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(Name.c_str(), nullptr, &hints, &list);
    if (rc != 0) return WinsockErrorOfResolver(rc);
    Addresses.clear();
    for (addrinfo* a = list; a; a = a->ai_next)
        Addresses.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr));
    freeaddrinfo(list);
    return Addresses.empty() ? WSANO_DATA : 0;
}

int ServiceByName(const std::string& Name, const std::string& Proto, uint16_t& Port) {
    servent entry{}, *found = nullptr;
    char buffer[1024];
    if (getservbyname_r(Name.c_str(), Proto.c_str(), &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return WSANO_DATA;
    Port = ntohs(static_cast<uint16_t>(found->s_port));
    return 0;
}

int ProtocolByName(const std::string& Name, int& Number) {
    protoent entry{}, *found = nullptr;
    char buffer[1024];
    if (getprotobyname_r(Name.c_str(), &entry, buffer, sizeof buffer, &found) != 0 || !found) return WSANO_DATA;
    Number = found->p_proto;
    return 0;
}

LookupHandle AsyncHostByName(TargetId Target, uint32_t Message, const std::string& Name) {
    return LookupService().Start(Target, Message, Name, 0, true);
}

LookupHandle AsyncHostByAddr(TargetId Target, uint32_t Message, uint32_t Addr) {
    return LookupService().Start(Target, Message, {}, Addr, false);
}

int CancelLookup(LookupHandle Handle) { return LookupService().Cancel(Handle); }

LookupAnswer TakeLookupAnswer(LookupHandle Handle) { return LookupService().Take(Handle); }

void StopLookups() { LookupService().Stop(); }

}  // namespace platform
