// tallyx discharge start|stop: the counter's battery discharge circuit.
#include <cstdio>

#include "cli/commands.h"

namespace tallyx::cli {

int RunDischarge(const CommonOptions& options, bool start) {
    Session session;
    std::string error;
    if (const int status = session.Configure(options, error)) return Fail(status, error);
    const char* action = start ? TALLYX_WRITEACTION_STARTBATTERYDISCHARGE : TALLYX_WRITEACTION_STOPBATTERYDISCHARGE;
    const int32_t result = session.Write(action, start ? "Starting the discharge" : "Stopping the discharge");
    if (result != RETCODE_OK) {
        return ReportFailure(session, start ? "Starting the battery discharge" : "Stopping the battery discharge",
                             result);
    }
    std::printf("Battery discharge %s on %s (%s).\n", start ? "started" : "stopped", session.Port().Name().c_str(),
                session.Get(PROPERTY_DEV_SERIALNO).c_str());
    return kExitOk;
}

}  // namespace tallyx::cli
