// The HTTP object against the hostile server of tests/tools: the text and its end event, the "!"
// source, one end event whatever the server does, shut-down while a request runs, and the
// title's requests taking turns.
#include "objects/vitemex_http.h"

#include "platform/clock.h"
#include "tests/common/fixture.h"
#include "tests/common/local_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

namespace {

size_t Threads() { return size_t(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {})); }

size_t Sockets() {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error).string().starts_with("socket:")) ++count;
    }
    return count;
}

std::vector<std::string> Words(const std::string& Text) {
    std::istringstream in(Text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::vector<std::string> Numbers(size_t From, size_t To) {
    std::vector<std::string> numbers;
    for (size_t i = From; i < To; ++i) numbers.push_back(std::to_string(i));
    return numbers;
}

constexpr size_t InFlight = THttpQueue::InFlight;

class HttpObject : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(server.Port(), 0);
        CreateScriptServices();
        VelaInitialize();
    }
    void TearDown() override {
        VelaFinalize();
        FreeScriptServices();
        SetTerminating(false);
    }
    TVelaHttp* Make(const std::string& Name) {
        auto* http = static_cast<TVelaHttp*>(Bases->CreateObject(LT_HTTP));
        http->SetName(Name);
        http->SetOnplayend("done");
        http->GetClient().Timeout = 1000;
        return http;
    }
    // Pumps the main queue until Http's request has ended (at most 15 s).
    static void Finish(TVelaHttp& Http) {
        const uint32_t start = platform::ClockMs();
        platform::MessageQueue& queue = platform::MainQueue();
        while (Http.Running() && platform::ClockMs() - start < 15000)
            if (!queue.ProcessMessages()) queue.Wait(20);
        EXPECT_FALSE(Http.Running());
    }
    static int EndEvents() { return Bases->GetEvents().Count(); }
    // Pumps the main queue until Done (at most 15 s).
    static void WaitFor(const std::function<bool()>& Done) {
        const uint32_t start = platform::ClockMs();
        platform::MessageQueue& queue = platform::MainQueue();
        while (!Done() && platform::ClockMs() - start < 15000)
            if (!queue.ProcessMessages()) queue.Wait(20);
        EXPECT_TRUE(Done());
    }
    // Count objects, each fetching /held/<its number> without a time-out.
    std::vector<TVelaHttp*> MakeHeld(size_t Count) {
        std::vector<TVelaHttp*> https;
        for (size_t i = 0; i < Count; ++i) {
            https.push_back(Make("h" + std::to_string(i)));
            https.back()->GetClient().Timeout = 0;
            https.back()->SetSource(server.Url("/held/" + std::to_string(i)));
        }
        return https;
    }
    // What the server answers Path with, asked by a client of no object.
    std::string Ask(const std::string& Path) {
        THttpClient client;
        TMemoryStream body;
        client.RcvdStream = &body;
        client.URL = server.Url(Path);
        client.Get();
        return Bytes(body);
    }
    // The held requests that have reached the server, once there are at least Count.
    std::vector<std::string> Arrivals(size_t Count) {
        std::vector<std::string> arrived;
        WaitFor([&] { return (arrived = Words(Ask("/arrivals"))).size() >= Count; });
        return arrived;
    }

    LocalServer server{LocalServer::Hostile(), LocalServer::PlainPort};
};

}  // namespace

TEST_F(HttpObject, TextArrivesAtTheEndWithOneEvent) {
    TVelaHttp* http = Make("news");
    EXPECT_EQ(http->GetCompoType(), LT_HTTP);
    http->SetSource(server.Url("/euc"));
    EXPECT_TRUE(http->Running());
    EXPECT_EQ(http->GetText(), "");
    EXPECT_EQ(http->GetDataStream()->Size(), 0);
    // A second source while running is dropped.
    http->SetSource(server.Url("/500"));
    EXPECT_EQ(http->GetSource(), server.Url("/euc"));
    Finish(*http);
    EXPECT_EQ(http->GetText(), "日本語\x01かな ｶﾅ");
    EXPECT_EQ(EndEvents(), 1);
    EXPECT_EQ(Bases->GetEvents().IndexOf(http, PR_ONPLAYEND), 0);
}

