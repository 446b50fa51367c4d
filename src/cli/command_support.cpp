// What the subcommands share: error reports and the counter model.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/return_code_help.h"
#include "drivers/counter_models.h"
#include "platform/files.h"

namespace tallyx::cli {

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "tallyx: error: %s\n", message.c_str());
    return status;
}

int ReportFailure(const Session& session, const char* operation, int32_t code) {
    if (code == RETCODE_ABORTED) {
        std::fprintf(stderr, "tallyx: stopped: %s on %s was %s; the port is closed.\n", operation,
                     session.Port().Name().c_str(),
                     session.Interrupted() ? "interrupted" : "stopped at the low-battery question");
        return kExitStopped;
    }
    return Fail(HelpFor(code).status,
                std::string(operation) + " on " + session.Port().Name() + " failed: " + DescribeCode(code));
}

const char* ModelOf(const std::string& unitType) {
    const CounterModelInfo* model = ModelOfUnitType(unitType);
    return model != nullptr ? model->letter : "?";
}

bool MakeFolders(const std::string& path, std::string& error) {
    std::string partial;
    for (size_t at = 0; at != std::string::npos;) {
        size_t next = at + 1;
        while (next < path.size() && !IsPathSeparator(path[next])) ++next;
        at = next < path.size() ? next : std::string::npos;
        partial = path.substr(0, at);
        if (partial.empty()) continue;
        if (!tallyx::MakeFolder(partial)) {
            error = "cannot create the folder " + partial + ": " + LastFileErrorText();
            return false;
        }
    }
    return true;
}

}  // namespace tallyx::cli
