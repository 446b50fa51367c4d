// tallyread: reads the counter attached to a serial port and writes its study
// settings and data into data/ beside the program.
#include <cstdio>
#include <exception>

#include <CLI/CLI.hpp>

#include "reader/reader_program.h"

int main(int argc, char** argv) {
    using namespace tallyx;
    const VersionInfo version = VersionInfo::OfReader();

    CLI::App app{"Reads a roadside traffic counter attached to a serial port."};
    app.name("tallyread");
    app.set_version_flag("--version", VersionLine(version) + "\n" + version.legalCopyright);
    app.footer(
        "Every serial port from COM1 to COM256 is tried in turn until a counter answers.\n"
#if defined(_WIN32)
        "COM<n> is the system's own port \\\\.\\COM<n>.\n"
#else
        "COM<n> is $TALLYX_PORT_DIR/COM<n> when TALLYX_PORT_DIR is set; otherwise COM1-COM99 are\n"
        "/dev/ttyS0-98, COM100-COM199 /dev/ttyUSB0-99 and COM200-COM256 /dev/ttyACM0-56.\n"
#endif
        "Files beside the program:\n"
        "  log/   tallyread_YYYY-MM-DD.log and the library's communication logs\n"
        "  data/  study.txt, sequential.csv, periodic.csv and kvd.dat of the counter read\n"
        "The exit code is 0; the log tells what happened on each port.");
    CLI11_PARSE(app, argc, argv);

    try {
        ReaderOptions options;
        options.folders = ProgramFolders::OfRunningProgram();
        options.console = stdout;
        options.showStatus = TerminalStatus::IsTerminal(stdout);
        return ReaderProgram(std::move(options)).Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tallyread: %s\n", error.what());
        return 0;
    }
}
