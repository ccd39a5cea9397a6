#pragma once
// The HTTP client: one HTTP/1.0 request at a time (GET, POST or HEAD), optionally through an
// HTTP proxy and with Basic authorization, over the asynchronous socket. The response header is
// read line by line, redirects are followed, and the body is read until the server closes.
//
// Threads: the client lives on the main thread, which runs every socket and client handler. A
// blocking request made on another thread hands its start to the main queue and then only waits
// for the end; State is the one value both threads read.
//
// Every request ends, whatever the server does: silence for Timeout ms, a header line longer
// than the line buffer, a status or length that is not a number, a header above MaxHeaderSize,
// a body above MaxBodySize or more than MaxRedirects redirects end it with status 404 (a status
// of 400 and above is kept) and the reason in ReasonPhrase.
//
// Nothing a title sets makes lines of its own in the request: the path goes into the request
// line with its controls, spaces and bytes from 0x7F up written as "%XX" (the rest, escapes
// included, as it is); a host name or port holding such a byte ends the request before anything
// is looked up ("HTTP host name holds a character no host name can hold"), and a header line
// holding CR or LF ends it before anything is sent ("HTTP header line holds a line break"), both
// as failures with status 404.
#include "core/streams.h"
#include "net/asyncsock.h"
#include "platform/clock.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class EHttpException : public EVelaError {
public:
    EHttpException(const std::string& Msg, uint16_t Code) : EVelaError(Msg), ErrorCode(Code) {}
    uint16_t ErrorCode;
};

enum THttpState : uint8_t {
    hsReady, hsNotConnected, hsConnected, hsDnsLookup, hsDnsLookupDone, hsWaitingHeader, hsWaitingBody, hsAborting,
};
enum THttpRequest : uint8_t { httpNONE, httpGET, httpPOST, httpHEAD };

// The client's messages (wParam: the request's serial).
inline constexpr uint32_t WM_HTTP_REQUEST_DONE = WM_USER + 1;
inline constexpr uint32_t WM_HTTP_SET_READY = WM_USER + 2;
inline constexpr uint32_t WM_HTTP_LOGIN = WM_USER + 3;
// A request handed over by another thread (wParam: its ticket, lParam: the kind).
inline constexpr uint32_t WM_HTTP_START = WM_USER + 10;

// The parts of a URL. For a URL beginning "./" or "../" Path is read first as the path it is
// relative to.
struct TUrlParts {
    std::string Proto, User, Pass, Host, Port, Path;
};
void ParseURL(const std::string& URL, TUrlParts& Parts);

// Base64 with "=" padding.
std::string Base64Encode(std::string_view Data);

class THttpClient;
using THttpNotify = std::function<void(THttpClient* Sender)>;
using THttpData = std::function<void(THttpClient* Sender, const char* Buffer, int32_t Len)>;
using THttpCommand = std::function<void(THttpClient* Sender, std::string& Line)>;
using THttpRequestDone = std::function<void(THttpClient* Sender, THttpRequest RqType, uint16_t Error)>;
using THttpCookie = std::function<void(THttpClient* Sender, const std::string& Data, bool& Accept)>;
using THttpSessionConnected = std::function<void(THttpClient* Sender, uint16_t Error)>;

class THttpClient {
public:
    // Main thread.
    THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;
    virtual ~THttpClient();

    // ---- What the request says ----
    std::string URL;
    std::string LocalAddr = "0.0.0.0";
    std::string Proxy;  // host or host:port; empty for none
    std::string ProxyPort = "80";
    std::string Sender;     // "From: "
    std::string Agent = "Mozilla/3.0 (compatible)";
    std::string Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    std::string Reference;  // "Referer: "
    std::string Username, Password, ProxyUsername, ProxyPassword;
    bool NoCache = false;
    // Local time; sent in GMT.
    std::optional<platform::DateTime> ModifiedSince;
    std::string Cookie;
    std::string ContentTypePost = "application/x-www-form-urlencoded";
    std::string ContentRangeBegin, ContentRangeEnd;
    std::string AcceptRanges;  // from the response
    TStream* RcvdStream = nullptr;  // not owned
    TStream* SendStream = nullptr;  // not owned; the body of a POST
    bool GetMultiThreaded() const { return MultiThreaded; }
    void SetMultiThreaded(bool Value);

    // ---- Bounds ----
    uint32_t Timeout = 60000;  // ms without a byte or an answer; 0 waits for ever
    int64_t MaxHeaderSize = int64_t(1) << 20;
    int64_t MaxBodySize = int64_t(64) << 20;
    int32_t MaxRedirects = 20;

    // ---- Events (main thread) ----
    THttpNotify OnTrace, OnHeaderData, OnHeaderBegin, OnHeaderEnd, OnRequestHeaderBegin, OnRequestHeaderEnd;
    THttpNotify OnDocBegin, OnDocEnd, OnSendBegin, OnSendEnd, OnStateChange, OnLocationChange;
    THttpSessionConnected OnSessionConnected;
    THttpCommand OnCommand;
    THttpData OnDocData, OnSendData;
    THttpRequestDone OnRequestDone;
    THttpCookie OnCookie;

