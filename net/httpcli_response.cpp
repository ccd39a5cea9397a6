// The HTTP client's response side: the line buffer, the header parser, redirects, the body and
// the end of a request.
#include "net/httpcli.h"

#include "core/membudget.h"
#include "core/sysutils.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace {

std::string Lower(std::string S) {
    for (char& c : S) c = char(std::tolower(uint8_t(c)));
    return S;
}

std::string Trimmed(const std::string& S) {
    const size_t first = S.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return S.substr(first, S.find_last_not_of(" \t") - first + 1);
}

// A decimal number (optional sign) that fits 32 bits; else the conversion's failure.
int32_t HeaderNumber(const std::string& Text) {
    int32_t value = 0;
    if (!TryStrToInt(Text, value))
        throw EHttpException("'" + Text + "' is not a valid integer value", 404);
    return value;
}

}  // namespace

// ---- Receiving ----

void THttpClient::SocketDataAvailable(uint16_t) {
    try {
        ReceiveAvailable();
    } catch (const EVelaError& E) {
        FailRequest(E.what());
    }
}

void THttpClient::ReceiveAvailable() {
    if (GetState() == hsWaitingBody && docStarted_ && rcvFill_ == 0 && RcvdCount < MaxBodySize) return ReceiveBody();
    const int32_t room = LineBufferSize - rcvFill_;
    if (room <= 0) throw EHttpException("HTTP line too long", 4);
    const int32_t n = ReceiveSome(rcvBuf_.data() + rcvFill_, room);
    if (n <= 0 || GetState() == hsReady) return;
    Touch();
    rcvFill_ += n;
    rcvBuf_[size_t(rcvFill_)] = 0;
    ProcessBuffer();
}

// The body, once begun, is read in large reads: straight into the room a memory stream that keeps
// it has ready (a body of known length has all its room at once), else through the body buffer,
// so that the stream grows only for bytes that came. A read asks for no more than the bound
// leaves; at the bound reads go through the line buffer again, where any byte more ends the
// request.
void THttpClient::ReceiveBody() {
    const int64_t left = std::min<int64_t>(MaxBodySize - RcvdCount, std::numeric_limits<int32_t>::max());
    auto* memory = dynamic_cast<TMemoryStream*>(RcvdStream);
    if (const int64_t room = memory ? memory->Room() : 0; room > 0) {
        uint8_t* at = nullptr;
        const int64_t n = memory->WriteFrom(std::min(left, room), [&](uint8_t* Room, int64_t Count) {
            at = Room;
            return ReceiveSome(Room, int32_t(Count));
        });
        if (n <= 0) return;
        Touch();
        BodyData(reinterpret_cast<const char*>(at), int32_t(n), true);
        return;
    }
    if (bodyBuf_.empty()) bodyBuf_.resize(BodyReadSize);
    const int32_t n = ReceiveSome(bodyBuf_.data(), int32_t(std::min<int64_t>(left, BodyReadSize)));
    if (n <= 0) return;
    Touch();
    BodyData(bodyBuf_.data(), n);
}

void THttpClient::ProcessBuffer() {
    if (GetState() == hsWaitingBody) {
        const int32_t n = std::exchange(rcvFill_, 0);
        if (n > 0) BodyData(rcvBuf_.data(), n);
        return;
    }
    while (rcvFill_ > 0 && GetState() != hsReady) {
        char* const data = rcvBuf_.data();
        char* const lf = static_cast<char*>(std::memchr(data, '\n', size_t(rcvFill_)));
        if (!lf) return;
        const size_t raw = size_t(lf - data) + 1;
        size_t len = raw - 1;
        if (len > 0 && data[len - 1] == '\r') --len;
        const std::string line(data, raw);
        rcvFill_ -= int32_t(raw);
        std::memmove(data, data + raw, size_t(rcvFill_));
        const THttpState state = GetState();
        if (state != hsWaitingHeader && state != hsWaitingBody) continue;
        if (lineHandler_ == lhHeader)
            HeaderLine(std::string_view(line).substr(0, len), line);
        else if (lineHandler_ == lhBody)
            BodyData(line.data(), int32_t(line.size()));
        else
            PostReady();
    }
}

// ---- The header ----

