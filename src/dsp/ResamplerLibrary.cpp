#include "dsp/ResamplerLibrary.h"

#include "platform/DiagnosticsLog.h"

namespace quoril {

const ResamplerLibrary* theResampler = nullptr;

namespace {

void logNotFound(DiagnosticsLog& log) {
    log.append("DLL \"");
    log.append(ResamplerLibrary::kFileName);
    log.append("\" not found. Make sure this DLL is located in the installation directory.\r\n");
}

}  // namespace

bool ResamplerLibrary::load(const std::string& installDirectory, DiagnosticsLog& log) {
    unload();
    // A copy in the installation directory wins over the system's, so a user can pin a version.
    bool opened = false;
    if (!installDirectory.empty()) {
        std::string privateCopy = installDirectory;
        if (privateCopy.back() != '/') {
            privateCopy += '/';
        }
        opened = m_library.open(privateCopy + kFileName);
    }
    if (!opened && !m_library.open(kFileName)) {
        logNotFound(log);
        return false;
    }
    return bind(log);
}

bool ResamplerLibrary::loadFile(const std::string& path, DiagnosticsLog& log) {
    unload();
    if (!m_library.open(path)) {
        logNotFound(log);
        return false;
    }
    return bind(log);
}

bool ResamplerLibrary::bind(DiagnosticsLog& log) {
    struct EntryPoint {
        const char* name;
        void** slot;
        const char* missing;
    };
    void* entries[5] = {};
    const EntryPoint points[] = {
        {"src_new", &entries[0], "\": [src_new] runtime function not found. DLL is invalid.\r\n"},
        {"src_delete", &entries[1], "\": [src_delete] runtime function not found. DLL is invalid.\r\n"},
        {"src_process", &entries[2], "\": [src_process] runtime function not found. DLL is invalid.\r\n"},
        {"src_reset", &entries[3], "\": [src_reset] runtime function not found. DLL is invalid.\r\n"},
        {"src_strerror", &entries[4], "\": [src_strerror] runtime function not found. DLL is invalid.\r\n"},
    };
    for (const EntryPoint& point : points) {
        *point.slot = m_library.symbol(point.name);
        if (*point.slot == nullptr) {
            log.append("DLL \"");
            log.append(kFileName);
            log.append(point.missing);
            unload();
            return false;
        }
    }
    src_new = reinterpret_cast<NewFn>(entries[0]);
    src_delete = reinterpret_cast<DeleteFn>(entries[1]);
    src_process = reinterpret_cast<ProcessFn>(entries[2]);
    src_reset = reinterpret_cast<ResetFn>(entries[3]);
    src_strerror = reinterpret_cast<StrerrorFn>(entries[4]);
    return true;
}

void ResamplerLibrary::unload() {
    src_new = nullptr;
    src_delete = nullptr;
    src_process = nullptr;
    src_reset = nullptr;
    src_strerror = nullptr;
    m_library.close();
}

}  // namespace quoril
