#include "reader/library_api.h"

#if defined(_WIN32)
#include <cstdio>
#include <cstdlib>

#include "platform/dynamic_library.h"
#endif

namespace tallyx {

#if defined(_WIN32)

namespace {

// Binds one export by its ordinal; the program cannot run without it.
template <typename Fn>
void BindOrdinal(LibraryModule module, uint16_t ordinal, Fn* target) {
    *target = reinterpret_cast<Fn>(DynamicLibraryOrdinal(module, ordinal));
    if (*target == nullptr) {
        std::fprintf(stderr, "tallyread: tallyx.dll has no function with the ordinal %u\n", unsigned{ordinal});
        std::exit(1);
    }
}

// The nine exports the reader uses, bound by their ordinals (all but WriteDevice, 4) when the
// program starts, as a program linked against the library would be.
LibraryApi BindLibrary() {
    const LibraryModule module = LoadDynamicLibrary("tallyx.dll");
    if (module == nullptr) {
        std::fprintf(stderr, "tallyread: tallyx.dll cannot be loaded\n");
        std::exit(1);
    }
    LibraryApi api{};
    BindOrdinal(module, 1, &api.Init);
    BindOrdinal(module, 2, &api.Term);
    BindOrdinal(module, 3, &api.ReadDevice);
    BindOrdinal(module, 5, &api.SetProgressCallback);
    BindOrdinal(module, 6, &api.SetPromptCallback);
    BindOrdinal(module, 7, &api.GetProperty);
    BindOrdinal(module, 8, &api.SetProperty);
    BindOrdinal(module, 9, &api.GetFirstValue);
    BindOrdinal(module, 10, &api.GetNextValue);
    return api;  // the library stays loaded for the life of the program
}

}  // namespace

const LibraryApi& RealLibraryApi() {
    static const LibraryApi api = BindLibrary();
    return api;
}

#else

const LibraryApi& RealLibraryApi() {
    // Bound by the dynamic loader when the program is loaded: the program links the library.
    static const LibraryApi api{
        &::Init,        &::Term,        &::ReadDevice,    &::SetProgressCallback, &::SetPromptCallback,
        &::GetProperty, &::SetProperty, &::GetFirstValue, &::GetNextValue,
    };
    return api;
}

#endif

}  // namespace tallyx
