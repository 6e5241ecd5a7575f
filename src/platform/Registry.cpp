#include "platform/Registry.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/AtomicFile.h"

namespace quoril {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string userConfigPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) {
        return std::string(xdg) + "/quoril/registry.reg";
    }
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/quoril/registry.reg";
}

// Parses a quoted string starting at text[pos] == '"'; handles \\ and \" escapes. On success pos
// is just past the closing quote.
bool parseQuoted(std::string_view text, size_t& pos, std::string& out) {
    if (pos >= text.size() || text[pos] != '"') {
        return false;
    }
    out.clear();
    for (size_t i = pos + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            out.push_back(text[++i]);
        } else if (c == '"') {
            pos = i + 1;
            return true;
        } else {
            out.push_back(c);
        }
    }
    return false;
}

std::string quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::string Registry::userPath() {
    const char* explicitPath = std::getenv("QUORIL_REGISTRY");
    if (explicitPath && *explicitPath) {
        return explicitPath;
    }
    return userConfigPath();
}

std::string Registry::locate() {
    const char* explicitPath = std::getenv("QUORIL_REGISTRY");
    if (explicitPath && *explicitPath) {
        return explicitPath;
    }
    std::string user = userConfigPath();
    if (fileExists(user)) {
        return user;
    }
    if (fileExists("/etc/quoril/registry.reg")) {
        return "/etc/quoril/registry.reg";
    }
    return user;
}

bool Registry::loadDefault() {
    return load(locate());
}

bool Registry::load(const std::string& path) {
    m_keys.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    parse(text.str());
    return true;
}

std::string Registry::canonicalPath(std::string_view keyPath) {
    while (!keyPath.empty() && keyPath.back() == '\\') {
        keyPath.remove_suffix(1);
    }
    struct Alias {
        std::string_view shortName;
        std::string_view longName;
    };
    static constexpr Alias kAliases[] = {
        {"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKCR", "HKEY_CLASSES_ROOT"}, {"HKCU", "HKEY_CURRENT_USER"}};
    for (const Alias& alias : kAliases) {
        if (startsWithNoCase(keyPath, alias.shortName) &&
            (keyPath.size() == alias.shortName.size() || keyPath[alias.shortName.size()] == '\\')) {
            return std::string(alias.longName) + std::string(keyPath.substr(alias.shortName.size()));
        }
    }
    return std::string(keyPath);
}

