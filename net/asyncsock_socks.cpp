// Connecting through a SOCKS 4, 4A or 5 server: the requests, and the reader of the server's
// replies, which hands the connection to the application once the server has made it.
#include "net/asyncsock.h"

#include "net/asyncsock_resolve.h"

#include <algorithm>
#include <cctype>

using namespace platform;

namespace {

// The longest reply read at once: a SOCKS 5 connect reply with a 255-byte name is 262 bytes.
constexpr size_t ReplyRoom = 512;

std::string Upper(std::string Text) {
    for (char& c : Text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return Text;
}

uint8_t At(const std::string& Bytes, size_t I) { return static_cast<uint8_t>(Bytes[I]); }

// A length byte and the bytes it counts (at most 255 of Text).
std::string Counted(const std::string& Text) {
    const std::string part = Text.substr(0, 255);
    return std::string(1, static_cast<char>(part.size())) + part;
}

std::string PortBytes(uint16_t Port) { return {static_cast<char>(Port >> 8), static_cast<char>(Port & 255)}; }

}  // namespace

void TCustomSocksSocket::SetSocksServer(const std::string& Value) {
    if (state_ != wsClosed) return RaiseException("Can't change socks server if not closed");
    socksServer_ = TrimBlanks(Value);
}

void TCustomSocksSocket::SetSocksPort(const std::string& Value) {
    if (state_ != wsClosed) return RaiseException("Can't change socks port if not closed");
    socksPort_ = TrimBlanks(Value);
}

void TCustomSocksSocket::SetSocksLevel(const std::string& Value) {
    if (state_ != wsClosed) return RaiseException("Can't change socks level if not closed");
    const std::string level = Upper(Value);
    if (level != "4" && level != "4A" && level != "5") return RaiseException("Invalid socks level. Must be 4, 4A or 5.");
    socksLevel_ = level;
}

void TCustomSocksSocket::Listen() {
    if (!socksServer_.empty()) return RaiseException("Listening is not supported thru socks server");
    TCustomAsyncSocket::Listen();
}

void TCustomSocksSocket::Connect() {
    if (socksServer_.empty()) {
        socksStep_ = ssNone;
        return TCustomAsyncSocket::Connect();
    }
    if (Upper(protoStr_) != "TCP") return RaiseException("tcp is the only protocol supported thru socks server");
    if (addrStr_.size() > 255) return RaiseException("ResolveHost: '" + addrStr_ + "' Invalid Hostname.");
    // The target is kept for the requests; the connection goes to the SOCKS server.
    socksTargetAddr_ = addrStr_;
    socksTargetPort_ = ResolvePort(portStr_, "tcp");
    if (socksLevel_ == "4") socksTargetIp_ = ResolveHost(addrStr_);
    const std::string targetPort = portStr_;
    addrStr_ = socksServer_;
    portStr_ = socksPort_;
    addrAssigned_ = !addrStr_.empty();
    portAssigned_ = !portStr_.empty();
    addrResolved_ = portResolved_ = false;
    socksRcvd_.clear();
    socksRest_.clear();
    socksStep_ = ssServerConnect;
    try {
        TCustomAsyncSocket::Connect();
    } catch (...) {
        socksStep_ = ssNone;
        addrStr_ = socksTargetAddr_;
        portStr_ = targetPort;
        addrAssigned_ = portAssigned_ = true;
        addrResolved_ = portResolved_ = false;
        throw;
    }
    addrStr_ = socksTargetAddr_;
    portStr_ = targetPort;
    addrAssigned_ = portAssigned_ = true;
    addrResolved_ = portResolved_ = false;
    if (state_ == wsClosed) socksStep_ = ssNone;
}

void TCustomSocksSocket::TriggerSocksConnected(uint16_t Error) {
    if (OnSocksConnected) OnSocksConnected(this, Error);
}

void TCustomSocksSocket::TriggerSocksError(int32_t Error, const std::string& Msg) {
    if (OnSocksError) OnSocksError(this, Error, Msg);
}

void TCustomSocksSocket::TriggerSocksAuthState(TSocksAuthState AuthState) {
    if (OnSocksAuthState) OnSocksAuthState(this, AuthState);
}

void TCustomSocksSocket::TriggerSessionConnected(uint16_t Error) {
    if (socksStep_ != ssServerConnect) return TCustomAsyncSocket::TriggerSessionConnected(Error);
    TriggerSocksConnected(Error);
    if (Error != 0) {
        socksStep_ = ssNone;
        return TCustomAsyncSocket::TriggerSessionConnected(Error);
    }
    if (socksLevel_ != "5") return SocksDoConnect();
    const bool usercode = SocksAuthentication == socksAuthenticateUsercode;
    socksStep_ = ssGreeting;
    SendSocksRequest({5, 1, static_cast<char>(usercode ? 2 : 0)});
}

void TCustomSocksSocket::SendSocksRequest(const std::string& Request) {
    socksRcvd_.clear();
    Send(Request.data(), static_cast<int32_t>(Request.size()));
}

void TCustomSocksSocket::SocksDoConnect() {
    socksStep_ = ssConnecting;
    if (socksLevel_ == "5")
        return SendSocksRequest(std::string{5, 1, 0, 3} + Counted(socksTargetAddr_) + PortBytes(socksTargetPort_));
    const bool level4A = socksLevel_ == "4A";
    const uint32_t ip = level4A ? 1 : socksTargetIp_;
    std::string request{4, 1};
    request += PortBytes(socksTargetPort_);
    for (int shift = 24; shift >= 0; shift -= 8) request += static_cast<char>((ip >> shift) & 255);
    request += SocksUsercode.substr(0, SocksUsercode.find('\0'));
    request += '\0';
    if (level4A) request += socksTargetAddr_ + '\0';
    SendSocksRequest(request);
}

void TCustomSocksSocket::SocksDoAuthenticate() {
    socksStep_ = ssAuthenticating;
    TriggerSocksAuthState(socksAuthStart);
    SendSocksRequest(std::string{1} + Counted(SocksUsercode) + Counted(SocksPassword));
}

bool TCustomSocksSocket::TriggerDataAvailable(uint16_t Error) {
    if (!SocksActive()) return TCustomAsyncSocket::TriggerDataAvailable(Error);
    DataAvailableSocks(Error);
    return true;
}

void TCustomSocksSocket::DataAvailableSocks(uint16_t Error) {
    if (Error != 0) return SocksFail(Error, "data receive error");
    uint8_t buffer[ReplyRoom];
    const int32_t got = DoRecv(buffer, static_cast<int32_t>(ReplyRoom - std::min(ReplyRoom, socksRcvd_.size())), 0);
    if (got < 0) {
        LastError = SocketLastError();
        return;
    }
    if (got == 0) return;
    socksRcvd_.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(got));
    SocksReply();
}

