#include "platform/dynamic_library.h"

#include <windows.h>

#include "platform/usb_bridge_api.h"

namespace tallyx {

const char* const kUsbBridgeLibraryName = "SiUSBXp.dll";

LibraryModule LoadDynamicLibrary(const char* name) { return LoadLibraryA(name); }

void* DynamicLibrarySymbol(LibraryModule module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void* DynamicLibraryOrdinal(LibraryModule module, uint16_t ordinal) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), MAKEINTRESOURCEA(ordinal)));
}

void FreeDynamicLibrary(LibraryModule module) {
    if (module != nullptr) FreeLibrary(static_cast<HMODULE>(module));
}

}  // namespace tallyx
