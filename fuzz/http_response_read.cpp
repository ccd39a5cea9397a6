// HTTP responses from arbitrary bytes, read by the HTTP client through a fake socket that hands
// them out in pieces (the piece size follows the input's length) and then closes. Every input
// ends the request within a bounded number of reads and closes, redirects included; the body
// kept never passes the client's bound and is what the client counted.
// Seed corpus: tests/tools/hostile_http.py corpus fuzz/corpus/http_response_read, and one
// answer of python's http.server.
#include "fuzz/harness.h"
#include "net/httpcli.h"

#include <algorithm>
#include <cstring>

namespace {

using fuzz::Check;

class TFakeSocketClient : public THttpClient {
public:
    TFakeSocketClient(const uint8_t* Data, size_t Size) : data_(Data), left_(Size), piece_(Size % 97 + 1) {}

    // One read of the connection, or its close once the input is used up; false when neither
    // remains.
    bool Step() {
        if (!connected_) return false;
        if (left_ > 0) {
            SocketDataAvailable(0);
            return true;
        }
        connected_ = false;
        if (CtrlSocket.OnSessionClosed) CtrlSocket.OnSessionClosed(&CtrlSocket, 0);
        return true;
    }

protected:
    void DoRequestConnect() override {
        connected_ = true;
        SocketSessionConnected(0);
    }
    int32_t ReceiveSome(void* Buffer, int32_t Len) override {
        const size_t n = std::min({left_, piece_, size_t(Len)});
        std::memcpy(Buffer, data_, n);
        data_ += n;
        left_ -= n;
        return int32_t(n);
    }
    void SendRaw(const std::string&) override {}
    void CloseConnection() override {
        if (!connected_) return;
        connected_ = false;
        if (CtrlSocket.OnSessionClosed) CtrlSocket.OnSessionClosed(&CtrlSocket, 0);
    }

private:
    const uint8_t* data_;
    size_t left_, piece_;
    bool connected_ = false;
};

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream body;
    {
        TFakeSocketClient client(Data, Size);
        client.RcvdStream = &body;
        client.MaxHeaderSize = 4096;
        client.MaxBodySize = 16384;
        client.MaxRedirects = 3;
        client.URL = "http://127.0.0.1/dir/page.html";
        client.RequestAsync(httpGET);
        for (size_t i = 0; i < Size + 64 && client.GetState() != hsReady; ++i) {
            client.Step();
            platform::MainQueue().ProcessMessages();
        }
        Check(client.GetState() == hsReady);
        Check(body.Size() == client.RcvdCount && client.RcvdCount <= client.MaxBodySize);
    }
    platform::MainQueue().ProcessMessages();
    return 0;
}
