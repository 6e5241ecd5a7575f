#include "asio/AsioHost.h"

#include <cstring>

#include "asio/AsioDriverList.h"

namespace quoril {

namespace {

// Copies a text into a fixed field, always terminated.
template <size_t N>
void setText(char (&field)[N], const char* text) {
    std::strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}

IASIO* current() noexcept {
    return theAsioDriver.load(std::memory_order_acquire);
}

}  // namespace

ASIOError ASIOInit(ASIODriverInfo* info) {
    info->driverVersion = 0;
    setText(info->name, "No ASIO Driver");
    IASIO* driver = current();
    if (driver == nullptr) {
        return ASE_NotPresent;
    }
    if (driver->init(info->sysRef) == ASIOFalse) {
        std::memset(info->errorMessage, 0, sizeof info->errorMessage);
        driver->getErrorMessage(info->errorMessage);
        info->errorMessage[sizeof info->errorMessage - 1] = '\0';
        // The driver stays open in its record; only the session's reference goes.
        theAsioDriver.store(nullptr);
        return ASE_NotPresent;
    }
    setText(info->errorMessage, "No ASIO Driver Error");
    std::memset(info->name, 0, sizeof info->name);
    driver->getDriverName(info->name);
    info->name[sizeof info->name - 1] = '\0';
    info->driverVersion = driver->getDriverVersion();
    return ASE_OK;
}

ASIOError ASIOExit() {
    theAsioDriver.store(nullptr);
    return ASE_OK;
}

ASIOError ASIOStart() {
    IASIO* driver = current();
    return driver ? driver->start() : ASE_NotPresent;
}

ASIOError ASIOStop() noexcept {
    IASIO* driver = current();
    return driver ? driver->stop() : ASE_NotPresent;
}

ASIOError ASIOGetChannels(long* numInputChannels, long* numOutputChannels) {
    IASIO* driver = current();
    if (driver == nullptr) {
        *numInputChannels = *numOutputChannels = 0;
        return ASE_NotPresent;
    }
    return driver->getChannels(numInputChannels, numOutputChannels);
}

ASIOError ASIOGetLatencies(long* inputLatency, long* outputLatency) {
    IASIO* driver = current();
    if (driver == nullptr) {
        *inputLatency = *outputLatency = 0;
        return ASE_NotPresent;
    }
    return driver->getLatencies(inputLatency, outputLatency);
}

ASIOError ASIOGetBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) {
    IASIO* driver = current();
    if (driver == nullptr) {
        *minSize = *maxSize = *preferredSize = *granularity = 0;
        return ASE_NotPresent;
    }
    return driver->getBufferSize(minSize, maxSize, preferredSize, granularity);
}

ASIOError ASIOCanSampleRate(ASIOSampleRate sampleRate) {
    IASIO* driver = current();
    return driver ? driver->canSampleRate(sampleRate) : ASE_NotPresent;
}

ASIOError ASIOGetSampleRate(ASIOSampleRate* currentRate) {
    IASIO* driver = current();
    return driver ? driver->getSampleRate(currentRate) : ASE_NotPresent;
}

ASIOError ASIOSetSampleRate(ASIOSampleRate sampleRate) {
    IASIO* driver = current();
    return driver ? driver->setSampleRate(sampleRate) : ASE_NotPresent;
}

ASIOError ASIOGetClockSources(ASIOClockSource* clocks, long* numSources) {
    IASIO* driver = current();
    if (driver == nullptr) {
        *numSources = 0;
        return ASE_NotPresent;
    }
    return driver->getClockSources(clocks, numSources);
}

ASIOError ASIOSetClockSource(long reference) {
    IASIO* driver = current();
    return driver ? driver->setClockSource(reference) : ASE_NotPresent;
}

ASIOError ASIOGetSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    IASIO* driver = current();
    if (driver == nullptr) {
        sPos->hi = sPos->lo = 0;
        tStamp->hi = tStamp->lo = 0;
        return ASE_NotPresent;
    }
    return driver->getSamplePosition(sPos, tStamp);
}

ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info) {
    IASIO* driver = current();
    if (driver == nullptr) {
        info->channelGroup = -1;
        info->type = 0;
        setText(info->name, "None");
        return ASE_NotPresent;
    }
    ASIOError result = driver->getChannelInfo(info);
    info->name[sizeof info->name - 1] = '\0';
    return result;
}

ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks* callbacks) {
    IASIO* driver = current();
    if (driver == nullptr) {
        for (long i = 0; i < numChannels; ++i) {
            bufferInfos[i].buffers[0] = bufferInfos[i].buffers[1] = nullptr;
        }
        return ASE_NotPresent;
    }
    return driver->createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
}

ASIOError ASIODisposeBuffers() {
    IASIO* driver = current();
    return driver ? driver->disposeBuffers() : ASE_NotPresent;
}

ASIOError ASIOControlPanel() {
    IASIO* driver = current();
    return driver ? driver->controlPanel() : ASE_NotPresent;
}

ASIOError ASIOFuture(long selector, void* params) {
    IASIO* driver = current();
    return driver ? driver->future(selector, params) : ASE_NotPresent;
}

ASIOError ASIOOutputReady() noexcept {
    IASIO* driver = current();
    return driver ? driver->outputReady() : ASE_NotPresent;
}

}  // namespace quoril
