// The sample title's news box: the text served on 127.0.0.1:8931 shows in the label once it has
// arrived, converted from EUC-JP; without a server the box shows the failure text.
#include "tests/app/sample_fixture.h"

#include "net/jconvert.h"
#include "platform/clock.h"
#include "platform/msgqueue.h"
#include "tests/common/fixture.h"
#include "tests/common/local_server.h"

#include <fstream>
#include <sstream>

namespace {

constexpr int NewsPort = 8931;

class SampleNews : public SampleTitle {
protected:
    // Ticks (and lets the network run) until the box shows something else than the loading
    // text, at most 15 s; what it shows.
    std::string NewsShown() {
        TickUntil("newsbox");
        const TVelaObject* box = Bases->FindObject("newsbox");
        const std::string loading = box->GetText();
        const uint32_t start = platform::ClockMs();
        while (box->GetText() == loading && platform::ClockMs() - start < 15000) {
            platform::MainQueue().ProcessMessages();
            platform::MainQueue().Wait(5);
            Tick();
        }
        return box->GetText();
    }
    // python's http.server on the news port, serving the sample's www folder (port 0 when the
    // port is taken).
    static std::unique_ptr<LocalServer> NewsServer() {
        return std::make_unique<LocalServer>(
            std::vector<std::string>{VELA_PYTHON, "-u", "-m", "http.server", std::to_string(NewsPort), "--bind",
                                     "127.0.0.1", "--directory", NewsFolder},
            LocalServer::HttpServerPort);
    }
    static constexpr const char* NewsFolder = VELA_TEST_TOOLS "/../../sample/www";
};

}  // namespace

TEST_F(SampleNews, TheBoxShowsTheNewsOrWithoutAServerTheFailure) {
    std::ifstream file(std::string(NewsFolder) + "/news.txt", std::ios::binary);
    std::ostringstream euc;
    euc << file.rdbuf();
    std::string expected = EucToSjis(euc.str());
    while (!expected.empty() && (expected.back() == '\r' || expected.back() == '\n')) expected.pop_back();
    {
        auto server = NewsServer();
        if (server->Port() != NewsPort) GTEST_SKIP() << "port 8931 is taken";
        EXPECT_EQ(NewsShown(), expected);
    }
    // The title played again with the server gone.
    TearDown();
    SetUp();
    EXPECT_EQ(NewsShown(), "ニュースを取得できませんでした");
}
