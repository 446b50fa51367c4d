#pragma once
// The settings of a new study checked and handed to a session's context, in
// the order and by the rules of tallyx program: begin and end as dates with the
// begin first, the units, then every setting through the library's own checks.
// Nothing here opens a port, so every problem is known before anything is sent
// to a counter. The browser application's program form uses the same rules.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/session.h"
#include "study/study_file.h"

namespace tallyx::cli {

struct StudyProblem {
    std::string key;      // the study-file key ("begin", "speed-bins")
    std::string message;  // the sentence tallyx program prints, with where the value came from
    std::string reason;   // what is wrong with the value, without naming the setting
};

// Checks the settings and sets them into the session's context; the dates are
// rewritten into the library's form. With all, every setting is checked and
// each problem listed; without, the first problem ends the check. No problem:
// the context holds the study, ready for WriteDevice.
std::vector<StudyProblem> ApplyStudySettings(study::StudySettings& settings, Session& session, bool all);

// The study-file key whose setting a refusal of WriteDevice is about; null for
// a code about no single setting.
const char* StudyKeyOfCode(int32_t code);

}  // namespace tallyx::cli
