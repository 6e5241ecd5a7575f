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
    std::atomic<int> result{-1};
    // Whether the signal comes before or during the wait, the waiter must wake with success.
    std::thread waiter([&] { result = event.wait() ? 1 : 0; });
    event.signal();
    waiter.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_FALSE(event.waitFor(10)) << "the wake must have consumed the signal";
}

}  // namespace
}  // namespace quoril
