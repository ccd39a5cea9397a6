// The asynchronous socket against real sockets on loopback: its own server, curl, socat,
// microsocks and a SOCKS 4 server of tests/tools. No DNS: numeric addresses and "localhost".
#include "tests/net/asyncsock_peers.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>

using namespace nettest;

namespace {

void Target(TCustomAsyncSocket& S, const std::string& Addr, const std::string& Port) {
    S.SetAddr(Addr);
    S.SetPort(Port);
}

TEST(AsyncSocket, ErrorCodesAndTheirTexts) {
    EXPECT_EQ(platform::WinsockErrorOfErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(platform::WinsockErrorOfErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(platform::WinsockErrorOfErrno(EPIPE), 10054);
    EXPECT_EQ(platform::WinsockErrorOfResolver(EAI_NONAME), 11001);
    EXPECT_EQ(SocketErrorDesc(10060), "Connection timed out");
    EXPECT_EQ(SocketErrorDesc(10061), "Connection refused");
    EXPECT_EQ(SocketErrorDesc(11001), "Host not found");
    EXPECT_EQ(SocketErrorDesc(0), "No Error");
    EXPECT_EQ(SocketErrorDesc(5), "Not a WinSock error");
}

TEST(AsyncSocket, ADottedLookupAnswersBeforeItReturnsAndANameOnTheLookupThread) {
    TAsyncSocket s;
    std::vector<uint16_t> done;
    s.OnDnsLookupDone = [&](TCustomAsyncSocket*, uint16_t E) { done.push_back(E); };
    s.DnsLookup(" 127.0.0.1 ");
    EXPECT_EQ(done, std::vector<uint16_t>{0});
    EXPECT_EQ(s.GetDnsResult(), "127.0.0.1");
    s.DnsLookup("localhost");
    EXPECT_EQ(done.size(), 1u);
    EXPECT_TRUE(s.GetDnsResult().empty());
    ASSERT_TRUE(PumpUntil([&] { return done.size() == 2; }));
    EXPECT_EQ(done[1], 0);
    EXPECT_EQ(s.GetDnsResult(), "127.0.0.1");
    EXPECT_EQ(ErrorOf([&] { s.DnsLookup(""); }), "DNS lookup: invalid host name.");
    int errors = 0;
    s.OnError = [&](TCustomAsyncSocket*) { ++errors; };
    s.DnsLookup("");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(done.back(), 10022);
}

TEST(AsyncSocket, PropertiesChangeOnlyWhileClosed) {
    TLoopbackServer server;
    TAsyncSocket s;
    EXPECT_EQ(ErrorOf([&] { s.SetLocalAddr("1.2.3"); }), "SetLocalAddr(): Invalid IP address");
    EXPECT_EQ(ErrorOf([&] { s.SetSocksLevel("6"); }), "Invalid socks level. Must be 4, 4A or 5.");
    s.SetSocksLevel("4a");
    EXPECT_EQ(s.GetSocksLevel(), "4A");
    s.SetSocksLevel("5");
    EXPECT_EQ(ErrorOf([&] { s.Connect(); }), "Connect: No Port Specified");
    Target(s, "127.0.0.1", server.Port());
    s.Connect();
    EXPECT_EQ(ErrorOf([&] { s.SetAddr("127.0.0.2"); }), "Cannot change Addr if not closed");
    EXPECT_EQ(ErrorOf([&] { s.SetSocksServer("127.0.0.1"); }), "Can't change socks server if not closed");
    EXPECT_EQ(ErrorOf([&] { s.Connect(); }), "Connect: Socket already in use");
    s.SetAddr("127.0.0.1");  // unchanged: accepted

    TAsyncSocket viaSocks;  // a name too long for a SOCKS 5 request is refused, not cut
    viaSocks.SetSocksServer("127.0.0.1");
    viaSocks.SetSocksPort("1");
    Target(viaSocks, std::string(300, 'h'), "80");
    EXPECT_EQ(ErrorOf([&] { viaSocks.Connect(); }), "ResolveHost: '" + std::string(300, 'h') + "' Invalid Hostname.");
}

TEST(AsyncSocket, ConnectsSendsReceivesClosesAndConnectsAgain) {
    TLoopbackServer server;
    TAsyncSocket c;
    TRecorder r;
    r.Attach(c);
    int sentEvents = 0;
    c.OnDataSent = [&](TCustomAsyncSocket*, uint16_t) { ++sentEvents; };
    std::vector<TSocketState> states;
    c.OnChangeState = [&](TCustomAsyncSocket*, TSocketState, TSocketState New) { states.push_back(New); };
    Target(c, "127.0.0.1", server.Port());
    c.Connect();
    ASSERT_TRUE(PumpUntil([&] { return r.Connected(); }));
    EXPECT_EQ(r.connected, std::vector<uint16_t>{0});
    EXPECT_EQ(states, (std::vector<TSocketState>{wsOpened, wsConnecting, wsConnected}));
    ASSERT_TRUE(PumpUntil([&] { return server.clients.size() == 1; }));
    c.SendStr("hello");
    ASSERT_TRUE(PumpUntil([&] { return server.recorders[0]->data == "hello" && sentEvents > 0; }));
    server.clients[0]->SendStr("world");
    ASSERT_TRUE(PumpUntil([&] { return r.data == "world"; }));
    EXPECT_EQ(c.GetReadCount(), 5);
    c.Close();
    EXPECT_EQ(c.GetState(), wsClosed);
    EXPECT_EQ(r.closed, std::vector<uint16_t>{0});
    ASSERT_TRUE(PumpUntil([&] { return server.recorders[0]->Closed(); }));

    // The same address and port, without setting them again; this time the server ends it.
    c.Connect();
    ASSERT_TRUE(PumpUntil([&] { return r.connected.size() == 2 && server.clients.size() == 2; }));
    server.clients[1]->SendStr("bye");
    server.clients[1]->Close();
    ASSERT_TRUE(PumpUntil([&] { return r.closed.size() == 2; }));
    EXPECT_EQ(r.data, "worldbye");  // the data before the end is read first
    EXPECT_EQ(c.GetState(), wsClosed);
}

TEST(AsyncSocket, AHandlerThatReadsNothingIsNotCalledForEver) {
    TLoopbackServer server;
    TAsyncSocket c;
    int calls = 0;
    bool connected = false;
    c.OnSessionConnected = [&](TCustomAsyncSocket*, uint16_t) { connected = true; };
    c.OnDataAvailable = [&](TCustomAsyncSocket*, uint16_t) { ++calls; };
    Target(c, "127.0.0.1", server.Port());
    c.Connect();
    ASSERT_TRUE(PumpUntil([&] { return connected && server.clients.size() == 1; }));
    server.clients[0]->SendStr("unread");
    ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(c.ReceiveStr(), "unread");  // still there
}

TEST(AsyncSocket, ARefusedConnectionReportsItsCodeAndCloses) {
    TAsyncSocket c;
    TRecorder r;
    r.Attach(c);
    Target(c, "127.0.0.1", std::to_string(FreePort()));
    c.Connect();
    ASSERT_TRUE(PumpUntil([&] { return r.Connected(); }));
    EXPECT_EQ(r.connected, std::vector<uint16_t>{10061});
    EXPECT_EQ(c.GetState(), wsClosed);
}

// A socket whose network never takes a byte.
class TStalledSocket : public TAsyncSocket {
protected:
    int32_t RealSend(const void*, int32_t) override {
        platform::SetSocketLastError(platform::WSAEWOULDBLOCK);
        return -1;
    }
};

TEST(AsyncSocket, SentDataQueuesInBlocksOf1460Bytes) {
    TLoopbackServer server;
    TStalledSocket c;
    bool connected = false;
    c.OnSessionConnected = [&](TCustomAsyncSocket*, uint16_t) { connected = true; };
    Target(c, "127.0.0.1", server.Port());
    c.Connect();
    ASSERT_TRUE(PumpUntil([&] { return connected; }));
    const std::string data(4000, 'x');
    EXPECT_EQ(c.Send(data.data(), 4000), 4000);
    EXPECT_EQ(c.QueuedBlockSizes(), (std::vector<int32_t>{1460, 1460, 1080}));
    EXPECT_FALSE(c.AllSent());
    c.Send(data.data(), 500);  // the last block fills first
    EXPECT_EQ(c.QueuedBlockSizes(), (std::vector<int32_t>{1460, 1460, 1460, 120}));

    // Flush gives up after FlushTimeout seconds when nothing goes.
    c.FlushTimeout = 1;
    const uint32_t start = platform::ClockMs();
    c.Flush();
    EXPECT_LT(platform::ClockMs() - start, 5000u);
    EXPECT_FALSE(c.AllSent());

    TBuffer b(0);
    EXPECT_EQ(b.BufSize(), 1514);
    EXPECT_EQ(b.Write(data.data(), 2000), 1514);
    EXPECT_EQ(b.Write(data.data(), 1), 0);
    EXPECT_EQ(b.Remove(2000), 1514);
    int32_t left;
    EXPECT_EQ(b.Peek(left), nullptr);
    EXPECT_EQ(b.Write(data.data(), 10), 10);  // everything read: writing starts over
}

TEST(AsyncSocket, AListeningSocketAnswersCurl) {
    if (!HaveProgram("curl")) GTEST_SKIP() << "curl is not installed";
    TAsyncSocket listener, client;
    std::string request;
    client.LingerOnOff = wsLingerNoSet;
    client.OnDataAvailable = [&](TCustomAsyncSocket* S, uint16_t) {
        request += S->ReceiveStr();
        if (request.find("\r\n\r\n") != std::string::npos)
            S->SendStr("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    };
    listener.OnSessionAvailable = [&](TCustomAsyncSocket*, uint16_t) { client.Dup(listener.Accept()); };
    Target(listener, "127.0.0.1", "0");
    listener.Listen();
    EXPECT_EQ(listener.GetState(), wsListening);
    TPeerProcess curl({"curl", "-s", "--max-time", "5", "http://127.0.0.1:" + listener.GetLocalPort() + "/page"});
    ASSERT_TRUE(curl.Started());
    ASSERT_TRUE(PumpUntil([&] { return curl.Exited(); }, 8000));
    EXPECT_EQ(curl.ReadOutput(1000), "hello");
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /page HTTP/1.1");
    EXPECT_EQ(ErrorOf([&] { client.Accept(); }),
              "Error 10022 in function not a listening socket\r\nInvalid argument");
}

TEST(AsyncSocket, DatagramsBothWaysThroughSocat) {
    if (!HaveProgram("socat")) GTEST_SKIP() << "socat is not installed";
    const std::string echoPort = std::to_string(FreePort());
    TPeerProcess echo({"socat", "-T", "5", "UDP4-LISTEN:" + echoPort + ",bind=127.0.0.1", "PIPE"});
    TAsyncSocket u;
    u.SetProto("udp");
    Target(u, "127.0.0.1", echoPort);
    bool connected = false;
    std::string got;
    platform::SocketAddress from;
    u.OnSessionConnected = [&](TCustomAsyncSocket*, uint16_t) { connected = true; };
    u.OnDataAvailable = [&](TCustomAsyncSocket* S, uint16_t) {
        char buffer[512];
        const int32_t n = S->ReceiveFrom(buffer, sizeof buffer, from);
        if (n > 0) got.assign(buffer, static_cast<size_t>(n));
    };
    u.Connect();
    EXPECT_TRUE(connected);  // at once
    EXPECT_EQ(u.GetState(), wsConnected);
    // socat may not be bound yet: the datagram goes again until it comes back.
    for (int attempt = 0; attempt < 25 && got.empty(); ++attempt) {
        u.SendStr("ping");
        PumpUntil([&] { return !got.empty(); }, 200);
    }
    EXPECT_EQ(got, "ping");
    EXPECT_EQ(std::to_string(from.port), echoPort);

    TAsyncSocket listener;
    listener.SetProto("udp");
    Target(listener, "127.0.0.1", "0");
    std::string heard;
    listener.OnDataAvailable = [&](TCustomAsyncSocket* S, uint16_t) { heard += S->ReceiveStr(); };
    listener.Listen();
    EXPECT_EQ(listener.GetState(), wsConnected);
    TPeerProcess sender({"sh", "-c", "printf hi | socat -u - UDP4-SENDTO:127.0.0.1:" + listener.GetLocalPort()});
    EXPECT_TRUE(PumpUntil([&] { return heard == "hi"; }));
}

// A connection through a SOCKS server to a loopback server, with its SOCKS events recorded.
struct TSocksRun {
    TLoopbackServer target;
    TAsyncSocket c;
    TRecorder r;
    std::vector<TSocksAuthState> authStates;
    std::vector<std::pair<int32_t, std::string>> socksErrors;

    TSocksRun(const std::string& Level, const std::string& SocksPort, const std::string& Addr = "127.0.0.1") {
        r.Attach(c);
        c.OnSocksAuthState = [this](TCustomAsyncSocket*, TSocksAuthState S) { authStates.push_back(S); };
        c.OnSocksError = [this](TCustomAsyncSocket*, int32_t E, const std::string& M) { socksErrors.push_back({E, M}); };
        c.SetSocksServer("127.0.0.1");
        c.SetSocksPort(SocksPort);
        c.SetSocksLevel(Level);
        Target(c, Addr, target.Port());
    }
    // Connects and, when that succeeds, exchanges a message each way.
    void Run() {
        c.Connect();
        ASSERT_TRUE(PumpUntil([&] { return r.Connected(); }));
        if (r.connected[0] != 0) return;
        c.SendStr("through");
        ASSERT_TRUE(PumpUntil([&] { return !target.recorders.empty() && target.recorders[0]->data == "through"; }));
        target.clients[0]->SendStr("back");
        ASSERT_TRUE(PumpUntil([&] { return r.data == "back"; }));
    }
};

TEST(AsyncSocket, Socks5ThroughMicrosocksWithAndWithoutPassword) {
    if (!HaveProgram("microsocks")) GTEST_SKIP() << "microsocks is not installed";
    const std::string open = std::to_string(FreePort()), guarded = std::to_string(FreePort());
    TPeerProcess plain({"microsocks", "-i", "127.0.0.1", "-p", open});
    TPeerProcess withUser({"microsocks", "-i", "127.0.0.1", "-p", guarded, "-u", "user", "-P", "secret"});
    ASSERT_TRUE(WaitForListener(static_cast<uint16_t>(std::stoi(open))));
    ASSERT_TRUE(WaitForListener(static_cast<uint16_t>(std::stoi(guarded))));
    {
        TSocksRun run("5", open);
        run.Run();
        EXPECT_EQ(run.r.connected, std::vector<uint16_t>{0});
        EXPECT_EQ(run.c.GetAddr(), "127.0.0.1");  // the target, not the SOCKS server
    }
    {
        TSocksRun run("5", guarded);
        run.c.SocksAuthentication = socksAuthenticateUsercode;
        run.c.SocksUsercode = "user";
        run.c.SocksPassword = "secret";
        run.Run();
        EXPECT_EQ(run.r.connected, std::vector<uint16_t>{0});
        EXPECT_EQ(run.authStates, (std::vector<TSocksAuthState>{socksAuthStart, socksAuthSuccess}));
    }
    {
        TSocksRun run("5", guarded);
        run.c.SocksAuthentication = socksAuthenticateUsercode;
        run.c.SocksUsercode = "user";
        run.c.SocksPassword = "wrong";
        run.Run();
        EXPECT_EQ(run.r.connected, std::vector<uint16_t>{20015});
        ASSERT_EQ(run.socksErrors.size(), 1u);
        EXPECT_EQ(run.socksErrors[0].second, "socks authentication failed");
        EXPECT_EQ(run.c.GetState(), wsClosed);
    }
    {
        TSocksRun run("5", guarded);  // no password offered to a server that wants one
        run.Run();
        EXPECT_EQ(run.r.connected, std::vector<uint16_t>{20003});
        EXPECT_EQ(run.socksErrors.at(0).second, "authentification method not acceptable");
    }
}

TEST(AsyncSocket, Socks4And4AThroughAPythonServer) {
    TPeerProcess server({VELA_PYTHON, VELA_TEST_TOOLS "/socks4_server.py", "--lifetime", "20"});
    const std::string port = server.FirstLine(5000);
    ASSERT_FALSE(port.empty());
    {
        TSocksRun run("4", port);
        run.Run();
        EXPECT_EQ(run.r.connected, std::vector<uint16_t>{0});
    }
    {
        TSocksRun run("4A", port, "localhost");  // the server resolves the name
        run.Run();
        EXPECT_EQ(run.r.connected, std::vector<uint16_t>{0});
    }
    {
        TSocksRun run("4", port);
        run.c.SocksUsercode = "deny";
        run.Run();
        EXPECT_EQ(run.r.connected, std::vector<uint16_t>{20016});
        EXPECT_EQ(run.socksErrors.at(0).second, "request rejected or failed");
    }
}

TEST(AsyncSocket, BytesThatCameWithTheSocksReplyReachAHandlerThatReadsInSmallPieces) {
    TLoopbackServer socksServer;  // answers the SOCKS 4 request with the reply and data in one send
    TAsyncSocket c;
    std::string data;
    c.OnDataAvailable = [&](TCustomAsyncSocket* S, uint16_t) {
        char buffer[64];
        const int32_t got = S->Receive(buffer, sizeof buffer);
        if (got > 0) data.append(buffer, static_cast<size_t>(got));
    };
    c.SetSocksServer("127.0.0.1");
    c.SetSocksPort(socksServer.Port());
    c.SetSocksLevel("4");
    Target(c, "127.0.0.1", "80");
    c.Connect();
    ASSERT_TRUE(PumpUntil([&] { return !socksServer.recorders.empty() && socksServer.recorders[0]->data.size() == 9; }));
    const std::string payload(65, 'd');
    socksServer.clients[0]->SendStr(std::string{0, 90, 0, 80, 127, 0, 0, 1} + payload);
    EXPECT_TRUE(PumpUntil([&] { return data.size() == payload.size(); }, 1000));
    EXPECT_EQ(data, payload);
}

TEST(AsyncSocket, LineModeHandsOutLinesAndTheLastAtCloseAndReportsOverlongOnes) {
    TLoopbackServer server;
    TAsyncSocket c;
    std::vector<std::string> lines;
    std::vector<int32_t> tooLong;
    bool closed = false, connected = false;
    c.SetLineMode(true);
    c.LineLimit = 10;
    c.LineEcho = c.LineEdit = true;
    c.OnDataAvailable = [&](TCustomAsyncSocket* S, uint16_t) { lines.push_back(S->ReceiveStr()); };
    c.OnLineTooLong = [&](TCustomAsyncSocket*, int32_t Length, bool&) { tooLong.push_back(Length); };
    c.OnSessionConnected = [&](TCustomAsyncSocket*, uint16_t) { connected = true; };
    c.OnSessionClosed = [&](TCustomAsyncSocket*, uint16_t) { closed = true; };
    Target(c, "127.0.0.1", server.Port());
    c.Connect();
    ASSERT_TRUE(PumpUntil([&] { return connected && server.clients.size() == 1; }));
    TAsyncSocket& peer = *server.clients[0];
    peer.SendStr("one\r\ntwo\r\nthr");
    ASSERT_TRUE(PumpUntil([&] { return lines.size() == 2; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"one\r\n", "two\r\n"}));
    peer.SendStr("ee-and-more-than-ten");
    ASSERT_TRUE(PumpUntil([&] { return !tooLong.empty(); }));
    EXPECT_EQ(tooLong[0], 23);
    peer.SendStr("ok\r\nl\bla\tst");  // a backspace takes the "l" back, the tab pads to column 8
    ASSERT_TRUE(PumpUntil([&] { return server.recorders[0]->data.size() == 44; }));
    EXPECT_EQ(server.recorders[0]->data, "one\r\ntwo\r\nthree-and-more-than-tenok\r\nl\bla\tst");  // echoed as received
    // Leaving line mode hands over what is buffered; the next time, the connection's end does.
    c.SetLineMode(false);
    ASSERT_TRUE(PumpUntil([&] { return lines.size() == 4; }));
    EXPECT_EQ(lines[3], "la      st");
    c.SetLineMode(true);
    peer.SendStr("end");
    ASSERT_TRUE(PumpUntil([&] { return server.recorders[0]->data.size() == 47; }));
    peer.Close();
    ASSERT_TRUE(PumpUntil([&] { return closed; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"one\r\n", "two\r\n", "ok\r\n", "la      st", "end"}));
}

TEST(AsyncSocket, PausedEventsWaitForResumeAndAFailingHandlerAbortsTheSocket) {
    TLoopbackServer server;
    auto* c = new TAsyncSocket;
    TRecorder r;
    r.Attach(*c);
    Target(*c, "127.0.0.1", server.Port());
    c->Connect();
    ASSERT_TRUE(PumpUntil([&] { return r.Connected() && server.clients.size() == 1; }));
    c->Pause();
    server.clients[0]->SendStr("later");
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(r.data, "");
    c->Resume();
    ASSERT_TRUE(PumpUntil([&] { return r.data == "later"; }));

    std::string caught;
    c->OnBgException = [&](TCustomAsyncSocket*, const std::exception& E, bool&) { caught = E.what(); };
    platform::MainQueue().Post(c->Target(), WM_TRIGGER_EXCEPTION);
    ASSERT_TRUE(PumpUntil([&] { return !caught.empty(); }));
    EXPECT_EQ(caught, "Test exception in socket");
    EXPECT_EQ(c->GetState(), wsClosed);  // CanClose left set: aborted

    // Freed from the queue; a message posted after that finds no one.
    const platform::TargetId target = c->Target();
    c->ReleaseDelayed();
    platform::MainQueue().Post(target, WM_TRIGGER_EXCEPTION);
    ASSERT_TRUE(PumpUntil([&] { return !platform::MainQueue().HasTarget(target); }));
}

TEST(AsyncSocket, WaitUntilReadyEndsByTimeOutOrQuitAndSynchronizeWaitsForTheConnect) {
    TAsyncSocket s;
    bool done = false;
    s.Timeout = 100;
    const uint32_t start = platform::ClockMs();
    EXPECT_EQ(s.WaitUntilReady(done), 12001);
    const uint32_t elapsed = platform::ClockMs() - start;
    EXPECT_GE(elapsed, 100u);
    EXPECT_LT(elapsed, 5000u);

    TLoopbackServer server;
    Target(s, "127.0.0.1", server.Port());
    bool connected = false;
    s.OnSessionConnected = [&](TCustomAsyncSocket*, uint16_t) { connected = true; };
    s.Timeout = 5000;
    EXPECT_EQ(s.Synchronize([&] { s.Connect(); }, connected), 0);
    EXPECT_EQ(s.GetState(), wsConnected);

    s.Timeout = 0;
    done = false;
    platform::MainQueue().PostQuit();
    EXPECT_EQ(s.WaitUntilReady(done), 12001);
    platform::MainQueue().ResetQuit();
}

}  // namespace
