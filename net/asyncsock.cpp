// The asynchronous socket: properties, look-ups, connect, the receive loop, the send queue and
// closing.
#include "net/asyncsock.h"

#include "net/asyncsock_resolve.h"
#include "platform/clock.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace platform;

namespace {

constexpr int32_t SocketBufferSize = 1460;
constexpr int32_t DefaultBufferSize = 1514;
constexpr int32_t DiscardSize = 1024;
// Every socket event a connecting socket selects, and those of an adopted connection.
constexpr int32_t ConnectEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;

}  // namespace

std::string SocketErrorDesc(int32_t ErrCode) {
    switch (ErrCode) {
    case 0: return "No Error";
    case WSAEINTR: return "Interrupted system call";
    case WSAEBADF: return "Bad file number";
    case WSAEACCES: return "Permission denied";
    case WSAEFAULT: return "Bad address";
    case WSAEINVAL: return "Invalid argument";
    case WSAEMFILE: return "Too many open files";
    case WSAEWOULDBLOCK: return "Operation would block";
    case WSAEINPROGRESS: return "Operation now in progress";
    case WSAEALREADY: return "Operation already in progress";
    case WSAENOTSOCK: return "Socket operation on non-socket";
    case WSAEDESTADDRREQ: return "Destination address required";
    case WSAEMSGSIZE: return "Message too long";
    case WSAEPROTOTYPE: return "Protocol wrong type for socket";
    case WSAENOPROTOOPT: return "Protocol not available";
    case WSAEPROTONOSUPPORT: return "Protocol not supported";
    case WSAESOCKTNOSUPPORT: return "Socket type not supported";
    case WSAEOPNOTSUPP: return "Operation not supported on socket";
    case WSAEPFNOSUPPORT: return "Protocol family not supported";
    case WSAEAFNOSUPPORT: return "Address family not supported by protocol family";
    case WSAEADDRINUSE: return "Address already in use";
    case WSAEADDRNOTAVAIL: return "Address not available";
    case WSAENETDOWN: return "Network is down";
    case WSAENETUNREACH: return "Network is unreachable";
    case WSAENETRESET: return "Network dropped connection on reset";
    case WSAECONNABORTED: return "Connection aborted";
    case WSAECONNRESET: return "Connection reset by peer";
    case WSAENOBUFS: return "No buffer space available";
    case WSAEISCONN: return "Socket is already connected";
    case WSAENOTCONN: return "Socket is not connected";
    case WSAESHUTDOWN: return "Can't send after socket shutdown";
    case WSAETOOMANYREFS: return "Too many references: can't splice";
    case WSAETIMEDOUT: return "Connection timed out";
    case WSAECONNREFUSED: return "Connection refused";
    case WSAELOOP: return "Too many levels of symbolic links";
    case WSAENAMETOOLONG: return "File name too long";
    case WSAEHOSTDOWN: return "Host is down";
    case WSAEHOSTUNREACH: return "No route to host";
    case WSAENOTEMPTY: return "Directory not empty";
    case WSAEPROCLIM: return "Too many processes";
    case WSAEUSERS: return "Too many users";
    case WSAEDQUOT: return "Disc quota exceeded";
    case WSAESTALE: return "Stale NFS file handle";
    case WSAEREMOTE: return "Too many levels of remote in path";
    case WSASYSNOTREADY: return "Network sub-system is unusable";
    case WSAVERNOTSUPPORTED: return "WinSock DLL cannot support this application";
    case WSANOTINITIALISED: return "WinSock not initialized";
    case WSAHOST_NOT_FOUND: return "Host not found";
    case WSATRY_AGAIN: return "Non-authoritative host not found";
    case WSANO_RECOVERY: return "Non-recoverable error";
    case WSANO_DATA: return "No Data";
    default: return "Not a WinSock error";
    }
}

// ---- TBuffer ----

TBuffer::TBuffer(int32_t Size) : buf_(static_cast<size_t>(Size > 0 ? Size : DefaultBufferSize)) {}

