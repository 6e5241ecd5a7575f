#pragma once

// The audio driver interface: the host (the player) talks to an output driver only through IASIO
// and the records below, and the driver talks back only through the four ASIOCallbacks. The
// methods, their slot order, the records, error codes, sample-type numbers and message selectors
// are those of the published double-buffer driver interface, so a driver written against it
// ports by recompiling. `long` keeps the published parameter types.
//
// The contract
// ------------
// What the host guarantees:
//   - It calls every IASIO method from one thread (the window thread), never two at once, with
//     two exceptions: outputReady(), which the callbacks call on the driver's thread, and stop(),
//     which may come from any thread (the callbacks stop the driver when they cannot reach the
//     host's playback thread; the playback thread stops it on a reset notice), also while
//     another thread is inside stop().
//   - init() comes first; nothing but getErrorMessage() and Release() follows a failed init().
//   - createBuffers() is called with buffers for at most the channels getChannels() reported and
//     a buffer size between the minimum and maximum of getBufferSize(); start() only after a
//     successful createBuffers(); disposeBuffers() only after stop().
//   - The ASIOCallbacks record and every function it names stay valid until disposeBuffers().
//   - Release() is the last call; the host never touches the object afterwards.
// What a driver must do:
//   - After start() and until stop() returns, call bufferSwitch() (or bufferSwitchTimeInfo()
//     when the host's asioMessage(kAsioSelectorSupported, kAsioSupportsTimeInfo) answered 1 and
//     asioMessage(kAsioSupportsTimeInfo) answered 1) once per buffer period, from one thread of
//     its own, with the half index alternating 0, 1, 0, 1 ... The half passed is the one the host
//     fills now; the driver plays the other one.
//   - Never call a callback after stop() has returned.
//   - stop() called from the driver's own callback thread must not wait for that thread; stop()
//     called from two threads at once must be safe.
//   - Report reset, resync, buffer-size and latency changes through asioMessage() and rate
//     changes through sampleRateDidChange(), from any thread of its own.
//   - Text outputs: getDriverName() writes at most 32 bytes, getErrorMessage() at most 124,
//     ASIOChannelInfo::name at most 32, all with a terminator.
// Which thread calls what:
//   - Host -> driver: the window thread (exceptions above).
//   - Driver -> host (all callbacks): the driver's own thread(s). Callbacks do not allocate,
//     lock or block (beyond the host's event signal and a fixed pause after a reset notice).

#include <cstdint>

