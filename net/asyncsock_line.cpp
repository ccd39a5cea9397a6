// Line mode, which hands received data to the application a line at a time, and the
// synchronous wait.
#include "net/asyncsock.h"

#include "platform/clock.h"

#include <algorithm>

using namespace platform;

namespace {

constexpr int32_t ReadChunk = 4096;
constexpr char Backspace = 8, Tab = 9;
// How long one wait of WaitUntilReady sleeps at most when no time-out is set.
constexpr uint32_t IdleWaitMs = 1000;

}  // namespace

// ---- Line mode ----

void TCustomLineSocket::SetLineMode(bool Value) {
    if (Value == lineMode_) return;
    lineMode_ = Value;
    lineLength_ = 0;
    if (!rcvdBuf_.empty()) MainQueue().Post(Target(), WM_TRIGGER_DATA_AVAILABLE);
}

void TCustomLineSocket::WndProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
    if (Msg != WM_TRIGGER_DATA_AVAILABLE) return TCustomSocksSocket::WndProc(Msg, WParam, LParam);
    if (rcvdBuf_.empty()) return;
    if (lineMode_)
        OfferLines(0);
    else
        TCustomAsyncSocket::TriggerDataAvailable(0);
}

void TCustomLineSocket::EditLine(const char* Data, int32_t Len) {
    for (int32_t i = 0; i < Len; ++i) {
        const char c = Data[i];
        const size_t lineStart = rcvdBuf_.rfind('\n') == std::string::npos ? 0 : rcvdBuf_.rfind('\n') + 1;
        if (LineEdit && c == Backspace) {
            if (rcvdBuf_.size() > lineStart) rcvdBuf_.pop_back();
        } else if (LineEdit && c == Tab) {
            rcvdBuf_.append(8 - (rcvdBuf_.size() - lineStart) % 8, ' ');
        } else {
            rcvdBuf_ += c;
        }
    }
}

bool TCustomLineSocket::TriggerDataAvailable(uint16_t Error) {
    if (!lineMode_ || SocksActive()) return TCustomSocksSocket::TriggerDataAvailable(Error);
    char chunk[ReadChunk];
    for (;;) {
        const int32_t got = TCustomSocksSocket::Receive(chunk, ReadChunk);
        if (got <= 0) break;
        if (LineEcho && state_ == wsConnected) Send(chunk, got);
        EditLine(chunk, got);
        if (static_cast<int32_t>(rcvdBuf_.size()) > LineLimit) break;  // offered (or refused) before reading more
    }
    OfferLines(Error);
    return true;
}

bool TCustomLineSocket::FindLine() {
    if (LineEnd.empty()) return false;
    const size_t end = rcvdBuf_.find(LineEnd);
    if (end == std::string::npos) return false;
    lineLength_ = static_cast<int32_t>(end + LineEnd.size());
    return true;
}

void TCustomLineSocket::HandLine(uint16_t Error) {
    TCustomAsyncSocket::TriggerDataAvailable(Error);
    // What the application left of the line is not offered again.
    rcvdBuf_.erase(0, static_cast<size_t>(std::min<int32_t>(lineLength_, static_cast<int32_t>(rcvdBuf_.size()))));
    lineLength_ = 0;
}

void TCustomLineSocket::OfferLines(uint16_t Error) {
    while (lineMode_ && FindLine()) {
        HandLine(Error);
        if (hSocket_ == INVALID_SOCKET && rcvdBuf_.empty()) return;
    }
    if (!lineMode_ || static_cast<int32_t>(rcvdBuf_.size()) <= LineLimit) return;
    bool clear = true;
    TriggerLineTooLong(static_cast<int32_t>(rcvdBuf_.size()), clear);
    if (clear) rcvdBuf_.clear();
}

void TCustomLineSocket::TriggerLineTooLong(int32_t Length, bool& Clear) {
    if (OnLineTooLong) OnLineTooLong(this, Length, Clear);
}

void TCustomLineSocket::TriggerSessionClosed(uint16_t Error) {
    if (lineMode_ && !rcvdBuf_.empty()) {
        OfferLines(Error);
        if (!rcvdBuf_.empty()) {
            lineLength_ = static_cast<int32_t>(rcvdBuf_.size());
            HandLine(Error);
        }
    }
    rcvdBuf_.clear();
    rcvdBuf_.shrink_to_fit();
    lineLength_ = 0;
    TCustomSocksSocket::TriggerSessionClosed(Error);
}

int32_t TCustomLineSocket::Receive(void* Buffer, int32_t BufferSize) {
    if (lineMode_) {
        const int32_t count = std::clamp(lineLength_, 0, std::max(BufferSize, 0));
        std::copy_n(rcvdBuf_.data(), count, static_cast<char*>(Buffer));
        rcvdBuf_.erase(0, static_cast<size_t>(count));
        lineLength_ -= count;
        return count;
    }
    if (rcvdBuf_.empty()) return TCustomSocksSocket::Receive(Buffer, BufferSize);
    // Data buffered while line mode was on comes first.
    const auto count = static_cast<int32_t>(std::min<size_t>(rcvdBuf_.size(), static_cast<size_t>(std::max(BufferSize, 0))));
    std::copy_n(rcvdBuf_.data(), count, static_cast<char*>(Buffer));
    rcvdBuf_.erase(0, static_cast<size_t>(count));
    return count;
}

int32_t TCustomLineSocket::GetRcvdCount() {
    if (lineMode_) return lineLength_;
    if (!rcvdBuf_.empty()) return static_cast<int32_t>(rcvdBuf_.size());
    return TCustomSocksSocket::GetRcvdCount();
}

// ---- The synchronous wait ----

int32_t TCustomSyncSocket::WaitUntilReady(bool& Done) {
    const uint32_t start = ClockMs();
    while (!Done) {
        const uint32_t elapsed = ClockMs() - start;
        if ((Timeout > 0 && elapsed >= Timeout) || MainQueue().QuitPosted() || Terminated())
            return WSA_WAIT_TIMEOUT_ANSWER;
        ProcessMessages();
        if (Done) break;
        MainQueue().Wait(Timeout > 0 ? Timeout - std::min(Timeout, ClockMs() - start) : IdleWaitMs);
    }
    return 0;
}

int32_t TCustomSyncSocket::Synchronize(const std::function<void()>& Proc, bool& Done) {
    Done = false;
    if (Proc) Proc();
    return WaitUntilReady(Done);
}
