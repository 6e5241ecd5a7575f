#include "asio/AsioDriverList.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace quoril {

std::atomic<IASIO*> theAsioDriver{nullptr};
AsioDrivers* asioDrivers = nullptr;

namespace {

constexpr const char* kAsioKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO";
constexpr const char* kClassesKey = "HKEY_CLASSES_ROOT\\clsid";

// Buffer sizes the registry reads are made with; a name or text that does not fit with its
// terminator is a failed read, as it would be with a fixed buffer.
constexpr size_t kKeyNameBuffer = 128;
constexpr size_t kClassKeyNameBuffer = 512;
constexpr size_t kClassIdTextBuffer = 256;
constexpr size_t kServerPathBuffer = 512;
constexpr size_t kDescriptionBuffer = 256;
constexpr size_t kMaxClassIdChars = 100;  // the class id text converted for parsing

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// A text value that fits in a buffer of bufferSize bytes; nothing for a missing or non-text value.
std::optional<std::string> readText(const Registry& registry, const std::string& key, const char* name,
                                    size_t bufferSize) {
    std::optional<Registry::Value> value = registry.value(key, name);
    if (!value || value->type != Registry::Type::String || value->text.size() + 1 > bufferSize) {
        return std::nullopt;
    }
    return value->text;
}

// Subkey names as an enumeration into a fixed buffer sees them: it ends at the first name that
// does not fit.
std::vector<std::string> enumerateSubkeys(const Registry& registry, const std::string& key,
                                          size_t bufferSize) {
    std::vector<std::string> names = registry.subkeys(key);
    auto tooLong = std::find_if(names.begin(), names.end(), [bufferSize](const std::string& name) {
        return name.size() + 1 > bufferSize;
    });
    names.erase(tooLong, names.end());
    return names;
}

// Clears theAsioDriver when it is the driver about to be released, so it never dangles.
void forgetIfCurrent(IASIO* driver) {
    IASIO* expected = driver;
    theAsioDriver.compare_exchange_strong(expected, nullptr);
}

}  // namespace

// ---- AsioDriverList ----

AsioDriverList::AsioDriverList() {
    m_registry.loadDefault();
    build();
}

AsioDriverList::AsioDriverList(const Registry& registry) : m_registry(registry) {
    build();
}

void AsioDriverList::build() {
    if (!m_registry.keyExists(kAsioKey)) {
        return;
    }
    AsioDriverRecord** tail = &m_first;
    long count = 0;
    for (const std::string& subkey : enumerateSubkeys(m_registry, kAsioKey, kKeyNameBuffer)) {
        AsioDriverRecord* made = nullptr;
        if (makeRecord(subkey, count, made)) {
            *tail = made;
            tail = &made->next;
            ++count;
        }
    }
    m_numdev = count;
    if (m_numdev > 0) {
        comInitialize();
    }
}

bool AsioDriverList::makeRecord(const std::string& subkey, long id, AsioDriverRecord*& out) const {
    const std::string key = std::string(kAsioKey) + "\\" + subkey;
    std::optional<std::string> classIdText = readText(m_registry, key, "clsid", kClassIdTextBuffer);
    if (!classIdText) {
        return false;
    }
    const std::string wanted = lowerCase(*classIdText);

    std::optional<std::string> classKey;
    for (const std::string& name : enumerateSubkeys(m_registry, kClassesKey, kClassKeyNameBuffer)) {
        if (lowerCase(name) == wanted) {
            classKey = std::string(kClassesKey) + "\\" + name;
            break;
        }
    }
    if (!classKey) {
        return false;
    }
    // The server file named here need not exist; it is only loaded when the driver is opened.
    if (!readText(m_registry, *classKey + "\\InprocServer32", "", kServerPathBuffer)) {
        return false;
    }

    auto* record = new AsioDriverRecord();
    record->id = id;
    parseClassId(std::string_view(wanted).substr(0, kMaxClassIdChars), record->classId);
    std::optional<std::string> description = readText(m_registry, key, "description", kDescriptionBuffer);
    const std::string& displayName = description ? *description : subkey;
    std::strncpy(record->driverName, displayName.c_str(), sizeof record->driverName - 1);
    out = record;
    return true;
}

