#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineSession.h"
#include "SteppedDevice.h"
#include "TestDisc.h"
#include "dsp/DspEngine.h"
#include "dsp/TransportState.h"
#include "platform/NamedEvent.h"

namespace quoril {
namespace {

using test::EngineSession;
using test::waitUntil;

// The engine on the fault driver: 512-frame buffers at 44,100 Hz (blocks of 6,144 frames), a
// notice sent by the driver's clock after `eventAfter` buffer switches.
std::unique_ptr<EngineSession> faultSession(const std::string& event, int eventAfter,
                                            const std::string& eventRate, const std::string& speed = "10") {
    auto session = EngineSession::onFault();
    test::DriverRegistry& drivers = session->drivers();
    drivers.setDword("Fault", "BufferSize", 512);
    drivers.set("Fault", "Speed", speed);
    if (!event.empty()) {
        drivers.set("Fault", "Event", event);
        drivers.setDword("Fault", "EventAfter", static_cast<uint32_t>(eventAfter));
    }
    if (!eventRate.empty()) {
        drivers.set("Fault", "EventRate", eventRate);
    }
    return session;
}

struct NoticeCase {
    const char* name;
    const char* event;
    const char* rate;
    const char* message;
};

class DriverNoticeEndsPlayback : public testing::TestWithParam<NoticeCase> {};

TEST_P(DriverNoticeEndsPlayback, WithItsMessageAndTheThreadGone) {
    test::TestDisc disc(test::discSamples(2 * 44100, 16, 51), 16, 44100);
    ASSERT_TRUE(disc.ok()) << disc.log();
    auto session = faultSession(GetParam().event, 40, GetParam().rate);
    ASSERT_TRUE(session->open(44100)) << session->startLog();
    ASSERT_EQ(theTransport.blockFrames, 6144);
    ASSERT_TRUE(session->start(disc.cd())) << session->runLog();
    session->engine()->TogglePlay();
    ASSERT_TRUE(waitUntil([] { return !theTransport.threadRunning.load(); })) << session->runLog();
    EXPECT_NE(session->runLog().find(GetParam().message), std::string::npos) << session->runLog();
    EXPECT_EQ(test::countOf(session->runLog(), "Please restart player."), 1);
    EXPECT_FALSE(session->engine()->threadRunning());
    // Nothing is posted to a thread that is gone.
    session->engine()->TogglePlay();
    EXPECT_EQ(theTransport.transportCommand.load(), CmdNone);
}

INSTANTIATE_TEST_SUITE_P(
    Notices, DriverNoticeEndsPlayback,
    testing::Values(
        NoticeCase{"Reset", "reset", "", "ASIO driver requested a Reset. Please restart player.\r\n"},
        NoticeCase{"Resync", "resync", "", "ASIO driver requested a Reset. Please restart player.\r\n"},
        NoticeCase{"BufferSizeChange", "buffersize", "",
                   "ASIO buffer settings (Rate or Latency) have changed. Please restart player.\r\n"},
        NoticeCase{"RateChange", "rate", "48000",
                   "ASIO buffer settings (Rate or Latency) have changed. Please restart player.\r\n"}),
    [](const testing::TestParamInfo<NoticeCase>& info) { return std::string(info.param.name); });

struct HarmlessCase {
    const char* name;
    const char* event;
    const char* rate;
};

class HarmlessDriverNotice : public testing::TestWithParam<HarmlessCase> {};

TEST_P(HarmlessDriverNotice, LeavesPlaybackRunning) {
    test::TestDisc disc(test::discSamples(2 * 44100, 16, 52), 16, 44100);
    ASSERT_TRUE(disc.ok());
    auto session = faultSession(GetParam().event, 30, GetParam().rate);
    ASSERT_TRUE(session->open(44100)) << session->startLog();
    ASSERT_TRUE(session->start(disc.cd()));
    session->engine()->TogglePlay();
    // Five block requests: sixty buffer switches, well past the notice after thirty.
    uint32_t wakes = theTransport.wakesHandled.load();
    ASSERT_TRUE(waitUntil([&] { return theTransport.wakesHandled.load() >= wakes + 5; }));
    EXPECT_TRUE(theTransport.threadRunning.load());
    EXPECT_EQ(theTransport.playing.load(), 1);
    EXPECT_EQ(session->runLog().find("Please restart player."), std::string::npos) << session->runLog();
}

INSTANTIATE_TEST_SUITE_P(Notices, HarmlessDriverNotice,
                         testing::Values(HarmlessCase{"RateChangeToTheSameRate", "rate", "44100"},
                                         HarmlessCase{"LatenciesChanged", "latencies", ""}),
                         [](const testing::TestParamInfo<HarmlessCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(DriverBlockRequests, AlternateBetweenTheTwoBlocksOncePerTwelveBuffers) {
    // No playback thread: the test takes the requests itself, as the thread would.
    auto session = faultSession("", 0, "", "2");
    ASSERT_TRUE(session->open(44100)) << session->startLog();
    ASSERT_EQ(theTransport.blockFrames, 6144);
    NamedEvent* event = theTransport.dspEvent.load();
    ASSERT_NE(event, nullptr);
    std::vector<int16_t> requests;
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(event->waitFor(5000)) << "no block request from the driver";
        requests.push_back(theTransport.deviceRequest.exchange(ReqNone));
        EXPECT_EQ(theTransport.deviceBlockOffset.load() % 512, 0);
    }
    // The first wake may carry a request from before the wait began; from then on they alternate.
    for (size_t i = 2; i < requests.size(); ++i) {
        EXPECT_NE(requests[i], requests[i - 1]) << "request " << i;
        EXPECT_TRUE(requests[i] == ReqFillBlock0 || requests[i] == ReqFillBlock1) << "request " << i;
    }
    session->end();
}

}  // namespace
}  // namespace quoril