namespace quoril {

using ASIOBool = long;
constexpr ASIOBool ASIOFalse = 0;
constexpr ASIOBool ASIOTrue = 1;

using ASIOSampleRate = double;
using ASIOError = long;
using ASIOSampleType = long;

// 64-bit sample positions and nanosecond time stamps, split in two 32-bit halves.
struct ASIOSamples {
    unsigned long hi;
    unsigned long lo;
};
struct ASIOTimeStamp {
    unsigned long hi;
    unsigned long lo;
};

// Error codes.
enum : ASIOError {
    ASE_OK = 0,                   // plain success
    ASE_SUCCESS = 0x3f4847a0,     // answer of future() for a supported selector
    ASE_NotPresent = -1000,       // no driver, or hardware input or output not present
    ASE_HWMalfunction = -999,     // hardware is malfunctioning
    ASE_InvalidParameter = -998,  // input parameter invalid
    ASE_InvalidMode = -997,       // hardware is in a bad mode or used in a bad mode
    ASE_SPNotAdvancing = -996,    // hardware is not running when sample position is inquired
    ASE_NoClock = -995,           // sample clock or rate cannot be determined or is not present
    ASE_NoMemory = -994,          // not enough memory to complete the request
};

// Sample types: how one channel's samples sit in its buffer.
enum : ASIOSampleType {
    ASIOSTInt16MSB = 0,
    ASIOSTInt24MSB = 1,  // packed 3 bytes
    ASIOSTInt32MSB = 2,
    ASIOSTFloat32MSB = 3,
    ASIOSTFloat64MSB = 4,
    ASIOSTInt32MSB16 = 8,  // 32-bit container, value aligned to 16, 18, 20, 24 bits
    ASIOSTInt32MSB18 = 9,
    ASIOSTInt32MSB20 = 10,
    ASIOSTInt32MSB24 = 11,
    ASIOSTInt16LSB = 16,
    ASIOSTInt24LSB = 17,  // packed 3 bytes
    ASIOSTInt32LSB = 18,  // the only type the player's DSP writes
    ASIOSTFloat32LSB = 19,
    ASIOSTFloat64LSB = 20,
    ASIOSTInt32LSB16 = 24,
    ASIOSTInt32LSB18 = 25,
    ASIOSTInt32LSB20 = 26,
    ASIOSTInt32LSB24 = 27,
    ASIOSTDSDInt8LSB1 = 32,
    ASIOSTDSDInt8MSB1 = 33,
    ASIOSTDSDInt8NER8 = 40,
};

// Bytes per sample of a sample type; 0 for the types that have no fixed size here (DSD, unknown).
constexpr int asioSampleBytes(ASIOSampleType type) {
    switch (type) {
        case ASIOSTInt16MSB:
        case ASIOSTInt16LSB:
            return 2;
        case ASIOSTInt24MSB:
        case ASIOSTInt24LSB:
            return 3;
        case ASIOSTInt32MSB:
        case ASIOSTFloat32MSB:
        case ASIOSTInt32MSB16:
        case ASIOSTInt32MSB18:
        case ASIOSTInt32MSB20:
        case ASIOSTInt32MSB24:
        case ASIOSTInt32LSB:
        case ASIOSTFloat32LSB:
        case ASIOSTInt32LSB16:
        case ASIOSTInt32LSB18:
        case ASIOSTInt32LSB20:
        case ASIOSTInt32LSB24:
            return 4;
        case ASIOSTFloat64MSB:
        case ASIOSTFloat64LSB:
            return 8;
        default:
            return 0;
    }
}

// Selectors of the host's asioMessage() callback.
enum : long {
    kAsioSelectorSupported = 1,  // value: a selector; answer 1 when the host handles it
    kAsioEngineVersion = 2,      // answer: the host's interface version
    kAsioResetRequest = 3,       // the driver needs a reset (stop, dispose, release, reload)
    kAsioBufferSizeChange = 4,   // value: the new buffer size
    kAsioResyncRequest = 5,      // the driver lost samples or its timing
    kAsioLatenciesChanged = 6,
    kAsioSupportsTimeInfo = 7,  // answer 1: the host wants bufferSwitchTimeInfo()
    kAsioSupportsTimeCode = 8,
    kAsioMMCCommand = 9,
    kAsioSupportsInputMonitor = 10,
    kAsioSupportsInputGain = 11,
    kAsioSupportsInputMeter = 12,
    kAsioSupportsOutputGain = 13,
    kAsioSupportsOutputMeter = 14,
    kAsioOverload = 15,
};

// Selectors of IASIO::future().
enum : long {
    kAsioEnableTimeCodeRead = 1,
    kAsioDisableTimeCodeRead = 2,
    kAsioSetInputMonitor = 3,
    kAsioTransport = 4,
    kAsioSetInputGain = 5,
    kAsioGetInputMeter = 6,
    kAsioSetOutputGain = 7,
    kAsioGetOutputMeter = 8,
    kAsioCanInputMonitor = 9,
    kAsioCanTimeInfo = 10,
    kAsioCanTimeCode = 11,
    kAsioCanTransport = 12,
    kAsioCanInputGain = 13,
    kAsioCanInputMeter = 14,
    kAsioCanOutputGain = 15,
    kAsioCanOutputMeter = 16,
    kAsioOptionalOne = 17,
};

struct ASIODriverInfo {
    long asioVersion;  // in: the host's interface version (2)
    long driverVersion;
    char name[32];
    char errorMessage[124];
    void* sysRef;  // in: system handle; the player passes none
};

struct ASIOClockSource {
    long index;
    long associatedChannel;
    long associatedGroup;
    ASIOBool isCurrentSource;
    char name[32];
};

struct ASIOChannelInfo {
    long channel;      // in: 0-based channel number
    ASIOBool isInput;  // in: input or output channel
    ASIOBool isActive;
    long channelGroup;
    ASIOSampleType type;
    char name[32];
};

struct ASIOBufferInfo {
    ASIOBool isInput;  // in
    long channelNum;   // in: 0-based channel number
    void* buffers[2];  // out: the two halves, each bufferSize samples of the channel's type
};

// Flags of AsioTimeInfo.
enum : unsigned long {
    kSystemTimeValid = 1,
    kSamplePositionValid = 1 << 1,
    kSampleRateValid = 1 << 2,
    kSpeedValid = 1 << 3,
    kSampleRateChanged = 1 << 4,
    kClockSourceChanged = 1 << 5,
};

struct AsioTimeInfo {
    double speed;  // 1.0 for normal speed
    ASIOTimeStamp systemTime;
    ASIOSamples samplePosition;
    ASIOSampleRate sampleRate;
    unsigned long flags;
    char reserved[12];
};

// Flags of ASIOTimeCode.
enum : unsigned long {
    kTcValid = 1,
    kTcRunning = 1 << 1,
    kTcReverse = 1 << 2,
    kTcOnspeed = 1 << 3,
    kTcStill = 1 << 4,
    kTcSpeedValid = 1 << 8,
};

struct ASIOTimeCode {
    double speed;
    ASIOSamples timeCodeSamples;
    unsigned long flags;
    char future[64];
};

// The time information passed to bufferSwitchTimeInfo().
struct ASIOTime {
    long reserved[4];
    AsioTimeInfo timeInfo;
    ASIOTimeCode timeCode;
};

// The host's callbacks, in their published order. None carries a context pointer: the host
// reaches its state through process-wide values. All run on the driver's thread.
struct ASIOCallbacks {
    // One half is due: index 0 or 1; directProcess may be ignored.
    void (*bufferSwitch)(long doubleBufferIndex, ASIOBool directProcess);
    void (*sampleRateDidChange)(ASIOSampleRate sRate);
    long (*asioMessage)(long selector, long value, void* message, double* opt);
    ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* params, long doubleBufferIndex, ASIOBool directProcess);
};

