#pragma once
// Libraries loaded at run time by name, and their functions looked up by name.
#include <cstdint>

namespace tallyx {

// A loaded library; null when loading failed.
using LibraryModule = void*;

LibraryModule LoadDynamicLibrary(const char* name);
// The address of a function of the library; null when it has none of that name.
void* DynamicLibrarySymbol(LibraryModule module, const char* name);
// The address of the function a library exports under an ordinal number; null when it has none
// or the system has no ordinals.
void* DynamicLibraryOrdinal(LibraryModule module, uint16_t ordinal);
void FreeDynamicLibrary(LibraryModule module);

}  // namespace tallyx
