#pragma once
// IPv4 sockets in the manner of Winsock 1.1 over non-blocking POSIX sockets. Calls return -1
// (or InvalidSocket) on failure and leave a Winsock error number for SocketLastError, so that
// the socket component works in the codes its messages name. Readiness is turned into
// notifications of the selected events (FD_READ .. FD_CLOSE) posted to a target of the main
// queue: the socket service polls every selected socket each time the main queue is pumped, and
// a wait of the queue watches them. Name lookups run on a lookup thread and answer with a
// posted message as well. Main thread only, apart from what the lookup thread does itself.
#include "platform/msgqueue.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using SocketHandle = int;
inline constexpr SocketHandle InvalidSocket = -1;

// Winsock error numbers.
enum : int {
    WSAEINTR = 10004, WSAEBADF = 10009, WSAEACCES = 10013, WSAEFAULT = 10014, WSAEINVAL = 10022,
    WSAEMFILE = 10024, WSAEWOULDBLOCK = 10035, WSAEINPROGRESS = 10036, WSAEALREADY = 10037,
    WSAENOTSOCK = 10038, WSAEDESTADDRREQ = 10039, WSAEMSGSIZE = 10040, WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042, WSAEPROTONOSUPPORT = 10043, WSAESOCKTNOSUPPORT = 10044, WSAEOPNOTSUPP = 10045,
    WSAEPFNOSUPPORT = 10046, WSAEAFNOSUPPORT = 10047, WSAEADDRINUSE = 10048, WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050, WSAENETUNREACH = 10051, WSAENETRESET = 10052, WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054, WSAENOBUFS = 10055, WSAEISCONN = 10056, WSAENOTCONN = 10057, WSAESHUTDOWN = 10058,
    WSAETOOMANYREFS = 10059, WSAETIMEDOUT = 10060, WSAECONNREFUSED = 10061, WSAELOOP = 10062,
    WSAENAMETOOLONG = 10063, WSAEHOSTDOWN = 10064, WSAEHOSTUNREACH = 10065, WSAENOTEMPTY = 10066,
    WSAEPROCLIM = 10067, WSAEUSERS = 10068, WSAEDQUOT = 10069, WSAESTALE = 10070, WSAEREMOTE = 10071,
    WSASYSNOTREADY = 10091, WSAVERNOTSUPPORTED = 10092, WSANOTINITIALISED = 10093, WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002, WSANO_RECOVERY = 11003, WSANO_DATA = 11004,
};

// Selectable events, as the notifications' low word carries them.
enum : int32_t { FD_READ = 1, FD_WRITE = 2, FD_OOB = 4, FD_ACCEPT = 8, FD_CONNECT = 16, FD_CLOSE = 32 };

// The Winsock number for an errno value and for a getaddrinfo failure (EAI_*).
int WinsockErrorOfErrno(int Errno);
int WinsockErrorOfResolver(int ResolverError);
// The error of the calling thread's last failed call.
int SocketLastError();
void SetSocketLastError(int Error);

// An IPv4 address and port in host byte order.
struct SocketAddress {
    uint32_t addr = 0;
    uint16_t port = 0;
};
inline constexpr uint32_t AddrNone = 0xFFFFFFFFu;  // what InetAddr answers for no address

enum class SocketKind : uint8_t { Stream, Datagram };
enum class SocketOption : uint8_t { ReuseAddr, TcpNoDelay, KeepAlive, Broadcast, MulticastTtl };
enum : int { SD_RECEIVE = 0, SD_SEND = 1, SD_BOTH = 2 };

SocketHandle OpenSocket(SocketKind Kind, int Protocol);
// Also forgets the socket's selection and any notification not yet posted.
int CloseSocket(SocketHandle S);
int ShutdownSocket(SocketHandle S, int How);
int SetSocketOption(SocketHandle S, SocketOption Option, int Value);
int SetSocketLinger(SocketHandle S, bool On, int Seconds);
int JoinMulticastGroup(SocketHandle S, uint32_t Group, uint32_t Local);
int BindSocket(SocketHandle S, const SocketAddress& Local);
int SocketName(SocketHandle S, SocketAddress& Local);
int PeerName(SocketHandle S, SocketAddress& Remote);
// -1 with WSAEWOULDBLOCK while the connection is being made; FD_CONNECT tells the outcome.
int ConnectSocket(SocketHandle S, const SocketAddress& Remote);
int ListenSocket(SocketHandle S, int Backlog);
// The accepted connection, non-blocking like every socket here; From may be null.
SocketHandle AcceptSocket(SocketHandle S, SocketAddress* From);
// Flags: 1 sends out of band.
int SendSocket(SocketHandle S, const void* Data, int32_t Len, int Flags);
int SendToSocket(SocketHandle S, const void* Data, int32_t Len, int Flags, const SocketAddress& To);
int RecvSocket(SocketHandle S, void* Buffer, int32_t Len, int Flags);
int RecvFromSocket(SocketHandle S, void* Buffer, int32_t Len, int Flags, SocketAddress& From);
// Bytes waiting to be received; -1 on failure.
int BytesWaiting(SocketHandle S);

// Selects the events of S to notify as Message to Target (wParam: the socket; lParam: the event
// in the low word, the error in the high word); Events 0 stops notifying. As with Winsock, a
// notified FD_READ or FD_ACCEPT comes again only after the next receive or accept, FD_WRITE
// after the connection is made and after a send that would have blocked, FD_CONNECT and
// FD_CLOSE once.
int AsyncSelect(SocketHandle S, TargetId Target, uint32_t Message, int32_t Events);

// ---- Names ----

// The dotted address as a number, AddrNone when Text is not one (then also for "255.255.255.255").
uint32_t InetAddr(const std::string& Text);
std::string InetNtoa(uint32_t Addr);
// Blocking look-ups: 0 or a Winsock error.
int HostByName(const std::string& Name, std::vector<uint32_t>& Addresses);
int ServiceByName(const std::string& Name, const std::string& Proto, uint16_t& Port);
int ProtocolByName(const std::string& Name, int& Number);

// Look-ups on the lookup thread. Each answers with Message to Target: wParam the handle, lParam's
// high word the error (0 = found). The answer is then taken with TakeLookupAnswer. A handle of 0
// means the look-up could not start.
using LookupHandle = uint32_t;
struct LookupAnswer {
    std::vector<uint32_t> addresses;  // by name
    std::string name;                 // by address
};
LookupHandle AsyncHostByName(TargetId Target, uint32_t Message, const std::string& Name);
LookupHandle AsyncHostByAddr(TargetId Target, uint32_t Message, uint32_t Addr);
// Forgets the look-up and its answer; its message, if already posted, brings nothing. -1
// (WSAEINVAL) when the handle is unknown.
int CancelLookup(LookupHandle Handle);
LookupAnswer TakeLookupAnswer(LookupHandle Handle);
// Ends the lookup thread (program end); look-ups started later start it again.
void StopLookups();

}  // namespace platform
