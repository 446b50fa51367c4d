#include "cli/study_check.h"

#include "cli/return_code_help.h"

namespace tallyx::cli {

using study::NormaliseStudyTime;
using study::StudyKey;
using study::StudyKeys;
using study::StudyValue;

const char* StudyKeyOfCode(int32_t code) {
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

std::vector<StudyProblem> ApplyStudySettings(study::StudySettings& settings, Session& session, bool all) {
    std::vector<StudyProblem> problems;
    auto problem = [&](const std::string& key, std::string message, std::string reason) {
        problems.push_back({key, std::move(message), std::move(reason)});
        return !all;  // true: stop here
    };

    // Dates are checked and put in the library's form here, and the begin
    // must come before the end.
    long long sortKeys[2] = {0, 0};
    bool datesValid = true;
    for (const char* key : {"begin", "end"}) {
        const bool begin = std::string(key) == "begin";
        const StudyValue* value = settings.Find(key);
        if (value == nullptr) {
            datesValid = false;
            if (problem(key, std::string("the study needs a ") + key + " (--" + key + ")", "a date and time is needed"))
                return problems;
            continue;
        }
        std::string normalised;
        if (!NormaliseStudyTime(value->value, normalised, sortKeys[begin ? 0 : 1])) {
            datesValid = false;
            const std::string expected = "is not a date and time of the form YYYY-MM-DD hh:mm[:ss]";
            if (problem(key, value->origin + ": " + key + " '" + value->value + "' " + expected,
                        "'" + value->value + "' " + expected))
                return problems;
            continue;
        }
        std::string ignored;
        settings.Set(key, normalised, value->origin, ignored);
    }
    if (datesValid && sortKeys[0] >= sortKeys[1]) {
        const StudyValue& begin = *settings.Find("begin");
        const StudyValue& end = *settings.Find("end");
        if (problem("end", begin.origin + ": the begin " + begin.value + " is not before the end " + end.value + " (" +
                               end.origin + ")",
                    "the end " + end.value + " is not after the begin " + begin.value))
            return problems;
    }

    // Units first: they say how the bins and the speed limit are read.
    if (const StudyValue* units = settings.Find("units")) {
        const std::string metric = units->value == "metric" ? STUDY_MEASUREMENTUNITS_METRIC
                                   : units->value == "us"   ? STUDY_MEASUREMENTUNITS_US
                                                            : "";
        const int32_t code = metric.empty() ? RETCODE_ERR_INVALIDPROPERTYVALUE
                                            : SetProperty(session.Handle(), PROPERTY_STUDY_MEASUREMENTUNITS, metric.c_str());
        if (metric.empty()) {
            if (problem("units", units->origin + ": units '" + units->value + "' is not us or metric",
                        "'" + units->value + "' is not us or metric"))
                return problems;
        } else if (code != RETCODE_OK) {
            if (problem("units", units->origin + ": units '" + metric + "': " + DescribeCode(code), DescribeCode(code)))
                return problems;
        }
    }
    for (const StudyKey& key : StudyKeys()) {
        const StudyValue* value = settings.Find(key.key);
        if (key.property == nullptr || value == nullptr) continue;
        // Dates that are not dates were reported above.
        const bool date = std::string(key.key) == "begin" || std::string(key.key) == "end";
        if (date && !datesValid) continue;
        const int32_t code = SetProperty(session.Handle(), key.property, value->value.c_str());
        if (code == RETCODE_OK) continue;
        const std::string what = value->origin.rfind("--", 0) == 0 ? value->origin : value->origin + ": " + key.key;
        if (problem(key.key, what + " '" + value->value + "': " + DescribeCode(code),
                    "'" + value->value + "': " + HelpFor(code).meaning))
            return problems;
    }
    return problems;
}

}  // namespace tallyx::cli