void THttpClient::HeaderLine(std::string_view Line, std::string_view Raw) {
    if (headerLines_++ == 0) {
        HeaderInProgress = true;
        TriggerHeaderBegin();
    }
    headerBytes_ += int64_t(Raw.size());
    if (headerBytes_ > MaxHeaderSize) throw EHttpException("HTTP header too large", 404);
    if (Lower(std::string(Line.substr(0, 6))) == "<html>") {
        if (ContentType.empty()) ContentType = "text/html";
        StartBody();
        HeaderInProgress = false;
        TriggerHeaderEnd();
        BodyData(Raw.data(), int32_t(Raw.size()));
        return;
    }
    if (Line.empty()) {
        EndOfHeader();
        return;
    }
    const std::string line(Line);
    RcvdHeader.push_back(line);
    HeaderField(line);
    if (OnHeaderData) OnHeaderData(this);
}

void THttpClient::HeaderField(const std::string& Line) {
    if (Line.compare(0, 8, "HTTP/1.0") == 0 || Line.compare(0, 8, "HTTP/1.1") == 0) {
        StatusCode = HeaderNumber(Line.size() > 9 ? Line.substr(9, 3) : "");
        ReasonPhrase = Line.size() > 13 ? Line.substr(13) : "";
        return;
    }
    const size_t colon = Line.find(':');
    if (colon == std::string::npos) return;
    const std::string name = Lower(Line.substr(0, colon));
    const size_t start = Line.find_first_not_of(" \t", colon + 1);
    const std::string value = start == std::string::npos ? "" : Line.substr(start);
    if (name == "location") {
        LocationChange = true;
        NewLocation(value);
    } else if (name == "content-length") {
        ContentLength = HeaderNumber(Trimmed(value));
    } else if (name == "content-range") {
        const size_t dash = value.find('-'), slash = value.find('/');
        ContentRangeBegin = value.size() > 6 ? value.substr(6, dash == std::string::npos ? std::string::npos : dash - 6) : "";
        ContentRangeEnd = dash == std::string::npos ? ""
                          : value.substr(dash + 1, slash == std::string::npos || slash < dash ? std::string::npos
                                                                                               : slash - dash - 1);
    } else if (name == "accept-ranges") {
        AcceptRanges = value;
    } else if (name == "content-type") {
        ContentType = Lower(value);
    } else if (name == "www-authenticate") {
        WWWAuthenticate.push_back(value);
    } else if (name == "set-cookie") {
        bool accept = true;
        TriggerCookie(value, accept);
    }
}

void THttpClient::EndOfHeader() {
    HeaderInProgress = false;
    if (ContentLength == 0) {
        TriggerHeaderEnd();
        // Whatever follows is no part of this response.
        lineHandler_ = lhNone;
        rcvFill_ = 0;
        PostReady();
        return;
    }
    if (LocationChange) {
        TriggerHeaderEnd();
        CountRedirect();
        headerLines_ = bodyLines_ = 0;
        rcvFill_ = 0;
        CtrlSocket.OnSessionClosed = [this](TCustomAsyncSocket*, uint16_t) { LocationSessionClosed(); };
        CloseConnection();
        return;
    }
    ReserveBody();
    if (ContentType == "text/html" && DocName.size() >= 4 && Lower(DocName.substr(DocName.size() - 4)) == ".exe")
        DocName.replace(DocName.size() - 3, 3, "htm");
    StartBody();
    TriggerHeaderEnd();
    const int32_t rest = std::exchange(rcvFill_, 0);
    if (rest > 0) BodyData(rcvBuf_.data(), rest);
    if (StatusCode >= 400 && GetState() != hsReady) CloseConnection();
}

// A body of known length that the budget has room for is given its room in a memory stream at
// once: the stream does not move its bytes as it grows, and from 4 MiB takes its room in large
// pages.
void THttpClient::ReserveBody() {
    auto* memory = dynamic_cast<TMemoryStream*>(RcvdStream);
    if (!memory || ContentLength <= 0 || ContentLength > MaxBodySize || ContentLength > MemoryLimit() - MemoryCharged())
        return;
    memory->Reserve(memory->Position() + ContentLength);
}

void THttpClient::StartBody() {
    SetState(hsWaitingBody);
    lineHandler_ = lhBody;
}

// ---- Redirects ----