int32_t TBuffer::Write(const void* Data, int32_t Len) {
    const int32_t count = std::clamp(Len, 0, BufSize() - wrCount_);
    if (count > 0) std::memcpy(buf_.data() + wrCount_, Data, static_cast<size_t>(count));
    wrCount_ += count;
    return count;
}

const uint8_t* TBuffer::Peek(int32_t& Len) const {
    Len = wrCount_ - rdCount_;
    return Len > 0 ? buf_.data() + rdCount_ : nullptr;
}

int32_t TBuffer::Remove(int32_t Len) {
    const int32_t count = std::clamp(Len, 0, wrCount_ - rdCount_);
    rdCount_ += count;
    if (rdCount_ >= wrCount_) rdCount_ = wrCount_ = 0;
    return count;
}

void TBuffer::SetBufSize(int32_t Size) {
    const int32_t size = Size > 0 ? Size : DefaultBufferSize;
    std::vector<uint8_t> fresh(static_cast<size_t>(size));
    const int32_t unread = std::min(wrCount_ - rdCount_, size);
    if (unread > 0) std::memcpy(fresh.data(), buf_.data() + rdCount_, static_cast<size_t>(unread));
    buf_ = std::move(fresh);
    rdCount_ = 0;
    wrCount_ = std::max(unread, 0);
}

// ---- Construction ----

TCustomAsyncSocket::TCustomAsyncSocket() {
    target_ = MainQueue().AddTarget([this](const QueuedMessage& M) {
        try {
            WndProc(M.message, M.wParam, M.lParam);
        } catch (const std::exception& E) {
            try {
                HandleBackgroundException(E);
            } catch (const std::exception&) {
                // The abort itself failed: the socket is left as it is.
            }
        }
    });
    AssignDefaultValue();
}

TCustomAsyncSocket::~TCustomAsyncSocket() {
    destroying_ = true;
    try {
        CancelDnsLookup();
        if (state_ != wsClosed || hSocket_ != INVALID_SOCKET) InternalClose(false, 0);
    } catch (const std::exception&) {
        // A failed close still lets the socket go.
    }
    bufList_.clear();
    MainQueue().RemoveTarget(target_);
}

void TCustomAsyncSocket::AssignDefaultValue() {
    sin_ = {};
    datagram_ = false;
    proto_ = 6;
    protoStr_ = "tcp";
    protoAssigned_ = true;
    localPortStr_ = "0";
    localPortNum_ = 0;
    localAddr_ = "0.0.0.0";
    // The remote address and port stay assigned, so that a closed socket connects again.
    addrResolved_ = portResolved_ = protoResolved_ = localPortResolved_ = false;
    LingerOnOff = wsLingerOn;
    LingerTimeout = 0;
    hSocket_ = INVALID_SOCKET;
    selectEvent_ = 0;
    state_ = wsClosed;
    allSent_ = true;
    paused_ = false;
    readCount_ = 0;
    closeInvoked_ = false;
    FlushTimeout = 60;
}

// ---- Properties ----

void TCustomAsyncSocket::SetAddr(const std::string& Value) {
    if (Value == addrStr_) return;
    if (state_ != wsClosed) return RaiseException("Cannot change Addr if not closed");
    addrStr_ = TrimBlanks(Value);
    addrAssigned_ = !addrStr_.empty();
    addrResolved_ = false;
}

void TCustomAsyncSocket::SetPort(const std::string& Value) {
    if (Value == portStr_) return;
    if (state_ != wsClosed) return RaiseException("Cannot change Port if not closed");
    portStr_ = TrimBlanks(Value);
    portAssigned_ = !portStr_.empty();
    portResolved_ = false;
}

void TCustomAsyncSocket::SetProto(const std::string& Value) {
    if (Value == protoStr_) return;
    if (state_ != wsClosed) return RaiseException("Cannot change Proto if not closed");
    protoStr_ = TrimBlanks(Value);
    protoAssigned_ = !protoStr_.empty();
    protoResolved_ = false;
}