void Registry::parse(std::string_view text) {
    m_keys.clear();
    Key* current = nullptr;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = trim(text.substr(start, end - start));
        start = end + 1;

        if (line.empty() || line.front() == ';' || line == kHeader || line == "REGEDIT4") {
            continue;
        }
        if (line.front() == '[') {
            current = nullptr;
            if (line.back() != ']' || line.size() < 3 || line[1] == '-') {
                continue;  // malformed or a deletion entry: its values are ignored
            }
            std::string_view path = line.substr(1, line.size() - 2);
            // A path of backslashes only names no key: it would be written back as "[]".
            if (path.find('[') != std::string_view::npos || path.find(']') != std::string_view::npos ||
                canonicalPath(path).empty()) {
                continue;
            }
            current = &obtainKey(path);
            continue;
        }
        if (!current) {
            continue;
        }
        Value value;
        size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (!parseQuoted(line, pos, value.name)) {
            continue;
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        if (pos >= line.size() || line[pos] != '=') {
            continue;
        }
        std::string_view data = trim(line.substr(pos + 1));
        if (!data.empty() && data.front() == '"') {
            size_t dataPos = 0;
            std::string textValue;
            if (!parseQuoted(data, dataPos, textValue) || !trim(data.substr(dataPos)).empty()) {
                continue;
            }
            value.type = Type::String;
            value.text = std::move(textValue);
        } else if (startsWithNoCase(data, "dword:")) {
            std::string digits(data.substr(6));
            if (digits.empty() || digits.size() > 8 ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                continue;
            }
            value.type = Type::Dword;
            value.dword = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
            value.text = std::to_string(value.dword);
        } else {
            continue;  // binary and other types are not used by the player
        }
        // A value named twice in one key: the later line stands, in the earlier place.
        bool replaced = false;
        for (Value& existing : current->values) {
            if (equalsNoCase(existing.name, value.name)) {
                existing = value;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            current->values.push_back(std::move(value));
        }
    }
}

Registry::Key* Registry::findKey(std::string_view keyPath) {
    std::string path = canonicalPath(keyPath);
    for (Key& key : m_keys) {
        if (equalsNoCase(key.path, path)) {
            return &key;
        }
    }
    return nullptr;
}

const Registry::Key* Registry::findKey(std::string_view keyPath) const {
    return const_cast<Registry*>(this)->findKey(keyPath);
}

Registry::Key& Registry::obtainKey(std::string_view keyPath) {
    if (Key* key = findKey(keyPath)) {
        return *key;
    }
    m_keys.push_back(Key{canonicalPath(keyPath), {}});
    return m_keys.back();
}

bool Registry::keyExists(std::string_view keyPath) const {
    std::string path = canonicalPath(keyPath);
    for (const Key& key : m_keys) {
        if (equalsNoCase(key.path, path) || (key.path.size() > path.size() && key.path[path.size()] == '\\' &&
                                             startsWithNoCase(key.path, path))) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> Registry::subkeys(std::string_view keyPath) const {
    std::string path = canonicalPath(keyPath);
    std::vector<std::string> names;
    for (const Key& key : m_keys) {
        if (key.path.size() <= path.size() + 1 || key.path[path.size()] != '\\' ||
            !startsWithNoCase(key.path, path)) {
            continue;
        }
        std::string_view rest = std::string_view(key.path).substr(path.size() + 1);
        std::string_view name = rest.substr(0, rest.find('\\'));
        if (name.empty()) {
            continue;
        }
        bool seen = false;
        for (const std::string& existing : names) {
            if (equalsNoCase(existing, name)) {
                seen = true;
                break;
            }
        }
        if (!seen) {
            names.emplace_back(name);
        }
    }
    return names;
}

std::vector<Registry::Value> Registry::values(std::string_view keyPath) const {
    const Key* key = findKey(keyPath);
    return key ? key->values : std::vector<Value>();
}

std::optional<Registry::Value> Registry::value(std::string_view keyPath, std::string_view name) const {
    if (const Key* key = findKey(keyPath)) {
        for (const Value& value : key->values) {
            if (equalsNoCase(value.name, name)) {
                return value;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> Registry::stringValue(std::string_view keyPath, std::string_view name) const {
    std::optional<Value> found = value(keyPath, name);
    if (!found) {
        return std::nullopt;
    }
    return found->text;
}

void Registry::createKey(std::string_view keyPath) {
    obtainKey(keyPath);
}

void Registry::setValue(std::string_view keyPath, Value value) {
    Key& key = obtainKey(keyPath);
    for (Value& existing : key.values) {
        if (equalsNoCase(existing.name, value.name)) {
            existing = std::move(value);
            return;
        }
    }
    key.values.push_back(std::move(value));
}

void Registry::setString(std::string_view keyPath, std::string_view name, std::string_view text) {
    setValue(keyPath, Value{std::string(name), Type::String, std::string(text), 0});
}

void Registry::setDword(std::string_view keyPath, std::string_view name, uint32_t dword) {
    setValue(keyPath, Value{std::string(name), Type::Dword, std::to_string(dword), dword});
}

void Registry::deleteKey(std::string_view keyPath) {
    std::string path = canonicalPath(keyPath);
    std::erase_if(m_keys, [&](const Key& key) {
        return equalsNoCase(key.path, path) ||
               (key.path.size() > path.size() && key.path[path.size()] == '\\' &&
                startsWithNoCase(key.path, path));
    });
}

std::string Registry::serialize() const {
    std::string out(kHeader);
    out += "\n";
    for (const Key& key : m_keys) {
        out += "\n[" + key.path + "]\n";
        for (const Value& value : key.values) {
            out += value.name.empty() ? std::string("@") : quote(value.name);
            out += "=";
            if (value.type == Type::Dword) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "dword:%08x", value.dword);
                out += hex;
            } else {
                out += quote(value.text);
            }
            out += "\n";
        }
    }
    return out;
}

bool Registry::save(const std::string& path) const {
    return writeFileAtomically(path, serialize());
}

}  // namespace quoril
