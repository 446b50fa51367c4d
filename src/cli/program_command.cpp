// tallyx program: a new study from a study file and options. Every setting is
// handed to the library before the port is opened, so a bad one is reported,
// with where it came from, before anything reaches the counter.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/return_code_help.h"
#include "cli/study_check.h"
#include "study/study_file.h"

namespace tallyx::cli {

using study::StudySettings;
using study::StudyValue;

namespace {

std::string Where(const StudySettings& settings, const std::string& key) {
    const StudyValue* value = settings.Find(key);
    if (value == nullptr) return key + " (not given)";
    return key + " (" + value->origin + ")";
}

}  // namespace

int RunProgram(const CommonOptions& options, const ProgramOptions& program) {
    StudySettings settings;
    std::string error;
    if (!program.studyFile.empty() && !settings.Load(program.studyFile, error)) return Fail(kExitUsage, error);
    for (const auto& [key, value] : program.settings) {
        if (!settings.Set(key, value, "--" + key, error)) return Fail(kExitUsage, error);
    }
    if (program.metric && !settings.Set("units", "metric", "--metric", error)) return Fail(kExitUsage, error);

    // Every setting goes through the library's checks before the port is set up.
    Session session;
    const std::vector<StudyProblem> problems = ApplyStudySettings(settings, session, false);
    if (!problems.empty()) return Fail(kExitUsage, problems.front().message);
    if (const int status = session.Configure(options, error)) return Fail(status, error);

    const int32_t result = session.Write(TALLYX_WRITEACTION_PROGRAMSTUDY, "Programming");
    if (result != RETCODE_OK) {
        if (const char* key = StudyKeyOfCode(result)) {
            return Fail(HelpFor(result).status,
                        "the counter was not programmed: " + Where(settings, key) + ": " + DescribeCode(result));
        }
        return ReportFailure(session, "Programming the study", result);
    }
    std::printf("Programmed %s (%s) on %s: %s to %s, periods of %s min.\n", session.Get(PROPERTY_DEV_SERIALNO).c_str(),
                session.Get(PROPERTY_DEV_UNITTYPE).c_str(), session.Port().Name().c_str(),
                settings.Find("begin")->value.c_str(), settings.Find("end")->value.c_str(),
                session.Get(PROPERTY_STUDY_PERIODTIME).c_str());
    return kExitOk;
}

}  // namespace tallyx::cli
