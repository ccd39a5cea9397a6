// Text out: the JSON line and the plain text of messages and choices, the service handing items
// to its sinks, and the WebSocket server with clients of the test's own: each client gets each
// item as one text frame in order, a late client what comes after, at most eight are taken, a
// client that never reads is dropped while the others get everything, and a port already taken
// is refused. A page of a foreign origin is refused and programs, local pages and the pages the
// user named are taken; a flood of connections that never shake hands holds a few descriptors,
// no core, and is closed after the handshake's deadline, while a client connected goes on
// getting everything.
#include "platform/textout.h"

#include "tests/common/fixture.h"
#include "tests/common/ws_client.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::TextOutItem;

TextOutItem Message(std::string Window, std::string Text, std::vector<platform::TextOutRuby> Ruby = {}) {
    TextOutItem item;
    item.window = std::move(Window);
    item.text = std::move(Text);
    item.ruby = std::move(Ruby);
    return item;
}

TextOutItem Choice(std::vector<std::string> Items) {
    TextOutItem item;
    item.kind = TextOutItem::Kind::Choice;
    item.items = std::move(Items);
    return item;
}

std::unique_ptr<platform::TextOutServer> StartServer(uint16_t Port = 0,
                                                    std::vector<platform::TextOutOrigin> Origins = {}) {
    std::string error;
    auto server = platform::TextOutServer::Start(Port, error, std::move(Origins));
    EXPECT_TRUE(server) << error;
    return server;
}

// Waits up to 10 s for the server to count Count clients.
bool WaitClients(const platform::TextOutServer& Server, int Count) {
    for (int waited = 0; Server.ClientCount() != Count && waited < 10000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Server.ClientCount() == Count;
}

TEST(TextOutJson, MessageWithReadingsInUtf8) {
    const TextOutItem item = Message("story", "遥は言った。\n「\"北\\」\t\x01",
                                     {{"遥", "はるか"}, {"北", "きた"}});
    EXPECT_EQ(platform::TextOutJson(item),
              U8(u8"{\"kind\": \"message\", \"window\": \"story\", \"text\": \"遥は言った。\\n「\\\"北\\\\」\\t\\u0001\", "
                 u8"\"ruby\": [{\"base\": \"遥\", \"reading\": \"はるか\"}, {\"base\": \"北\", \"reading\": \"きた\"}]}\n"));
    EXPECT_EQ(platform::TextOutJson(Message("", "")),
              "{\"kind\": \"message\", \"window\": \"\", \"text\": \"\", \"ruby\": []}\n");
    // Bytes that are no Shift-JIS character go out as U+FFFD.
    EXPECT_EQ(platform::TextOutPlain(Message("w", "a\x82")), U8(u8"a\uFFFD"));
}

TEST(TextOutJson, ChoiceItemsJoined) {
    const TextOutItem item = Choice({"はい", "いいえ"});
    EXPECT_EQ(platform::TextOutJson(item), U8(u8"{\"kind\": \"choice\", \"items\": [\"はい\", \"いいえ\"]}\n"));
    EXPECT_EQ(platform::TextOutPlain(item), U8(u8"はい\nいいえ"));
    EXPECT_EQ(platform::TextOutJson(Choice({})), "{\"kind\": \"choice\", \"items\": []}\n");
}

TEST(TextOutOrigin, UrlsGiveSchemeHostAndPort) {
    using platform::TextOutOrigin;
    const std::pair<const char*, TextOutOrigin> parsed[] = {
        {"https://Reader.EXAMPLE/hooker/?port=6677#top", {"https", "reader.example", "443"}},
        {"HTTP://reader.example:08080", {"http", "reader.example", "8080"}},
        {"http://[::1]:9000/", {"http", "[::1]", "9000"}},
        {"http://reader.example?x", {"http", "reader.example", "80"}},
        {"chrome-extension://abcdef", {"chrome-extension", "abcdef", ""}}};
    for (const auto& [url, origin] : parsed) {
        const std::optional<TextOutOrigin> got = platform::ParseTextOutOrigin(url);
        ASSERT_TRUE(got) << url;
        EXPECT_EQ(*got, origin) << url;
    }
    for (const char* url : {"reader.example", "://reader.example", "1http://reader.example", "ht tp://a",
                            "http://", "http:///path", "http://me@reader.example", "http://reader.example:",
                            "http://reader.example:0", "http://reader.example:65536", "http://reader.example:8x",
                            "http://[::1", "http://[::1]x"})
        EXPECT_FALSE(platform::ParseTextOutOrigin(url)) << url;
}

TEST(TextOutOrigin, ProgramsLocalPagesAndNamedOriginsAreTaken) {
    const std::vector<platform::TextOutOrigin> named = {*platform::ParseTextOutOrigin("https://reader.example:8443"),
                                                        *platform::ParseTextOutOrigin("http://hooker.example")};
    for (const char* origin : {"", "null", "file://", "FILE://", "http://localhost", "http://localhost:8000",
                               "http://LocalHost:3000", "http://127.0.0.1:5500", "http://[::1]:80",
                               "https://READER.example:8443", "http://hooker.example:80"})
        EXPECT_TRUE(platform::TextOutOriginTaken(origin, named)) << origin;
    for (const char* origin :
         {"https://example.com", "http://localhost.example.com", "http://127.0.0.1.example.com",
          "http://localhost@example.com", "https://reader.example", "http://reader.example:8443",
          "http://hooker.example:8080", "nul", "localhost", "http://[::2]"})
        EXPECT_FALSE(platform::TextOutOriginTaken(origin, named)) << origin;
    EXPECT_FALSE(platform::TextOutOriginTaken("https://reader.example:8443", {}));
}

class Recorder : public platform::TextOutSink {
public:
    explicit Recorder(std::vector<std::string>& Lines) : lines_(Lines) {}
    void Deliver(const TextOutItem& Item) override { lines_.push_back(platform::TextOutJson(Item)); }

private:
    std::vector<std::string>& lines_;
};

TEST(TextOutService, EverySinkGetsEachItemAndTheLastMessageIsShown) {
    std::vector<std::string> first, second;
    platform::AddTextOutSink(std::make_unique<Recorder>(first));
    platform::AddTextOutSink(std::make_unique<Recorder>(second));
    platform::SendTextOut(Message("w", "一"));
    platform::SendTextOut(Choice({"a"}));
    EXPECT_EQ(first.size(), 2u);
    EXPECT_EQ(first, second);
    // A choice leaves the message shown as it was.
    EXPECT_EQ(platform::ShownTextOutMessage(), "一");
    platform::ClearTextOutSinks();
    EXPECT_EQ(platform::ShownTextOutMessage(), "");
    platform::SendTextOut(Message("w", "二"));
    EXPECT_EQ(first.size(), 2u);
    EXPECT_EQ(platform::ShownTextOutMessage(), "二");
    platform::ClearTextOutSinks();
}

TEST(TextOutServer, ClientsGetEachItemInOrderAndALateClientWhatComesAfter) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    ASSERT_GT(server->Port(), 0);
    WsClient early(server->Port());
    ASSERT_TRUE(early.Connected());
    ASSERT_TRUE(WaitClients(*server, 1));
    server->Deliver(Message("w", "遥\n二行目", {{"遥", "はるか"}}));
    server->Deliver(Choice({"はい", "いいえ"}));
    EXPECT_EQ(early.Next(), U8(u8"遥\n二行目"));
    EXPECT_EQ(early.Next(), U8(u8"はい\nいいえ"));

    WsClient late(server->Port());
    ASSERT_TRUE(late.Connected());
    ASSERT_TRUE(WaitClients(*server, 2));
    // A message as long as the bound goes whole, past what one write of the socket takes.
    const std::string longText(platform::MaxTextOutBytes, 'x');
    server->SendFrame(longText);
    EXPECT_EQ(late.Next(), longText);
    EXPECT_EQ(early.Next(), longText);
    EXPECT_EQ(early.Next(200), std::nullopt);
}

