#pragma once
// The study report as one self-contained HTML page: its tables written out,
// its charts drawn in the browser by the chart library embedded in the page,
// from the same document report.json holds. Nothing is fetched when the page
// is shown or printed.
#include <string>

#include "json/json_value.h"

namespace tallyx::report {

std::string ReportHtml(const json::Value& document);

}  // namespace tallyx::report
