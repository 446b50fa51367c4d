// tallyread: reads the counter attached to a serial port and writes its study
// settings and data into data/ beside the program.
#include <cstdio>
#include <exception>
#include <string>

#include <CLI/CLI.hpp>

#include "platform/files.h"
#include "platform/port_texts.h"
#include "reader/reader_program.h"

int main(int argc, char** argv) {
    using namespace tallyx;
    const VersionInfo version = VersionInfo::OfReader();

    CLI::App app{"Reads a roadside traffic counter attached to a serial port."};
    app.name("tallyread");
    app.set_version_flag("--version", VersionLine(version) + "\n" + version.legalCopyright);
    // The port mapping and the folders in the system's own terms.
    app.footer(std::string("Every serial port from COM1 to COM256 is tried in turn until a counter answers. ") +
               SystemPortTexts().mapping + "\nFiles beside the program:\n  " + JoinPath("log", "") +
               "   tallyread_YYYY-MM-DD.log and the library's communication logs\n  " + JoinPath("data", "") +
               "  study.txt, sequential.csv, periodic.csv and kvd.dat of the counter read\n"
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
