#include "reader_test_support.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>

namespace tallyx::test {

namespace {

int dummyContext = 0;

TallyxHandle FakeHandle() { return reinterpret_cast<TallyxHandle>(&dummyContext); }

int32_t CopyOut(const std::string& text, char* buffer, uint32_t size) {
    if (size == 0 || text.size() + 1 > size) return RETCODE_ERR_BUFFERTOOSMALL;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return RETCODE_OK;
}

TallyxHandle FakeInit() {
    FakeLibrary& fake = *FakeLibrary::current;
    if (fake.initFails) return nullptr;
    ++fake.liveContexts;
    fake.progress = nullptr;
    fake.prompt = nullptr;
    fake.iterLines = nullptr;
    return FakeHandle();
}

int32_t FakeTerm(TallyxHandle) {
    --FakeLibrary::current->liveContexts;
    return FakeLibrary::current->termResult;
}

int32_t FakeReadDevice(TallyxHandle handle) {
    FakeLibrary& fake = *FakeLibrary::current;
    int port = 0;
    for (const auto& [name, value] : fake.setCalls) {
        if (name == PROPERTY_COMM_PORT) port = std::stoi(value);
    }
    fake.readPorts.push_back(port);
    if (fake.prompt != nullptr) fake.prompt(handle, PROMPT_REASON_CONNECT);
    for (uint32_t step = 1; step <= fake.progressSteps && fake.progress != nullptr; ++step) {
        fake.progress(handle, step);
    }
    if (fake.prompt != nullptr) fake.prompt(handle, PROMPT_REASON_DISCONNECT);
    const auto result = fake.readResults.find(port);
    return result == fake.readResults.end() ? RETCODE_ERR_FAILEDTOWAKEUP : result->second;
}

int32_t FakeSetProgressCallback(TallyxHandle, ProgressCallback callback) {
    FakeLibrary::current->progress = callback;
    return FakeLibrary::current->progressCallbackResult;
}

int32_t FakeSetPromptCallback(TallyxHandle, PromptCallback callback) {
    FakeLibrary::current->prompt = callback;
    return RETCODE_OK;
}

int32_t FakeGetProperty(TallyxHandle, const char* name, char* buffer, uint32_t size) {
    FakeLibrary& fake = *FakeLibrary::current;
    if (size == 0) return RETCODE_ERR_BUFFERTOOSMALL;
    const auto error = fake.getPropertyErrors.find(name);
    if (error != fake.getPropertyErrors.end()) return error->second;
    const auto value = fake.properties.find(name);
    return CopyOut(value == fake.properties.end() ? std::string() : value->second, buffer, size);
}

int32_t FakeSetProperty(TallyxHandle, const char* name, const char* value) {
    FakeLibrary& fake = *FakeLibrary::current;
    fake.setCalls.emplace_back(name, value);
    const auto error = fake.setPropertyErrors.find(name);
    if (error != fake.setPropertyErrors.end()) return error->second;
    fake.properties[name] = value;
    return RETCODE_OK;
}

int32_t FakeGetNextValue(TallyxHandle, char* buffer, uint32_t size) {
    FakeLibrary& fake = *FakeLibrary::current;
    if (fake.iterLines == nullptr) return RETCODE_ERR_ITERNOTINITIALIZED;
    if (size == 0) return RETCODE_ERR_BUFFERTOOSMALL;
    buffer[0] = '\0';
    if (fake.iterPosition >= fake.iterLines->size()) return RETCODE_NOMOREVALUES;
    const size_t index = fake.iterPosition++;
    const auto error = fake.nextValueErrors.find(index);
    if (error != fake.nextValueErrors.end()) return error->second;
    return CopyOut((*fake.iterLines)[index], buffer, size);
}

int32_t FakeGetFirstValue(TallyxHandle handle, const char* dataType, const char* format, char* buffer,
                          uint32_t size) {
    FakeLibrary& fake = *FakeLibrary::current;
    fake.iterLines = nullptr;
    if (std::strcmp(format, GETVALUE_FORMAT_CSV) != 0) return RETCODE_ERR_BADFORMATTYPE;
    const auto error = fake.firstValueErrors.find(dataType);
    if (error != fake.firstValueErrors.end()) return error->second;
    const std::vector<std::string>* lines = nullptr;
    if (std::strcmp(dataType, GETVALUE_DATA_SEQUENTIAL) == 0) lines = &fake.sequentialLines;
    if (std::strcmp(dataType, GETVALUE_DATA_PERIODIC) == 0) lines = &fake.periodicLines;
    if (lines == nullptr) return RETCODE_ERR_BADDATATYPE;
    if (lines->empty()) return RETCODE_NOMOREVALUES;
    fake.iterLines = lines;
    fake.iterPosition = 0;
    return FakeGetNextValue(handle, buffer, size);
}

const LibraryApi kFakeApi{
    &FakeInit,        &FakeTerm,        &FakeReadDevice,    &FakeSetProgressCallback, &FakeSetPromptCallback,
    &FakeGetProperty, &FakeSetProperty, &FakeGetFirstValue, &FakeGetNextValue,
};

}  // namespace

FakeLibrary* FakeLibrary::current = nullptr;

FakeLibrary::FakeLibrary() { current = this; }

FakeLibrary::~FakeLibrary() {
    if (current == this) current = nullptr;
}

const LibraryApi& FakeLibrary::Api() const { return kFakeApi; }

TallyxHandle FakeLibrary::Handle() const { return FakeHandle(); }

TempFolder::TempFolder() {
    char pattern[] = "/tmp/tallyread_test_XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made != nullptr ? std::string(made) + "/" : std::string("/tmp/");
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> LogMessages(const std::string& logFolder) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(logFolder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("tallyread_", 0) == 0) files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    static const std::regex kLine(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] \[([IWE])\] \[(.*)\])");
    std::vector<std::string> messages;
    for (const std::string& file : files) {
        std::istringstream lines(ReadFile(file));
        std::string line;
        std::smatch match;
        while (std::getline(lines, line)) {
            if (std::regex_match(line, match, kLine)) {
                messages.push_back(match[1].str() + " " + match[2].str());
            } else {
                messages.push_back("? " + line);
            }
        }
    }
    return messages;
}

}  // namespace tallyx::test
