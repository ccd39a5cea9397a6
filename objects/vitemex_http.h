#pragma once
// The HTTP object (TVelaHttp): fetches one document at a time without stopping the player.
// Setting Source starts a GET on a worker thread (THttpThread); when it has ended, succeeded or
// not, the object raises OnPlayEnd. Text is the body converted from EUC-JP to Shift-JIS, its
// lines joined by the character 0x01. A Source "!name" fetches the URL held in the data stream
// of the object named (another HTTP object's body).
//
// The client lives on the main thread, which runs all its network work; the worker only waits.
// The body is handed over when the request ends: until then Text and the data stream are empty.
#include "core/streams.h"
#include "net/httpcli.h"
#include "objects/vitems.h"
#include "platform/msgqueue.h"

#include <cstdint>
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

class TVelaHttp : public TVelaComponent {
public:
    explicit TVelaHttp(TVelaBaseList* AOwner, bool UniqueName = true);
    // A running request is aborted, then its worker waited for.
    ~TVelaHttp() override;
    uint8_t GetCompoType() const override { return LT_HTTP; }

    std::string GetSource() const override { return Client.URL; }
    // Starts a request; ignored while one runs.
    void SetSource(const std::string& S) override;
    std::string GetText() const override;
    std::string GetOnplayend() const override { return OnPlayEnd; }
    void SetOnplayend(const std::string& S) override { OnPlayEnd = S; }
    TStream* GetDataStream() override { return &Data; }

    bool Running() const { return Worker != nullptr; }
    // The client, for its bounds and its proxy.
    THttpClient& GetClient() { return Client; }

private:
    void Complete();

    THttpClient Client;
    mutable TMemoryStream Data;  // the last body, handed over at completion
    TMemoryStream Received;      // the client's receive stream while a request runs
    std::string OnPlayEnd;
    platform::TargetId Target = 0;
    std::unique_ptr<THttpThread> Worker;
};
