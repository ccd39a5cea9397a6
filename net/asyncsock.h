#pragma once
// The asynchronous socket: an event-driven TCP and UDP socket that never blocks on the network.
// Name lookups, connects, reads, writes and closes finish as messages to the socket's own target
// on the main queue, which the socket turns into events (connected, data available, data sent,
// closed, lookup done, state change). The class chain adds, in order: listening, UDP and the
// core socket (TCustomAsyncSocket); SOCKS 4, 4A and 5 (TCustomSocksSocket); line mode
// (TCustomLineSocket); the synchronous wait (TCustomSyncSocket).
//
// Everything runs on the main thread, which owns the queue.
#include "platform/errors.h"
#include "platform/msgqueue.h"
#include "platform/sockets.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ESocketException : public EVelaError {
public:
    using EVelaError::EVelaError;
};

using TSocket = platform::SocketHandle;
inline constexpr TSocket INVALID_SOCKET = platform::InvalidSocket;

enum TSocketState : uint8_t {
    wsInvalidState, wsOpened, wsBound, wsConnecting, wsConnected, wsAccepting, wsListening, wsClosed,
};
enum TSocketSendFlags : uint8_t { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff : uint8_t { wsLingerOff, wsLingerOn, wsLingerNoSet };
// Bits of TAsyncSocketOptions.
enum TAsyncSocketOption : uint8_t { wsoNoReceiveLoop = 1, wsoTcpNoDelay = 2 };
using TAsyncSocketOptions = uint8_t;
enum TSocksAuthentication : uint8_t { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState : uint8_t { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };

// The socket's messages.
inline constexpr uint32_t WM_USER = 0x0400;
inline constexpr uint32_t WM_ASYNCSELECT = WM_USER + 1;         // socket events
inline constexpr uint32_t WM_ASYNCGETHOSTBYNAME = WM_USER + 2;  // a name look-up's answer
inline constexpr uint32_t WM_ASYNCGETHOSTBYADDR = WM_USER + 3;  // an address look-up's answer
inline constexpr uint32_t WM_CLOSE_DELAYED = WM_USER + 4;
inline constexpr uint32_t WM_WSOCKET_RELEASE = WM_USER + 5;     // deletes the socket
inline constexpr uint32_t WM_TRIGGER_EXCEPTION = WM_USER + 6;
inline constexpr uint32_t WM_TRIGGER_DATA_AVAILABLE = WM_USER + 20;  // line mode switched with data buffered

// What WaitUntilReady answers when the time-out passed or the program is ending.
inline constexpr int32_t WSA_WAIT_TIMEOUT_ANSWER = 12001;

// The SOCKS errors.
enum : int32_t {
    socksProtocolError = 20001, socksVersionError = 20002, socksAuthMethodError = 20003,
    socksGeneralFailure = 20004, socksConnectionNotAllowed = 20005, socksNetworkUnreachable = 20006,
    socksHostUnreachable = 20007, socksConnectionRefused = 20008, socksTtlExpired = 20009,
    socksUnknownCommand = 20010, socksUnknownAddressType = 20011, socksUnassignedError = 20012,
    socksInternalError = 20013, socksDataReceiveError = 20014, socksAuthenticationFailed = 20015,
    socksRejectedOrFailed = 20016, socksHostResolutionFailed = 20017,
};

// The text of a Winsock error number.
std::string SocketErrorDesc(int32_t ErrCode);

// A block of the send queue.
class TBuffer {
public:
    // A size of 0 or less gives 1514 bytes.
    explicit TBuffer(int32_t Size);
    // Copies what fits after the written bytes; the count copied (0 when full).
    int32_t Write(const void* Data, int32_t Len);
    // The first unread byte and the count of unread bytes (nullptr and 0 when none).
    const uint8_t* Peek(int32_t& Len) const;
    // Marks up to Len unread bytes read; the count removed. When all is read both counts go back to 0.
    int32_t Remove(int32_t Len);
    // Reallocates, keeping the unread bytes.
    void SetBufSize(int32_t Size);
    int32_t BufSize() const { return static_cast<int32_t>(buf_.size()); }

private:
    std::vector<uint8_t> buf_;
    int32_t wrCount_ = 0, rdCount_ = 0;
};

class TCustomAsyncSocket;
using TDataAvailable = std::function<void(TCustomAsyncSocket* Sender, uint16_t Error)>;
using TDataSent = TDataAvailable;
using TSessionClosed = TDataAvailable;
using TSessionAvailable = TDataAvailable;
using TSessionConnected = TDataAvailable;
using TDnsLookupDone = TDataAvailable;
using TSendData = std::function<void(TCustomAsyncSocket* Sender, int32_t BytesSent)>;
using TChangeState = std::function<void(TCustomAsyncSocket* Sender, TSocketState OldState, TSocketState NewState)>;
using TBgExceptionEvent = std::function<void(TCustomAsyncSocket* Sender, const std::exception& E, bool& CanClose)>;
using TNotifyEvent = std::function<void(TCustomAsyncSocket* Sender)>;
// Length: the bytes buffered without a line end; leave Clear set to discard them.
using TLineTooLong = std::function<void(TCustomAsyncSocket* Sender, int32_t Length, bool& Clear)>;
using TSocksErrorEvent = std::function<void(TCustomAsyncSocket* Sender, int32_t Error, const std::string& Msg)>;
using TSocksAuthStateEvent = std::function<void(TCustomAsyncSocket* Sender, TSocksAuthState AuthState)>;

class TCustomAsyncSocket {
public:
    TCustomAsyncSocket();
    TCustomAsyncSocket(const TCustomAsyncSocket&) = delete;
    TCustomAsyncSocket& operator=(const TCustomAsyncSocket&) = delete;
    // Cancels the look-up, closes when not closed, drops the queue and the target; no event
    // fires.
    virtual ~TCustomAsyncSocket();

