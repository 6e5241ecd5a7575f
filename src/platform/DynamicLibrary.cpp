#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace quoril {

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_error(std::move(other.m_error)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool DynamicLibrary::open(const std::string& path) {
    close();
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = dlerror();
        m_error = why ? why : "cannot load " + path;
        return false;
    }
    m_error.clear();
    return true;
}

void* DynamicLibrary::symbol(const char* name) {
    if (!m_handle) {
        m_error = "library not loaded";
        return nullptr;
    }
    dlerror();
    void* address = dlsym(m_handle, name);
    if (!address) {
        const char* why = dlerror();
        m_error = why ? why : std::string("symbol not found: ") + name;
    }
    return address;
}

void DynamicLibrary::close() {
    if (m_handle) {
        dlclose(m_handle);
        m_handle = nullptr;
    }
}

}  // namespace quoril