void TCustomAsyncSocket::SetLocalPort(const std::string& Value) {
    if (Value == localPortStr_) return;
    if (state_ != wsClosed) return RaiseException("Cannot change LocalPort if not closed");
    localPortStr_ = TrimBlanks(Value);
    localPortResolved_ = false;
}

void TCustomAsyncSocket::SetLocalAddr(const std::string& Value) {
    if (state_ != wsClosed) return RaiseException("Cannot change LocalAddr if not closed");
    const std::string text = Value.empty() ? "0.0.0.0" : Value;
    uint32_t addr;
    if (!DottedAddress(text, addr)) return RaiseException("SetLocalAddr(): Invalid IP address");
    localAddr_ = InetNtoa(addr);
}

TSocketSendFlags TCustomAsyncSocket::GetSendFlags() const {
    if (sendFlags_ > wsSendUrgent) throw ESocketException("Invalid internal SendFlags");
    return static_cast<TSocketSendFlags>(sendFlags_);
}

void TCustomAsyncSocket::SetSendFlags(TSocketSendFlags Value) {
    if (Value != wsSendNormal && Value != wsSendUrgent) return RaiseException("Invalid SendFlags");
    sendFlags_ = Value;
}

std::vector<int32_t> TCustomAsyncSocket::QueuedBlockSizes() const {
    std::vector<int32_t> sizes;
    for (const TBuffer& b : bufList_) {
        int32_t len;
        b.Peek(len);
        sizes.push_back(len);
    }
    return sizes;
}

// ---- Errors ----

void TCustomAsyncSocket::RaiseException(const std::string& Msg) {
    if (!OnError) throw ESocketException(Msg);
    TriggerError();
}

void TCustomAsyncSocket::SocketError(const std::string& Where) {
    const int code = SocketLastError();
    const std::string line =
        "Error " + std::to_string(code) + " in function " + Where + "\r\n" + SocketErrorDesc(code);
    if (code == WSAECONNRESET || code == WSAENOTCONN) {
        if (hSocket_ != INVALID_SOCKET) CloseSocket(hSocket_);
        hSocket_ = INVALID_SOCKET;
        if (state_ != wsClosed) TriggerSessionClosed(static_cast<uint16_t>(code));
        ChangeState(wsClosed);
    }
    LastError = code;
    RaiseException(line);
}

void TCustomAsyncSocket::HandleBackgroundException(const std::exception& E) {
    bool canClose = true;
    if (OnBgException) OnBgException(this, E, canClose);
    if (canClose) Abort();
}

// ---- Events ----

void TCustomAsyncSocket::ChangeState(TSocketState NewState) {
    const TSocketState old = state_;
    state_ = NewState;
    if (old != NewState && !destroying_) TriggerChangeState(old, NewState);
}

bool TCustomAsyncSocket::TriggerDataAvailable(uint16_t Error) {
    if (!OnDataAvailable) return false;
    OnDataAvailable(this, Error);
    return true;
}

void TCustomAsyncSocket::TriggerSessionAvailable(uint16_t Error) {
    if (OnSessionAvailable) OnSessionAvailable(this, Error);
}

void TCustomAsyncSocket::TriggerSessionConnected(uint16_t Error) {
    if (OnSessionConnected) OnSessionConnected(this, Error);
}

void TCustomAsyncSocket::TriggerSessionClosed(uint16_t Error) {
    if (OnSessionClosed) OnSessionClosed(this, Error);
}

void TCustomAsyncSocket::TriggerDataSent(uint16_t Error) {
    if (OnDataSent) OnDataSent(this, Error);
}

void TCustomAsyncSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState) {
    if (OnChangeState) OnChangeState(this, OldState, NewState);
}

void TCustomAsyncSocket::TriggerDnsLookupDone(uint16_t Error) {
    if (OnDnsLookupDone) OnDnsLookupDone(this, Error);
}

