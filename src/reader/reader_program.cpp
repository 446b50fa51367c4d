#include "reader/reader_program.h"

#include <iterator>
#include <string>

#include "reader/kvd_file_writer.h"
#include "reader/return_code_text.h"
#include "reader/study_file_writer.h"
#include "reader/text_format.h"
#include "reader/value_file_writer.h"

namespace tallyx {

namespace {

constexpr const char* kCommProperties[] = {
    PROPERTY_COMM_PORT, PROPERTY_COMM_BAUD, PROPERTY_COMM_PARITY, PROPERTY_COMM_NUMBITS, PROPERTY_COMM_NUMSTOPBITS,
};

constexpr const char* kUnitProperties[] = {
    PROPERTY_DEV_UNITTYPE, PROPERTY_DEV_SERIALNO, PROPERTY_DEV_FIRMWAREREV, PROPERTY_DEV_BATTERYVOLTAGE,
    PROPERTY_DEV_ACR,
};

}  // namespace

ReaderProgram* ReaderProgram::active_ = nullptr;

ReaderProgram::ReaderProgram(ReaderOptions options)
    : options_(std::move(options)),
      log_(options_.folders.logFolder, options_.clock),
      status_(options_.console, options_.showStatus) {}

ReaderProgram::~ReaderProgram() {
    if (active_ == this) active_ = nullptr;
}

int ReaderProgram::Run() {
    active_ = this;

    PrintConsoleBanner(options_.console, options_.version);
    LogBanner(log_, options_.version);

    EnumeratePorts();

    status_.Clear();
    std::fprintf(options_.console, "Attempting to read device, please wait...\n");
    std::fflush(options_.console);

    for (int n = 1; n <= kPortCount; ++n) {
        if (!present_[n]) continue;
        currentPort_ = n;
        status_.Show(FormatText("Reading COM%d (%s)...", n, devices_[n].c_str()));
        const bool success = ReadPort(n);
        log_.Info("%s", kLogRule);
        if (success) break;
    }
    currentPort_ = 0;

    status_.Clear();
    std::fprintf(options_.console, "Done!\n");
    std::fflush(options_.console);
    active_ = nullptr;
    return 0;
}

void ReaderProgram::EnumeratePorts() {
    log_.Info("Enumerating serial ports...");
    for (int n = 1; n <= kPortCount; ++n) {
        status_.Show(FormatText("Looking for serial ports: COM%d", n));
        const PortProbeResult probe = options_.probe(n);
        present_[n] = probe.state == PortState::Present;
        devices_[n] = probe.devicePath;
        switch (probe.state) {
        case PortState::Present:
            log_.Info("Found serial port COM%d", n);
            if (probe.resolvedPath.empty() || probe.resolvedPath == probe.devicePath) {
                log_.Info("Serial port COM%d is the device %s", n, probe.devicePath.c_str());
            } else {
                log_.Info("Serial port COM%d is the device %s (%s)", n, probe.devicePath.c_str(),
                          probe.resolvedPath.c_str());
            }
            break;
        case PortState::Absent:
            break;
        case PortState::InUse:
            log_.Warning("CheckPort: Serial port COM%d is in use!", n);
            break;
        case PortState::OtherFailure:
            log_.Warning("CheckPort: Encounterd error %lu whille checking serial port COM%d!",
                         static_cast<unsigned long>(probe.errorNumber), n);
            break;
        }
    }
}

bool ReaderProgram::ReadPort(int n) {
    const LibraryApi& api = *options_.api;
    TallyxHandle handle = api.Init();
    if (handle == nullptr) {
        log_.Error("Init() failed!");
        return false;
    }
    const ReaderSession session{api, handle, log_};
    bool success = false;
    if (ConfigureContext(handle, n)) {
        LogProperties(session, "*** COMM properties ***", kCommProperties, std::size(kCommProperties));
        const int32_t result = api.ReadDevice(handle);
        if (result != RETCODE_OK) {
            log_.Error("ReadDevice() failed! Error=%s", ReturnCodeText(result).c_str());
        } else {
            LogProperties(session, "*** Unit properties ***", kUnitProperties, std::size(kUnitProperties));
            status_.Show(FormatText("COM%d read; writing files to %s", n, options_.folders.dataFolder.c_str()));
            WriteFiles(session);
            if (const auto statistics = session.ReadProperty(PROPERTY_DEV_STATISTICS)) {
                log_.Info("%s: %s", PROPERTY_DEV_STATISTICS, statistics->c_str());
            }
            success = true;
        }
    }
    const int32_t result = api.Term(handle);
    if (result != RETCODE_OK) log_.Error("Term() failed! Error=%s", ReturnCodeText(result).c_str());
    return success;
}

bool ReaderProgram::ConfigureContext(TallyxHandle handle, int n) {
    const LibraryApi& api = *options_.api;
    int32_t result = api.SetProgressCallback(handle, &OnProgress);
    if (result != RETCODE_OK) {
        log_.Error("SetProgressCallback() failed! Error=%s", ReturnCodeText(result).c_str());
        return false;
    }
    result = api.SetPromptCallback(handle, &OnPrompt);
    if (result != RETCODE_OK) {
        log_.Error("SetPromptCallback() failed! Error=%s", ReturnCodeText(result).c_str());
        return false;
    }
    const std::string port = std::to_string(n);
    const std::pair<const char*, const char*> settings[] = {
        {PROPERTY_COMM_PORT, port.c_str()},
        {PROPERTY_COMM_BAUD, "57600"},
        {PROPERTY_COMM_PARITY, "N"},
        {PROPERTY_COMM_NUMBITS, "8"},
        {PROPERTY_COMM_NUMSTOPBITS, "1"},
        {PROPERTY_COMM_LOGFOLDER, options_.folders.logFolder.c_str()},
        {PROPERTY_COMM_LOGLEVEL, "COMMANDS"},
        {PROPERTY_STUDY_MEASUREMENTUNITS, STUDY_MEASUREMENTUNITS_US},
    };
    for (const auto& [name, value] : settings) {
        result = api.SetProperty(handle, name, value);
        if (result != RETCODE_OK) {
            log_.Error("SetProperty failed for %s! Error=%s", name, ReturnCodeText(result).c_str());
            return false;
        }
    }
    return true;
}

void ReaderProgram::LogProperties(const ReaderSession& session, const char* title, const char* const* names,
                                  size_t count) {
    log_.Info("%s", title);
    for (size_t i = 0; i < count; ++i) {
        if (const auto value = session.ReadProperty(names[i])) log_.Info("%s: %s", names[i], value->c_str());
    }
}

void ReaderProgram::WriteFiles(const ReaderSession& session) {
    const std::string& folder = options_.folders.dataFolder;
    WriteStudyFile(session, folder + "study.txt");
    WriteValueFile(session, GETVALUE_DATA_SEQUENTIAL, folder + "sequential.csv");
    WriteValueFile(session, GETVALUE_DATA_PERIODIC, folder + "periodic.csv");
    KvdFileWriter(session).Write(folder + "kvd.dat");
}

int32_t TALLYX_CALL ReaderProgram::OnProgress(TallyxHandle, uint32_t step) {
    ReaderProgram* program = active_;
    if (program == nullptr) return 0;
    program->log_.Info("PROGRESS: Callback called: Progress=%lu", static_cast<unsigned long>(step));
    program->status_.Show(FormatText("Reading COM%d (%s): step %lu", program->currentPort_,
                                     program->devices_[program->currentPort_].c_str(),
                                     static_cast<unsigned long>(step)));
    return 0;
}

int32_t TALLYX_CALL ReaderProgram::OnPrompt(TallyxHandle, int32_t reason) {
    ReaderProgram* program = active_;
    if (program == nullptr) return 0;
    program->log_.Info("PROMPT: callback called: Reason=%lu", static_cast<unsigned long>(reason));
    const char* what = reason == PROMPT_REASON_CONNECT      ? "waiting for the counter"
                       : reason == PROMPT_REASON_DISCONNECT ? "finished with the counter"
                                                            : "attention needed";
    program->status_.Show(FormatText("Reading COM%d (%s): %s", program->currentPort_,
                                     program->devices_[program->currentPort_].c_str(), what));
    return 0;
}

}  // namespace tallyx