    // ---- Properties ----
    const std::string& GetAddr() const { return addrStr_; }
    void SetAddr(const std::string& Value);
    const std::string& GetPort() const { return portStr_; }
    void SetPort(const std::string& Value);
    const std::string& GetProto() const { return protoStr_; }
    void SetProto(const std::string& Value);
    const std::string& GetLocalAddr() const { return localAddr_; }
    void SetLocalAddr(const std::string& Value);
    const std::string& GetLocalPortStr() const { return localPortStr_; }
    void SetLocalPort(const std::string& Value);
    const std::string& GetDnsResult() const { return dnsResult_; }
    const std::vector<std::string>& GetDnsResultList() const { return dnsResultList_; }
    TSocketState GetState() const { return state_; }
    TSocket GetHSocket() const { return hSocket_; }
    int64_t GetReadCount() const { return readCount_; }
    virtual int32_t GetRcvdCount();
    int32_t LastError = 0;
    TSocketSendFlags GetSendFlags() const;
    void SetSendFlags(TSocketSendFlags Value);
    bool AllSent() const { return allSent_; }
    // The last receive filled the caller's buffer.
    bool ReadMore() const { return readMore_; }
    bool Paused() const { return paused_; }
    bool Terminated() const { return terminated_; }
    // The number of send-queue blocks and their unread sizes (first to last).
    std::vector<int32_t> QueuedBlockSizes() const;

    bool MultiThreaded = false;
    bool MultiCast = false;
    std::string MultiCastAddrStr;
    int32_t MultiCastIpTTL = 1;
    bool ReuseAddr = false;
    TAsyncSocketOptions ComponentOptions = 0;
    int32_t FlushTimeout = 60;
    TSocketLingerOnOff LingerOnOff = wsLingerOn;
    int32_t LingerTimeout = 0;

    // ---- Events ----
    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    TSendData OnSendData;
    TSessionClosed OnSessionClosed;
    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TSessionConnected OnSocksConnected;
    TChangeState OnChangeState;
    TLineTooLong OnLineTooLong;
    TDnsLookupDone OnDnsLookupDone;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;

