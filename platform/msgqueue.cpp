#include "platform/msgqueue.h"

#include "platform/clock.h"

#include <algorithm>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

MessageQueue::MessageQueue() : wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

MessageQueue::~MessageQueue() {
    if (wakeFd_ >= 0) close(wakeFd_);
}

TargetId MessageQueue::AddTarget(Handler H) {
    std::lock_guard lock(mutex_);
    const TargetId id = nextTarget_++;
    targets_.emplace(id, std::make_shared<Handler>(std::move(H)));
    return id;
}

void MessageQueue::RemoveTarget(TargetId Target) {
    std::lock_guard lock(mutex_);
    targets_.erase(Target);
    std::erase_if(timers_, [&](const auto& T) { return T.first.first == Target; });
}

bool MessageQueue::HasTarget(TargetId Target) const {
    std::lock_guard lock(mutex_);
    return targets_.count(Target) != 0;
}

void MessageQueue::Post(TargetId Target, uint32_t Message, uintptr_t WParam, intptr_t LParam) {
    {
        std::lock_guard lock(mutex_);
        messages_.emplace_back(++posted_, QueuedMessage{Target, Message, WParam, LParam});
    }
    Wake();
}

void MessageQueue::DropMessages(TargetId Target, uint32_t Message, uintptr_t WParam) {
    std::lock_guard lock(mutex_);
    std::erase_if(messages_, [&](const auto& Entry) {
        const QueuedMessage& m = Entry.second;
        return m.target == Target && m.message == Message && m.wParam == WParam;
    });
}

std::vector<QueuedMessage> MessageQueue::TakeMessages(const std::function<bool(const QueuedMessage&)>& Which) {
    std::vector<QueuedMessage> taken;
    std::lock_guard lock(mutex_);
    std::erase_if(messages_, [&](const auto& Entry) {
        if (!Which(Entry.second)) return false;
        taken.push_back(Entry.second);
        return true;
    });
    return taken;
}

void MessageQueue::SetTimer(TargetId Target, uintptr_t Id, uint32_t IntervalMs) {
    const uint32_t interval = std::max<uint32_t>(1, IntervalMs);
    std::lock_guard lock(mutex_);
    timers_[{Target, Id}] = Timer{interval, ClockMs() + interval};
}

void MessageQueue::KillTimer(TargetId Target, uintptr_t Id) {
    std::lock_guard lock(mutex_);
    timers_.erase({Target, Id});
}

void MessageQueue::Wake() {
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
    }
    if (OnPosted) OnPosted();
}

bool MessageQueue::Dispatch(const QueuedMessage& M) {
    std::shared_ptr<Handler> handler;
    {
        std::lock_guard lock(mutex_);
        auto it = targets_.find(M.target);
        if (it == targets_.end()) return false;
        // Held while it runs: the handler may remove its own target.
        handler = it->second;
    }
    (*handler)(M);
    return true;
}

bool MessageQueue::RunTimers() {
    std::vector<QueuedMessage> due;
    {
        std::lock_guard lock(mutex_);
        const uint32_t now = ClockMs();
        for (auto& [key, timer] : timers_) {
            if (static_cast<int32_t>(now - timer.due) < 0) continue;
            due.push_back({key.first, TimerMessage, key.second, 0});
            timer.due = now + timer.interval;
        }
    }
    bool ran = false;
    for (const QueuedMessage& M : due) ran |= Dispatch(M);
    return ran;
}

uint32_t MessageQueue::TimeToNextTimer(uint32_t Limit) const {
    const uint32_t now = ClockMs();
    for (const auto& entry : timers_) {
        const int32_t left = static_cast<int32_t>(entry.second.due - now);
        Limit = std::min<uint32_t>(Limit, left < 0 ? 0 : static_cast<uint32_t>(left));
    }
    return Limit;
}

bool MessageQueue::ProcessMessages() {
    std::vector<WaitSource*> sources;
    uint64_t last;
    {
        std::lock_guard lock(mutex_);
        sources = sources_;
    }
    for (WaitSource* source : sources) source->Poll();
    {
        std::lock_guard lock(mutex_);
        last = posted_;
    }
    bool ran = false;
    for (;;) {
        QueuedMessage message;
        {
            std::lock_guard lock(mutex_);
            if (messages_.empty() || messages_.front().first > last) break;
            message = messages_.front().second;
            messages_.pop_front();
        }
        ran |= Dispatch(message);
    }
    ran |= RunTimers();
    return ran;
}

void MessageQueue::Wait(uint32_t TimeoutMs) {
    std::vector<WatchedDescriptor> watched;
    std::vector<WaitSource*> sources;
    uint32_t timeout;
    {
        std::lock_guard lock(mutex_);
        if (!messages_.empty() || quit_) return;
        timeout = TimeToNextTimer(TimeoutMs);
        sources = sources_;
    }
    for (WaitSource* source : sources) source->Watch(watched);
    std::vector<pollfd> fds;
    fds.push_back({wakeFd_, POLLIN, 0});
    for (const WatchedDescriptor& w : watched)
        fds.push_back({w.fd, static_cast<short>((w.read ? POLLIN : 0) | (w.write ? POLLOUT : 0)), 0});
    if (timeout > 0) poll(fds.data(), fds.size(), static_cast<int>(std::min<uint32_t>(timeout, 1u << 30)));
    uint64_t count;
    [[maybe_unused]] ssize_t got = read(wakeFd_, &count, sizeof count);
}

void MessageQueue::AddWaitSource(WaitSource* Source) {
    std::lock_guard lock(mutex_);
    if (std::find(sources_.begin(), sources_.end(), Source) == sources_.end()) sources_.push_back(Source);
}

void MessageQueue::RemoveWaitSource(WaitSource* Source) {
    std::lock_guard lock(mutex_);
    std::erase(sources_, Source);
}

void MessageQueue::PostQuit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    Wake();
}

bool MessageQueue::QuitPosted() const {
    std::lock_guard lock(mutex_);
    return quit_;
}

void MessageQueue::ResetQuit() {
    std::lock_guard lock(mutex_);
    quit_ = false;
}

MessageQueue& MainQueue() {
    static MessageQueue queue;
    return queue;
}

}  // namespace platform
