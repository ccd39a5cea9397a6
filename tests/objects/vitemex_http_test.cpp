// The HTTP object against the hostile server of tests/tools: the text and its end event, the "!"
// source, one end event whatever the server does, and shut-down while a request runs.
#include "objects/vitemex_http.h"

#include "platform/clock.h"
#include "tests/common/fixture.h"
#include "tests/common/local_server.h"

#include <gtest/gtest.h>

namespace {

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
