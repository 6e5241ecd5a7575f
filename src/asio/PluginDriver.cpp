#include "asio/PluginDriver.h"

#include <chrono>
#include <cstdio>
#include <new>

namespace quoril {

namespace {

void copyText(char* out, size_t size, const std::string& text) {
    std::snprintf(out, size, "%s", text.c_str());
}

}  // namespace

void PluginDriver::getDriverName(char* name) {
    copyText(name, 32, m_name);
}

void PluginDriver::getErrorMessage(char* string) {
    std::lock_guard lock(m_control);
    copyText(string, 124, m_error);
}

ASIOError PluginDriver::getChannels(long* numInputChannels, long* numOutputChannels) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (numInputChannels != nullptr) {
        *numInputChannels = m_inputs;
    }
    if (numOutputChannels != nullptr) {
        *numOutputChannels = m_outputs;
    }
    return ASE_OK;
}

ASIOError PluginDriver::getBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    for (auto [out, value] :
         {std::pair{minSize, m_minFrames}, std::pair{maxSize, m_maxFrames},
          std::pair{preferredSize, m_preferredFrames}, std::pair{granularity, m_granularity}}) {
        if (out != nullptr) {
            *out = value;
        }
    }
    return ASE_OK;
}

ASIOError PluginDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (sampleRate == nullptr) {
        return ASE_InvalidParameter;
    }
    *sampleRate = m_rate;
    return ASE_OK;
}

// One clock source: the device's own clock.
ASIOError PluginDriver::getClockSources(ASIOClockSource* clocks, long* numSources) {
    if (clocks == nullptr || numSources == nullptr || *numSources < 1) {
        if (numSources != nullptr) {
            *numSources = 1;
        }
        return ASE_InvalidParameter;
    }
    *clocks = ASIOClockSource{};
    clocks->associatedChannel = -1;
    clocks->associatedGroup = -1;
    clocks->isCurrentSource = ASIOTrue;
    copyText(clocks->name, sizeof clocks->name, m_clockName);
    *numSources = 1;
    return ASE_OK;
}

ASIOError PluginDriver::setClockSource(long reference) {
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

ASIOError PluginDriver::getChannelInfo(ASIOChannelInfo* info) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (info == nullptr || info->channel < 0 || info->channel >= (info->isInput ? m_inputs : m_outputs)) {
        return ASE_InvalidParameter;
    }
    const bool isInput = info->isInput != ASIOFalse;
    info->isActive = ASIOFalse;
    for (const HostBuffer& buffer : m_hostBuffers) {
        if (buffer.isInput == isInput && buffer.channel == info->channel) {
            info->isActive = ASIOTrue;
        }
    }
    info->channelGroup = 0;
    info->type = m_sampleType;
    copyText(info->name, sizeof info->name, channelName(isInput, info->channel));
    return ASE_OK;
}

ASIOError PluginDriver::createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                                      ASIOCallbacks* callbacks) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (hasBuffers()) {
        return ASE_InvalidMode;  // disposeBuffers() first
    }
    if (bufferInfos == nullptr || callbacks == nullptr || callbacks->bufferSwitch == nullptr ||
        callbacks->asioMessage == nullptr || numChannels < 1 || numChannels > m_inputs + m_outputs ||
        bufferSize < m_minFrames || bufferSize > m_maxFrames || bufferSize < 1) {
        return ASE_InvalidParameter;
    }
    for (long i = 0; i < numChannels; ++i) {
        const ASIOBufferInfo& wanted = bufferInfos[i];
        if (wanted.channelNum < 0 || wanted.channelNum >= (wanted.isInput ? m_inputs : m_outputs)) {
            return ASE_InvalidParameter;
        }
        for (long j = 0; j < i; ++j) {
            if ((bufferInfos[j].isInput != ASIOFalse) == (wanted.isInput != ASIOFalse) &&
                bufferInfos[j].channelNum == wanted.channelNum) {
                return ASE_InvalidParameter;
            }
        }
    }
    // Whole 32-bit words per half, so every half may be read as words.
    const int bytes = asioSampleBytes(m_sampleType) > 0 ? asioSampleBytes(m_sampleType) : 4;
    const size_t halfWords = (static_cast<size_t>(bufferSize) * bytes + 3) / 4;
    try {
        m_storage.assign(2 * halfWords * static_cast<size_t>(numChannels), 0);
        m_hostBuffers.assign(static_cast<size_t>(numChannels), HostBuffer{});
        for (auto& halves : m_outputHalves) {
            halves.assign(static_cast<size_t>(m_outputs), nullptr);
        }
    } catch (const std::bad_alloc&) {
        freeBuffers();
        return ASE_NoMemory;
    }
    for (long i = 0; i < numChannels; ++i) {
        HostBuffer& buffer = m_hostBuffers[static_cast<size_t>(i)];
        buffer.isInput = bufferInfos[i].isInput != ASIOFalse;
        buffer.channel = bufferInfos[i].channelNum;
        for (int half = 0; half < 2; ++half) {
            buffer.halves[half] = m_storage.data() + (2 * static_cast<size_t>(i) + half) * halfWords;
            bufferInfos[i].buffers[half] = buffer.halves[half];
            if (!buffer.isInput) {
                m_outputHalves[half][static_cast<size_t>(buffer.channel)] = buffer.halves[half];
            }
        }
    }
    m_frames.store(bufferSize, std::memory_order_release);
    m_callbacks.store(callbacks, std::memory_order_release);
    const ASIOError made = buffersMade(bufferSize);
    if (made != ASE_OK) {
        freeBuffers();
    }
    return made;
}

ASIOError PluginDriver::disposeBuffers() {
    if (!hasBuffers()) {
        return ASE_InvalidMode;
    }
    releaseBuffers();
    freeBuffers();
    return ASE_OK;
}

void PluginDriver::freeBuffers() {
    m_callbacks.store(nullptr, std::memory_order_release);
    m_frames.store(0, std::memory_order_release);
    m_storage.clear();
    m_hostBuffers.clear();
    m_outputHalves[0].clear();
    m_outputHalves[1].clear();
}

ASIOError PluginDriver::reportPosition(bool running, uint64_t frames, uint64_t nanoseconds, ASIOSamples* sPos,
                                       ASIOTimeStamp* tStamp) {
    if (!running) {
        return ASE_SPNotAdvancing;
    }
    if (sPos == nullptr || tStamp == nullptr) {
        return ASE_InvalidParameter;
    }
    sPos->hi = static_cast<unsigned long>(frames >> 32);
    sPos->lo = static_cast<unsigned long>(frames & 0xffffffffu);
    tStamp->hi = static_cast<unsigned long>(nanoseconds >> 32);
    tStamp->lo = static_cast<unsigned long>(nanoseconds & 0xffffffffu);
    return ASE_OK;
}

uint64_t PluginDriver::steadyNanoseconds() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace quoril
