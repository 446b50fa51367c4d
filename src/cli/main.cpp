// tallyx: every counter operation of the library from the command line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/return_code_help.h"
#include "cli/study_file.h"
#include "cli/tmg_command.h"
#include "tallyx_version.h"

namespace {

using namespace tallyx::cli;

#if defined(_WIN32)
constexpr const char* kPortHelp =
    "Ports: COM3 or 3 is COM3, the system's own port \\\\.\\COM3; USBX1 is USB bridge 1 (or --usb 1), "
    "reached through the bridge vendor's SiUSBXp.dll. tallyx ports lists the ports there are.";
constexpr const char* kPortOptionHelp = "the counter's port: COM3, 3 or USBX1";
#else
constexpr const char* kPortHelp =
    "Ports: COM3 or 3 is COM3, USBX1 is USB bridge 1 (or --usb 1), and a device path such as /dev/ttyUSB0 is "
    "turned into the COM name the library's port mapping gives it. With TALLYX_PORT_DIR set, COM<n> is "
    "$TALLYX_PORT_DIR/COM<n>; otherwise COM1-99 are /dev/ttyS0-98, COM100-199 /dev/ttyUSB0-99 and COM200-299 "
    "/dev/ttyACM0-99. tallyx ports lists the ports there are.";
constexpr const char* kPortOptionHelp = "the counter's port: COM3, 3, USBX1 or /dev/ttyUSB0";
#endif

void AddPortOptions(CLI::App& command, CommonOptions& options) {
    command.add_option("-p,--port", options.port, kPortOptionHelp);
    command.add_option("--usb", options.usb, "use USB bridge N instead of a COM port");
    command.add_option("--baud", options.baud, "line speed (default 57600)");
    command.add_option("--parity", options.parity, "parity: N, O or E (default N)");
    command.add_option("--data-bits", options.dataBits, "data bits (default 8)");
    command.add_option("--stop-bits", options.stopBits, "stop bits: 1, 1.5 or 2 (default 1)");
    command.add_option("--timeout-ms", options.timeoutMs, "how long to wait for each answer (default 10000)");
    command.add_option("--delay-ms", options.delayMs, "pause between requests (default 100)");
    command.add_option("--log-dir", options.logDir, "write the library's logs into this folder");
    command.add_option("--log-level", options.logLevel, "OFF, COMMANDS or BYTES (with --log-dir: COMMANDS)");
    command.add_flag("-q,--quiet", options.quiet, "no progress display");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"tallyx: read and program roadside traffic counters (models A and B) over a serial line or USB "
                 "bridge.",
                 "tallyx"};
    app.set_version_flag("--version", std::string("tallyx ") + TALLYX_VERSION_TEXT);
    app.require_subcommand(1);
    app.footer(std::string(kPortHelp) + "\n\n" + ExitStatusTable());

    CommonOptions options;

    CLI::App* ports = app.add_subcommand("ports", "List the serial ports and the device behind each");
    bool probe = false;
    ports->add_flag("--probe", probe,
                    "ask each port which counter answers (model and serial number); a port another program holds "
                    "is reported as in use and left alone");
    ports->add_option("--timeout-ms", options.timeoutMs, "how long to wait for a counter on each port (default 3000)");

    CLI::App* info = app.add_subcommand(
        "info", "Show a counter's identity, firmware and battery. Reads nothing else: a running study goes on.");
    bool json = false;
    info->add_flag("--json", json, "print one JSON object instead of the table");
    AddPortOptions(*info, options);

    CLI::App* read = app.add_subcommand(
        "read",
        "Read everything from a counter into a folder. Note: a full read ends the study on the counter, so the "
        "counter records nothing more until it is programmed again.");
    ReadOptions readOptions;
    read->add_option("-o,--out", readOptions.out, "output folder (default: <serial>-<date>-<time> here)");
    read->add_option("--format", readOptions.format, "csv or xml (default csv)")->check(CLI::IsMember({"csv", "xml"}));
    read->add_flag("--metric", readOptions.metric, "speeds in km/h and lengths in dm");
    read->footer("Writes sequential.csv (one line per vehicle), periodic.csv (one line per period, with the speed "
                 "by length bins), settings.json (unit and study settings) and study.conf (a study file that "
                 "tallyx program accepts), each complete or not at all.");
    AddPortOptions(*read, options);

