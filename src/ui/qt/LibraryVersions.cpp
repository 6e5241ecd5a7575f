#include "ui/qt/LibraryVersions.h"

#include <FLAC/format.h>

#include <QtGlobal>

#include "platform/DynamicLibrary.h"

namespace quoril {

namespace {

constexpr const char* kSamplerateFile = "libsamplerate.so.0";

std::string versionFrom(DynamicLibrary& library) {
    using GetVersion = const char* (*)();
    const auto getVersion = library.function<GetVersion>("src_get_version");
    if (!getVersion) {
        return std::string("unknown (") + library.error() + ")";
    }
    const char* text = getVersion();
    std::string version = text ? text : "";
    // The library appends its copyright line in parentheses; the About window shows the version.
    const auto note = version.find(" (");
    if (note != std::string::npos) {
        version.erase(note);
    }
    return version.empty() ? std::string("unknown") : version;
}

}  // namespace

std::string samplerateVersion(const std::string& installDir) {
    DynamicLibrary library;
    if (!installDir.empty()) {
        std::string privateCopy = installDir;
        if (privateCopy.back() != '/') {
            privateCopy += '/';
        }
        privateCopy += kSamplerateFile;
        if (library.open(privateCopy)) {
            return versionFrom(library);
        }
    }
    if (library.open(kSamplerateFile)) {
        return versionFrom(library);
    }
    return "not found (" + library.error() + ")";
}

LibraryVersions LibraryVersions::collect(const std::string& installDir) {
    LibraryVersions versions;
    versions.flac = FLAC__VERSION_STRING ? FLAC__VERSION_STRING : "unknown";
    versions.samplerate = samplerateVersion(installDir);
    versions.qt = qVersion();
    return versions;
}

}  // namespace quoril