TEST_F(HttpObject, BangSourceReadsAnotherObjectsData) {
    TVelaHttp* first = Make("first");
    first->SetSource(server.Url("/link"));
    Finish(*first);
    TVelaHttp* second = Make("second");
    second->SetSource("!first");
    EXPECT_EQ(second->GetSource(), server.Url("/euc"));
    Finish(*second);
    EXPECT_EQ(second->GetText(), "日本語\x01かな ｶﾅ");

    TVelaHttp* third = Make("third");
    third->SetSource("!nobody");
    EXPECT_EQ(third->GetSource(), "");
    Finish(*third);
    EXPECT_EQ(third->GetText(), "");
    EXPECT_EQ(EndEvents(), 3);
}

TEST_F(HttpObject, EveryHostileAnswerRaisesOneEnd) {
    const char* const paths[] = {"/truncated-header", "/long-line", "/silent", "/redirect-loop", "/bad-status",
                                 "/bad-length", "/404"};
    int expected = 0;
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        TVelaHttp* http = Make(std::string("h") + path);
        http->SetSource(server.Url(path));
        Finish(*http);
        EXPECT_EQ(EndEvents(), ++expected);
    }
}

TEST_F(HttpObject, ShutDownWhileRunning) {
    TVelaHttp* http = Make("stuck");
    http->GetClient().Timeout = 60000;
    http->SetSource(server.Url("/silent"));
    // Let the worker hand its start over and the request reach the server.
    for (int i = 0; i < 20; ++i)
        if (!platform::MainQueue().ProcessMessages()) platform::MainQueue().Wait(20);
    const uint32_t start = platform::ClockMs();
    delete http;
    // Gone before its worker could hand the request over.
    TVelaHttp* hasty = Make("hasty");
    hasty->SetSource(server.Url("/silent"));
    delete hasty;
    EXPECT_LT(platform::ClockMs() - start, 5000u);
    EXPECT_EQ(EndEvents(), 0);

    // A request ending while the program closes raises nothing.
    TVelaHttp* late = Make("late");
    late->SetSource(server.Url("/404"));
    SetTerminating(true);
    Finish(*late);
    EXPECT_EQ(EndEvents(), 0);
}

// Past the bound a request waits with neither a worker nor a socket; as the server answers, one
// at a time, each end lets the next waiting request in, in the order they were set, and every
// object gets its own answer.
TEST_F(HttpObject, RequestsPastTheBoundWaitTheirTurnInOrder) {
    const size_t threads = Threads(), sockets = Sockets(), count = 2 * InFlight;
    const std::vector<TVelaHttp*> https = MakeHeld(count);
    std::vector<std::string> arrived = Arrivals(InFlight);
    EXPECT_LE(Threads(), threads + InFlight);
    EXPECT_LE(Sockets(), sockets + InFlight);
    for (size_t ended = 1; ended <= count; ++ended) {
        Ask("/open");
        WaitFor([&] { return EndEvents() == int(ended); });
        arrived = Arrivals(std::min(count, InFlight + ended));
    }
    ASSERT_EQ(arrived.size(), count);
    std::sort(arrived.begin(), arrived.begin() + InFlight);
    EXPECT_EQ(arrived, Numbers(0, count));
    for (size_t i = 0; i < count; ++i) {
        EXPECT_FALSE(https[i]->Running());
        EXPECT_EQ(https[i]->GetText(), std::to_string(i));
    }
    WaitFor([&] { return Threads() == threads && Sockets() == sockets; });
}

// A waiting request whose object goes, freed at once or deleted by the script and freed later,
// never reaches the server and raises no end.
TEST_F(HttpObject, DeletedWhileWaitingNeverConnects) {
    const std::vector<TVelaHttp*> https = MakeHeld(InFlight + 2);
    Arrivals(InFlight);
    https[InFlight]->Delete();
    delete https[InFlight + 1];
    for (size_t i = 0; i < InFlight; ++i) Ask("/open");
    WaitFor([&] { return EndEvents() == int(InFlight); });
    EXPECT_FALSE(https[InFlight]->Running());
    EXPECT_EQ(Words(Ask("/arrivals")).size(), InFlight);
    EXPECT_EQ(EndEvents(), int(InFlight));
}
