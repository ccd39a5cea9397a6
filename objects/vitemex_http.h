#pragma once
// The HTTP object (TVelaHttp): fetches one document at a time without stopping the player.
// Setting Source queues a GET, run on a worker thread (THttpThread) when its turn comes; when it
// has ended, succeeded or not, the object raises OnPlayEnd. Text is the body converted from EUC-JP to Shift-JIS, its
// lines joined by the character 0x01. A Source "!name" fetches the URL held in the data stream
// of the object named (another HTTP object's body).
//
// The client lives on the main thread, which runs all its network work; the worker only waits.
// The body is handed over when the request ends: until then Text and the data stream are empty.
//
// The title's requests take turns (THttpQueue): a few run at once, the others wait for a place
// in the order their sources were set, without a worker or a socket; a request's time-out
// counts from its start.
#include "core/streams.h"
#include "net/httpcli.h"
#include "objects/vitems.h"
#include "platform/msgqueue.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>

// The worker of one request: runs the client's blocking GET, swallowing its errors, then posts
// the completion to its object's target.
class THttpThread {
public:
    THttpThread(THttpClient& AClient, platform::TargetId ACompletion);
    // Waits for the worker.
    ~THttpThread();
    THttpThread(const THttpThread&) = delete;
    THttpThread& operator=(const THttpThread&) = delete;

    // The message posted to the completion target when the worker ends.
    static constexpr uint32_t Completed = 0x0400 + 100;

private:
    void Execute();
    THttpClient& Client;
    platform::TargetId Completion;
    std::thread Thread;
};

class TVelaHttp;

// The turns of the title's HTTP requests: at most InFlight run at once (about as many
// connections as a browser opens to one host), each with its worker and its socket; the others
// wait, holding neither, and take the places that free up in the order they came. A request
// whose object has been deleted meanwhile leaves without ever starting.
class THttpQueue {
public:
    static constexpr size_t InFlight = 6;
    // The one queue of the title.
    static THttpQueue& Title();
    // Http's request starts now when a place is free, else waits for one.
    void Add(TVelaHttp& Http);
    // Http's request has ended, or Http is going: one still waiting leaves, a running one's place
    // goes to the first in line.
    void Remove(TVelaHttp& Http);

private:
    void Start(TVelaHttp& Http);

    std::list<TVelaHttp*> waiting_;
    size_t running_ = 0;
};

class TVelaHttp : public TVelaComponent {
public:
    explicit TVelaHttp(TVelaBaseList* AOwner, bool UniqueName = true);
    // A running request is aborted, then its worker waited for; a waiting one leaves its queue.
    ~TVelaHttp() override;
    uint8_t GetCompoType() const override { return LT_HTTP; }

    std::string GetSource() const override { return Client.URL; }
    // Queues a request; ignored while one waits or runs.
    void SetSource(const std::string& S) override;
    std::string GetText() const override;
    std::string GetOnplayend() const override { return OnPlayEnd; }
    void SetOnplayend(const std::string& S) override { OnPlayEnd = S; }
    TStream* GetDataStream() override { return &Data; }

    // Whether a request waits or runs.
    bool Running() const { return Turn != TTurn::Idle; }
    // The client, for its bounds and its proxy.
    THttpClient& GetClient() { return Client; }

private:
    friend class THttpQueue;
    enum class TTurn : uint8_t { Idle, Waiting, InFlight };

    // The queue gave the request its place: its worker starts.
    void StartWorker();
    void Complete();

    THttpClient Client;
    mutable TMemoryStream Data;  // the last body, handed over at completion
    TMemoryStream Received;      // the client's receive stream while a request runs
    std::string OnPlayEnd;
    platform::TargetId Target = 0;
    std::unique_ptr<THttpThread> Worker;
    TTurn Turn = TTurn::Idle;
    std::list<TVelaHttp*>::iterator Place;  // in the queue, while Waiting
};