TEST(TextOutServer, TakesAtMostEightClients) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    std::vector<std::unique_ptr<WsClient>> clients;
    for (int i = 0; i < platform::MaxTextOutClients; ++i) {
        clients.push_back(std::make_unique<WsClient>(server->Port()));
        ASSERT_TRUE(clients.back()->Connected());
    }
    ASSERT_TRUE(WaitClients(*server, platform::MaxTextOutClients));
    WsClient ninth(server->Port());
    EXPECT_TRUE(!ninth.Connected() || ninth.ClosedWithin(10000));
    EXPECT_EQ(server->ClientCount(), platform::MaxTextOutClients);
    // One that leaves makes room for another.
    clients.pop_back();
    ASSERT_TRUE(WaitClients(*server, platform::MaxTextOutClients - 1));
    WsClient another(server->Port());
    ASSERT_TRUE(another.Connected());
    ASSERT_TRUE(WaitClients(*server, platform::MaxTextOutClients));
    server->SendFrame("after");
    EXPECT_EQ(another.Next(), "after");
}

TEST(TextOutServer, AClientThatNeverReadsIsDroppedAndTheOthersGetEverything) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    WsClient stuck(server->Port(), 4096);
    WsClient reader(server->Port());
    ASSERT_TRUE(stuck.Connected() && reader.Connected());
    ASSERT_TRUE(WaitClients(*server, 2));
    // Frames of 64 KiB, each numbered at its start, until the stuck client is gone (at most
    // 128 MiB: far past its backlog and whatever the sockets hold).
    std::atomic<int> sent{0}, read{0};
    std::atomic<bool> inOrder{true}, done{false};
    std::thread reading([&] {
        while (!done || read < sent) {
            const std::optional<std::string> frame = reader.Next(10000);
            if (!frame) break;
            if (frame->substr(0, frame->find(' ')) != std::to_string(read.load())) inOrder = false;
            ++read;
        }
    });
    const std::string fill(platform::MaxTextOutBytes - 16, '.');
    for (int i = 0; i < 2048 && server->ClientCount() == 2; ++i) {
        server->SendFrame(std::to_string(i) + " " + fill);
        ++sent;
        // The reader keeps up, as a reader's tool does with messages; the stuck client's frames
        // wait in its queue, never in the caller.
        for (int waited = 0; read < sent - 4 && waited < 10000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    done = true;
    EXPECT_TRUE(WaitClients(*server, 1));
    EXPECT_TRUE(stuck.ClosedWithin(10000));
    reading.join();
    EXPECT_EQ(read.load(), sent.load());
    EXPECT_TRUE(inOrder);
    EXPECT_LT(sent.load(), 2048);
}

TEST(TextOutServer, APageOfAForeignOriginIsRefusedAndProgramsLocalAndNamedPagesAreTaken) {
    auto server = StartServer(0, {*platform::ParseTextOutOrigin("https://reader.example")});
    ASSERT_TRUE(server);
    WsClient foreign(server->Port(), 0, "https://example.com");
    EXPECT_FALSE(foreign.Connected());
    EXPECT_EQ(foreign.Status(), 403);
    WsClient program(server->Port()), local(server->Port(), 0, "http://127.0.0.1:8000"),
        named(server->Port(), 0, "https://reader.example");
    ASSERT_TRUE(program.Connected() && local.Connected() && named.Connected());
    ASSERT_TRUE(WaitClients(*server, 3));
    server->SendFrame("read");
    for (WsClient* client : {&program, &local, &named}) EXPECT_EQ(client->Next(), "read");
}

// The descriptors of the process open now.
int OpenDescriptors() {
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return int(std::distance(begin(entries), end(entries)));
}

// The processor time of the process so far, in ms.
int64_t ProcessorMs() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return (int64_t(use.ru_utime.tv_sec) + use.ru_stime.tv_sec) * 1000 + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1000;
}

