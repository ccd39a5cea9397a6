// The HTTP client's request side: URLs, the request text, the states and their messages, the
// silence timer, and the blocking wait with its hand-over from another thread.
#include "net/httpcli.h"

#include "core/sysutils.h"

#include <algorithm>
#include <cstdio>

namespace {

bool StartsWithNoCase(const std::string& S, std::string_view Prefix) {
    if (S.size() < Prefix.size()) return false;
    for (size_t i = 0; i < Prefix.size(); ++i)
        if (std::tolower(uint8_t(S[i])) != std::tolower(uint8_t(Prefix[i]))) return false;
    return true;
}

const char* const AbortedText = "HTTP request aborted";
const char* const BadHostText = "HTTP host name holds a character no host name can hold";
const char* const LineBreakText = "HTTP header line holds a line break";

bool IsProtoChar(char C) { return (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '+' || C == '-' || C == '.'; }

// Whether a byte stands in a request as it is: none of the controls, the space, DEL and the
// bytes above ASCII does.
bool IsPlainByte(char C) { return uint8_t(C) > 0x20 && uint8_t(C) < 0x7F; }

bool IsPlainText(std::string_view Text) { return std::all_of(Text.begin(), Text.end(), IsPlainByte); }

// A path (and query) as the request line carries it: each byte that cannot stand there as "%XX",
// every other byte (an escape already there among them) as it is.
std::string EncodedPath(std::string_view Path) {
    static const char Digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : Path) {
        if (IsPlainByte(c)) {
            out += c;
        } else {
            out += '%';
            out += Digits[uint8_t(c) >> 4];
            out += Digits[uint8_t(c) & 15];
        }
    }
    return out;
}

// "Tue, 03 Mar 2026 14:05:09 GMT" for a local time.
std::string HttpDate(const platform::DateTime& Local) {
    static const char Days[] = "MonTueWedThuFriSatSun", Months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const platform::DateTime t = platform::LocalToUtc(Local);
    const int day = (t.weekDay + 6) % 7, month = std::clamp(t.month, 1, 12) - 1;
    char text[64];
    std::snprintf(text, sizeof text, "%.3s, %2.2d %.3s %4.4d %2.2d:%2.2d:%2.2d GMT", Days + day * 3, t.day,
                  Months + month * 3, t.year, t.hour, t.minute, t.second);
    return text;
}

}  // namespace

void ParseURL(const std::string& URL, TUrlParts& Parts) {
    const std::string previous = Parts.Path;
    Parts = {};
    if (URL.empty()) return;
    if (URL.compare(0, 2, "./") == 0) {
        const size_t slash = previous.rfind('/');
        Parts.Path = (slash == std::string::npos ? std::string("/") : previous.substr(0, slash + 1)) + URL.substr(2);
        return;
    }
    if (URL.compare(0, 3, "../") == 0) {
        std::string dir = previous.substr(0, previous.rfind('/') == std::string::npos ? 0 : previous.rfind('/'));
        size_t at = 0;
        while (URL.compare(at, 3, "../") == 0) {
            at += 3;
            const size_t slash = dir.rfind('/');
            dir = slash == std::string::npos ? "" : dir.substr(0, slash);
        }
        Parts.Path = dir + "/" + URL.substr(at);
        return;
    }
    std::string rest;
    const size_t mark = URL.find("://");
    if (mark != std::string::npos && mark > 0 && std::all_of(URL.begin(), URL.begin() + mark, IsProtoChar)) {
        Parts.Proto = URL.substr(0, mark);
        rest = URL.substr(mark + 3);
    } else if (URL[0] != '/') {
        if (StartsWithNoCase(URL, "http:")) {
            Parts.Proto = "http";
            if (URL.size() < 7 || URL[6] != '/') {
                Parts.Path = URL.substr(5);
                return;
            }
            rest = URL.substr(7);
        } else if (StartsWithNoCase(URL, "mailto:")) {
            Parts.Proto = "mailto";
            rest = URL.substr(URL.find(':') + 1);
        } else {
            rest = URL;
        }
    } else {
        Parts.Proto = "http";
        if (URL.size() < 2 || URL[1] != '/') {
            Parts.Path = URL;
            return;
        }
        rest = URL.substr(2);
    }
    const size_t end = rest.find_first_of("/?");
    std::string authority = rest.substr(0, end);
    if (end != std::string::npos) Parts.Path = rest.substr(end);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string user = authority.substr(0, at);
        const size_t colon = user.find(':');
        Parts.User = user.substr(0, colon);
        if (colon != std::string::npos) Parts.Pass = user.substr(colon + 1);
        authority.erase(0, at + 1);
    }
    const size_t colon = authority.rfind(':');
    if (colon != std::string::npos) {
        Parts.Port = authority.substr(colon + 1);
        authority.erase(colon);
    }
    Parts.Host = authority;
}

