#pragma once
// Placeholder: replaced by the full property store.
#include <cstdint>
namespace tallyx {
class PropertyStore {
public:
    int32_t Set(const char* name, const char* value, bool fromCaller);
    int32_t Get(const char* name, char* buffer, uint32_t bufferSize, bool fromCaller) const;
};
}  // namespace tallyx