// A connection to Port that never sends a byte, made without waiting.
int BareConnection(uint16_t Port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(Port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
    return s;
}

// Whether the peer closed the connection S (one still connecting is open).
bool ClosedByPeer(int S) {
    char byte;
    const ssize_t got = recv(S, &byte, 1, MSG_DONTWAIT);
    return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN);
}

TEST(TextOutServer, AFloodOfBareConnectionsHoldsFewDescriptorsAndIsClosedAfterTheDeadline) {
    // 2,000 connections where the process may open as many (its hard limit allowing).
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    const int flood = int(std::min<rlim_t>(2000, files.rlim_cur - 256));
    ASSERT_GE(flood, 500) << "the process may open " << files.rlim_cur << " files";
    auto server = StartServer();
    ASSERT_TRUE(server);
    WsClient reader(server->Port());
    ASSERT_TRUE(reader.Connected());
    ASSERT_TRUE(WaitClients(*server, 1));
    const int before = OpenDescriptors();
    std::vector<int> bare;
    for (int i = 0; i < flood; ++i) bare.push_back(BareConnection(server->Port()));
    // The server's own descriptors: at most the handshakes it holds besides those it had.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const int held = OpenDescriptors() - before - flood;
    EXPECT_LE(held, platform::TextOutHandshakes) << held;
    // While they wait, the server neither spins nor stops serving its client.
    const int64_t processor = ProcessorMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_LT(ProcessorMs() - processor, 500);
    server->SendFrame("during");
    EXPECT_EQ(reader.Next(), "during");
    // Each is closed at once or at the handshake's deadline.
    int open = flood;
    for (int waited = 0; open > 0 && waited < (platform::TextOutHandshakeSeconds + 10) * 1000; waited += 100) {
        open = int(std::count_if(bare.begin(), bare.end(), [](int s) { return !ClosedByPeer(s); }));
        if (open > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(open, 0);
    for (const int s : bare) close(s);
    EXPECT_LE(OpenDescriptors(), before);
    WsClient after(server->Port());
    ASSERT_TRUE(after.Connected());
    ASSERT_TRUE(WaitClients(*server, 2));
    server->SendFrame("after");
    EXPECT_EQ(reader.Next(), "after");
    EXPECT_EQ(after.Next(), "after");
}

TEST(TextOutServer, APortAlreadyTakenIsRefused) {
    auto first = StartServer();
    ASSERT_TRUE(first);
    std::string error;
    EXPECT_EQ(platform::TextOutServer::Start(first->Port(), error), nullptr);
    EXPECT_NE(error.find("127.0.0.1:" + std::to_string(first->Port())), std::string::npos) << error;
    // The first still serves.
    WsClient client(first->Port());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(WaitClients(*first, 1));
    first->SendFrame("still");
    EXPECT_EQ(client.Next(), "still");
}

}  // namespace
