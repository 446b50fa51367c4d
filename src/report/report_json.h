#pragma once
// The figures of a study report as one JSON document: every figure with its
// unit, the study's settings, and the schema version of the document.
#include <string>

#include "json/json_value.h"
#include "report/study_figures.h"
#include "study/study.h"

namespace tallyx::report {

// Raised when a key, a unit or the shape of report.json changes.
inline constexpr int kReportSchema = 1;
inline constexpr const char* kPercentileMethod =
    "nearest rank: the speed at rank ceil(p x n / 100) of the n speeds sorted from the lowest";

json::Value ReportDocument(const study::Study& study, const StudyFigures& figures);
// The document as report.json writes it.
std::string ReportJsonText(const json::Value& document);

}  // namespace tallyx::report
