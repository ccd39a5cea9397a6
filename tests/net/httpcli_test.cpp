// The HTTP client against python's http.server, curl and the hostile server of tests/tools: the
// bytes fetched, the request text, proxies, redirects, errors, and every misbehaving answer
// ending within a bound.
#include "net/httpcli.h"

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/msgqueue.h"
#include "tests/common/fixture.h"
#include "tests/common/local_server.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <utility>

namespace {

// Runs Kind on the main thread to its end (httpNONE: waits for the request running); the
// milliseconds it took.
uint32_t Fetch(THttpClient& Client, THttpRequest Kind = httpGET) {
    const uint32_t start = platform::ClockMs();
    try {
        if (Kind != httpNONE) Client.RequestAsync(Kind);
        while (Client.GetState() != hsReady && platform::ClockMs() - start < 30000)
            if (!platform::MainQueue().ProcessMessages()) platform::MainQueue().Wait(20);
    } catch (const EHttpException&) {
    }
    return platform::ClockMs() - start;
}

class Http : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(server.Port(), 0);
        client.RcvdStream = &body;
        client.Timeout = 1000;
    }
    // The request text the echoing server saw for Path.
    std::string Echo(const std::string& Url) {
        body.Clear();
        client.URL = Url;
        Fetch(client);
        EXPECT_EQ(client.StatusCode, 200) << client.ReasonPhrase;
        return Bytes(body);
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(server.Port()); }

    LocalServer server{LocalServer::Hostile(), LocalServer::PlainPort};
    THttpClient client;
    TMemoryStream body;
};

TEST(HttpServer, BytesEqualCurlOfTheSameUrl) {
    const std::string folder = FreshHostFolder();
    std::string data(300000, '\0');
    std::mt19937 random(7);
    for (char& c : data) c = char(random());
    std::ofstream(folder + "data.bin", std::ios::binary) << data;
    LocalServer server(LocalServer::HttpServer(folder), LocalServer::HttpServerPort);
    ASSERT_GT(server.Port(), 0);

    THttpClient client;
    TMemoryStream body;
    client.RcvdStream = &body;
    client.URL = server.Url("/data.bin");
    client.Get();
    EXPECT_EQ(client.StatusCode, 200);
    EXPECT_EQ(client.GetState(), hsReady);
    const ProgramRun curl = RunProgram("curl", {"-s", client.URL});
    ASSERT_EQ(curl.status, 0);
    EXPECT_EQ(curl.out.size(), data.size());
    EXPECT_TRUE(Bytes(body) == curl.out);
    EXPECT_EQ(client.RcvdCount, int64_t(data.size()));
}