void TCustomSocksSocket::SocksReply() {
    const std::string& r = socksRcvd_;
    switch (socksStep_) {
    case ssGreeting: {
        if (r.size() < 2) return;
        if (socksLevel_ != "5") return SocksFail(socksProtocolError, "TAsyncSocket logic error");
        if (At(r, 0) != 5) return SocksFail(socksVersionError, "socks version error");
        if (At(r, 1) == 0) {
            if (SocksAuthentication == socksAuthenticateUsercode) TriggerSocksAuthState(socksAuthNotRequired);
            return SocksDoConnect();
        }
        if (At(r, 1) == 2) return SocksDoAuthenticate();
        return SocksFail(socksAuthMethodError, "authentification method not acceptable");
    }
    case ssAuthenticating: {
        if (r.size() < 2) return;
        if (At(r, 0) != 1) return SocksFail(socksVersionError, "socks version error");
        if (At(r, 1) != 0) return SocksFail(socksAuthenticationFailed, "socks authentication failed");
        if (r.size() > 2) return SocksFail(socksProtocolError, "too much data availaible");
        TriggerSocksAuthState(socksAuthSuccess);
        return SocksDoConnect();
    }
    case ssConnecting: {
        if (socksLevel_ != "5") {
            if (r.size() < 8) return;
            if (At(r, 0) != 0) return SocksFail(socksVersionError, "socks version error");
            switch (At(r, 1)) {
            case 90: return SocksSucceed(8);
            case 91: return SocksFail(socksRejectedOrFailed, "request rejected or failed");
            case 92: return SocksFail(socksConnectionRefused, "connection refused");
            case 93: return SocksFail(socksAuthenticationFailed, "authentification failed");
            default: return SocksFail(socksUnassignedError, "unassigned error #" + std::to_string(At(r, 1)));
            }
        }
        if (r.size() < 2) return;
        if (At(r, 0) != 5) return SocksFail(socksVersionError, "socks version error");
        static const char* const texts[] = {
            "general SOCKS server failure", "connection not allowed by ruleset", "network unreachable",
            "host unreachable", "connection refused", "TTL expired", "command not supported",
            "address type not supported"};
        const uint8_t code = At(r, 1);
        if (code >= 1 && code <= 8) return SocksFail(socksGeneralFailure + code - 1, texts[code - 1]);
        if (code != 0) return SocksFail(socksUnassignedError, "unassigned error #" + std::to_string(code));
        if (r.size() < 5) return;
        size_t length;
        if (At(r, 3) == 1)
            length = 10;
        else if (At(r, 3) == 3)
            length = 7 + At(r, 4);
        else
            return SocksFail(socksUnknownAddressType, "address type not supported");
        if (r.size() < length) return;
        return SocksSucceed(length);
    }
    default: return SocksFail(socksInternalError, "internal error");
    }
}

void TCustomSocksSocket::SocksFail(int32_t Error, const std::string& Msg) {
    TriggerSocksError(Error, Msg);
    socksStep_ = ssNone;
    socksRcvd_.clear();
    TCustomAsyncSocket::TriggerSessionConnected(static_cast<uint16_t>(Error));
    InternalClose(true, static_cast<uint16_t>(Error));
}

void TCustomSocksSocket::SocksSucceed(size_t ReplyLength) {
    socksRest_ = socksRcvd_.substr(ReplyLength);
    socksRcvd_.clear();
    socksStep_ = ssNone;
    TCustomAsyncSocket::TriggerSessionConnected(0);
    if (!socksRest_.empty() && state_ == wsConnected) TriggerDataAvailable(0);
}

int32_t TCustomSocksSocket::Receive(void* Buffer, int32_t BufferSize) {
    if (socksRest_.empty()) return TCustomAsyncSocket::Receive(Buffer, BufferSize);
    const auto count = static_cast<int32_t>(std::min<size_t>(socksRest_.size(), static_cast<size_t>(std::max(BufferSize, 0))));
    std::copy_n(socksRest_.data(), count, static_cast<char*>(Buffer));
    socksRest_.erase(0, static_cast<size_t>(count));
    readCount_ += count;
    readMore_ = count == BufferSize;
    return count;
}

bool TCustomSocksSocket::DataWaiting() { return !socksRest_.empty() || TCustomAsyncSocket::DataWaiting(); }

int32_t TCustomSocksSocket::GetRcvdCount() {
    if (socksRest_.empty()) return TCustomAsyncSocket::GetRcvdCount();
    const int waiting = hSocket_ == INVALID_SOCKET ? 0 : BytesWaiting(hSocket_);
    return static_cast<int32_t>(socksRest_.size()) + std::max(waiting, 0);
}
