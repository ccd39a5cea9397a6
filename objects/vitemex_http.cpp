// The HTTP object: the title's queue of requests, starting a request, its worker, the
// completion on the main thread, the text.
#include "objects/vitemex_http.h"

#include "core/membudget.h"
#include "net/jconvert.h"
#include "script/services.h"

#include <system_error>
#include <utility>

// ---- The queue ----

THttpQueue& THttpQueue::Title() {
    static THttpQueue queue;
    return queue;
}

void THttpQueue::Add(TVelaHttp& Http) {
    if (running_ < InFlight) return Start(Http);
    Http.Place = waiting_.insert(waiting_.end(), &Http);
    Http.Turn = TVelaHttp::TTurn::Waiting;
}

void THttpQueue::Remove(TVelaHttp& Http) {
    const TVelaHttp::TTurn turn = std::exchange(Http.Turn, TVelaHttp::TTurn::Idle);
    if (turn == TVelaHttp::TTurn::Waiting) waiting_.erase(Http.Place);
    if (turn != TVelaHttp::TTurn::InFlight) return;
    --running_;
    while (!waiting_.empty()) {
        TVelaHttp& next = *waiting_.front();
        waiting_.pop_front();
        next.Turn = TVelaHttp::TTurn::Idle;
        if (!next.IsDeleted()) return Start(next);
    }
}

void THttpQueue::Start(TVelaHttp& Http) {
    ++running_;
    Http.Turn = TVelaHttp::TTurn::InFlight;
    Http.StartWorker();
}

// ---- The worker ----

THttpThread::THttpThread(THttpClient& AClient, platform::TargetId ACompletion)
    : Client(AClient), Completion(ACompletion), Thread([this] { Execute(); }) {}

THttpThread::~THttpThread() {
    if (Thread.joinable()) Thread.join();
}

void THttpThread::Execute() {
    try {
        Client.Get();
    } catch (...) {
        // A failed request ends like a finished one; the script tells them apart by the text.
    }
    platform::MainQueue().Post(Completion, Completed);
}

// ---- The object ----

TVelaHttp::TVelaHttp(TVelaBaseList* AOwner, bool UniqueName) : TVelaComponent(AOwner, UniqueName) {
    Client.SetMultiThreaded(true);
    Target = platform::MainQueue().AddTarget([this](const platform::QueuedMessage& M) {
        if (M.message == THttpThread::Completed) Complete();
    });
}

TVelaHttp::~TVelaHttp() {
    // The worker may not have handed its request over yet: the client refuses it from now on.
    Client.Shutdown();
    Worker.reset();
    THttpQueue::Title().Remove(*this);
    platform::MainQueue().RemoveTarget(Target);
}

void TVelaHttp::SetSource(const std::string& S) {
    if (Running()) return;
    Data.Clear();
    if (S.empty() || S[0] != '!') {
        Client.URL = S;
    } else {
        Client.URL.clear();
        TVelaObject* other = Owner ? Owner->FindObject(S.substr(1)) : nullptr;
        if (TStream* stream = other ? other->GetDataStream() : nullptr) {
            std::string url(size_t(stream->Size()), '\0');
            stream->SetPosition(0);
            stream->ReadBuffer(url.data(), int64_t(url.size()));
            Client.URL = url;
        }
    }
    Received.Clear();
    Client.RcvdStream = &Received;
    THttpQueue::Title().Add(*this);
}

// A worker that cannot be made ends its request, failed, without having connected: the queue
// may start one while an object goes, where nothing may be raised. A refusal of the title's
// memory still ends the player at the end of the tick.
void TVelaHttp::StartWorker() {
    const auto fail = [this](const std::string& Reason) {
        Client.StatusCode = 404;
        Client.ReasonPhrase = Reason;
        platform::MainQueue().Post(Target, THttpThread::Completed);
    };
    try {
        Worker = std::make_unique<THttpThread>(Client, Target);
    } catch (const std::system_error&) {
        fail("HTTP request could not start: the system has no thread to spare");
    } catch (const std::exception& E) {
        fail(ErrorText(E));
    }
}

void TVelaHttp::Complete() {
    Worker.reset();
    THttpQueue::Title().Remove(*this);
    Client.RcvdStream = nullptr;
    Data.TakeFrom(Received);
    if (!Terminating() && !OnPlayEnd.empty() && Owner) Owner->GetEvents().Add(this, OnPlayEnd, nullptr, PR_ONPLAYEND);
}

std::string TVelaHttp::GetText() const {
    const std::string body =
        EucToSjis(std::string_view(reinterpret_cast<const char*>(Data.Memory()), size_t(Data.Size())));
    // Lines end at CR, LF or CR LF; a last line end adds no line.
    std::string text;
    for (size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c != '\r' && c != '\n') {
            text += c;
            continue;
        }
        if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ++i;
        if (i + 1 < body.size()) text += '\x01';
    }
    return text;
}