TEST_F(Http, RequestText) {
    EXPECT_EQ(Echo(server.Url("/dir/page.htm?q=1")),
              "GET /dir/page.htm?q=1 HTTP/1.0\r\n"
              "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
              "User-Agent: Mozilla/3.0 (compatible)\r\n"
              "Host: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(client.DocName, "page.htm");

    // User and password of the URL, the optional lines, and If-Modified-Since in GMT.
    ScopedEnvironment zone("TZ", "JST-9");
    client.Sender = "me@example.com";
    client.Reference = "http://ref/";
    client.NoCache = true;
    client.Cookie = "a=b";
    client.ContentRangeBegin = "10";
    client.ModifiedSince = platform::DateTime{2026, 3, 3, 0, 9, 5, 9, 0};
    EXPECT_EQ(Echo("http://user:pw@" + Host() + "/x"),
              "GET /x HTTP/1.0\r\n"
              "From: me@example.com\r\n"
              "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
              "Referer: http://ref/\r\n"
              "User-Agent: Mozilla/3.0 (compatible)\r\n"
              "Host: 127.0.0.1\r\n"
              "Pragma: no-cache\r\n"
              "If-Modified-Since: Tue, 03 Mar 2026 00:05:09 GMT\r\n"
              "Authorization: Basic dXNlcjpwdw==\r\n"
              "Cookie: a=b\r\n"
              "Range: bytes=10-\r\n\r\n");
    EXPECT_EQ(client.ContentRangeBegin, "");

    // A POST says what it sends; without anything to send it does not start.
    EXPECT_EQ(ErrorOf([&] { client.RequestAsync(httpPOST); }), "HTTP component has nothing to post");
    TMemoryStream form = StreamOf("a=1&b=2");
    client.SendStream = &form;
    body.Clear();
    client.URL = server.Url("/form");
    client.RequestAsync(httpPOST);
    EXPECT_EQ(ErrorOf([&] { client.RequestAsync(httpGET); }), "HTTP component is busy");
    Fetch(client, httpNONE);
    const std::string seen = Bytes(body);
    EXPECT_EQ(seen.substr(0, 23), "POST /form HTTP/1.0\r\nFr");
    EXPECT_NE(seen.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
    EXPECT_NE(seen.find("\r\nContent-Length: 7\r\n"), std::string::npos);
    EXPECT_EQ(client.SentCount, 7);
}

TEST_F(Http, ProxyRequestLines) {
    // The request goes to the proxy with the whole URL; the target's name is never looked up.
    client.Proxy = Host();
    client.ProxyUsername = "pu";
    client.ProxyPassword = "pp";
    const std::string seen = Echo("http://example.invalid:81/a/b.html");
    EXPECT_EQ(seen.substr(0, seen.find("\r\n")), "GET http://example.invalid:81/a/b.html HTTP/1.0");
    EXPECT_NE(seen.find("\r\nHost: example.invalid\r\n"), std::string::npos);
    EXPECT_NE(seen.find("\r\nProxy-Authorization: Basic cHU6cHA=\r\n"), std::string::npos);

    // A redirect goes back through the proxy, at the port it was given with.
    client.URL = "http://example.invalid/dir/page.html";
    body.Clear();
    Fetch(client);
    EXPECT_EQ(Bytes(body), "next page");
    EXPECT_EQ(client.Location, "http://example.invalid/dir/next.html");

    // A proxy of only a host takes ProxyPort.
    client.Proxy = "127.0.0.1";
    client.ProxyPort = std::to_string(server.Port());
    EXPECT_EQ(Echo("http://example.invalid/c").substr(0, 36), "GET http://example.invalid/c HTTP/1.");
}

TEST_F(Http, NothingATitleSetsAddsLinesToTheRequest) {
    // The path's controls, spaces and bytes from 0x7F up are escaped; escapes already there and a
    // Shift-JIS character's ASCII trail byte stay as written.
    const auto firstLine = [](const std::string& Seen) { return Seen.substr(0, Seen.find("\r\n")); };
    const std::string injected = Echo(server.Url("/x\r\nSET pwned 1"));
    EXPECT_EQ(firstLine(injected), "GET /x%0D%0ASET%20pwned%201 HTTP/1.0");
    EXPECT_EQ(injected.find("\r\nSET"), std::string::npos);
    EXPECT_EQ(firstLine(Echo(server.Url("/a%20b/日本?q=ソ\x7F\t"))), "GET /a%20b/%93%FA%96{?q=%83\\%7F%09 HTTP/1.0");

    // A host name or port that could not stand in the request ends it before it is looked up.
    const std::string port = std::to_string(server.Port());
    for (const std::string& url : {"http://127.0.0.1 x:" + port + "/", "http://127.0.0.1\r\nX:" + port + "/",
                                   "http://127.0.0.1:" + port + "\r\n/", std::string("http://ホスト/")}) {
        SCOPED_TRACE(url);
        body.Clear();
        client.URL = url;
        EXPECT_EQ(ErrorOf([&] { client.Get(); }), "HTTP host name holds a character no host name can hold");
        EXPECT_EQ(client.StatusCode, 404);
        EXPECT_EQ(body.Size(), 0);
    }

    // A header line with a line break is refused before anything is sent, and the next request
    // carries nothing of it.
    const std::pair<std::string THttpClient::*, const char*> fields[] = {
        {&THttpClient::Sender, "a\nb"}, {&THttpClient::Agent, "ua\r\nSET pwned 1"},
        {&THttpClient::Cookie, "c=1\r"}, {&THttpClient::ContentRangeEnd, "9\r\nX: y"}};
    for (const auto& [field, value] : fields) {
        SCOPED_TRACE(value);
        client.*field = value;
        body.Clear();
        client.URL = server.Url("/h");
        Fetch(client);
        EXPECT_EQ(client.StatusCode, 404);
        EXPECT_EQ(client.ReasonPhrase, "HTTP header line holds a line break");
        EXPECT_EQ(body.Size(), 0);
        client.*field = "";
    }
    EXPECT_TRUE(Echo(server.Url("/after")).starts_with("GET /after HTTP/1.0\r\nAccept: ")) << Bytes(body);
}

TEST_F(Http, AnswersOfTheServer) {
    client.URL = server.Url("/dir/page.html");
    Fetch(client);
    EXPECT_EQ(Bytes(body), "next page");
    EXPECT_EQ(client.Location, server.Url("/dir/next.html"));

    client.URL = server.Url("/404");
    body.Clear();
    try {
        client.Get();
        ADD_FAILURE() << "no error";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.ErrorCode, 404);
        EXPECT_STREQ(e.what(), "Not Found");
    }

    client.URL = server.Url("/html");
    body.Clear();
    Fetch(client);
    EXPECT_EQ(Bytes(body), "<html>no header</html>");
    EXPECT_EQ(client.ContentType, "text/html");

    // The server keeps the connection; the request ends with the header all the same.
    client.URL = server.Url("/zero-length");
    client.Timeout = 60000;
    body.Clear();
    EXPECT_LT(Fetch(client), 10000u);
    EXPECT_EQ(client.StatusCode, 200);
    EXPECT_EQ(body.Size(), 0);

    // Nobody listens: the socket's error text.
    client.URL = "http://127.0.0.1:1/";
    Fetch(client);
    EXPECT_EQ(client.StatusCode, 404);
    EXPECT_EQ(client.ReasonPhrase, "Connection refused (Error #10061)");
}

TEST_F(Http, EveryHostileAnswerEndsWithinBounds) {
    struct Case {
        const char* path;
        int32_t status;
        const char* reason;
        std::string body;
    };
    const Case cases[] = {
        {"/truncated-header", 200, "OK", ""},
        {"/truncated-body", 200, "OK", "abc"},
        {"/long-line", 404, "HTTP line too long", ""},
        {"/endless-headers", 404, "HTTP header too large", ""},
        {"/endless-body", 404, "HTTP document too large", ""},
        {"/slow-drip", 200, "OK", "slow"},
        {"/silent", 404, "HTTP request timed out", ""},
        {"/redirect-loop", 404, "too many redirections", ""},
        {"/bad-status", 404, "'2x0' is not a valid integer value", ""},
        {"/bad-length", 404, "'ten' is not a valid integer value", ""},
        {"/euc", 200, "OK", "\xC6\xFC\xCB\xDC\xB8\xEC\r\n\xA4\xAB\xA4\xCA \x8E\xB6\x8E\xC5"},
        {"/500", 500, "Internal Server Error", "broken"},
    };
    client.MaxHeaderSize = 64 << 10;
    client.MaxBodySize = 1 << 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        body.Clear();
        client.URL = server.Url(c.path);
        EXPECT_LT(Fetch(client), 10000u);
        EXPECT_EQ(client.GetState(), hsReady);
        EXPECT_EQ(client.StatusCode, c.status);
        EXPECT_EQ(client.ReasonPhrase, c.reason);
        if (c.status != 404) {
            EXPECT_EQ(Bytes(body), c.body);
        }
        EXPECT_LE(body.Size(), client.MaxBodySize);
    }
}

