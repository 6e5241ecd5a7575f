#pragma once

// What a driver plug-in exports so that the player can register and create it: one factory and
// two texts, as C symbols (see platform/PluginLoader.h). A plug-in writes, at namespace scope,
//
//   QUORIL_DRIVER_PLUGIN("Quoril Capture", "{...}", CaptureDriver)
//
// where CaptureDriver derives from IASIO and has a constructor without arguments.

#include <new>
#include "asio/Asio.h"

#include "platform/PluginLoader.h"

#define QUORIL_DRIVER_PLUGIN(displayName, classIdText, DriverClass)                                \
    extern "C" __attribute__((visibility("default"))) const char* quorilDriverName() {             \
        return displayName;                                                                        \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) const char* quorilDriverClassId() {          \
        return classIdText;                                                                        \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) void* quorilDriverCreate(                    \
        const quoril::ClassId* classId) {                                                          \
        quoril::ClassId own;                                                                       \
        if (classId == nullptr || !quoril::parseClassId(classIdText, own) || !(own == *classId)) { \
            return nullptr;                                                                        \
        }                                                                                          \
        quoril::IASIO* driver = new (std::nothrow) DriverClass();                                  \
        return static_cast<void*>(driver);                                                         \
    }