std::string Base64Encode(std::string_view Data) {
    static const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < Data.size(); i += 3) {
        const size_t n = std::min<size_t>(3, Data.size() - i);
        uint32_t v = uint32_t(uint8_t(Data[i])) << 16;
        if (n > 1) v |= uint32_t(uint8_t(Data[i + 1])) << 8;
        if (n > 2) v |= uint8_t(Data[i + 2]);
        for (size_t k = 0; k < 4; ++k) out += k <= n ? Alphabet[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// ---- Life ----

THttpClient::THttpClient() : ownerThread_(std::this_thread::get_id()), rcvBuf_(LineBufferSize + 1) {
    target_ = platform::MainQueue().AddTarget([this](const platform::QueuedMessage& M) { WndProc(M); });
    CtrlSocket.OnSessionConnected = [this](TCustomAsyncSocket*, uint16_t E) { SocketSessionConnected(E); };
    CtrlSocket.OnDataAvailable = [this](TCustomAsyncSocket*, uint16_t E) { SocketDataAvailable(E); };
    CtrlSocket.OnDnsLookupDone = [this](TCustomAsyncSocket*, uint16_t E) { SocketDnsLookupDone(E); };
    CtrlSocket.OnDataSent = [this](TCustomAsyncSocket*, uint16_t E) { SocketDataSent(E); };
}

THttpClient::~THttpClient() {
    Shutdown();
    platform::MainQueue().RemoveTarget(target_);
}

void THttpClient::SetMultiThreaded(bool Value) {
    MultiThreaded = Value;
    CtrlSocket.MultiThreaded = Value;
}

// ---- States and messages ----

void THttpClient::WndProc(const platform::QueuedMessage& M) {
    switch (M.message) {
    case WM_HTTP_REQUEST_DONE:
        if (OnRequestDone) OnRequestDone(this, RequestType, uint16_t(M.lParam));
        break;
    case WM_HTTP_SET_READY:
        if (uint32_t(M.wParam) == serial_ && GetState() != hsReady) SetState(hsReady);
        break;
    case WM_HTTP_LOGIN:
        if (uint32_t(M.wParam) == serial_ && GetState() == hsDnsLookup) DoRequestConnect();
        break;
    case WM_HTTP_START:
        StartHandedOver(M.wParam, THttpRequest(M.lParam));
        break;
    case platform::TimerMessage:
        if (M.wParam == SilenceTimer && GetState() != hsReady && platform::ClockMs() - lastActivity_ >= Timeout)
            FailRequest("HTTP request timed out");
        break;
    }
}

void THttpClient::SetState(THttpState NewState) {
    State.store(NewState);
    if (NewState == hsReady) {
        platform::MainQueue().KillTimer(target_, SilenceTimer);
        DropConnection();
        lineHandler_ = lhNone;
        bodyBuf_ = std::vector<char>();
    }
    if (OnStateChange) OnStateChange(this);
    if (NewState != hsReady) return;
    platform::MainQueue().Post(target_, WM_HTTP_REQUEST_DONE, serial_, RequestDoneError);
    std::lock_guard lock(handMutex_);
    if (ticketRunning_ > ticketEnded_) ticketEnded_ = ticketRunning_;
    handDone_.notify_all();
}

void THttpClient::PostReady() { platform::MainQueue().Post(target_, WM_HTTP_SET_READY, serial_); }

void THttpClient::Touch() { lastActivity_ = platform::ClockMs(); }

void THttpClient::DropConnection() {
    // The socket's own events must not reach the request that has ended.
    const TSessionClosed closed = std::exchange(CtrlSocket.OnSessionClosed, nullptr);
    const TDnsLookupDone looked = std::exchange(CtrlSocket.OnDnsLookupDone, nullptr);
    CtrlSocket.Abort();
    CtrlSocket.OnSessionClosed = closed;
    CtrlSocket.OnDnsLookupDone = looked;
    Connected = false;
}

void THttpClient::FailRequest(const std::string& Reason) {
    if (GetState() == hsReady) return;
    DropConnection();
    if (StatusCode < 400) StatusCode = 404;
    ReasonPhrase = Reason;
    SetState(hsReady);
}

void THttpClient::Abort() {
    FailRequest(AbortedText);
    std::lock_guard lock(handMutex_);
    if (ticketPosted_ > ticketEnded_) {
        ticketEnded_ = ticketPosted_;
        startError_ = std::make_exception_ptr(EHttpException(AbortedText, 404));
    }
    handDone_.notify_all();
}

void THttpClient::Shutdown() {
    {
        std::lock_guard lock(handMutex_);
        shutDown_ = true;
    }
    Abort();
}

// ---- Starting ----

void THttpClient::Cleanup() {
    RcvdHeader.clear();
    RequestDoneError = 0;
    DocName.clear();
    StatusCode = 0;
    RcvdCount = 0;
    SentCount = 0;
    headerLines_ = bodyLines_ = 0;
    headerBytes_ = 0;
    ContentType.clear();
    AllowedToSend = false;
    ContentLength = -1;
    Location = URL;
}

void THttpClient::ConnectToProxy() {
    TUrlParts proxy;
    ParseURL(Proxy, proxy);
    Hostname = proxy.Host;
    Port = proxy.Port.empty() ? ProxyPort : proxy.Port;
}

void THttpClient::ParseRequestURL() {
    TUrlParts parts;
    ParseURL(URL, parts);
    urlProto_ = parts.Proto.empty() ? "http" : parts.Proto;
    urlPort_ = parts.Port;
    TargetHost = Hostname = parts.Host;
    if (!parts.User.empty() || !parts.Pass.empty()) {
        Username = parts.User;
        Password = parts.Pass;
    }
    if (Proxy.empty()) {
        Path = parts.Path;
        Port = parts.Port.empty() ? "80" : parts.Port;
    } else {
        Path = urlProto_ + "://" + parts.Host + (parts.Port.empty() ? "" : ":" + parts.Port) + parts.Path;
        ConnectToProxy();
    }
    if (Path.empty()) Path = "/";
    std::string doc = Path.substr(0, Path.find('?'));
    if (doc != "/") {
        if (!doc.empty() && doc.back() == '/') doc.pop_back();
        doc = doc.substr(doc.rfind('/') + 1).substr(0, 255);
        doc = doc.substr(0, doc.find('?'));
    }
    DocName = doc.empty() || doc == "/" ? "document.htm" : doc;
}

void THttpClient::RequestAsync(THttpRequest Kind) {
    if (GetState() != hsReady) throw EHttpException("HTTP component is busy", 1);
    if (Kind == httpPOST && !SendStream) throw EHttpException("HTTP component has nothing to post", 2);
    ++serial_;
    CtrlSocket.OnSessionClosed = [this](TCustomAsyncSocket*, uint16_t E) { SocketSessionClosed(E); };
    State.store(hsNotConnected);
    if (OnStateChange) OnStateChange(this);
    RequestType = Kind;
    Cleanup();
    ReasonPhrase.clear();
    redirects_ = 0;
    LocationChange = HeaderInProgress = docStarted_ = false;
    rcvFill_ = 0;
    Touch();
    if (Timeout > 0) platform::MainQueue().SetTimer(target_, SilenceTimer, std::clamp<uint32_t>(Timeout / 4, 1, 1000));
    ParseRequestURL();
    DoRequestConnect();
}

void THttpClient::DoRequestConnect() {
    try {
        // Every connection, to the URL's server, a redirect's or a proxy, starts here. The names
        // go into the request as they are, so one that could not stand there is refused before
        // it is looked up.
        if (!IsPlainText(TargetHost) || !IsPlainText(Hostname) || !IsPlainText(Port))
            throw EHttpException(BadHostText, 404);
        SetState(hsDnsLookup);
        CtrlSocket.SetLocalAddr(LocalAddr);
        CtrlSocket.DnsLookup(Hostname);
    } catch (const EVelaError& E) {
        FailRequest(E.what());
    }
}

void THttpClient::SocketDnsLookupDone(uint16_t Error) {
    if (GetState() != hsDnsLookup) return;
    Touch();
    if (Error) {
        RequestDoneError = Error;
        StatusCode = 404;
        ReasonPhrase = "can't resolve hostname to IP address";
        SocketSessionClosed(Error);
        return;
    }
    try {
        SetState(hsDnsLookupDone);
        CtrlSocket.SetAddr(CtrlSocket.GetDnsResult());
        CtrlSocket.SetLocalAddr(LocalAddr);
        CtrlSocket.SetPort(Port);
        CtrlSocket.SetProto("tcp");
        CtrlSocket.Connect();
    } catch (const EVelaError& E) {
        FailRequest(E.what());
    }
}

void THttpClient::SocketSessionConnected(uint16_t Error) {
    if (GetState() == hsReady) return;
    Touch();
    if (Error) {
        RequestDoneError = Error;
        StatusCode = 404;
        ReasonPhrase = SocketErrorDesc(Error) + " (Error #" + std::to_string(Error) + ")";
        SocketSessionClosed(Error);
        return;
    }
    Connected = true;
    SetState(hsConnected);
    TriggerSessionConnected(0);
    lineHandler_ = lhHeader;
    SetState(hsWaitingHeader);
    try {
        static const char* const Methods[] = {"GET", "GET", "POST", "HEAD"};
        SendRequest(Methods[RequestType & 3]);
        if (RequestType == httpPOST) {
            TriggerSendBegin();
            AllowedToSend = true;
            SendNextBlock();
        }
    } catch (const EVelaError& E) {
        FailRequest(E.what());
    }
}

// ---- The request text ----

void THttpClient::SendHeaderLine(std::string Line) {
    if (OnCommand) OnCommand(this, Line);
    // A line break would end the line early and pass the rest off as lines of the request's own.
    if (Line.find_first_of("\r\n") != std::string::npos) throw EHttpException(LineBreakText, 404);
    requestBuf_ += Line;
    requestBuf_ += "\r\n";
}

void THttpClient::SendRequest(const std::string& Method) {
    requestBuf_.clear();  // what a refused request had made is not sent
    TriggerRequestHeaderBegin();
    SendHeaderLine(Method + " " + EncodedPath(Path) + " HTTP/1.0");
    if (!Sender.empty()) SendHeaderLine("From: " + Sender);
    if (!Accept.empty()) SendHeaderLine("Accept: " + Accept);
    if (!Reference.empty()) SendHeaderLine("Referer: " + Reference);
    if (RequestType == httpPOST && !ContentTypePost.empty()) SendHeaderLine("Content-Type: " + ContentTypePost);
    if (!Agent.empty()) SendHeaderLine("User-Agent: " + Agent);
    SendHeaderLine("Host: " + TargetHost);
    if (NoCache) SendHeaderLine("Pragma: no-cache");
    if (RequestType == httpPOST) SendHeaderLine("Content-Length: " + std::to_string(SendStream->Size()));
    if (ModifiedSince) SendHeaderLine("If-Modified-Since: " + HttpDate(*ModifiedSince));
    if (!Username.empty()) SendHeaderLine("Authorization: Basic " + Base64Encode(Username + ":" + Password));
    if (!Proxy.empty() && !ProxyUsername.empty())
        SendHeaderLine("Proxy-Authorization: Basic " + Base64Encode(ProxyUsername + ":" + ProxyPassword));
    if (!Cookie.empty()) SendHeaderLine("Cookie: " + Cookie);
    if (!ContentRangeBegin.empty() || !ContentRangeEnd.empty()) {
        SendHeaderLine("Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd);
        ContentRangeBegin.clear();
        ContentRangeEnd.clear();
    }
    AcceptRanges.clear();
    TriggerRequestHeaderEnd();
    SendHeaderLine("");
    SendRaw(requestBuf_);
    requestBuf_.clear();
}

void THttpClient::SendNextBlock() {
    char block[LineBufferSize + 1];
    const int64_t n = SendStream->Read(block, sizeof block);
    if (n <= 0) {
        AllowedToSend = false;
        TriggerSendEnd();
        return;
    }
    SentCount += n;
    TriggerSendData(block, int32_t(n));
    SendRaw(std::string(block, size_t(n)));
}

void THttpClient::SocketDataSent(uint16_t) {
    if (!AllowedToSend || GetState() == hsReady) return;
    try {
        SendNextBlock();
    } catch (const EVelaError& E) {
        FailRequest(E.what());
    }
}

int32_t THttpClient::ReceiveSome(void* Buffer, int32_t Len) { return CtrlSocket.Receive(Buffer, Len); }

void THttpClient::SendRaw(const std::string& Data) { CtrlSocket.Send(Data.data(), int32_t(Data.size())); }

void THttpClient::CloseConnection() { CtrlSocket.Close(); }

// ---- Waiting ----

void THttpClient::CheckStatus() const {
    if (StatusCode >= 400) throw EHttpException(ReasonPhrase, uint16_t(StatusCode));
}

void THttpClient::WaitOnOwnerThread() {
    platform::MessageQueue& queue = platform::MainQueue();
    while (GetState() != hsReady) {
        if (queue.QuitPosted()) return;
        if (!queue.ProcessMessages()) queue.Wait(50);
    }
}

void THttpClient::StartHandedOver(uint64_t Ticket, THttpRequest Kind) {
    {
        std::lock_guard lock(handMutex_);
        if (Ticket <= ticketEnded_) return;  // aborted before it started
        ticketRunning_ = Ticket;
    }
    try {
        RequestAsync(Kind);
    } catch (...) {
        std::lock_guard lock(handMutex_);
        startError_ = std::current_exception();
        ticketEnded_ = Ticket;
        handDone_.notify_all();
    }
}

void THttpClient::RequestSync(THttpRequest Kind) {
    if (std::this_thread::get_id() == ownerThread_) {
        RequestAsync(Kind);
        WaitOnOwnerThread();
        if (GetState() != hsReady) return;  // the program is ending
        CheckStatus();
        return;
    }
    std::unique_lock lock(handMutex_);
    if (shutDown_) throw EHttpException(AbortedText, 404);
    const uint64_t ticket = ++ticketPosted_;
    startError_ = nullptr;
    platform::MainQueue().Post(target_, WM_HTTP_START, ticket, Kind);
    handDone_.wait(lock, [&] { return ticketEnded_ >= ticket; });
    if (startError_) std::rethrow_exception(std::exchange(startError_, nullptr));
    lock.unlock();
    CheckStatus();
}
