#pragma once
// The object behind a handle: everything one caller's work needs.
#include <cstdint>
#include <memory>

#include <tallyx/tallyx.h>

#include "api/device_driver.h"
#include "api/device_statistics.h"
#include "properties/property_store.h"

namespace tallyx {

class LibraryContext {
public:
    static constexpr uint32_t kMarker = 1100;

    LibraryContext();
    ~LibraryContext();

    LibraryContext(const LibraryContext&) = delete;
    LibraryContext& operator=(const LibraryContext&) = delete;

    TallyxHandle Handle() { return reinterpret_cast<TallyxHandle>(this); }

    int32_t Connect();
    int32_t Disconnect();
    int32_t RunRead();
    int32_t RunWrite();
    int32_t GetPropertyForCaller(const char* name, char* buffer, uint32_t bufferSize);

    uint32_t marker = 0;
    ProgressCallback progressCallback = nullptr;
    PromptCallback promptCallback = nullptr;
    std::unique_ptr<DeviceDriver> driver;
    PropertyStore properties;
    DeviceStatistics statistics;
};

}  // namespace tallyx