AsioDriverList::~AsioDriverList() {
    // Release the open drivers from the last record back to the first.
    std::vector<AsioDriverRecord*> records;
    for (AsioDriverRecord* record = m_first; record != nullptr; record = record->next) {
        records.push_back(record);
    }
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if ((*it)->asiodrv != nullptr) {
            forgetIfCurrent((*it)->asiodrv);
            (*it)->asiodrv->Release();
            (*it)->asiodrv = nullptr;
        }
        delete *it;
    }
    m_first = nullptr;
    if (m_numdev > 0) {
        comUninitialize();
    }
}

AsioDriverRecord* AsioDriverList::findRecord(long id) const {
    for (AsioDriverRecord* record = m_first; record != nullptr; record = record->next) {
        if (record->id == id) {
            return record;
        }
    }
    return nullptr;
}

const AsioDriverRecord* AsioDriverList::record(long id) const {
    return findRecord(id);
}

long AsioDriverList::asioOpenDriver(long id, void** where) {
    if (where == nullptr) {
        return DRVERR_INVALID_PARAM;
    }
    AsioDriverRecord* record = findRecord(id);
    if (record == nullptr) {
        return DRVERR_DEVICE_NOT_FOUND;
    }
    if (record->asiodrv != nullptr) {
        return DRVERR_DEVICE_ALREADY_OPEN;
    }
    long result = createInstance(m_registry, record->classId, where);
    if (result == kCreateOk) {
        record->asiodrv = static_cast<IASIO*>(*where);
    }
    return result;
}

long AsioDriverList::asioCloseDriver(long id) {
    AsioDriverRecord* record = findRecord(id);
    if (record != nullptr && record->asiodrv != nullptr) {
        forgetIfCurrent(record->asiodrv);
        record->asiodrv->Release();
        record->asiodrv = nullptr;
    }
    return 0;
}

long AsioDriverList::asioGetDriverName(long id, char* name, int size) {
    AsioDriverRecord* record = findRecord(id);
    if (record == nullptr || name == nullptr || size < 4) {
        return DRVERR_DEVICE_NOT_FOUND;
    }
    size_t length = std::strlen(record->driverName);
    if (length < static_cast<size_t>(size)) {
        std::memcpy(name, record->driverName, length + 1);
    } else {
        std::memcpy(name, record->driverName, static_cast<size_t>(size) - 4);
        std::memcpy(name + size - 4, "...", 4);
    }
    return 0;
}

// ---- AsioDrivers ----

AsioDrivers::~AsioDrivers() {
    // The base releases every open record; theAsioDriver is cleared if it was one of them.
    m_curIndex = -1;
}

bool AsioDrivers::getCurrentDriverName(char* name) {
    name[0] = '\0';
    if (m_curIndex < 0) {
        return false;
    }
    return asioGetDriverName(m_curIndex, name, 32) == 0;
}

bool AsioDrivers::loadDriver(const std::string& name) {
    char handedOut[32];
    for (long id = 0; id < asioGetNumDev(); ++id) {
        if (asioGetDriverName(id, handedOut, sizeof handedOut) != 0 || name != handedOut) {
            continue;
        }
        char previous[32];
        getCurrentDriverName(previous);
        if (m_curIndex != -1) {
            asioCloseDriver(m_curIndex);
        }
        m_curIndex = -1;

        void* object = nullptr;
        if (asioOpenDriver(id, &object) == 0) {
            theAsioDriver.store(static_cast<IASIO*>(object));
            m_curIndex = id;
            return true;
        }
        theAsioDriver.store(nullptr);
        if (previous[0] != '\0' && std::strcmp(previous, handedOut) != 0) {
            loadDriver(previous);
        }
        return false;
    }
    return false;
}

void AsioDrivers::removeCurrentDriver() {
    if (theAsioDriver.load() != nullptr && m_curIndex != -1) {
        asioCloseDriver(m_curIndex);
        m_curIndex = -1;
    }
    theAsioDriver.store(nullptr);
}

void AsioDrivers::closeCurrentDriver() {
    if (m_curIndex != -1) {
        asioCloseDriver(m_curIndex);
        m_curIndex = -1;
    }
}

// ---- the session's list ----

bool loadAsioDriver(const std::string& name) {
    if (asioDrivers == nullptr) {
        asioDrivers = new AsioDrivers();
    }
    return asioDrivers->loadDriver(name);
}

void destroyAsioDrivers() {
    if (asioDrivers != nullptr) {
        asioDrivers->closeCurrentDriver();
        delete asioDrivers;
        asioDrivers = nullptr;
    }
}

}  // namespace quoril
