#include "platform/NamedEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace quoril {
namespace {

TEST(NamedEventTest, SeveralSignalsBeforeAWaitGiveOneWake) {
    NamedEvent event("_tamu_DSP_732");
    EXPECT_EQ(event.name(), "_tamu_DSP_732");
    event.signal();
    event.signal();
    event.signal();
    EXPECT_TRUE(event.waitFor(1000));
    EXPECT_FALSE(event.waitFor(20)) << "an auto-reset event must clear itself on the first wake";
}

TEST(NamedEventTest, WaitOnAClosedEventFails) {
    NamedEvent event("e");
    event.signal();
    event.close();
    EXPECT_TRUE(event.closed());
    EXPECT_FALSE(event.wait());
    EXPECT_FALSE(event.waitFor(1000));
}

TEST(NamedEventTest, CloseWakesAWaitingThread) {
    NamedEvent event("e");
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = event.wait() ? 1 : 0; });
    event.close();
    waiter.join();
    EXPECT_EQ(result.load(), 0);
}

TEST(NamedEventTest, SignalFromAnotherThreadWakesTheWaiter) {
    NamedEvent event("e");
    std::atomic<int> wakes{0};
    std::thread waiter([&] {
        while (event.wait()) {
            ++wakes;
        }
    });
    for (int i = 0; i < 100; ++i) {
        event.signal();
        std::this_thread::yield();
    }
    event.close();
    waiter.join();
    EXPECT_GE(wakes.load(), 1);
    EXPECT_LE(wakes.load(), 100);
}

}  // namespace
}  // namespace quoril