void THttpClient::NewLocation(const std::string& Value) {
    const std::string server = urlProto_ + "://" + TargetHost + (urlPort_.empty() ? "" : ":" + urlPort_);
    std::string path;
    if (!Value.empty() && Value[0] == '/') {
        path = Value;
    } else if (Value.compare(0, 7, "http://") != 0) {
        // The current path's folder (up to its last "/" or ":" before any query).
        const std::string current = Proxy.empty() ? Path : Path.substr(std::min(Path.size(), server.size()));
        const std::string plain = current.substr(0, current.find('?'));
        const size_t end = plain.find_last_of("/:");
        path = (end == std::string::npos ? std::string("/") : plain.substr(0, end + 1)) + Value;
    } else {
        TUrlParts parts;
        ParseURL(Value, parts);
        TargetHost = parts.Host;
        urlProto_ = "http";
        urlPort_ = parts.Port;
        if (Proxy.empty()) {
            Hostname = parts.Host;
            Port = parts.Port.empty() ? "80" : parts.Port;
        }
        path = parts.Path.empty() ? "/" : parts.Path;
    }
    const std::string absolute =
        urlProto_ + "://" + TargetHost + (urlPort_.empty() ? "" : ":" + urlPort_) + path;
    Path = Proxy.empty() ? path : absolute;
    Location = absolute;
}

void THttpClient::CountRedirect() {
    if (++redirects_ > MaxRedirects) throw EHttpException("too many redirections", 404);
}

void THttpClient::LocationSessionClosed() {
    Connected = false;
    LocationChange = false;
    if (RequestType == httpPOST) RequestType = httpGET;
    CtrlSocket.OnSessionClosed = [this](TCustomAsyncSocket*, uint16_t E) { SocketSessionClosed(E); };
    if (OnLocationChange) OnLocationChange(this);
    RcvdHeader.clear();
    // Through a proxy the connection goes back to it, at the port it was given with.
    if (!Proxy.empty()) ConnectToProxy();
    SetState(hsDnsLookup);
    platform::MainQueue().Post(target_, WM_HTTP_LOGIN, serial_);
}

// ---- The body and the end ----

void THttpClient::BodyData(const char* Data, int32_t Len, bool Kept) {
    if (Len <= 0) return;
    if (RcvdCount + Len > MaxBodySize) throw EHttpException("HTTP document too large", 404);
    if (!docStarted_) {
        docStarted_ = true;
        TriggerDocBegin();
    }
    ++bodyLines_;
    RcvdCount += Len;
    if (RcvdStream && !Kept) RcvdStream->WriteBuffer(Data, Len);
    TriggerDocData(Data, Len);
}

void THttpClient::SocketSessionClosed(uint16_t) {
    if (GetState() == hsReady) return;
    Connected = false;
    try {
        // Bytes after the last line end are the last line (a body without a line end).
        if (rcvFill_ > 0) {
            const std::string rest(rcvBuf_.data(), size_t(std::exchange(rcvFill_, 0)));
            if (GetState() == hsWaitingHeader)
                HeaderLine(rest, rest);
            else if (GetState() == hsWaitingBody)
                BodyData(rest.data(), int32_t(rest.size()));
        }
        if (GetState() == hsReady) return;
        if (HeaderInProgress) {
            HeaderInProgress = false;
            TriggerHeaderEnd();
            if (LocationChange) {
                CountRedirect();
                LocationSessionClosed();
                return;
            }
        }
        RequestEnded();
    } catch (const EVelaError& E) {
        FailRequest(E.what());
    }
}

void THttpClient::RequestEnded() {
    if (docStarted_) TriggerDocEnd();
    PostReady();
}

// ---- Events ----

void THttpClient::TriggerCookie(const std::string& Data, bool& Accept) {
    if (OnCookie) OnCookie(this, Data, Accept);
}
void THttpClient::TriggerSessionConnected(uint16_t Error) {
    if (OnSessionConnected) OnSessionConnected(this, Error);
}
void THttpClient::TriggerRequestHeaderBegin() {
    if (OnRequestHeaderBegin) OnRequestHeaderBegin(this);
}
void THttpClient::TriggerRequestHeaderEnd() {
    if (OnRequestHeaderEnd) OnRequestHeaderEnd(this);
}
void THttpClient::TriggerHeaderBegin() {
    if (OnHeaderBegin) OnHeaderBegin(this);
}
void THttpClient::TriggerHeaderEnd() {
    if (OnHeaderEnd) OnHeaderEnd(this);
}
void THttpClient::TriggerDocBegin() {
    if (OnDocBegin) OnDocBegin(this);
}
void THttpClient::TriggerDocData(const char* Data, int32_t Len) {
    if (OnDocData) OnDocData(this, Data, Len);
}
void THttpClient::TriggerDocEnd() {
    if (OnDocEnd) OnDocEnd(this);
}
void THttpClient::TriggerSendBegin() {
    if (OnSendBegin) OnSendBegin(this);
}
void THttpClient::TriggerSendData(const char* Data, int32_t Len) {
    if (OnSendData) OnSendData(this, Data, Len);
}
void THttpClient::TriggerSendEnd() {
    if (OnSendEnd) OnSendEnd(this);
}
