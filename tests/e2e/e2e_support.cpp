#include "e2e_support.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <regex>

#include <gtest/gtest.h>

#include "drivers/counter_models.h"
#include "model_b_expected.h"
#include "sim_models.h"
#include "support/text_files.h"

namespace tallyx::e2e {

namespace {

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

Outcome RunTallyreadIn(const test::TempDir& folder, const test::TempDir& scratch) {
    namespace fs = std::filesystem;
    const fs::path binary(TALLYX_BINARY_DIR);
    fs::copy_file(binary / "tallyread", folder.Join("tallyread"), fs::copy_options::overwrite_existing);
    for (const auto& entry : fs::directory_iterator(binary)) {
        if (entry.path().filename().string().rfind("libtallyx.so", 0) == 0)
            fs::copy(entry.path(), folder.Join(entry.path().filename().string()),
                     fs::copy_options::copy_symlinks | fs::copy_options::overwrite_existing);
    }
    return RunProgram(folder.Join("tallyread"), {}, scratch);
}

std::string ReadBytes(const std::string& path) { return test::ReadFile(path); }

Outcome RunProgram(const std::string& program, const std::vector<std::string>& args, const test::TempDir& scratch) {
    std::string command = ShellQuote(program);
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    command += " >" + ShellQuote(scratch.Join("out")) + " 2>" + ShellQuote(scratch.Join("err")) + " </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(scratch.Join("out")), ReadBytes(scratch.Join("err"))};
}

std::string ReadFile(const std::string& path) {
    std::string text = test::ReadFile(path);
#ifdef TALLYX_WINDOWS_TEXT_FILES
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "a line of " << path << " ends without CR LF at byte " << i;
            if (!lines.empty() && lines.back() == '\r') lines.pop_back();
        }
        lines.push_back(text[i]);
    }
    text = std::move(lines);
#endif
    return text;
}

std::vector<std::string> CommandsSent(const tallysim::Simulator& counter) {
    std::vector<std::string> commands;
    for (const auto& record : counter.Commands()) commands.push_back(record.command);
    return commands;
}

std::vector<std::string> Lines(TallyxHandle handle, const char* kind, const char* format) {
    std::vector<std::string> lines;
    std::vector<char> buffer(65536);
    int32_t result = GetFirstValue(handle, kind, format, buffer.data(), static_cast<uint32_t>(buffer.size()));
    while (result == RETCODE_OK) {
        lines.emplace_back(buffer.data());
        result = GetNextValue(handle, buffer.data(), static_cast<uint32_t>(buffer.size()));
    }
    EXPECT_EQ(result, RETCODE_NOMOREVALUES);
    return lines;
}

uint32_t Statistic(const std::string& document, const std::string& name) {
    std::smatch match;
    if (!std::regex_search(document, match, std::regex("<" + name + ">(\\d+)</" + name + ">"))) return ~0u;
    return static_cast<uint32_t>(std::stoul(match[1]));
}

std::string StudyDay(int days) { return LocalDay(days + 1); }

std::string TodaysLog(const std::string& folder, const char* suffix) {
    std::time_t seconds = std::time(nullptr);
    std::tm now{};
    localtime_r(&seconds, &now);
    char name[64];
    std::snprintf(name, sizeof name, "/tallyx_%04d-%02d-%02d%s.log", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday,
                  suffix);
    return folder + name;
}

const char* E2eModel::Letter() const { return tallysim::SimModelOf(model).info->letter; }

namespace {

std::vector<E2eModel> EveryModel() {
    const E2eModel known[] = {
        {tallysim::Model::A, {{"vehicles", "60"}, {"seed", "17"}, {"fcode", "40"}},
         [](const tallysim::Study& study) { return ExpectedSequentialCsv(ExpectedVehicles(study)); }, ":X", true},
        {tallysim::Model::B,
         {{"begin", "2026-11-02 06:00"}, {"end", "2026-11-02 08:10"}, {"vehicles", "120"}, {"seed", "17"}},
         [](const tallysim::Study& study) { return ExpectedSequentialCsv(ExpectedVehiclesB(study), FlagDescriptionB); },
         "ERASEUSERAREA", false},
    };
    std::vector<E2eModel> rows;
    for (const tallyx::CounterModelInfo& info : tallyx::CounterModels()) {
        for (const E2eModel& row : known) {
            if (row.model == tallysim::ModelOf(info)) rows.push_back(row);
        }
    }
    return rows;
}

std::string PortFolderFor(const test::TempDir& own) {
    const char* shared = std::getenv("TALLYX_E2E_PORT_DIR");
    return shared != nullptr && *shared != '\0' ? shared : own.Path();
}

}  // namespace

const std::vector<E2eModel>& E2eModels() {
    static const std::vector<E2eModel> rows = EveryModel();
    return rows;
}

const E2eModel& E2eModelOf(tallysim::Model model) {
    for (const E2eModel& row : E2eModels()) {
        if (row.model == model) return row;
    }
    ADD_FAILURE() << "no end-to-end row for model " << static_cast<size_t>(model);
    return E2eModels().front();
}

CounterFixture::CounterFixture()
    : portFolder(PortFolderFor(ports)),
      portDir("TALLYX_PORT_DIR", portFolder.c_str()),
      archivePath(archiveFolder.Join("archive.sqlite")),
      archive("TALLYX_ARCHIVE", archivePath.c_str()) {}

CounterFixture::~CounterFixture() {
    if (counter) counter->Stop();
}

bool CounterFixture::StartCounter(tallysim::SimOptions options, unsigned com, std::string* error) {
    options.portDir = portFolder;
    options.comNumber = com;
    counter = std::make_unique<tallysim::Simulator>(std::move(options));
    return counter->Start(error);
}

TallyxHandle CounterFixture::NewContext(unsigned com) {
    TallyxHandle handle = Init();
    if (handle == nullptr) return nullptr;
    std::string port = std::to_string(com);
    SetProperty(handle, PROPERTY_COMM_PORT, port.c_str());
    SetProperty(handle, PROPERTY_COMM_PEEKTOUTMS, "50");
    SetProperty(handle, PROPERTY_COMM_RECVTOUTMS, "500");
    SetProperty(handle, PROPERTY_COMM_WAITBETWEENREQSMS, "0");
    SetProperty(handle, PROPERTY_COMM_LOGFOLDER, logs.Path().c_str());
    SetProperty(handle, PROPERTY_COMM_LOGLEVEL, "COMMANDS");
    return handle;
}

std::string CounterFixture::Property(TallyxHandle handle, const char* name) {
    char value[10240];
    if (GetProperty(handle, name, value, sizeof value) != RETCODE_OK) return "<error>";
    return value;
}

}  // namespace tallyx::e2e
