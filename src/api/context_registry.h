#pragma once

namespace tallyx {

class LibraryContext;

// The set of contexts this library created and has not yet freed. A handle is
// looked up here before anything behind it is read, so a dangling or garbage
// pointer is rejected without being dereferenced.
namespace context_registry {

void Add(LibraryContext* context);
void Remove(LibraryContext* context);
// The live context behind a handle whose marker is intact, or null.
LibraryContext* Find(const void* handle);

}  // namespace context_registry
}  // namespace tallyx
