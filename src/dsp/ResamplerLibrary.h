#pragma once

#include <string>

#include "platform/DynamicLibrary.h"

namespace quoril {

class DiagnosticsLog;

// The request record of libsamplerate's src_process, laid out as the library's SRC_DATA (the
// library is bound at run time, so its header is not needed to build the player).
struct SrcData {
    const float* data_in;
    float* data_out;
    long input_frames;
    long output_frames;
    long input_frames_used;
    long output_frames_gen;
    int end_of_input;
    double src_ratio;
};

// libsamplerate's converter state (opaque).
struct SrcState;

// libsamplerate, loaded with dlopen when the engine is made, so that a missing library is a
// logged failure and not a failure to start the program. The engine owns the one instance;
// theResampler points at it for the resampling playback thread.
class ResamplerLibrary {
  public:
    // The file name looked for, first in the installation directory, then on the system.
    static constexpr const char* kFileName = "libsamplerate.so.0";

    using NewFn = SrcState* (*)(int converterType, int channels, int* error);
    using DeleteFn = SrcState* (*)(SrcState* state);
    using ProcessFn = int (*)(SrcState* state, SrcData* data);
    using ResetFn = int (*)(SrcState* state);
    using StrerrorFn = const char* (*)(int error);

    // Loads <installDirectory>/libsamplerate.so.0, else the system's libsamplerate.so.0, and
    // binds src_new, src_delete, src_process, src_reset and src_strerror in that order. On
    // failure appends the reason to log and returns false (window thread).
    bool load(const std::string& installDirectory, DiagnosticsLog& log);
    // Loads the library file at exactly this path (no fall-back) and binds the entry points.
    bool loadFile(const std::string& path, DiagnosticsLog& log);
    bool loaded() const { return src_strerror != nullptr; }
    // Forgets the entry points and unloads the library.
    void unload();

    NewFn src_new = nullptr;
    DeleteFn src_delete = nullptr;
    ProcessFn src_process = nullptr;
    ResetFn src_reset = nullptr;
    StrerrorFn src_strerror = nullptr;

  private:
    bool bind(DiagnosticsLog& log);

    DynamicLibrary m_library;
};

// The entry points the resampling playback thread uses: set by the engine once bound, cleared
// before the library is unloaded. Read by the playback thread when it starts.
extern const ResamplerLibrary* theResampler;

}  // namespace quoril
