#include "reader/study_file_writer.h"

#include "reader/output_file.h"

namespace tallyx {

namespace {

struct LabelledProperty {
    const char* label;
    const char* property;
};

constexpr LabelledProperty kStudyLines[] = {
    {"State", PROPERTY_STUDY_STATE},
    {"City", PROPERTY_STUDY_CITY},
    {"County", PROPERTY_STUDY_COUNTY},
    {"Address", PROPERTY_STUDY_ADDRESS},
    {"Lane", PROPERTY_STUDY_LANE},
    {"Speed Limit", PROPERTY_STUDY_SPEEDLIMIT},
    {"Operator", PROPERTY_STUDY_OPERATOR},
    {"Start Time", PROPERTY_STUDY_BEGINDATETIME},
    {"End Time", PROPERTY_STUDY_ENDDATETIME},
    {"Range", PROPERTY_STUDY_RANGETIME},
    {"Period", PROPERTY_STUDY_PERIODTIME},
    {"Speed Bins", PROPERTY_STUDY_SPEEDBINS},
    {"Length Bins", PROPERTY_STUDY_LENGTHBINS},
    {"Finish Code", PROPERTY_STUDY_FCODE},
};

}  // namespace

void WriteStudyFile(const ReaderSession& session, const std::string& path) {
    const OutputFile file = OutputFile::Create(path);
    if (!file) {
        session.log.Error("Failed to open %s", path.c_str());
        return;
    }
    for (const LabelledProperty& line : kStudyLines) {
        if (const auto value = session.ReadProperty(line.property)) {
            file.WriteLine(std::string(line.label) + ": " + *value);
        }
    }
}

}  // namespace tallyx
