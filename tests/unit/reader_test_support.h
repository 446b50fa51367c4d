#pragma once
// Helpers for the reader's tests: a temporary folder, file reading, and a
// stand-in for the library's nine functions that serves synthetic property
// values and CSV lines.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <tallyx/tallyx.h>

#include "reader/library_api.h"
#include "support/text_files.h"

namespace tallyx::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // With a trailing "/".
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

bool FileExists(const std::string& path);

// The messages of every line in the reader's log files of a folder, in order,
// each as "<level> <message>", for example "I Found serial port COM3".
std::vector<std::string> LogMessages(const std::string& logFolder);

// The library stand-in. While a `FakeLibrary` exists, `Api()` reaches it.
class FakeLibrary {
public:
    FakeLibrary();
    ~FakeLibrary();
    FakeLibrary(const FakeLibrary&) = delete;
    FakeLibrary& operator=(const FakeLibrary&) = delete;

    const LibraryApi& Api() const;
    TallyxHandle Handle() const;

    // What the stand-in answers.
    std::map<std::string, std::string> properties;        // served by GetProperty
    std::map<std::string, int32_t> getPropertyErrors;     // GetProperty fails with these
    std::map<std::string, int32_t> setPropertyErrors;     // SetProperty fails with these
    std::vector<std::string> sequentialLines;             // header first; empty: GetFirstValue gives 2
    std::vector<std::string> periodicLines;
    std::map<std::string, int32_t> firstValueErrors;      // by data type
    std::map<size_t, int32_t> nextValueErrors;            // by line index of the current iteration
    std::map<int, int32_t> readResults;                   // by COM number; others fail to wake up
    bool initFails = false;
    int32_t progressCallbackResult = RETCODE_OK;
    int32_t termResult = RETCODE_OK;
    uint32_t progressSteps = 3;                           // progress calls made by a read

    // What the reader did.
    std::vector<int> readPorts;
    std::vector<std::pair<std::string, std::string>> setCalls;
    int liveContexts = 0;

    static FakeLibrary* current;

    // Iteration state of GetFirstValue/GetNextValue.
    const std::vector<std::string>* iterLines = nullptr;
    size_t iterPosition = 0;
    ProgressCallback progress = nullptr;
    PromptCallback prompt = nullptr;
};

}  // namespace tallyx::test