    CLI::App* program = app.add_subcommand("program", "Program a new study into a counter (erases its data)");
    ProgramOptions programOptions;
    program->add_option("-s,--study", programOptions.studyFile, "study file: one key = value per line");
    std::string keyList;
    for (const StudyKey& key : StudyKeys()) {
        if (std::string(key.key) == "units") continue;
        keyList += std::string("  ") + key.key + ": " + key.help + "\n";
        program->add_option_function<std::string>(
            std::string("--") + key.key,
            [&programOptions, name = std::string(key.key)](const std::string& value) {
                programOptions.settings.emplace_back(name, value);
            },
            key.help);
    }
    program->add_flag("--metric", programOptions.metric, "bins and speed limit in km/h and dm");
    program->add_flag("-y,--yes", options.yes,
                      "answer yes when the battery may not last for the study (without a terminal and without "
                      "--yes, tallyx refuses)");
    program->footer("Study file keys (options of the same name win over the file):\n" + keyList +
                    "  units: us or metric\nLines starting with # are comments. tallyx read writes study.conf in "
                    "this form.");
    AddPortOptions(*program, options);

    CLI::App* discharge = app.add_subcommand("discharge", "Start or stop the counter's battery discharge");
    std::string what;
    discharge->add_option("action", what, "start or stop")->required()->check(CLI::IsMember({"start", "stop"}));
    AddPortOptions(*discharge, options);

    CLI::App* tmg = app.add_subcommand(
        "tmg", "Write a read folder's hourly volumes as Traffic Monitoring Guide records, or check such a file");
    TmgOptions tmgOptions;
    tmg->add_option("folder", tmgOptions.folder, "a folder written by tallyx read or by tallyread");
    tmg->add_option("-o,--out", tmgOptions.out, "output file (default: FOLDER/volume.tmg; - for standard output)");
    tmg->add_option("--check", tmgOptions.check, "check a file of hourly volume records instead");
    tmg->add_option("--state", tmgOptions.state, "the state's two-digit FIPS code (39 Ohio)");
    tmg->add_option("--station", tmgOptions.station, "station ID: 1-6 letters or digits");
    tmg->add_option("--class", tmgOptions.functionalClass, "functional classification: 1-7 and R or U (3U)");
    tmg->add_option("--forward-direction", tmgOptions.forwardDirection,
                    "where the counter's forward traffic goes: 1-8 (1 N, 3 E, 5 S, 7 W)");
    tmg->add_option("--reverse-direction", tmgOptions.reverseDirection, "where its reverse traffic goes: 1-8");
    tmg->add_option("--lane", tmgOptions.lane, "0 all lanes (default), 1-9 one lane");
    tmg->add_option("--restriction", tmgOptions.restriction, "0 none (default) to 5, see below");
    tmg->add_flag("--combined", tmgOptions.combined,
                  "one record per day with both directions together (9 north-south, 0 east-west)");
    tmg->footer(std::string(TmgCodesHelp()) + "\n\n" + ExitStatusTable());

    // Every subcommand's help ends with how ports are named and what the exit statuses mean.
    const std::string common = std::string(kPortHelp) + "\n\n" + ExitStatusTable();
    for (CLI::App* command : {info, read, program, discharge}) {
        const std::string own = command->get_footer();
        command->footer(own.empty() ? common : own + "\n\n" + common);
    }
    ports->footer(ExitStatusTable());

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }

    Session::InstallInterruptHandler();
    if (ports->parsed()) return RunPorts(options, probe);
    if (info->parsed()) return RunInfo(options, json);
    if (read->parsed()) return RunRead(options, readOptions);
    if (program->parsed()) return RunProgram(options, programOptions);
    if (discharge->parsed()) return RunDischarge(options, what == "start");
    if (tmg->parsed()) return RunTmg(tmgOptions);
    return kExitUsage;
}
