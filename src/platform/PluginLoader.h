#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quoril {

class Registry;

// In-process object creation from a class id, the way the player's drivers are made: the class
// id's HKEY_CLASSES_ROOT\clsid\{...}\InprocServer32 default value names a shared library; it is
// loaded with dlopen (and stays loaded for the life of the process, so no object ever outlives
// its code), and its exported C factory (kPluginFactorySymbol) makes the object for the class id.

// A 128-bit class id, laid out as the usual GUID record.
struct ClassId {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};

    bool isZero() const;
    friend bool operator==(const ClassId&, const ClassId&) = default;
};

// Parses "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (braces required, hex digits in either case,
// nothing before or after). False, with out zeroed, on anything else.
bool parseClassId(std::string_view text, ClassId& out);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string formatClassId(const ClassId& id);

// The symbols every plug-in exports (extern "C", default visibility):
//   void* quorilDriverCreate(const quoril::ClassId* classId);  the object, or null for a class
//                                                              id that is not the plug-in's
//   const char* quorilDriverName(void);     display name, used as the registry key name
//   const char* quorilDriverClassId(void);  "{...}" text of the plug-in's class id
inline constexpr const char* kPluginFactorySymbol = "quorilDriverCreate";
inline constexpr const char* kPluginNameSymbol = "quorilDriverName";
inline constexpr const char* kPluginClassIdSymbol = "quorilDriverClassId";
using PluginFactory = void* (*)(const ClassId*);
using PluginTextFunction = const char* (*)();

// Per-thread initialise count, the stand-in for COM start and end. comInitialize() returns the
// count after the increment; comUninitialize() decrements it (never below zero) and returns it.
// Any thread.
int comInitialize();
int comUninitialize();
int comInitializeCount();

// Result codes of createInstance (the COM values, as signed 32-bit numbers).
enum : long {
    kCreateOk = 0,
    kClassNotRegistered = static_cast<int32_t>(0x80040154u),  // no InprocServer32 for the class id
    kClassNotAvailable = static_cast<int32_t>(0x80040111u),   // the factory refused the class id
    kModuleNotFound = static_cast<int32_t>(0x8007007eu),      // dlopen failed or no factory symbol
    kCreateNoPointer = static_cast<int32_t>(0x80004003u),     // no place for the object given
};

// Creates the object of classId: reads HKCR\clsid\{classId}\InprocServer32 (key names compare
// case-insensitively) from registry, loads that library and calls its factory. On success stores
// the object in *object and returns kCreateOk; otherwise sets *object to null and returns one of
// the codes above. Window thread.
long createInstance(const Registry& registry, const ClassId& classId, void** object);

// What a plug-in file says about itself, read through its exported symbols (for registration).
struct PluginDescription {
    std::string name;
    std::string classIdText;
};
// Loads path and reads its name and class id symbols. False, with error set, when the file does
// not load or lacks a symbol or its class id text does not parse.
bool describePlugin(const std::string& path, PluginDescription& out, std::string& error);

}  // namespace quoril
