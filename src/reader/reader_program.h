#pragma once
// The reader's main flow: show the banner, find the serial ports, read the
// counter on the first port where that works, write its files.
#include <array>
#include <cstdio>

#include <tallyx/tallyx.h>

#include "reader/library_api.h"
#include "reader/port_probe.h"
#include "reader/program_folders.h"
#include "reader/reader_log.h"
#include "reader/reader_session.h"
#include "reader/terminal_status.h"
#include "reader/version_banner.h"

namespace tallyx {

struct ReaderOptions {
    const LibraryApi* api = &RealLibraryApi();
    ProgramFolders folders;
    PortProbeResult (*probe)(int n) = &ProbeComPort;
    std::FILE* console = stdout;
    bool showStatus = false;  // the updating status line, for a terminal
    VersionInfo version = VersionInfo::OfReader();
    ReaderLog::Clock clock = &CurrentLocalTime;
};

class ReaderProgram {
public:
    static constexpr int kPortCount = 256;

    explicit ReaderProgram(ReaderOptions options);
    ~ReaderProgram();

    ReaderProgram(const ReaderProgram&) = delete;
    ReaderProgram& operator=(const ReaderProgram&) = delete;

    // Runs the whole flow once; the result is the program's exit code, always 0.
    int Run();

private:
    void EnumeratePorts();
    bool ReadPort(int n);
    bool ConfigureContext(TallyxHandle handle, int n);
    void LogProperties(const ReaderSession& session, const char* title, const char* const* names, size_t count);
    void WriteFiles(const ReaderSession& session);

    // The callbacks handed to the library; they reach the running program
    // through `active_`, as the library passes only its own handle.
    static int32_t TALLYX_CALL OnProgress(TallyxHandle handle, uint32_t step);
    static int32_t TALLYX_CALL OnPrompt(TallyxHandle handle, int32_t reason);
    static ReaderProgram* active_;

    ReaderOptions options_;
    ReaderLog log_;
    TerminalStatus status_;
    std::array<bool, kPortCount + 1> present_{};  // index n for COMn
    std::array<std::string, kPortCount + 1> devices_{};
    int currentPort_ = 0;
};

}  // namespace tallyx
