// tallyx program: a new study from a study file and options. Every setting is
// handed to the library before the port is opened, so a bad one is reported,
// with where it came from, before anything reaches the counter.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/return_code_help.h"
#include "study/study_file.h"

namespace tallyx::cli {

using study::NormaliseStudyTime;
using study::StudyKey;
using study::StudyKeys;
using study::StudySettings;
using study::StudyValue;

namespace {

// The study-file key whose setting a validation code is about.
const char* KeyOfCode(int32_t code) {
    switch (code) {
        case RETCODE_ERR_BADRANGE:
        case RETCODE_ERR_BADSTARTDATETIME: return "begin";
        case RETCODE_ERR_BADENDDATETIME:
        case RETCODE_ERR_RANGETOOBIG: return "end";
        case RETCODE_ERR_BADPERIOD:
        case RETCODE_ERR_PARTIALLASTPERIOD: return "period";
        case RETCODE_ERR_BADSPEEDBINS: return "speed-bins";
        case RETCODE_ERR_BADLENGTHBINS: return "length-bins";
        default: return nullptr;
    }
}

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

    // Dates are checked and put in the library's form here, and the begin
    // must come before the end, before the port is opened.
    long long beginKey = 0;
    long long endKey = 0;
    for (const char* key : {"begin", "end"}) {
        const StudyValue* value = settings.Find(key);
        if (value == nullptr) return Fail(kExitUsage, std::string("the study needs a ") + key + " (--" + key + ")");
        std::string normalised;
        if (!NormaliseStudyTime(value->value, normalised, std::string(key) == "begin" ? beginKey : endKey)) {
            return Fail(kExitUsage, value->origin + ": " + key + " '" + value->value +
                                        "' is not a date and time of the form YYYY-MM-DD hh:mm[:ss]");
        }
        settings.Set(key, normalised, value->origin, error);
    }
    if (beginKey >= endKey) {
        return Fail(kExitUsage, settings.Find("begin")->origin + ": the begin " + settings.Find("begin")->value +
                                    " is not before the end " + settings.Find("end")->value + " (" +
                                    settings.Find("end")->origin + ")");
    }

    Session session;
    if (const int status = session.Configure(options, error)) return Fail(status, error);
    // Units first: they say how the bins and the speed limit are read.
    const StudyValue* units = settings.Find("units");
    if (units != nullptr) {
        const std::string metric = units->value == "metric" ? STUDY_MEASUREMENTUNITS_METRIC
                                   : units->value == "us"   ? STUDY_MEASUREMENTUNITS_US
                                                            : "";
        if (metric.empty()) return Fail(kExitUsage, units->origin + ": units '" + units->value + "' is not us or metric");
        if (!session.Set(PROPERTY_STUDY_MEASUREMENTUNITS, metric, units->origin + ": units", error)) {
            return Fail(kExitUsage, error);
        }
    }
    for (const StudyKey& key : StudyKeys()) {
        const StudyValue* value = settings.Find(key.key);
        if (key.property == nullptr || value == nullptr) continue;
        const std::string what = value->origin.rfind("--", 0) == 0 ? value->origin : value->origin + ": " + key.key;
        if (!session.Set(key.property, value->value, what, error)) {
            return Fail(kExitUsage, error);
        }
    }

    const int32_t result = session.Write(TALLYX_WRITEACTION_PROGRAMSTUDY, "Programming");
    if (result != RETCODE_OK) {
        if (const char* key = KeyOfCode(result)) {
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
