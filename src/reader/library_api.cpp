#include "reader/library_api.h"

namespace tallyx {

const LibraryApi& RealLibraryApi() {
    static const LibraryApi api{
        &::Init,        &::Term,        &::ReadDevice,    &::SetProgressCallback, &::SetPromptCallback,
        &::GetProperty, &::SetProperty, &::GetFirstValue, &::GetNextValue,
    };
    return api;
}

}  // namespace tallyx
