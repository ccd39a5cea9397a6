// Text out from the built player. A headless title of two messages (a reading, a variable, a line
// break, a link and an event) and a selection menu, going on at the test's sign (a file in its
// folder): standard output holds the JSON lines in order and nothing else, a WebSocket client gets
// the same texts, a client that connects late gets what comes after, a page of an origin the user
// named is taken and one of another refused, and a port already taken is said once on standard
// error while play goes on. Into a pipe nobody reads, or one whose reader goes away, the player
// loses the lines (said once) or leaves the target (said once), plays on, and ends on SIGTERM with
// status 0. The sample title in a window under Xvfb hands its two story messages, shown twice, to
// all three targets at once, the backlog shown again going nowhere.
#include "platform/textout.h"
#include "tests/app/played_title.h"
#include "tests/app/sample_fixture.h"
#include "tests/common/fixture.h"
#include "tests/common/ws_client.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {


// A port of 127.0.0.1 free a moment ago.
uint16_t FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
    getsockname(s, reinterpret_cast<sockaddr*>(&at), &size);
    close(s);
    return ntohs(at.sin_port);
}

// A client of the player's server on Port (from a page of Origin, if any), connected within 10 s
// of the player's start.
std::unique_ptr<WsClient> Connect(uint16_t Port, const std::string& Origin = "") {
    for (int waited = 0; waited < 10000; waited += 50) {
        auto client = std::make_unique<WsClient>(Port, 0, Origin);
        if (client->Connected()) return client;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

// Waits up to 20 s for the file's text to hold Lines lines.
std::string WaitLines(const std::string& File, size_t Lines) {
    std::string text;
    for (int waited = 0; waited < 20000; waited += 50) {
        text = FileText(File);
        if (size_t(std::count(text.begin(), text.end(), '\n')) >= Lines) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return text;
}

void Touch(const std::string& File) { std::ofstream(File) << "go"; }

const std::string Message1 = U8(u8"遥は櫂に言った。\n「北へ」"), Choice = U8(u8"はい\nいいえ"),
                  Message2 = U8(u8"櫂が答えた。");
const std::string Lines = U8(u8"{\"kind\": \"message\", \"window\": \"story\", \"text\": \"遥は櫂に言った。\\n「北へ」\", "
                             u8"\"ruby\": [{\"base\": \"遥\", \"reading\": \"はるか\"}]}\n"
                             u8"{\"kind\": \"choice\", \"items\": [\"はい\", \"いいえ\"]}\n"
                             u8"{\"kind\": \"message\", \"window\": \"story\", \"text\": \"櫂が答えた。\", "
                             u8"\"ruby\": [{\"base\": \"櫂\", \"reading\": \"かい\"}]}\n");

// The title: a message and a menu once go1 is in its folder, a second message once go2 is.
std::string StoryTitle() {
    return MakeTitle({{"start", U8(u8R"([
        {"cmd": "Calc", "do": "who = \"櫂\""},
        {"cmd": "MesNew", "props": {"NAME": "\"story\"", "WIDTH": "300", "HEIGHT": "100", "FONTHEIGHT": "16"}},
        {"cmd": "Wait", "cond": "FileExists(\"go1\") == FALSE"},
        {"cmd": "TextIns", "window": "\"story\"",
         "text": "<RUBY VALUE=\"はるか\">遥</RUBY>は<VAR NAME=\"who\">に言った。<BR>「<A HREF=\"x\">北</A>へ」<EVENT VALUE=\"e\">"},
        {"cmd": "Menu", "props": {"NAME": "\"choice\"", "TEXT": "\"はい\" ++ Chr(13) ++ Chr(10) ++ \"いいえ\""}},
        {"cmd": "MenuClose", "name": "\"choice\""},
        {"cmd": "Wait", "cond": "FileExists(\"go2\") == FALSE"},
        {"cmd": "TextIns", "window": "\"story\"", "text": "<RUBY VALUE=\"かい\">櫂</RUBY>が答えた。"},
        {"cmd": "Terminate"}])")}},
                     {}, R"([{"name": "who", "type": "str"}])");
}

TEST(TextOut, StandardOutputAndWebSocketClientsGetTheMessagesInOrder) {
    const std::string title = StoryTitle(), errors = title + "errors.txt", out = title + "out.jsonl";
    const uint16_t port = FreePort();
    Child player(PlayerFolder + "velaplay", {"--text-out=-", "--text-out", "ws:" + std::to_string(port), title},
                 errors, out);
    ASSERT_TRUE(player.Started());
    const std::unique_ptr<WsClient> early = Connect(port);
    ASSERT_TRUE(early) << FileText(errors);
    Touch(title + "go1");
    EXPECT_EQ(early->Next(), Message1);
    EXPECT_EQ(early->Next(), Choice);
    const std::unique_ptr<WsClient> late = Connect(port);
    ASSERT_TRUE(late);
    // The server takes the client on its own thread just after the handshake's answer.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Touch(title + "go2");
    EXPECT_EQ(late->Next(), Message2);
    EXPECT_EQ(early->Next(), Message2);
    ASSERT_TRUE(player.WaitEnd(20000));
    EXPECT_TRUE(player.ExitedWith(0)) << FileText(errors);
    EXPECT_EQ(FileText(out), Lines);
}

TEST(TextOut, APortAlreadyTakenIsSaidOnceAndPlayGoesOn) {
    const std::string title = StoryTitle(), errors = title + "errors.txt", out = title + "out.jsonl";
    std::string why;
    auto taken = platform::TextOutServer::Start(0, why);
    ASSERT_TRUE(taken) << why;
    const std::string port = std::to_string(taken->Port());
    Touch(title + "go1");
    Touch(title + "go2");
    const ScopedEnvironment targets("VELA_TEXT_OUT", ("ws:" + port + ",-").c_str());
    Child player(PlayerFolder + "velaplay", {title}, errors, out);
    ASSERT_TRUE(player.WaitEnd(20000));
    EXPECT_TRUE(player.ExitedWith(0));
    EXPECT_EQ(FileText(errors), "velaplay: text out: the WebSocket server on 127.0.0.1:" + port +
                                    " cannot be had (in use or not allowed); it is left out\n");
    EXPECT_EQ(FileText(out), Lines);
}

// A title that shows messages of 8,000 characters for ever, one a tick, and saves its game once
// 200 of them (1.6 MB of lines, past a pipe's 64 KiB and the 1 MiB backlog) have been shown.
std::string EndlessTitle() {
    const std::string text(8000, 'x');
    return MakeTitle(
        {{"start", R"([{"cmd": "MesNew", "props": {"NAME": "\"story\"", "WIDTH": "300", "HEIGHT": "100"}},
                       {"cmd": "Jump", "page": "shown.vsb"}])"},
         {"shown", R"([{"cmd": "Calc", "do": "n = n + 1"},
                       {"cmd": "TextIns", "window": "\"story\"", "text": ")" + text + R"("},
                       {"cmd": "If", "cond": "n == 200"},
                       {"cmd": "GameSave", "slot": "0", "caption": "\"past\"", "indent": 1},
                       {"cmd": "Wait", "time": "1"},
                       {"cmd": "Jump", "page": "shown.vsb"}])"}});
}

// A named pipe made at Path.
std::string MadeFifo(const std::string& Path) {
    EXPECT_EQ(mkfifo(Path.c_str(), 0600), 0) << Path;
    return Path;
}

// The player on a title that shows messages for ever, its standard output the write end of a pipe
// (a named one in the title's folder, whose read end the test holds).
struct PipedPlayer {
    PipedPlayer()
        : title(EndlessTitle()), errors(title + "errors.txt"), pipe(MadeFifo(title + "out")),
          reader(open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)),
          player(PlayerFolder + "velaplay", {"--text-out=-", title}, errors, pipe) {}
    ~PipedPlayer() {
        if (reader >= 0) close(reader);
    }
    // Whether the title saved its game within 60 s: it played on past 200 messages.
    bool PlayedOn() {
        for (int waited = 0; !std::filesystem::exists(title + "save.dat") && player.Running() && waited < 60000;
             waited += 50)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return std::filesystem::exists(title + "save.dat") && player.Running();
    }
    // Whether SIGTERM ends it within 3 s with status 0.
    bool EndsOnSigterm() {
        player.Signal(SIGTERM);
        return player.WaitEnd(3000) && player.ExitedWith(0);
    }

    const std::string title, errors, pipe;
    int reader;
    Child player;
};

TEST(TextOut, APipeNobodyReadsLosesLinesAndTheTitlePlaysOnAndEndsOnSigterm) {
    PipedPlayer piped;
    ASSERT_GE(piped.reader, 0);
    ASSERT_TRUE(piped.PlayedOn()) << FileText(piped.errors);
    // The title went on to show more: the loss is said once however many lines are lost.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(piped.EndsOnSigterm());
    EXPECT_EQ(FileText(piped.errors), "velaplay: text out: standard output is not being read: lines are lost\n");
}

TEST(TextOut, APipeWhoseReaderGoesAwayIsLeftAndTheTitlePlaysOn) {
    PipedPlayer piped;
    ASSERT_GE(piped.reader, 0);
    // The first line comes whole; then the reader goes.
    std::string line;
    for (int waited = 0; line.find('\n') == std::string::npos && waited < 20000; waited += 10) {
        char bytes[4096];
        const ssize_t got = read(piped.reader, bytes, sizeof bytes);
        if (got > 0)
            line.append(bytes, size_t(got));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(line.starts_with(R"({"kind": "message", "window": "story", "text": "xxxx)")) << line.substr(0, 80);
    close(piped.reader);
    piped.reader = -1;
    ASSERT_TRUE(piped.PlayedOn()) << FileText(piped.errors);
    EXPECT_TRUE(piped.EndsOnSigterm());
    EXPECT_EQ(FileText(piped.errors), "velaplay: text out: standard output was closed by its reader; it is left out\n");
}

TEST(TextOut, ThePagesOfAnOriginTheUserNamedAreTakenAndThoseOfAnotherRefused) {
    const std::string title = StoryTitle(), errors = title + "errors.txt";
    const uint16_t port = FreePort();
    Child player(PlayerFolder + "velaplay",
                 {"--text-out=ws:" + std::to_string(port), "--text-out-origin", "https://reader.example/hooker/", title},
                 errors);
    const std::unique_ptr<WsClient> named = Connect(port, "https://READER.example");
    ASSERT_TRUE(named) << FileText(errors);
    WsClient foreign(port, 0, "https://example.com");
    EXPECT_EQ(foreign.Status(), 403);
    Touch(title + "go1");
    EXPECT_EQ(named->Next(), Message1);
    Touch(title + "go2");
    ASSERT_TRUE(player.WaitEnd(20000));
    EXPECT_TRUE(player.ExitedWith(0)) << FileText(errors);
    EXPECT_EQ(FileText(errors), "");
}

// The clipboard's text on the X display the environment names, as another program sees it.
std::string ClipboardOfTheDesktop() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return "(no display: " + std::string(SDL_GetError()) + ")";
    char* text = SDL_GetClipboardText();
    std::string held = text ? text : "";
    SDL_free(text);
    SDL_Quit();
    return held;
}

TEST(TextOut, TheSampleStoryReachesEveryTargetEachTimeItIsShown) {
    VirtualScreen screen;
    ASSERT_FALSE(screen.Name().empty());
    const std::string folder = SampleCopy(), errors = folder + "errors.txt", out = folder + "out.jsonl";
    const uint16_t port = FreePort();
    const ScopedEnvironment display("DISPLAY", screen.Name().c_str()), video("SDL_VIDEODRIVER", "x11");
    Child player(PlayerFolder + "velaplay",
                 {"--text-out=clipboard", "--text-out=-", "--text-out=ws:" + std::to_string(port), folder},
                 errors, out, ChildWindow::Desktop);
    const std::unique_ptr<WsClient> client = Connect(port);
    ASSERT_TRUE(client) << FileText(errors);
    const std::string haruka = U8(u8"遥は古い星図をひらいた。……そこには赤い印がひとつ。"),
                      kai = U8(u8"櫂が言った。「北の星をたどれば、きっと着く」");
    // The clipboard, looked at while each message is shown.
    std::vector<std::string> frames, clipboard;
    for (int i = 0; i < 4; ++i) {
        const std::optional<std::string> frame = client->Next(60000);
        ASSERT_TRUE(frame) << FileText(errors);
        frames.push_back(*frame);
        std::string held;
        for (int waited = 0; held != *frame && waited < 10000; waited += 100) {
            held = ClipboardOfTheDesktop();
            if (held != *frame) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        clipboard.push_back(held);
    }
    EXPECT_EQ(frames, (std::vector<std::string>{haruka, kai, haruka, kai}));
    EXPECT_EQ(clipboard, frames);
    // The selection menu comes after the story; the backlog shown between its passes is not sent.
    EXPECT_EQ(client->Next(60000), U8(u8"はじめから\nつづきから\nおまけ\n音楽\n画像\n設定\n遊び方\n終わる"));
    const std::string lines = WaitLines(out, 5);
    player.Stop();
    const std::string story1 = U8(u8"{\"kind\": \"message\", \"window\": \"story\", \"text\": \"") + haruka +
                               U8(u8"\", \"ruby\": [{\"base\": \"遥\", \"reading\": \"はるか\"}]}\n"),
                      story2 = U8(u8"{\"kind\": \"message\", \"window\": \"story\", \"text\": \"") + kai +
                               U8(u8"\", \"ruby\": [{\"base\": \"櫂\", \"reading\": \"かい\"}]}\n");
    EXPECT_EQ(lines, story1 + story2 + story1 + story2 +
                         U8(u8"{\"kind\": \"choice\", \"items\": [\"はじめから\", \"つづきから\", \"おまけ\", \"音楽\", "
                            u8"\"画像\", \"設定\", \"遊び方\", \"終わる\"]}\n"));
}

}  // namespace
