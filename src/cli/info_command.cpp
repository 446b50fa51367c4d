// tallyx info: identity, firmware and battery of a counter, read without
// touching its study.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "json/json_value.h"

namespace tallyx::cli {

int RunInfo(const CommonOptions& options, bool json) {
    Session session;
    std::string error;
    if (const int status = session.Configure(options, error)) return Fail(status, error);
    const int32_t result = session.Read(TALLYX_READACTION_DEVICEINFO, "Reading the unit");
    if (result != RETCODE_OK) return ReportFailure(session, "Reading the unit", result);

    const std::string unitType = session.Get(PROPERTY_DEV_UNITTYPE);
    const std::string port =
        session.Port().Name() + (session.Port().device.empty() ? "" : " (" + session.Port().device + ")");
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"port", port},
        {"model", ModelOf(unitType)},
        {"serialNumber", session.Get(PROPERTY_DEV_SERIALNO)},
        {"unitType", unitType},
        {"firmware", session.Get(PROPERTY_DEV_FIRMWAREREV)},
        {"batteryVoltage", session.Get(PROPERTY_DEV_BATTERYVOLTAGE)},
        {"batteryPercent", session.Get(PROPERTY_DEV_BATTERYPERCENT)},
    };
    if (json) {
        std::string text = "{";
        for (size_t i = 0; i < rows.size(); ++i) {
            text += (i == 0 ? "" : ", ") + json::Quote(rows[i].first) + ": " + json::Quote(rows[i].second);
        }
        std::printf("%s}\n", text.c_str());
        return kExitOk;
    }
    const char* labels[] = {"Port", "Model", "Serial number", "Unit type", "Firmware", "Battery voltage",
                            "Battery charge"};
    for (size_t i = 0; i < rows.size(); ++i) {
        std::string value = rows[i].second;
        if (i == 1) value += " (" + unitType + ")";
        if (i == 5 && !value.empty()) value += " V";
        if (i == 6 && !value.empty()) value += " %";
        std::printf("%-16s %s\n", labels[i], value.c_str());
    }
    return kExitOk;
}

}  // namespace tallyx::cli
