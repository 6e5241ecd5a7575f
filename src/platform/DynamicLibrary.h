#pragma once

#include <string>

namespace quoril {

// A shared library loaded with dlopen, closed when the object goes. Move-only.
class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    ~DynamicLibrary() { close(); }
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // dlopen(path, RTLD_NOW | RTLD_LOCAL); false with error() set when it fails.
    bool open(const std::string& path);
    bool isOpen() const { return m_handle != nullptr; }
    // nullptr when absent; error() says why.
    void* symbol(const char* name);
    template <typename Fn>
    Fn function(const char* name) {
        return reinterpret_cast<Fn>(symbol(name));
    }
    void close();
    const std::string& error() const { return m_error; }

  private:
    void* m_handle = nullptr;
    std::string m_error;
};

}  // namespace quoril
