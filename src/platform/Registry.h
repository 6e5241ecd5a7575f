#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quoril {

// The registry stand-in: a text file in ".reg" export format.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Ravek]
//   "Path"="/home/me/.config/quoril"
//   @="default value"
//   "Count"=dword:0000000a
//
// Key paths are full ("HKEY_LOCAL_MACHINE\SOFTWARE\ASIO"; "HKLM" and "HKCR" are accepted as
// short forms) and compare case-insensitively, as in Windows. Subkeys and values enumerate in
// the order they first appear in the file. Comments (';'), blank and malformed lines are skipped.
// A key exists when it has a section of its own or any key below it has one.
//
// Not thread-safe; the player reads it from the window thread only.
class Registry {
  public:
    enum class Type { String, Dword };

    struct Value {
        std::string name;  // empty for the default value "@"
        Type type = Type::String;
        std::string text;  // string data, or the dword in decimal
        uint32_t dword = 0;
    };

    // Where the player looks for the file: $QUORIL_REGISTRY, else
    // $XDG_CONFIG_HOME/quoril/registry.reg (default ~/.config/quoril/registry.reg), else
    // /etc/quoril/registry.reg. Returns the first that exists, or the per-user path when none does.
    static std::string locate();
    // The per-user file that "quoril --register" writes: $QUORIL_REGISTRY when set, else
    // $XDG_CONFIG_HOME/quoril/registry.reg (default ~/.config/quoril/registry.reg).
    static std::string userPath();

    // Reads the file at locate(); an absent or unreadable file gives an empty registry and false.
    bool loadDefault();
    bool load(const std::string& path);
    void parse(std::string_view text);

    bool keyExists(std::string_view keyPath) const;
    // Names of the direct subkeys, in file order, as spelt where they first appeared.
    std::vector<std::string> subkeys(std::string_view keyPath) const;
    // Values of a key in file order; empty when the key has none or does not exist.
    std::vector<Value> values(std::string_view keyPath) const;
    // Value lookup; the name compares case-insensitively, "" is the default value.
    std::optional<Value> value(std::string_view keyPath, std::string_view name) const;
    std::optional<std::string> stringValue(std::string_view keyPath, std::string_view name) const;

    void createKey(std::string_view keyPath);
    void setString(std::string_view keyPath, std::string_view name, std::string_view text);
    void setDword(std::string_view keyPath, std::string_view name, uint32_t value);
    // Removes a key and everything below it.
    void deleteKey(std::string_view keyPath);

    std::string serialize() const;
    // Writes the file through a temporary file and a rename, so a reader never sees half a file.
    bool save(const std::string& path) const;

    // "HKLM\x" -> "HKEY_LOCAL_MACHINE\x", "HKCR\x" -> "HKEY_CLASSES_ROOT\x"; trailing '\' dropped.
    static std::string canonicalPath(std::string_view keyPath);

  private:
    struct Key {
        std::string path;  // canonical, as spelt
        std::vector<Value> values;
    };
    Key* findKey(std::string_view keyPath);
    const Key* findKey(std::string_view keyPath) const;
    Key& obtainKey(std::string_view keyPath);
    void setValue(std::string_view keyPath, Value value);

    std::vector<Key> m_keys;  // in file order
};

}  // namespace quoril
