// The SOCKS handshake from arbitrary server bytes, read through a socket whose network is the
// input. The first byte picks the handshake (SOCKS 5, SOCKS 5 with user and password, SOCKS 4,
// SOCKS 4A), the second the most bytes one read returns (0: any number); the rest is what the
// SOCKS server sends. Whatever it sends, the handshake either still waits for more, or has
// failed (one SOCKS error, then one connected event with that code, and the socket closed), or
// has succeeded (one connected event with 0) with every byte after the final reply offered to
// the application.
// Seed corpus: tests/tools/make_socks_corpus.py fuzz/corpus/socks_reply_read
#include "fuzz/harness.h"
#include "net/asyncsock.h"

#include <algorithm>

namespace {

using fuzz::Check;

class TFakeSocksSocket : public TAsyncSocket {
public:
    TFakeSocksSocket(const uint8_t* Data, size_t Size) : input_(reinterpret_cast<const char*>(Data), Size) {}

    void Run() {
        static const char* const levels[] = {"5", "5", "4", "4A"};
        const uint8_t kind = input_.empty() ? 0 : static_cast<uint8_t>(input_[0]) % 4;
        chunk_ = input_.size() < 2 ? 0 : static_cast<uint8_t>(input_[1]);
        pos_ = std::min<size_t>(2, input_.size());
        SetSocksLevel(levels[kind]);
        if (kind == 1) {
            SocksAuthentication = socksAuthenticateUsercode;
            SocksUsercode = "user";
            SocksPassword = "secret";
        }
        socksTargetAddr_ = "localhost";
        socksTargetIp_ = 0x7F000001;
        socksTargetPort_ = 80;
        // A socket of the host that never connects stands for the connection to the server.
        hSocket_ = platform::OpenSocket(platform::SocketKind::Stream, 6);
        Check(hSocket_ != INVALID_SOCKET);
        state_ = wsConnected;
        socksStep_ = ssServerConnect;
        OnSessionConnected = [this](TCustomAsyncSocket*, uint16_t E) { connected_.push_back(E); };
        OnSocksError = [this](TCustomAsyncSocket*, int32_t E, const std::string&) { socksErrors_.push_back(E); };
        OnDataAvailable = [this](TCustomAsyncSocket* S, uint16_t) {
            char buffer[64];
            const int32_t got = S->Receive(buffer, sizeof buffer);
            if (got > 0) offered_.append(buffer, static_cast<size_t>(got));
        };
        TriggerSessionConnected(0);
        Check(sent_.size() >= 3 && (sent_[0] == 5 || sent_[0] == 4));
        // One read event for each pass: each takes at least one byte or ends the connection.
        while (GetState() == wsConnected && pos_ < input_.size()) Do_FD_READ(0);
        CheckOutcome();
    }

protected:
    int32_t DoRecv(void* Buffer, int32_t BufferSize, int32_t) override {
        const size_t left = input_.size() - pos_;
        if (left == 0) {
            platform::SetSocketLastError(platform::WSAEWOULDBLOCK);
            return -1;
        }
        size_t count = std::min(left, static_cast<size_t>(std::max(BufferSize, 0)));
        if (chunk_ > 0) count = std::min<size_t>(count, chunk_);
        std::copy_n(input_.data() + pos_, count, static_cast<char*>(Buffer));
        pos_ += count;
        received_ += static_cast<int64_t>(count);
        return static_cast<int32_t>(count);
    }
    int32_t RealSend(const void* Data, int32_t Len) override {
        sent_.append(static_cast<const char*>(Data), static_cast<size_t>(Len));
        return Len;
    }

private:
    void CheckOutcome() {
        if (SocksActive()) {
            Check(connected_.empty() && socksErrors_.empty());
            return;
        }
        Check(connected_.size() == 1);
        if (connected_[0] != 0) {
            Check(socksErrors_.size() == 1 && socksErrors_[0] == connected_[0]);
            Check(GetState() == wsClosed);
            return;
        }
        Check(socksErrors_.empty() && GetState() == wsConnected);
        Check(offered_.size() <= input_.size() && pos_ == input_.size());
        Check(input_.compare(input_.size() - offered_.size(), offered_.size(), offered_) == 0);
        Close();
    }

    std::string input_, sent_, offered_;
    size_t pos_ = 0, chunk_ = 0;
    std::vector<uint16_t> connected_;
    std::vector<int32_t> socksErrors_;
};

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    {
        TFakeSocksSocket socket(Data, Size);
        socket.Run();
    }
    // The notifications the sends posted go with their target.
    platform::MainQueue().ProcessMessages();
    return 0;
}
