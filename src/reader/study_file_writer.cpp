#include "reader/study_file_writer.h"

#include "reader/output_file.h"
#include "study/setting_fields.h"

namespace tallyx {

void WriteStudyFile(const ReaderSession& session, const std::string& path) {
    const OutputFile file = OutputFile::Create(path);
    if (!file) {
        session.log.Error("Failed to open %s", path.c_str());
        return;
    }
    for (const study::SettingKey key : study::StudyTextOrder()) {
        const study::SettingField& field = study::FieldOf(key);
        if (const auto value = session.ReadProperty(field.property)) {
            file.WriteLine(std::string(field.label) + ": " + *value);
        }
    }
}

}  // namespace tallyx
