#pragma once
// The object behind a handle: everything one caller's work needs, and the
// connection frame that every device operation runs.
#include <cstdint>
#include <memory>

#include <tallyx/tallyx.h>

#include "device/device_driver.h"
#include "device/device_statistics.h"
#include "comm/comm_log.h"
#include "comm/port_link.h"
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

    // Logs, banner, connect prompt, port, wake-up and model detection.
    int32_t Connect();
    // Closes the port and calls the disconnect prompt: 0, or 1 on an abort answer.
    int32_t Disconnect();
    int32_t RunRead();
    int32_t RunWrite();
    int32_t GetPropertyForCaller(const char* name, char* buffer, uint32_t bufferSize);

    uint32_t marker = 0;
    // True while ReadDevice or WriteDevice runs on this context, so that its
    // callbacks cannot start another operation on it or free it.
    bool busy = false;
    ProgressCallback progressCallback = nullptr;
    PromptCallback promptCallback = nullptr;
    std::unique_ptr<DeviceDriver> driver;
    PortLink link;
    CommLog commLog;
    PropertyStore properties;
    DeviceStatistics statistics;

private:
    void WriteBanner();
    int32_t WakeUpAndDetect();
};

}  // namespace tallyx