    // ---- The request's progress and the response ----
    // Any thread.
    THttpState GetState() const { return State.load(); }
    // Main thread, or any thread once the request it waited for has ended.
    THttpRequest RequestType = httpNONE;
    bool Connected = false;
    std::string Hostname, TargetHost, Port, Path, DocName, Location;
    int32_t StatusCode = 0;
    std::string ReasonPhrase;
    int32_t ContentLength = -1;
    std::string ContentType;
    std::vector<std::string> RcvdHeader, WWWAuthenticate;
    int64_t RcvdCount = 0, SentCount = 0;
    uint16_t RequestDoneError = 0;

    // ---- Requests ----
    // Main thread: starts a request and returns. Raises "HTTP component is busy" (1) while one
    // runs and "HTTP component has nothing to post" (2) for a POST without SendStream.
    void RequestAsync(THttpRequest Kind);
    // Any thread: the request, waited for; raises EHttpException (ReasonPhrase, StatusCode) for a
    // status of 400 and above. On the main thread the queue is pumped while it waits; another
    // thread hands the start to the main thread and sleeps until the end.
    void RequestSync(THttpRequest Kind);
    void Get() { RequestSync(httpGET); }
    // Main thread: ends a running request (and one handed over but not yet started) at once.
    void Abort();
    // Main thread: Abort, and every later hand-over from another thread ends at once as aborted
    // (the owner is going; a worker may not have handed its request over yet).
    void Shutdown();

    platform::TargetId Target() const { return target_; }

protected:
    virtual void SendHeaderLine(std::string Line);
    virtual void DoRequestConnect();
    virtual void CloseConnection();
    virtual void Cleanup();
    virtual void LocationSessionClosed();
    virtual void TriggerCookie(const std::string& Data, bool& Accept);
    virtual void TriggerSessionConnected(uint16_t Error);
    virtual void TriggerRequestHeaderBegin();
    virtual void TriggerRequestHeaderEnd();
    virtual void TriggerHeaderBegin();
    virtual void TriggerHeaderEnd();
    virtual void TriggerDocBegin();
    virtual void TriggerDocData(const char* Data, int32_t Len);
    virtual void TriggerDocEnd();
    virtual void TriggerSendBegin();
    virtual void TriggerSendData(const char* Data, int32_t Len);
    virtual void TriggerSendEnd();
    // The transport: what the socket has received (at most Len bytes; 0 or less for none) and
    // the request text handed to it.
    virtual int32_t ReceiveSome(void* Buffer, int32_t Len);
    virtual void SendRaw(const std::string& Data);

    // The socket's events.
    void SocketDnsLookupDone(uint16_t Error);
    void SocketSessionConnected(uint16_t Error);
    void SocketDataAvailable(uint16_t Error);
    void SocketDataSent(uint16_t Error);
    void SocketSessionClosed(uint16_t Error);

    TAsyncSocket CtrlSocket;

private:
    enum TLineHandler : uint8_t { lhNone, lhHeader, lhBody };
    static constexpr int32_t LineBufferSize = 8192;
    // The most a read of the body through the body buffer asks for.
    static constexpr int32_t BodyReadSize = 256 << 10;
    static constexpr uintptr_t SilenceTimer = 1;

    void WndProc(const platform::QueuedMessage& M);
    void SetState(THttpState NewState);
    void PostReady();
    // Ends the request now: the socket is dropped, a status below 400 becomes 404, Reason is
    // the reason.
    void FailRequest(const std::string& Reason);
    void DropConnection();
    void Touch();
    void SendRequest(const std::string& Method);
    void SendNextBlock();
    void ParseRequestURL();
    // Hostname and Port from Proxy ("host", "host:port" or a URL); ProxyPort when it has none.
    void ConnectToProxy();
    void ReceiveAvailable();
    void ReceiveBody();
    void ProcessBuffer();
    void HeaderLine(std::string_view Line, std::string_view Raw);
    void HeaderField(const std::string& Line);
    void EndOfHeader();
    void ReserveBody();
    void StartBody();
    // Counts Len bytes of the body at Data and hands them on; Kept: they are in RcvdStream already.
    void BodyData(const char* Data, int32_t Len, bool Kept = false);
    void NewLocation(const std::string& Value);
    // Raises once more than MaxRedirects redirects have been followed.
    void CountRedirect();
    void RequestEnded();
    void WaitOnOwnerThread();
    void StartHandedOver(uint64_t Ticket, THttpRequest Kind);
    void CheckStatus() const;

    platform::TargetId target_ = 0;
    std::thread::id ownerThread_;
    bool MultiThreaded = false;
    std::atomic<THttpState> State{hsReady};
    uint32_t serial_ = 0;  // the running request's, in the messages it posts
    bool urlPortGiven_ = false;
    std::string urlProto_, urlPort_;
    TLineHandler lineHandler_ = lhNone;
    bool HeaderInProgress = false, LocationChange = false, AllowedToSend = false;
    bool docStarted_ = false;
    int32_t headerLines_ = 0, bodyLines_ = 0;
    int64_t headerBytes_ = 0;
    int32_t redirects_ = 0;
    uint32_t lastActivity_ = 0;
    std::vector<char> rcvBuf_;
    int32_t rcvFill_ = 0;
    // The reads of a body that no memory stream has room for; held only while a request runs.
    std::vector<char> bodyBuf_;
    std::string requestBuf_;

    // The hand-over between a waiting thread and the main thread.
    std::mutex handMutex_;
    std::condition_variable handDone_;
    uint64_t ticketPosted_ = 0, ticketEnded_ = 0, ticketRunning_ = 0;
    bool shutDown_ = false;
    std::exception_ptr startError_;
};
