#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "asio/Asio.h"

namespace quoril {

// What every driver plug-in of ours does the same way: the texts it hands out, its one clock
// source, the channel counts and sample type it reports, and the host's buffers (their checks,
// storage, and which channels have them). A plug-in derives from it, fills the protected fields
// in init(), and adds its device through the two hooks around the buffers.
//
// Every method runs on the host's window thread (see asio/Asio.h), except stop(), which any
// thread may call, several at once. The buffers are fixed from createBuffers() to
// disposeBuffers(), so the driver's own thread may read them in between.
class PluginDriver : public IASIO {
  public:
    void getDriverName(char* name) override;  // at most 32 bytes
    long getDriverVersion() override { return 1; }
    void getErrorMessage(char* string) override;  // at most 124 bytes
    ASIOError getChannels(long* numInputChannels, long* numOutputChannels) override;
    ASIOError getBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError getClockSources(ASIOClockSource* clocks, long* numSources) override;
    ASIOError setClockSource(long reference) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    // Checks the request against the channel counts and buffer sizes, makes two halves per
    // channel (each starting on a 32-bit word), then lets the device take them (buffersMade).
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks* callbacks) override;
    // Lets the device let go of the buffers (releaseBuffers), then frees them.
    ASIOError disposeBuffers() override;
    ASIOError future(long, void*) override { return ASE_InvalidParameter; }
    // Our plug-ins play a half as soon as the host's switch returns: nothing to wait for.
    ASIOError outputReady() override { return ASE_NotPresent; }

  protected:
    // name: what getDriverName() reports; clockName: the name of its one clock source.
    PluginDriver(const char* name, const char* clockName) : m_name(name), m_clockName(clockName) {}
    ~PluginDriver() override = default;

    // The buffers exist with `frames` frames per half; the device prepares for them. Anything
    // but ASE_OK (with m_error set) takes them back and is the answer of createBuffers().
    virtual ASIOError buffersMade(long frames) = 0;
    // The buffers are about to go: stop whatever reads them.
    virtual void releaseBuffers() = 0;
    // The name of a channel that getChannelInfo() reports.
    virtual std::string channelName(bool isInput, long channel) const = 0;

    // One buffer the host asked for, in the order it asked.
    struct HostBuffer {
        bool isInput = false;
        long channel = 0;
        int32_t* halves[2] = {nullptr, nullptr};
    };

    bool hasBuffers() const { return bufferFrames() != 0; }
    // Any thread (a server's notice thread compares it with a new period size).
    long bufferFrames() const { return m_frames.load(std::memory_order_acquire); }
    const std::vector<HostBuffer>& hostBuffers() const { return m_hostBuffers; }
    // Per output channel, the given half of its buffer, or null where the host made none.
    const int32_t* const* outputHalves(long half) const { return m_outputHalves[half].data(); }
    // The record's split form of a position and a time stamp.
    static ASIOError reportPosition(bool running, uint64_t frames, uint64_t nanoseconds, ASIOSamples* sPos,
                                    ASIOTimeStamp* tStamp);
    static uint64_t steadyNanoseconds();

    // Set by the driver in init() (and by rate changes); read by the methods above.
    bool m_initialized = false;
    long m_inputs = 0;
    long m_outputs = 0;
    ASIOSampleType m_sampleType = ASIOSTInt32LSB;
    double m_rate = 0;
    long m_minFrames = 0;
    long m_maxFrames = 0;
    long m_preferredFrames = 0;
    long m_granularity = 1;
    // Written by the control thread, or under m_control where a stopping thread may write it.
    std::string m_error;
    // Held by stop() (from whichever thread) while it stops and joins the driver's thread, and
    // by the calls that touch what stop() touches (the thread object, activation state,
    // m_error): the first stopper joins, a second waits for it and finds nothing left to join.
    // Never taken on a callback or I/O thread.
    mutable std::mutex m_control;
    // The host's callbacks, from createBuffers() to disposeBuffers(); any thread reads them.
    std::atomic<ASIOCallbacks*> m_callbacks{nullptr};

  private:
    void freeBuffers();

    const char* m_name;
    const char* m_clockName;
    std::atomic<long> m_frames{0};  // 0: no buffers
    std::vector<int32_t> m_storage;
    std::vector<HostBuffer> m_hostBuffers;
    std::vector<const int32_t*> m_outputHalves[2];
};

}  // namespace quoril
