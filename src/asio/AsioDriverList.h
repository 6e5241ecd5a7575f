#pragma once

#include <atomic>
#include <string>

#include "asio/Asio.h"
#include "platform/PluginLoader.h"
#include "platform/Registry.h"

namespace quoril {

// Open errors of AsioDriverList::asioOpenDriver (besides the creation result itself).
enum : long {
    DRVERR_INVALID_PARAM = -5001,     // no place for the interface given
    DRVERR_DEVICE_NOT_FOUND = -5003,  // no record with that id
    DRVERR_DEVICE_ALREADY_OPEN = -5002,
};

// One installed driver, as its registry entries describe it.
struct AsioDriverRecord {
    long id = 0;                // 0-based position in its list
    ClassId classId;            // zero when the registered text does not parse
    char driverName[128] = {};  // display name: "description", else the key name
    IASIO* asiodrv = nullptr;   // the open driver, null while closed
    AsioDriverRecord* next = nullptr;
};

// The drivers registered under HKEY_LOCAL_MACHINE\SOFTWARE\ASIO, in registry enumeration order.
// A subkey gives a record when its "clsid" value names (ignoring case) a subkey of
// HKEY_CLASSES_ROOT\clsid that has a readable InprocServer32 default value; otherwise it is
// skipped silently. Window thread only.
class AsioDriverList {
  public:
    // Reads the registry file the player uses (Registry::loadDefault()).
    AsioDriverList();
    // Reads the given registry; the list keeps a copy for creating the drivers.
    explicit AsioDriverList(const Registry& registry);
    // Releases every open driver, deepest record first, and ends this thread's driver use when
    // the list had records.
    virtual ~AsioDriverList();
    AsioDriverList(const AsioDriverList&) = delete;
    AsioDriverList& operator=(const AsioDriverList&) = delete;

    // Creates the driver of record id and stores it in *where and in the record. 0 on success;
    // DRVERR_INVALID_PARAM, DRVERR_DEVICE_NOT_FOUND, DRVERR_DEVICE_ALREADY_OPEN or the creation
    // result (platform/PluginLoader.h) otherwise.
    long asioOpenDriver(long id, void** where);
    // Releases the driver of record id when it is open. Returns 0.
    long asioCloseDriver(long id);
    // The display name as handed out (buffer of 32 bytes): the whole name when it has fewer than
    // 32 characters, else its first 28 characters and "...". Returns 0, or
    // DRVERR_DEVICE_NOT_FOUND (buffer untouched).
    long asioGetDriverName(long id, char* name, int size = 32);
    long asioGetNumDev() const { return m_numdev; }
    // The record with that id, or null.
    const AsioDriverRecord* record(long id) const;
    // The registry the list was read from.
    const Registry& registry() const { return m_registry; }

  protected:
    AsioDriverRecord* findRecord(long id) const;

  private:
    void build();
    bool makeRecord(const std::string& subkey, long id, AsioDriverRecord*& out) const;

    Registry m_registry;
    AsioDriverRecord* m_first = nullptr;  // owned
    long m_numdev = 0;
};

// The driver list plus the one driver that is current. Window thread only.
class AsioDrivers : public AsioDriverList {
  public:
    AsioDrivers() = default;
    explicit AsioDrivers(const Registry& registry) : AsioDriverList(registry) {}
    ~AsioDrivers() override;

    // Opens the first record whose handed-out name equals name (case matters) and makes it the
    // current driver, stored in theAsioDriver. On failure theAsioDriver is null and the driver
    // that was current before is reopened. Closes the previous current driver first.
    bool loadDriver(const std::string& name);
    // The current driver's handed-out name into name (32 bytes); false (and "") with none.
    bool getCurrentDriverName(char* name);
    // Releases the current driver, if any; theAsioDriver becomes null.
    void removeCurrentDriver();
    long getCurrentDriverIndex() const { return m_curIndex; }
    // Releases the current driver whether or not theAsioDriver still names it (after a failed
    // init it does not); index -1.
    void closeCurrentDriver();

  private:
    long m_curIndex = -1;
};

// The interface of the current driver, null when none. Written by the window thread (loading,
// failed init, teardown); read by the buffer callbacks on the driver's thread while a session runs.
extern std::atomic<IASIO*> theAsioDriver;
static_assert(std::atomic<IASIO*>::is_always_lock_free);

// The driver list of the device session: made by the first loadAsioDriver(), destroyed by the
// session's teardown (destroyAsioDrivers()). Window thread only.
extern AsioDrivers* asioDrivers;

// Makes asioDrivers (from the default registry) if it does not exist yet, then loadDriver(name).
bool loadAsioDriver(const std::string& name);
// Closes the current driver of asioDrivers, destroys the list and clears the reference.
void destroyAsioDrivers();

}  // namespace quoril
