#pragma once

#include <string>

namespace quoril {

// The versions of the libraries the running player uses, as the About window lists them.
// Called on the window thread.
struct LibraryVersions {
    std::string flac;        // libFLAC's own version string, e.g. "1.4.2"
    std::string samplerate;  // e.g. "libsamplerate-0.2.2", or the reason it could not be loaded
    std::string qt;          // the Qt library loaded at run time, e.g. "6.4.2"

    // libsamplerate is found the way the engine finds it: a private copy in the installation
    // directory first, then the system's. It is only loaded to ask its version and is released
    // again; the player itself does not link it.
    static LibraryVersions collect(const std::string& installDir);
};

// The version text of the libsamplerate.so.0 that the player would use, without the library's
// copyright note; "not found (<reason>)" when neither copy can be loaded.
std::string samplerateVersion(const std::string& installDir);

}  // namespace quoril
