// The socket as a server: listening, accepting, adopting an accepted connection, and datagrams.
#include "net/asyncsock.h"

#include "net/asyncsock_resolve.h"

using namespace platform;

namespace {

// The events of a listening socket and of an adopted connection.
constexpr int32_t ListenEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;
constexpr int32_t DupEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;

}  // namespace

void TCustomAsyncSocket::Listen() {
    const char* missing = !portAssigned_    ? "listen: port not assigned"
                          : !protoAssigned_ ? "listen: protocol not assigned"
                          : !addrAssigned_  ? "listen: address not assigned"
                                            : nullptr;
    if (missing) {
        SetSocketLastError(WSAEINVAL);
        return SocketError(missing);
    }
    ResolveAll();
    hSocket_ = OpenSocket(datagram_ ? SocketKind::Datagram : SocketKind::Stream, proto_);
    if (hSocket_ == INVALID_SOCKET) return SocketError("socket");
    if (ReuseAddr && SetSocketOption(hSocket_, SocketOption::ReuseAddr, 1) != 0)
        return SocketError("setsockopt(SO_REUSEADDR)");
    if (::platform::BindSocket(hSocket_, sin_) != 0) return SocketError("Bind");
    ChangeState(wsBound);
    if (datagram_) {
        uint32_t group = 0;
        if (MultiCast) {
            if (!DottedAddress(MultiCastAddrStr, group)) SetSocketLastError(WSAEINVAL);
            if (group == 0 || JoinMulticastGroup(hSocket_, group, sin_.addr) != 0)
                return SocketError("setsockopt(IP MULTICAST)");
        }
        ChangeState(wsListening);
        ChangeState(wsConnected);
    } else {
        if (ListenSocket(hSocket_, 5) != 0) return SocketError("Listen");
        ChangeState(wsListening);
    }
    SelectEvents(ListenEvents, "WSAASyncSelect");
}

TSocket TCustomAsyncSocket::Accept() {
    if (state_ != wsListening) {
        SetSocketLastError(WSAEINVAL);
        SocketError("not a listening socket");
        return INVALID_SOCKET;
    }
    const TSocket accepted = AcceptSocket(hSocket_, nullptr);
    if (accepted == INVALID_SOCKET) SocketError("Accept");
    return accepted;
}

void TCustomAsyncSocket::Dup(TSocket NewHSocket) {
    if (NewHSocket == INVALID_SOCKET) {
        SetSocketLastError(WSAEINVAL);
        return SocketError("Dup");
    }
    if (state_ != wsClosed) {
        const TSocket old = hSocket_;
        hSocket_ = INVALID_SOCKET;
        if (old != INVALID_SOCKET && CloseSocket(old) != 0) return SocketError("Dup (closesocket)");
        ChangeState(wsClosed);
    }
    hSocket_ = NewHSocket;
    SetLingerOption();
    SelectEvents(DupEvents, "WSAAsyncSelect");
    ChangeState(wsConnected);
}
