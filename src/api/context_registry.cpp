#include "api/context_registry.h"

#include <mutex>
#include <unordered_set>

#include "api/library_context.h"

namespace tallyx::context_registry {
namespace {

std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
}

std::unordered_set<const void*>& Live() {
    static std::unordered_set<const void*> live;
    return live;
}

}  // namespace

void Add(LibraryContext* context) {
    std::lock_guard<std::mutex> lock(Mutex());
    Live().insert(context);
}

void Remove(LibraryContext* context) {
    std::lock_guard<std::mutex> lock(Mutex());
    Live().erase(context);
}

LibraryContext* Find(const void* handle) {
    if (handle == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(Mutex());
    if (Live().count(handle) == 0) return nullptr;
    auto* context = static_cast<LibraryContext*>(const_cast<void*>(handle));
    return context->marker == LibraryContext::kMarker ? context : nullptr;
}

}  // namespace tallyx::context_registry
