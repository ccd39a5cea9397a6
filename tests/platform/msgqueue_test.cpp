// The main-thread message queue: targets, posts from other threads, timers and waits.
#include "platform/clock.h"
#include "platform/msgqueue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using platform::MessageQueue;
using platform::QueuedMessage;

namespace {

TEST(MessageQueue, DeliversInOrderAndDropsMessagesOfATargetThatHasGone) {
    MessageQueue queue;
    std::vector<uint32_t> seen;
    const auto kept = queue.AddTarget([&](const QueuedMessage& M) { seen.push_back(M.message); });
    const auto gone = queue.AddTarget([&](const QueuedMessage&) { ADD_FAILURE() << "removed target called"; });
    queue.Post(kept, 1);
    queue.Post(gone, 2);
    queue.Post(kept, 3, 7, -1);
    queue.RemoveTarget(gone);
    EXPECT_TRUE(queue.ProcessMessages());
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 3}));
    EXPECT_FALSE(queue.ProcessMessages());
}

TEST(MessageQueue, AHandlerMayRemoveItselfAndPostingToItselfCannotHoldThePump) {
    MessageQueue queue;
    int calls = 0;
    platform::TargetId self = 0;
    self = queue.AddTarget([&](const QueuedMessage& M) {
        ++calls;
        if (M.message == 1) queue.Post(self, 1);  // comes at the next pump
        if (M.message == 2) queue.RemoveTarget(self);
    });
    queue.Post(self, 1);
    queue.ProcessMessages();
    EXPECT_EQ(calls, 1);
    queue.Post(self, 2);
    queue.ProcessMessages();
    EXPECT_EQ(calls, 3);
    EXPECT_FALSE(queue.HasTarget(self));
}

TEST(MessageQueue, APostFromAnotherThreadEndsAWaitAndCallsTheWakeHook) {
    MessageQueue queue;
    int woken = 0, got = 0;
    queue.OnPosted = [&] { ++woken; };
    const auto target = queue.AddTarget([&](const QueuedMessage& M) { got = static_cast<int>(M.wParam); });
    const uint32_t start = platform::ClockMs();
    std::thread poster([&] { queue.Post(target, 5, 42); });
    queue.Wait(10000);
    poster.join();
    EXPECT_LT(platform::ClockMs() - start, 5000u);
    queue.ProcessMessages();
    EXPECT_EQ(got, 42);
    EXPECT_EQ(woken, 1);
}

TEST(MessageQueue, TimersRepeatUntilKilledAndEndWaits) {
    MessageQueue queue;
    int ticks = 0;
    const auto target = queue.AddTarget([&](const QueuedMessage& M) {
        EXPECT_EQ(M.message, platform::TimerMessage);
        EXPECT_EQ(M.wParam, 9u);
        ++ticks;
    });
    queue.SetTimer(target, 9, 5);
    const uint32_t start = platform::ClockMs();
    while (ticks < 3 && platform::ClockMs() - start < 5000) {
        queue.Wait(1000);
        queue.ProcessMessages();
    }
    EXPECT_EQ(ticks, 3);
    queue.KillTimer(target, 9);
    queue.Wait(20);
    queue.ProcessMessages();
    EXPECT_EQ(ticks, 3);
}

TEST(MessageQueue, QuitEndsWaitsAtOnceAndDroppedMessagesNeverCome) {
    MessageQueue queue;
    int got = 0;
    const auto target = queue.AddTarget([&](const QueuedMessage&) { ++got; });
    queue.Post(target, 1, 3);
    queue.Post(target, 1, 4);
    queue.DropMessages(target, 1, 3);
    queue.ProcessMessages();
    EXPECT_EQ(got, 1);
    queue.PostQuit();
    const uint32_t start = platform::ClockMs();
    queue.Wait(10000);
    EXPECT_LT(platform::ClockMs() - start, 5000u);
    EXPECT_TRUE(queue.QuitPosted());
    queue.ResetQuit();
    EXPECT_FALSE(queue.QuitPosted());
}

}  // namespace
