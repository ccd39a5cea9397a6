#pragma once
// The main thread's message queue: messages posted to targets from any thread, timers, and
// waits that keep the queue moving. A target is a handler the main thread registers; a message
// whose target has gone by the time it is dispatched is dropped, so a target may post itself a
// message that frees it.
//
// The main loop pumps the queue once per pass; code that waits on the main thread (a socket
// flushing its data, a synchronous wait) pumps it too, between waits that end as soon as a
// message is posted, a timer falls due or a watched descriptor (a socket) is ready.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

using TargetId = uint64_t;

struct QueuedMessage {
    TargetId target = 0;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// The message a timer posts to its target (wParam: the timer's id).
inline constexpr uint32_t TimerMessage = 0x0113;

// A descriptor a wait watches, for reading and/or writing.
struct WatchedDescriptor {
    int fd;
    bool read, write;
};

// Something besides posted messages that a wait watches, and that turns its own readiness into
// posted messages when the queue is pumped (the socket service).
class WaitSource {
public:
    virtual ~WaitSource() = default;
    // Adds the descriptors a wait watches.
    virtual void Watch(std::vector<WatchedDescriptor>& Descriptors) = 0;
    // Posts the messages for whatever is ready now; never blocks.
    virtual void Poll() = 0;
};

class MessageQueue {
public:
    using Handler = std::function<void(const QueuedMessage&)>;

    MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;
    ~MessageQueue();

    // Main thread: a new target with its handler; its id is never given again.
    TargetId AddTarget(Handler H);
    // Main thread: the target goes with its timers; messages still queued for it are dropped.
    void RemoveTarget(TargetId Target);
    bool HasTarget(TargetId Target) const;

    // Any thread.
    void Post(TargetId Target, uint32_t Message, uintptr_t WParam = 0, intptr_t LParam = 0);
    // Any thread: drops the queued messages of Target with this message and wParam (the
    // notifications of a socket that has been closed).
    void DropMessages(TargetId Target, uint32_t Message, uintptr_t WParam);
    // Main thread: takes the queued messages Which picks out of the queue, in their order.
    std::vector<QueuedMessage> TakeMessages(const std::function<bool(const QueuedMessage&)>& Which);
    // Main thread: Target gets TimerMessage with Id every IntervalMs (at least 1), first after
    // one interval; setting an existing timer again restarts it.
    void SetTimer(TargetId Target, uintptr_t Id, uint32_t IntervalMs);
    void KillTimer(TargetId Target, uintptr_t Id);

    // Main thread: polls the wait sources, then dispatches the messages posted before the call
    // (those posted meanwhile wait for the next pump, so a target that posts itself a message
    // per call cannot hold the pump) and the timers due; whether any ran. Handlers may pump
    // again.
    bool ProcessMessages();
    // Main thread: blocks until a message is posted, a timer falls due, a wait source's
    // descriptor is ready or TimeoutMs have passed; returns at once when messages wait.
    void Wait(uint32_t TimeoutMs);

    // Called on the posting thread after each post, so that a main loop waiting for window
    // events wakes up to pump. Set before the first post.
    std::function<void()> OnPosted;

    // Main thread.
    void AddWaitSource(WaitSource* Source);
    void RemoveWaitSource(WaitSource* Source);

    // Any thread: the program is ending; waits that pump give up.
    void PostQuit();
    bool QuitPosted() const;
    // Main thread: clears the quit flag (tests, a new run).
    void ResetQuit();

private:
    struct Timer {
        uint32_t interval, due;
    };
    void Wake();
    bool Dispatch(const QueuedMessage& M);
    bool RunTimers();
    // Milliseconds until the next timer falls due; Limit when none is sooner.
    uint32_t TimeToNextTimer(uint32_t Limit) const;

    mutable std::mutex mutex_;
    std::deque<std::pair<uint64_t, QueuedMessage>> messages_;
    uint64_t posted_ = 0;
    std::map<TargetId, std::shared_ptr<Handler>> targets_;
    TargetId nextTarget_ = 1;
    std::map<std::pair<TargetId, uintptr_t>, Timer> timers_;
    std::vector<WaitSource*> sources_;
    bool quit_ = false;
    int wakeFd_ = -1;
};

// The queue of the player's main thread, made on first use.
MessageQueue& MainQueue();

}  // namespace platform