    // ---- Operations ----
    virtual void Connect();
    virtual void Close();
    // Close and the deletion of the socket (which must have been made with new) from the queue.
    virtual void CloseDelayed();
    virtual void ReleaseDelayed();
    virtual void Abort();
    // Sends what is queued, pumping the queue, until all has gone or the socket is closed.
    virtual void Flush();
    // Pumps the queue until the socket is closed or Timeout ms have passed.
    virtual void WaitForClose(uint32_t TimeoutMs = 60000);
    virtual void Listen();
    virtual TSocket Accept();
    virtual int32_t Receive(void* Buffer, int32_t BufferSize);
    virtual std::string ReceiveStr();
    virtual int32_t ReceiveFrom(void* Buffer, int32_t BufferSize, platform::SocketAddress& From);
    virtual int32_t Send(const void* Data, int32_t Len);
    virtual int32_t SendTo(const platform::SocketAddress& Dest, const void* Data, int32_t Len);
    virtual int32_t SendStr(const std::string& Str);
    virtual void DnsLookup(const std::string& HostName);
    virtual void ReverseDnsLookup(const std::string& HostAddr);
    virtual void CancelDnsLookup();
    virtual std::string GetPeerAddr();
    virtual std::string GetPeerPort();
    virtual int32_t GetPeerName(platform::SocketAddress& Name);
    virtual std::string GetLocalPort();
    virtual std::string GetLocalAddrOfSocket();
    virtual int32_t GetSockName(platform::SocketAddress& Name);
    virtual void Dup(TSocket NewHSocket);
    virtual int32_t ShutDown(int32_t How);
    virtual void Pause();
    virtual void Resume();
    virtual void ProcessMessages();

    // The messages of the socket's target.
    virtual void WndProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam);
    platform::TargetId Target() const { return target_; }

protected:
    virtual void AssignDefaultValue();
    virtual void InternalClose(bool Shutdown, uint16_t Error);
    virtual void BindSocket();
    virtual int32_t RealSend(const void* Data, int32_t Len);
    virtual void RaiseException(const std::string& Msg);
    virtual void HandleBackgroundException(const std::exception& E);
    // Whether a handler ran.
    virtual bool TriggerDataAvailable(uint16_t Error);
    virtual void TriggerSessionAvailable(uint16_t Error);
    virtual void TriggerSessionConnected(uint16_t Error);
    virtual void TriggerSessionClosed(uint16_t Error);
    virtual void TriggerDataSent(uint16_t Error);
    virtual void TriggerChangeState(TSocketState OldState, TSocketState NewState);
    virtual void TriggerDnsLookupDone(uint16_t Error);
    virtual void TriggerError();
    virtual int32_t DoRecv(void* Buffer, int32_t BufferSize, int32_t Flags);
    virtual int32_t DoRecvFrom(void* Buffer, int32_t BufferSize, platform::SocketAddress& From);
    // Whether received bytes wait to be read: in the socket, or held by the socket object.
    virtual bool DataWaiting();
    // The socket events of one notification, in their order.
    virtual void Do_FD_CONNECT(uint16_t Error);
    virtual void Do_FD_READ(uint16_t Error);
    virtual void Do_FD_WRITE(uint16_t Error);
    virtual void Do_FD_CLOSE(uint16_t Error);

    void ChangeState(TSocketState NewState);
    // "Error <code> in function <Where>" with the code's text, through the error policy.
    void SocketError(const std::string& Where);
    // Offers the data waiting to the application until none is left (once with wsoNoReceiveLoop
    // unless Always).
    void ReceiveLoop(bool Always, uint16_t Error);
    void TryToSend();
    void DeleteBufferedData();
    void SetLingerOption();
    void SelectEvents(int32_t Mask, const std::string& Where);
    void ResolveAll();

    TSocket hSocket_ = INVALID_SOCKET;
    TSocketState state_ = wsClosed;
    platform::SocketAddress sin_;  // the remote address and port
    bool datagram_ = false;
    int32_t proto_ = 6;
    uint16_t localPortNum_ = 0;
    bool closeInvoked_ = false;
    bool readMore_ = false;
    bool allSent_ = true;
    int64_t readCount_ = 0;
    int64_t received_ = 0;  // bytes taken from the socket, whoever took them
    std::string addrStr_, portStr_, protoStr_ = "tcp", localAddr_ = "0.0.0.0", localPortStr_ = "0";
    bool addrAssigned_ = false, portAssigned_ = false, protoAssigned_ = true;
    bool addrResolved_ = false, portResolved_ = false, protoResolved_ = false, localPortResolved_ = false;

private:
    void DeliverLookup(uint32_t Msg, uintptr_t WParam, intptr_t LParam);

    platform::TargetId target_ = 0;
    std::string dnsResult_;
    std::vector<std::string> dnsResultList_;
    uint8_t sendFlags_ = wsSendNormal;
    int32_t selectEvent_ = 0;
    platform::LookupHandle dnsHandle_ = 0;
    std::deque<TBuffer> bufList_;
    bool paused_ = false;
    bool terminated_ = false;
    bool destroying_ = false;
};

class TCustomSocksSocket : public TCustomAsyncSocket {
public:
    TCustomSocksSocket() = default;

