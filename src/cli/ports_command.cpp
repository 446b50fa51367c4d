// tallyx ports: the COM names that exist, the device behind each, and with
// --probe which of them has a counter answering.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/port_argument.h"
#include "cli/return_code_help.h"

namespace tallyx::cli {

namespace {

// What answers on the port, without disturbing a port that another program
// holds: the library opens ports exclusively and backs off when one is taken.
std::string Probe(const CommonOptions& options, uint32_t number) {
    CommonOptions probe = options;
    probe.port = "COM" + std::to_string(number);
    probe.usb = 0;
    probe.quiet = true;
    if (probe.timeoutMs.empty()) probe.timeoutMs = "3000";
    Session session;
    std::string error;
    if (session.Configure(probe, error) != kExitOk) return error;
    const int32_t result = session.Read(TALLYX_READACTION_DEVICEINFO, "Probing");
    if (result == RETCODE_OK) {
        const std::string unitType = session.Get(PROPERTY_DEV_UNITTYPE);
        return "model " + std::string(ModelOf(unitType)) + " (" + unitType + "), serial number " +
               session.Get(PROPERTY_DEV_SERIALNO);
    }
    if (result == RETCODE_ERR_CANTOPENPORT) return "in use by another program, or not accessible";
    if (result == RETCODE_ERR_FAILEDTOWAKEUP) return "no counter answered";
    if (result == RETCODE_ABORTED) return "not probed (interrupted)";
    return HelpFor(result).meaning;
}

}  // namespace

int RunPorts(const CommonOptions& options, bool probe) {
    unsigned found = 0;
    for (uint32_t n = 1; n <= kHighestComNumber; ++n) {
        const std::string device = ExistingDevice(n);
        if (device.empty()) continue;
        ++found;
        const std::string name = "COM" + std::to_string(n);
        if (!probe) {
            std::printf("%-7s %s\n", name.c_str(), device.c_str());
            continue;
        }
        std::printf("%-7s %-20s %s\n", name.c_str(), device.c_str(), Probe(options, n).c_str());
        std::fflush(stdout);
    }
    if (found == 0) std::printf("No serial ports found.\n");
    return kExitOk;
}

}  // namespace tallyx::cli