// The driver object. Created by a plug-in's factory (see asio/DriverPlugin.h) and released with
// Release(), which destroys it. The first slot is Release(), then the driver methods in their
// published order. Unless stated, every method is called from the window thread.
class IASIO {
  public:
    // Drops the host's reference; the object stops, disposes its buffers and deletes itself.
    virtual unsigned long Release() = 0;

    // Non-zero when the driver is ready; otherwise getErrorMessage() says why.
    virtual ASIOBool init(void* sysHandle) = 0;
    virtual void getDriverName(char* name) = 0;  // at most 32 bytes
    virtual long getDriverVersion() = 0;
    virtual void getErrorMessage(char* string) = 0;  // at most 124 bytes
    virtual ASIOError start() = 0;
    // Any thread, also the driver's callback thread (see the contract above).
    virtual ASIOError stop() = 0;
    virtual ASIOError getChannels(long* numInputChannels, long* numOutputChannels) = 0;
    virtual ASIOError getLatencies(long* inputLatency, long* outputLatency) = 0;
    virtual ASIOError getBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) = 0;
    virtual ASIOError canSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError getSampleRate(ASIOSampleRate* sampleRate) = 0;
    virtual ASIOError setSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError getClockSources(ASIOClockSource* clocks, long* numSources) = 0;
    virtual ASIOError setClockSource(long reference) = 0;
    virtual ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) = 0;
    virtual ASIOError getChannelInfo(ASIOChannelInfo* info) = 0;
    virtual ASIOError createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                                    ASIOCallbacks* callbacks) = 0;
    virtual ASIOError disposeBuffers() = 0;
    virtual ASIOError controlPanel() = 0;
    virtual ASIOError future(long selector, void* opt) = 0;
    // Called from the driver's callback thread, after the host has filled a half.
    virtual ASIOError outputReady() = 0;

  protected:
    // Only Release() destroys a driver.
    virtual ~IASIO() = default;
};

}  // namespace quoril
