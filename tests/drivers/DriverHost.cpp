#include "DriverHost.h"

#include <cstring>
#include <memory>
#include <thread>

#include "asio/DriverPlugin.h"
#include "platform/PluginLoader.h"
#include "support/TempDir.h"

namespace quoril::test {

namespace {

// Process-wide host state, reached by the context-free callbacks.
struct HostState {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int32_t> program;   // guarded by mutex
    size_t programFrames = 0;       // guarded by mutex
    size_t handedOut = 0;           // frames handed out; guarded by mutex
    long switchesAfterProgram = 0;  // guarded by mutex
    std::atomic<bool> held{false};
    ASIOBufferInfo buffers[2] = {};
    long frames = 0;
    std::atomic<long> switches{0};
    std::atomic<long> lastHalf{-1};
    std::atomic<bool> alternated{true};
    std::atomic<long> resets{0};
    std::atomic<long> sizeChanges{0};
    std::atomic<long> lastSizeValue{0};
};

// Made afresh by each DriverHost (one at a time), so every test starts from nothing.
std::unique_ptr<HostState> g_host = std::make_unique<HostState>();

void notify() {
    std::lock_guard<std::mutex> lock(g_host->mutex);
    g_host->changed.notify_all();
}

void onBufferSwitch(long half, ASIOBool) {
    const long previous = g_host->lastHalf.exchange(half);
    if ((previous >= 0 && half != 1 - previous) || (previous < 0 && half != 0)) {
        g_host->alternated = false;
    }
    auto* left = static_cast<int32_t*>(g_host->buffers[0].buffers[half]);
    auto* right = static_cast<int32_t*>(g_host->buffers[1].buffers[half]);
    {
        std::lock_guard<std::mutex> lock(g_host->mutex);
        for (long i = 0; i < g_host->frames; ++i) {
            if (!g_host->held && g_host->handedOut < g_host->programFrames) {
                left[i] = g_host->program[2 * g_host->handedOut];
                right[i] = g_host->program[2 * g_host->handedOut + 1];
                ++g_host->handedOut;
            } else {
                left[i] = 0;
                right[i] = 0;
            }
        }
        if (!g_host->held && g_host->handedOut == g_host->programFrames) {
            ++g_host->switchesAfterProgram;
        }
        ++g_host->switches;
        g_host->changed.notify_all();
    }
}

ASIOTime* onBufferSwitchTimeInfo(ASIOTime*, long half, ASIOBool direct) {
    onBufferSwitch(half, direct);
    return nullptr;
}

void onSampleRateDidChange(ASIOSampleRate) {
    notify();
}

long onAsioMessage(long selector, long value, void*, double*) {
    switch (selector) {
        case kAsioSelectorSupported:
            return value == kAsioResetRequest || value == kAsioBufferSizeChange || value == kAsioResyncRequest
                       ? 1
                       : 0;
        case kAsioEngineVersion:
            return 2;
        case kAsioResetRequest:
        case kAsioResyncRequest:
            ++g_host->resets;
            notify();
            return 1;
        case kAsioBufferSizeChange:
            g_host->lastSizeValue = value;
            ++g_host->sizeChanges;
            notify();
            return 1;
        default:
            return 0;
    }
}

ASIOCallbacks g_callbacks = {onBufferSwitch, onSampleRateDidChange, onAsioMessage, onBufferSwitchTimeInfo};

}  // namespace

std::string alsaDriverPath() {
    return buildDir() + "/lib/quoril/drivers/quoril-alsa.so";
}
std::string jackDriverPath() {
    return buildDir() + "/lib/quoril/drivers/quoril-jack.so";
}

DriverHost::DriverHost() {
    g_host = std::make_unique<HostState>();
}

DriverHost::~DriverHost() {
    releaseDriver();
}

void DriverHost::releaseDriver() {
    if (m_driver != nullptr) {
        stopAndDispose();
        m_driver->Release();
        m_driver = nullptr;
    }
}

bool DriverHost::load(const std::string& pluginPath, std::string& error) {
    if (!m_library.open(pluginPath)) {
        error = m_library.error();
        return false;
    }
    auto factory = m_library.function<PluginFactory>(kPluginFactorySymbol);
    auto classIdText = m_library.function<PluginTextFunction>(kPluginClassIdSymbol);
    ClassId id;
    if (factory == nullptr || classIdText == nullptr || !parseClassId(classIdText(), id)) {
        error = "not a driver plug-in: " + pluginPath;
        return false;
    }
    m_driver = static_cast<IASIO*>(factory(&id));
    if (m_driver == nullptr) {
        error = "the factory refused its own class id";
        return false;
    }
    return true;
}

void DriverHost::setProgram(std::vector<int32_t> frames, bool held) {
    std::lock_guard<std::mutex> lock(g_host->mutex);
    g_host->programFrames = frames.size() / 2;
    g_host->program = std::move(frames);
    g_host->handedOut = 0;
    g_host->switchesAfterProgram = 0;
    g_host->held = held;
}

void DriverHost::release() {
    std::lock_guard<std::mutex> lock(g_host->mutex);
    g_host->held = false;
}

ASIOError DriverHost::createPair(long pair, long frames) {
    for (int k = 0; k < 2; ++k) {
        g_host->buffers[k] = ASIOBufferInfo{};
        g_host->buffers[k].isInput = ASIOFalse;
        g_host->buffers[k].channelNum = 2 * pair + k;
    }
    g_host->frames = frames;
    ASIOError result = m_driver->createBuffers(g_host->buffers, 2, frames, &g_callbacks);
    m_buffersCreated = result == ASE_OK;
    return result;
}

void DriverHost::stopAndDispose() {
    if (m_buffersCreated) {
        m_driver->stop();
        m_driver->disposeBuffers();
        m_buffersCreated = false;
    }
}

bool DriverHost::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(g_host->mutex);
    return g_host->changed.wait_for(lock, deadline, [&] {
        lock.unlock();
        bool done = condition();
        lock.lock();
        return done;
    });
}

bool DriverHost::waitForProgramPlayed(long extraSwitches, std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(g_host->mutex);
    return g_host->changed.wait_for(lock, deadline, [&] {
        return g_host->handedOut == g_host->programFrames && g_host->switchesAfterProgram > extraSwitches;
    });
}

long DriverHost::switches() const {
    return g_host->switches;
}
long DriverHost::resetRequests() const {
    return g_host->resets;
}
long DriverHost::bufferSizeChanges() const {
    return g_host->sizeChanges;
}
long DriverHost::lastBufferSizeValue() const {
    return g_host->lastSizeValue;
}
bool DriverHost::halvesAlternated() const {
    return g_host->alternated;
}

}  // namespace quoril::test
