#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include "platform/usb_bridge_api.h"

namespace tallyx {

const char* const kUsbBridgeLibraryName = "libSiUSBXp.so";

LibraryModule LoadDynamicLibrary(const char* name) { return dlopen(name, RTLD_NOW | RTLD_LOCAL); }

void* DynamicLibrarySymbol(LibraryModule module, const char* name) { return dlsym(module, name); }

void* DynamicLibraryOrdinal(LibraryModule, uint16_t) {
    // Shared objects here export by name only.
    return nullptr;
}

void FreeDynamicLibrary(LibraryModule module) {
    if (module != nullptr) dlclose(module);
}

}  // namespace tallyx
