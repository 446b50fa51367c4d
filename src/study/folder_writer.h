#pragma once
// The texts of a read folder's files, made from a study: exactly what tallyx
// read and tallyread write, so that a study kept elsewhere (the archive)
// comes back as the same bytes.
#include <map>
#include <string>

#include "study/study.h"

namespace tallyx::study {

// settings.json of tallyx read: the port, the unit and the study settings.
std::string SettingsJsonText(const Study& study);
// study.conf of tallyx read: the study as a study file that tallyx program takes.
std::string StudyConfText(const Study& study);
// The study's settings by study-file key ("begin", "speed-bins", "units"...), as study.conf holds them.
std::map<std::string, std::string> StudyFileValues(const Study& study);
// study.txt of tallyread: one "Label: value" line per setting it has, in its order.
std::string StudyTextLines(const Study& study);

// The vehicle and period files, whole: CSV with its header, or XML with its
// declaration and root.
std::string VehicleFileText(const Study& study, bool xml);
std::string PeriodFileText(const Study& study, bool xml);

// One record line, without its line end.
void AppendVehicleCsv(const Study& study, const Vehicle& vehicle, std::string& out);
void AppendPeriodCsv(const Study& study, size_t period, std::string& out);

}  // namespace tallyx::study
