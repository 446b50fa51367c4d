// The tallyx tool's study files from any bytes. The input is the file, read
// through a memory file so nothing touches the disk. A file that loads must
// name only known keys, render to a file that loads to the same values, and
// give begin and end times that, once normalised, are of the library's form
// and parse. Its values then go to a library context the way the program
// command hands them over.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include <tallyx/tallyx.h>

#include "study/study_file.h"
#include "properties/property_validation.h"
#include "time/date_time.h"

namespace {

using namespace tallyx;
using study::StudySettings;

// One memory file for the whole run, rewritten for every input.
class MemoryFile {
public:
    MemoryFile() : fd_(memfd_create("study", MFD_CLOEXEC)), path_("/proc/self/fd/" + std::to_string(fd_)) {
        if (fd_ < 0) std::abort();
    }
    const std::string& Write(const void* data, size_t size) {
        if (ftruncate(fd_, 0) != 0) std::abort();
        if (size != 0 && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    StudySettings settings;
    std::string error;
    if (!settings.Load(file.Write(data, size), error)) {
        if (error.empty()) std::abort();
        return 0;
    }

    std::map<std::string, std::string> values;
    for (const auto& [key, value] : settings.Values()) {
        if (study::CanonicalStudyKey(key) != key) std::abort();
        values[key] = value.value;
    }
    const std::string rendered = StudySettings::Render(values, "heading");
    StudySettings again;
    if (!again.Load(file.Write(rendered.data(), rendered.size()), error)) std::abort();
    if (again.Values().size() != values.size()) std::abort();
    for (const auto& [key, value] : again.Values()) {
        if (values.at(key) != value.value) std::abort();
    }

    for (const char* key : {"begin", "end"}) {
        const study::StudyValue* time = settings.Find(key);
        std::string normalised;
        long long sortKey = 0;
        if (time == nullptr || !study::NormaliseStudyTime(time->value, normalised, sortKey)) continue;
        DateTime parsed;
        if (!HasDateTimeForm(normalised.c_str()) || !DateTime::Parse(parsed, normalised.c_str())) std::abort();
        settings.Set(key, normalised, time->origin, error);
    }

    TallyxHandle handle = Init();
    if (const study::StudyValue* units = settings.Find("units")) {
        SetProperty(handle, PROPERTY_STUDY_MEASUREMENTUNITS,
                    units->value == "metric" ? STUDY_MEASUREMENTUNITS_METRIC : STUDY_MEASUREMENTUNITS_US);
    }
    for (const study::StudyKey& key : study::StudyKeys()) {
        const study::StudyValue* value = settings.Find(key.key);
        if (key.property != nullptr && value != nullptr) SetProperty(handle, key.property, value->value.c_str());
    }
    Term(handle);
    return 0;
}