void TCustomAsyncSocket::TriggerError() {
    if (OnError) OnError(this);
}

// ---- Look-ups ----

void TCustomAsyncSocket::DnsLookup(const std::string& HostName) {
    if (HostName.empty()) {
        RaiseException("DNS lookup: invalid host name.");
        TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    if (dnsHandle_) {
        CancelLookup(dnsHandle_);
        dnsHandle_ = 0;
    }
    dnsResult_.clear();
    dnsResultList_.clear();
    uint32_t addr;
    if (DottedAddress(HostName, addr)) {
        dnsResult_ = InetNtoa(addr);
        dnsResultList_.push_back(dnsResult_);
        TriggerDnsLookupDone(0);
        return;
    }
    dnsHandle_ = AsyncHostByName(target_, WM_ASYNCGETHOSTBYNAME, HostName);
    if (!dnsHandle_)
        RaiseException(HostName + ": can't start DNS lookup, error #" + std::to_string(SocketLastError()));
}

void TCustomAsyncSocket::ReverseDnsLookup(const std::string& HostAddr) {
    if (HostAddr.empty()) {
        RaiseException("ReverseDnsLookup: Invalid host name.");
        TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    if (dnsHandle_) {
        CancelLookup(dnsHandle_);
        dnsHandle_ = 0;
    }
    dnsResult_.clear();
    dnsResultList_.clear();
    uint32_t addr = AddrNone;
    DottedAddress(HostAddr, addr);
    dnsHandle_ = AsyncHostByAddr(target_, WM_ASYNCGETHOSTBYADDR, addr);
    if (!dnsHandle_)
        RaiseException(HostAddr + ": can't start reverse DNS lookup, error #" + std::to_string(SocketLastError()));
}

void TCustomAsyncSocket::CancelDnsLookup() {
    if (!dnsHandle_) return;
    if (CancelLookup(dnsHandle_) != 0) {
        SocketError("WSACancelAsyncRequest");
        return;
    }
    dnsHandle_ = 0;
    if (!destroying_) TriggerDnsLookupDone(WSAEINTR);
}

void TCustomAsyncSocket::DeliverLookup(uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
    const auto handle = static_cast<LookupHandle>(WParam);
    LookupAnswer answer = TakeLookupAnswer(handle);
    if (handle != dnsHandle_) return;
    dnsHandle_ = 0;
    const auto error = static_cast<uint16_t>((LParam >> 16) & 0xFFFF);
    if (error == 0) {
        if (Msg == WM_ASYNCGETHOSTBYNAME) {
            for (uint32_t a : answer.addresses) dnsResultList_.push_back(InetNtoa(a));
        } else {
            dnsResultList_.push_back(answer.name);
        }
        if (!dnsResultList_.empty()) dnsResult_ = dnsResultList_.front();
    }
    TriggerDnsLookupDone(error);
}

// ---- Connect ----

void TCustomAsyncSocket::ResolveAll() {
    if (!protoResolved_) {
        proto_ = ResolveProto(protoStr_);
        datagram_ = proto_ == 17;
        protoResolved_ = true;
    }
    if (!portResolved_) {
        sin_.port = ResolvePort(portStr_, protoStr_);
        portResolved_ = true;
    }
    if (!localPortResolved_) {
        localPortNum_ = ResolvePort(localPortStr_.empty() ? "0" : localPortStr_, protoStr_);
        localPortResolved_ = true;
    }
    if (!addrResolved_) {
        sin_.addr = ResolveHost(addrStr_);
        addrResolved_ = true;
    }
}

void TCustomAsyncSocket::SelectEvents(int32_t Mask, const std::string& Where) {
    selectEvent_ = Mask;
    if (AsyncSelect(hSocket_, target_, WM_ASYNCSELECT, Mask) != 0) SocketError(Where);
}

void TCustomAsyncSocket::SetLingerOption() {
    if (LingerOnOff == wsLingerNoSet) return;
    if (hSocket_ == INVALID_SOCKET) return RaiseException("Cannot set linger option at this time");
    if (SetSocketLinger(hSocket_, LingerOnOff == wsLingerOn, LingerTimeout) != 0) SocketError("setsockopt(SO_LINGER)");
}

void TCustomAsyncSocket::BindSocket() {
    uint32_t local = 0;
    DottedAddress(localAddr_, local);
    if (::platform::BindSocket(hSocket_, {local, localPortNum_}) != 0)
        return RaiseException("winsock.bind failed, error #" + std::to_string(SocketLastError()));
    SocketAddress bound;
    if (SocketName(hSocket_, bound) != 0)
        return RaiseException("winsock.getsockname failed, error #" + std::to_string(SocketLastError()));
    localPortNum_ = bound.port;
}

void TCustomAsyncSocket::Connect() {
    if (hSocket_ != INVALID_SOCKET && state_ != wsClosed) return RaiseException("Connect: Socket already in use");
    if (!portAssigned_) return RaiseException("Connect: No Port Specified");
    if (!addrAssigned_) return RaiseException("Connect: No IP Address Specified");
    if (!protoAssigned_) return RaiseException("Connect: No Protocol Specified");
    ResolveAll();
    DeleteBufferedData();
    hSocket_ = OpenSocket(datagram_ ? SocketKind::Datagram : SocketKind::Stream, proto_);
    if (hSocket_ == INVALID_SOCKET) return SocketError("Connect (socket)");
    ChangeState(wsOpened);
    if (!datagram_) {
        if (SetSocketOption(hSocket_, SocketOption::ReuseAddr, 1) != 0) return SocketError("setsockopt(SO_REUSEADDR)");
        if ((ComponentOptions & wsoTcpNoDelay) && SetSocketOption(hSocket_, SocketOption::TcpNoDelay, 1) != 0)
            return SocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
        SetLingerOption();
        if (SetSocketOption(hSocket_, SocketOption::KeepAlive, 1) != 0) return SocketError("setsockopt(SO_KEEPALIVE)");
        if (localPortNum_ != 0 || localAddr_ != "0.0.0.0") BindSocket();
    } else {
        BindSocket();
        if (MultiCast && MultiCastIpTTL != 1 &&
            SetSocketOption(hSocket_, SocketOption::MulticastTtl, MultiCastIpTTL) != 0)
            return SocketError("setsockopt(IP_MULTICAST_TTL)");
        if (sin_.addr == AddrNone && SetSocketOption(hSocket_, SocketOption::Broadcast, 1) != 0)
            return SocketError("setsockopt(SO_BROADCAST)");
    }
    SelectEvents(ConnectEvents, "WSAAsyncSelect");
    if (datagram_) {
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    if (ConnectSocket(hSocket_, sin_) != 0 && SocketLastError() != WSAEWOULDBLOCK) {
        LastError = SocketLastError();
        return SocketError("Connect");
    }
    ChangeState(wsConnecting);
}

// ---- Socket events ----

void TCustomAsyncSocket::WndProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
    switch (Msg) {
    case WM_ASYNCSELECT: {
        if (hSocket_ == INVALID_SOCKET || WParam != static_cast<uintptr_t>(hSocket_) || paused_) return;
        const auto event = static_cast<int32_t>(LParam & 0xFFFF);
        const auto error = static_cast<uint16_t>((LParam >> 16) & 0xFFFF);
        if (event & FD_CONNECT) Do_FD_CONNECT(error);
        if (event & FD_READ) Do_FD_READ(error);
        if (event & FD_WRITE) Do_FD_WRITE(error);
        if (event & FD_ACCEPT) TriggerSessionAvailable(error);
        if (event & FD_CLOSE) Do_FD_CLOSE(error);
        return;
    }
    case WM_ASYNCGETHOSTBYNAME:
    case WM_ASYNCGETHOSTBYADDR: return DeliverLookup(Msg, WParam, LParam);
    case WM_CLOSE_DELAYED: return Close();
    case WM_WSOCKET_RELEASE: delete this; return;
    case WM_TRIGGER_EXCEPTION: throw ESocketException("Test exception in socket");
    default: return;
    }
}

void TCustomAsyncSocket::Do_FD_CONNECT(uint16_t Error) {
    if (state_ == wsConnected) return;
    ChangeState(wsConnected);
    TriggerSessionConnected(Error);
    if (Error != 0 && state_ != wsClosed) Close();
}

void TCustomAsyncSocket::Do_FD_READ(uint16_t Error) {
    if (state_ != wsConnected) {
        ChangeState(wsConnected);
        TriggerSessionConnected(Error);
    }
    ReceiveLoop(false, Error);
}

void TCustomAsyncSocket::Do_FD_WRITE(uint16_t Error) {
    TryToSend();
    if (allSent_) TriggerDataSent(Error);
}

void TCustomAsyncSocket::Do_FD_CLOSE(uint16_t Error) {
    if (state_ == wsConnecting) return;
    ReceiveLoop(true, Error);
    if (!closeInvoked_) {
        closeInvoked_ = true;
        TriggerSessionClosed(Error);
    }
    if (state_ != wsClosed) Close();
}

void TCustomAsyncSocket::ReceiveLoop(bool Always, uint16_t Error) {
    for (;;) {
        LastError = 0;
        // Bytes taken from the socket or handed to the application (those held back by the
        // socket object are read without touching the socket).
        const int64_t before = received_ + readCount_;
        if (!TriggerDataAvailable(Error)) {
            uint8_t discard[DiscardSize];
            if (hSocket_ != INVALID_SOCKET) DoRecv(discard, DiscardSize, 0);
        }
        if ((ComponentOptions & wsoNoReceiveLoop) && !Always) return;
        // A handler that takes nothing leaves the data for the next notification rather than
        // being called for ever.
        if (LastError != 0 || hSocket_ == INVALID_SOCKET || received_ + readCount_ == before) return;
        if (!DataWaiting()) return;
    }
}

bool TCustomAsyncSocket::DataWaiting() { return BytesWaiting(hSocket_) > 0; }

// ---- Receiving ----

int32_t TCustomAsyncSocket::DoRecv(void* Buffer, int32_t BufferSize, int32_t Flags) {
    const int32_t got = RecvSocket(hSocket_, Buffer, BufferSize, Flags);
    if (got > 0) received_ += got;
    return got;
}

int32_t TCustomAsyncSocket::DoRecvFrom(void* Buffer, int32_t BufferSize, SocketAddress& From) {
    const int32_t got = RecvFromSocket(hSocket_, Buffer, BufferSize, 0, From);
    if (got > 0) received_ += got;
    return got;
}

int32_t TCustomAsyncSocket::Receive(void* Buffer, int32_t BufferSize) {
    const int32_t got = DoRecv(Buffer, BufferSize, 0);
    if (got < 0)
        LastError = SocketLastError();
    else
        readCount_ += got;
    readMore_ = got == BufferSize;
    return got;
}

int32_t TCustomAsyncSocket::ReceiveFrom(void* Buffer, int32_t BufferSize, SocketAddress& From) {
    const int32_t got = DoRecvFrom(Buffer, BufferSize, From);
    if (got < 0)
        LastError = SocketLastError();
    else
        readCount_ += got;
    readMore_ = got == BufferSize;
    return got;
}

int32_t TCustomAsyncSocket::GetRcvdCount() {
    const int count = BytesWaiting(hSocket_);
    if (count < 0) {
        SocketError("ioctlSocket");
        return -1;
    }
    return count;
}

std::string TCustomAsyncSocket::ReceiveStr() {
    int32_t count = GetRcvdCount();
    if (count < 0) return {};
    if (count == 0) count = 255;
    std::string text(static_cast<size_t>(count), '\0');
    const int32_t got = Receive(text.data(), count);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

// ---- Sending ----

int32_t TCustomAsyncSocket::Send(const void* Data, int32_t Len) {
    if (state_ != wsConnected) {
        SetSocketLastError(WSAENOTCONN);
        SocketError("Send");
        return -1;
    }
    if (Len <= 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(Data);
    int32_t left = Len;
    while (left > 0) {
        if (bufList_.empty()) bufList_.emplace_back(SocketBufferSize);
        const int32_t written = bufList_.back().Write(bytes, left);
        if (written == 0) {
            bufList_.emplace_back(SocketBufferSize);
            continue;
        }
        bytes += written;
        left -= written;
    }
    allSent_ = false;
    TryToSend();
    if (allSent_) MainQueue().Post(target_, WM_ASYNCSELECT, static_cast<uintptr_t>(hSocket_), FD_WRITE);
    return Len;
}

int32_t TCustomAsyncSocket::SendStr(const std::string& Str) {
    return Send(Str.data(), static_cast<int32_t>(Str.size()));
}

int32_t TCustomAsyncSocket::SendTo(const SocketAddress& Dest, const void* Data, int32_t Len) {
    const int sent = SendToSocket(hSocket_, Data, Len, sendFlags_, Dest);
    if (sent < 0) LastError = SocketLastError();
    return sent;
}

int32_t TCustomAsyncSocket::RealSend(const void* Data, int32_t Len) {
    const int sent = datagram_ ? SendToSocket(hSocket_, Data, Len, sendFlags_, sin_)
                               : SendSocket(hSocket_, Data, Len, sendFlags_);
    if (sent > 0 && OnSendData) OnSendData(this, sent);
    return sent;
}

void TCustomAsyncSocket::TryToSend() {
    if (hSocket_ == INVALID_SOCKET) return;
    while (!bufList_.empty()) {
        int32_t len;
        const uint8_t* data = bufList_.front().Peek(len);
        if (len <= 0) {
            bufList_.pop_front();  // an empty block is freed
            continue;
        }
        const int32_t sent = RealSend(data, len);
        if (sent > 0) {
            bufList_.front().Remove(sent);
            if (sent < len) return;  // the rest waits for FD_WRITE
            continue;
        }
        if (sent == 0) return;
        const int error = SocketLastError();
        if (error == WSAEWOULDBLOCK) return;
        if (error == WSAECONNRESET || error == WSAENOTSOCK || error == WSAENOTCONN || error == WSAEINVAL ||
            error == WSAECONNABORTED) {
            closeInvoked_ = true;
            Close();
            TriggerSessionClosed(static_cast<uint16_t>(error));
            return;
        }
        return SocketError("TryToSend failed");
    }
    allSent_ = true;
}

void TCustomAsyncSocket::DeleteBufferedData() { bufList_.clear(); }

// ---- Closing ----

void TCustomAsyncSocket::Close() { InternalClose(true, 0); }

void TCustomAsyncSocket::InternalClose(bool Shutdown, uint16_t Error) {
    if (hSocket_ == INVALID_SOCKET) {
        if (state_ != wsClosed) {
            ChangeState(wsClosed);
            AssignDefaultValue();
        }
        return;
    }
    if (state_ == wsClosed) return;
    if (Shutdown) ShutdownSocket(hSocket_, SD_SEND);
    const TSocket closing = hSocket_;
    hSocket_ = INVALID_SOCKET;
    if (CloseSocket(closing) != 0 && SocketLastError() != WSANOTINITIALISED) SocketError("Disconnect (closesocket)");
    ChangeState(wsClosed);
    if (!destroying_ && !closeInvoked_) {
        closeInvoked_ = true;
        TriggerSessionClosed(Error);
    }
    AssignDefaultValue();
}

void TCustomAsyncSocket::CloseDelayed() { MainQueue().Post(target_, WM_CLOSE_DELAYED); }

void TCustomAsyncSocket::ReleaseDelayed() { MainQueue().Post(target_, WM_WSOCKET_RELEASE); }

void TCustomAsyncSocket::Abort() {
    if (dnsHandle_) CancelDnsLookup();
    DeleteBufferedData();
    if (state_ == wsConnected && !datagram_ && hSocket_ != INVALID_SOCKET) {
        LingerOnOff = wsLingerOff;
        LingerTimeout = 0;
        SetLingerOption();
    }
    InternalClose(false, 0);
}

void TCustomAsyncSocket::Flush() {
    // Bounded by FlushTimeout seconds: a peer that never reads cannot hold the caller for ever.
    const uint32_t start = ClockMs(), limit = static_cast<uint32_t>(std::max(FlushTimeout, 0)) * 1000u;
    while (hSocket_ != INVALID_SOCKET && !allSent_) {
        TryToSend();
        if (allSent_ || hSocket_ == INVALID_SOCKET) break;
        const uint32_t elapsed = ClockMs() - start;
        if (elapsed >= limit) break;
        MainQueue().Wait(std::min<uint32_t>(limit - elapsed, 100));
        ProcessMessages();
    }
}

void TCustomAsyncSocket::WaitForClose(uint32_t TimeoutMs) {
    const uint32_t start = ClockMs();
    while (hSocket_ != INVALID_SOCKET && state_ != wsClosed) {
        const uint32_t elapsed = ClockMs() - start;
        if (elapsed >= TimeoutMs || terminated_) return;
        MainQueue().Wait(std::min<uint32_t>(TimeoutMs - elapsed, 100));
        ProcessMessages();
    }
}

void TCustomAsyncSocket::Pause() {
    paused_ = true;
    if (hSocket_ != INVALID_SOCKET && AsyncSelect(hSocket_, target_, WM_ASYNCSELECT, 0) != 0)
        SocketError("WSAAsyncSelect");
}

void TCustomAsyncSocket::Resume() {
    paused_ = false;
    if (hSocket_ != INVALID_SOCKET && AsyncSelect(hSocket_, target_, WM_ASYNCSELECT, selectEvent_) != 0)
        SocketError("WSAAsyncSelect");
}

void TCustomAsyncSocket::ProcessMessages() {
    MainQueue().ProcessMessages();
    if (MainQueue().QuitPosted()) terminated_ = true;
}

int32_t TCustomAsyncSocket::ShutDown(int32_t How) {
    if (hSocket_ == INVALID_SOCKET) return 0;
    return ShutdownSocket(hSocket_, How);
}

// ---- Addresses ----

int32_t TCustomAsyncSocket::GetPeerName(SocketAddress& Name) {
    if (state_ != wsConnected) {
        SetSocketLastError(WSAENOTCONN);
        return -1;
    }
    return PeerName(hSocket_, Name);
}

std::string TCustomAsyncSocket::GetPeerAddr() {
    SocketAddress peer;
    return GetPeerName(peer) == 0 ? InetNtoa(peer.addr) : std::string();
}

std::string TCustomAsyncSocket::GetPeerPort() {
    SocketAddress peer;
    return GetPeerName(peer) == 0 ? std::to_string(peer.port) : std::string();
}

int32_t TCustomAsyncSocket::GetSockName(SocketAddress& Name) {
    if (hSocket_ == INVALID_SOCKET) {
        SetSocketLastError(WSAENOTSOCK);
        return -1;
    }
    return SocketName(hSocket_, Name);
}

std::string TCustomAsyncSocket::GetLocalPort() {
    SocketAddress local;
    return GetSockName(local) == 0 ? std::to_string(local.port) : localPortStr_;
}

std::string TCustomAsyncSocket::GetLocalAddrOfSocket() {
    SocketAddress local;
    return GetSockName(local) == 0 ? InetNtoa(local.addr) : localAddr_;
}
