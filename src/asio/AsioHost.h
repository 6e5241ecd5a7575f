#pragma once

#include "asio/Asio.h"

namespace quoril {

// The host-side calls on the current driver (theAsioDriver, asio/AsioDriverList.h). With no
// current driver each reports ASE_NotPresent and fills its outputs as documented. All run on the
// window thread, except ASIOStop() and ASIOOutputReady(), which the buffer callbacks may call on
// the driver's thread; those two are noexcept and do nothing but the driver call.

// Sets info->asioVersion (kept), driverVersion 0 and name "No ASIO Driver"; calls init() with
// info->sysRef. When init() fails: getErrorMessage() into info->errorMessage, theAsioDriver
// becomes null (the driver stays open in its record) and ASE_NotPresent. Otherwise
// errorMessage "No ASIO Driver Error", the driver's name and version, and ASE_OK.
ASIOError ASIOInit(ASIODriverInfo* info);
// Releases nothing by itself: clears theAsioDriver (the list owns the driver). ASE_OK.
ASIOError ASIOExit();
ASIOError ASIOStart();
ASIOError ASIOStop() noexcept;
// Counts 0 with no driver.
ASIOError ASIOGetChannels(long* numInputChannels, long* numOutputChannels);
// Latencies 0 with no driver.
ASIOError ASIOGetLatencies(long* inputLatency, long* outputLatency);
// All 0 with no driver.
ASIOError ASIOGetBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity);
ASIOError ASIOCanSampleRate(ASIOSampleRate sampleRate);
ASIOError ASIOGetSampleRate(ASIOSampleRate* currentRate);
ASIOError ASIOSetSampleRate(ASIOSampleRate sampleRate);
ASIOError ASIOGetClockSources(ASIOClockSource* clocks, long* numSources);
ASIOError ASIOSetClockSource(long reference);
ASIOError ASIOGetSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp);
// With no driver: channelGroup -1, type 0, name "None".
ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info);
// With no driver the buffer addresses are set null.
ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks* callbacks);
ASIOError ASIODisposeBuffers();
ASIOError ASIOControlPanel();
ASIOError ASIOFuture(long selector, void* params);
ASIOError ASIOOutputReady() noexcept;

}  // namespace quoril