    const std::string& GetSocksServer() const { return socksServer_; }
    void SetSocksServer(const std::string& Value);
    const std::string& GetSocksPort() const { return socksPort_; }
    void SetSocksPort(const std::string& Value);
    const std::string& GetSocksLevel() const { return socksLevel_; }
    void SetSocksLevel(const std::string& Value);
    std::string SocksUsercode;
    std::string SocksPassword;
    TSocksAuthentication SocksAuthentication = socksNoAuthentication;

    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

    void Connect() override;
    void Listen() override;
    int32_t Receive(void* Buffer, int32_t BufferSize) override;
    int32_t GetRcvdCount() override;

protected:
    // The step of the SOCKS handshake: none (no SOCKS, or done), waiting for the TCP connection
    // to the SOCKS server, then waiting for the reply to the greeting, the user and password, and
    // the connect request.
    enum TSocksStep : uint8_t { ssNone, ssServerConnect, ssGreeting, ssAuthenticating, ssConnecting };

    virtual void TriggerSocksConnected(uint16_t Error);
    virtual void TriggerSocksError(int32_t Error, const std::string& Msg);
    virtual void TriggerSocksAuthState(TSocksAuthState AuthState);
    void TriggerSessionConnected(uint16_t Error) override;
    bool TriggerDataAvailable(uint16_t Error) override;
    bool DataWaiting() override;
    bool SocksActive() const { return socksStep_ != ssNone; }
    // Reads what the SOCKS server has sent and takes the handshake's next step.
    void DataAvailableSocks(uint16_t Error);
    // Acts on the reply bytes gathered so far; waits for more when a reply is incomplete.
    void SocksReply();

    std::string socksRcvd_;  // reply bytes of the current step
    TSocksStep socksStep_ = ssNone;
    std::string socksTargetAddr_;
    uint32_t socksTargetIp_ = 0;
    uint16_t socksTargetPort_ = 0;

private:
    void SocksDoConnect();
    void SocksDoAuthenticate();
    void SendSocksRequest(const std::string& Request);
    void SocksFail(int32_t Error, const std::string& Msg);
    void SocksSucceed(size_t ReplyLength);

    std::string socksServer_, socksPort_, socksLevel_ = "5";
    std::string socksRest_;  // bytes after the final reply, handed out first
};

class TCustomLineSocket : public TCustomSocksSocket {
public:
    TCustomLineSocket() = default;

    bool GetLineMode() const { return lineMode_; }
    void SetLineMode(bool Value);
    std::string LineEnd = "\r\n";
    int32_t LineLimit = 65536;
    bool LineEcho = false;
    bool LineEdit = false;

    int32_t Receive(void* Buffer, int32_t BufferSize) override;
    int32_t GetRcvdCount() override;
    void WndProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam) override;

protected:
    virtual void TriggerLineTooLong(int32_t Length, bool& Clear);
    // Appends received bytes to the line buffer, applying backspaces and tabs with LineEdit.
    virtual void EditLine(const char* Data, int32_t Len);
    bool TriggerDataAvailable(uint16_t Error) override;
    void TriggerSessionClosed(uint16_t Error) override;
    // Hands the complete lines buffered to the application, one per OnDataAvailable, then
    // reports a buffer over LineLimit without a line end.
    void OfferLines(uint16_t Error);
    // Sets the length of the first complete line; whether there is one.
    bool FindLine();
    // Offers the ready line; what the application does not take of it is dropped.
    void HandLine(uint16_t Error);

    bool lineMode_ = false;
    std::string rcvdBuf_;
    int32_t lineLength_ = 0;  // the length of the line ready for the application
};

class TCustomSyncSocket : public TCustomLineSocket {
public:
    TCustomSyncSocket() = default;
    // ms; 0 waits without limit.
    uint32_t Timeout = 0;

    // Pumps and sleeps until Done; 0, or 12001 when the time-out passed or the program is ending.
    virtual int32_t WaitUntilReady(bool& Done);
    // Clears Done, runs Proc (when given) and waits for Done.
    virtual int32_t Synchronize(const std::function<void()>& Proc, bool& Done);
};

class TAsyncSocket : public TCustomSyncSocket {
public:
    TAsyncSocket() = default;
};
