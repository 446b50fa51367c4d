#pragma once
// The files the report page carries inline, embedded at build time from
// src/report/page/ and from Debian's libjs-chart.js (cmake/embed_text.cmake).
#include <string_view>

namespace tallyx::report {

extern const std::string_view kPageStyle;     // report.css
extern const std::string_view kPageScript;    // report.js: draws the charts from the embedded document
extern const std::string_view kChartLibrary;  // Chart.js, minified, with its licence header

}  // namespace tallyx::report