// Large bodies arrive whole wherever they go: into a memory stream, in the room it is given for
// their length and past it when a body runs longer than its Content-Length said, or only to the
// handler that sees each piece.
TEST_F(Http, LargeBodiesArriveWhole) {
    constexpr size_t size = 3000000;
    std::string sent(size, '\0');
    for (size_t i = 0; i < size; ++i) sent[i] = char(i);
    std::string seen;
    client.OnDocData = [&](THttpClient*, const char* Data, int32_t Len) { seen.append(Data, size_t(Len)); };
    for (const char* path : {"/big/", "/overlong/"}) {
        SCOPED_TRACE(path);
        body.Clear();
        seen.clear();
        client.URL = server.Url(path + std::to_string(size));
        Fetch(client);
        EXPECT_EQ(client.StatusCode, 200);
        EXPECT_EQ(client.RcvdCount, int64_t(size));
        EXPECT_TRUE(Bytes(body) == sent);
        EXPECT_TRUE(seen == sent);
    }
    client.RcvdStream = nullptr;
    seen.clear();
    client.URL = server.Url("/big/" + std::to_string(size));
    Fetch(client);
    EXPECT_EQ(client.RcvdCount, int64_t(size));
    EXPECT_TRUE(seen == sent);
}

TEST(HttpUrl, Parts) {
    TUrlParts p;
    ParseURL("http://u:p@host:81/a/b?c", p);
    EXPECT_EQ(p.Proto + "|" + p.User + "|" + p.Pass + "|" + p.Host + "|" + p.Port + "|" + p.Path, "http|u|p|host|81|/a/b?c");
    ParseURL("ftp://host?q", p);
    EXPECT_EQ(p.Proto + "|" + p.Host + "|" + p.Path, "ftp|host|?q");
    ParseURL("//host/x", p);
    EXPECT_EQ(p.Proto + "|" + p.Host + "|" + p.Path, "http|host|/x");
    ParseURL("/only/path", p);
    EXPECT_EQ(p.Host + "|" + p.Path, "|/only/path");
    ParseURL("HTTP:rel.html", p);
    EXPECT_EQ(p.Proto + "|" + p.Path, "http|rel.html");
    EXPECT_EQ(Base64Encode("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

}  // namespace
