// tallyx: every counter operation of the library from the command line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "cli/archive_access.h"
#include "cli/commands.h"
#include "cli/return_code_help.h"
#include "study/study_file.h"
#include "cli/tmg_command.h"
#include "platform/files.h"
#include "platform/port_texts.h"
#include "tallyx_version.h"
#include "ui/ui_command.h"

namespace {

using namespace tallyx::cli;
using tallyx::study::StudyKey;
using tallyx::study::StudyKeys;

// How ports are named, in the system's own terms (COM3 and \\.\COM12 on Windows, /dev/ttyUSB0
// on Linux).
std::string PortHelp() {
    return std::string("Ports: COM3 or 3 is COM3, USBX1 is USB bridge 1 (or --usb 1), reached through the bridge "
                       "vendor's SiUSBXp library. ") +
           tallyx::SystemPortTexts().mapping + " " + tallyx::SystemPortTexts().devicePath +
           " tallyx ports lists the ports there are.";
}

// Paths the user gives are written back with the system's own separators.
std::string NativePathOption(std::string path) { return tallyx::NativePath(std::move(path)); }
constexpr const char* kArchiveOptionHelp = "the archive file (default: $TALLYX_ARCHIVE, else the user's data folder)";

void AddPortOptions(CLI::App& command, CommonOptions& options) {
    command.add_option("-p,--port", options.port,
                       std::string("the counter's port: ") + tallyx::SystemPortTexts().forms);
    command.add_option("--usb", options.usb, "use USB bridge N instead of a COM port");
    command.add_option("--baud", options.baud, "line speed (default 57600)");
    command.add_option("--parity", options.parity, "parity: N, O or E (default N)");
    command.add_option("--data-bits", options.dataBits, "data bits (default 8)");
    command.add_option("--stop-bits", options.stopBits, "stop bits: 1, 1.5 or 2 (default 1)");
    command.add_option("--timeout-ms", options.timeoutMs, "how long to wait for each answer (default 10000)");
    command.add_option("--delay-ms", options.delayMs, "pause between requests (default 100)");
    command.add_option("--log-dir", options.logDir, "write the library's logs into this folder")
        ->transform(NativePathOption);
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
    app.footer(PortHelp() + "\n\n" + ExitStatusTable());

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
    read->add_option("-o,--out", readOptions.out, "output folder (default: <serial>-<date>-<time> here)")
        ->transform(NativePathOption);
    read->add_option("--format", readOptions.format, "csv or xml (default csv)")->check(CLI::IsMember({"csv", "xml"}));
    read->add_flag("--metric", readOptions.metric, "speeds in km/h and lengths in dm");
    read->add_option("--archive", readOptions.archive, kArchiveOptionHelp);
    read->add_flag("--no-archive", readOptions.noArchive, "do not keep the read in the archive");
    read->footer("Writes sequential.csv (one line per vehicle), periodic.csv (one line per period, with the speed "
                 "by length bins), settings.json (unit and study settings) and study.conf (a study file that "
                 "tallyx program accepts), each complete or not at all, and keeps the read in the archive (see "
                 "tallyx archive --help). When the archive cannot take it, the folder is written all the same and "
                 "tallyx ends with status 10.");
    AddPortOptions(*read, options);

    CLI::App* program = app.add_subcommand("program", "Program a new study into a counter (erases its data)");
    ProgramOptions programOptions;
    program->add_option("-s,--study", programOptions.studyFile, "study file: one key = value per line")
        ->transform(NativePathOption);
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

    CLI::App* report = app.add_subcommand(
        "report", "Write the study report of a read folder (or of a counter, read first): report.html and report.json");
    ReportOptions reportOptions;
    report->add_option("folder", reportOptions.folder, "a folder written by tallyx read or by tallyread")
        ->transform(NativePathOption);
    report->add_option("--archive-id", reportOptions.archiveId, "report a study of the archive instead of a folder");
    report->add_option("--archive", reportOptions.read.archive, kArchiveOptionHelp);
    report->add_flag("--no-archive", reportOptions.read.noArchive, "with --port: do not keep the read in the archive");
    report->add_option("-o,--out", reportOptions.out,
                       "folder for report.html and report.json (default: the read's folder)")
        ->transform(NativePathOption);
    report->add_flag("--metric", reportOptions.read.metric, "with --port: speeds in km/h and lengths in dm");
    report->add_option("--format", reportOptions.read.format, "with --port: csv or xml (default csv)")
        ->check(CLI::IsMember({"csv", "xml"}));
    report->footer("report.html is one page with everything inside it (styles, charts, data): open it in any "
                   "browser, print it on A4 or Letter, or send it on. report.json holds every figure with its unit "
                   "for other programs. With --port the counter is first read into a folder exactly as tallyx read "
                   "does (that ends its study), and the report is written there. Both files appear together or not "
                   "at all; a folder that is not a read is refused with one line and exit status 2.");
    AddPortOptions(*report, options);

    CLI::App* archive = app.add_subcommand(
        "archive", "The count archive: every study read, the fleet of counters and the register of sites");
    ArchiveOptions archiveOptions;
    archive->add_option("--archive", archiveOptions.archive, kArchiveOptionHelp);
    archive->require_subcommand(1);
    CLI::App* archiveImport = archive->add_subcommand("import", "Keep read folders (tallyx read or tallyread) in the archive");
    archiveImport->add_option("folders", archiveOptions.folders, "read folders")->required()->transform(NativePathOption);
    CLI::App* archiveList = archive->add_subcommand("list", "List the studies, newest first");
    archiveList->add_option("--site", archiveOptions.filter.site, "a site ID, or text of its site texts");
    archiveList->add_option("--counter", archiveOptions.filter.counter, "a counter's serial number, or part of one");
    archiveList->add_option("--from", archiveOptions.filter.from, "studies that run on or after this day, YYYY-MM-DD");
    archiveList->add_option("--to", archiveOptions.filter.to, "studies that begin on or before this day, YYYY-MM-DD");
    CLI::App* archiveShow = archive->add_subcommand("show", "Show one study");
    archiveShow->add_option("id", archiveOptions.id, "the study's ID (tallyx archive list)")->required();
    CLI::App* archiveCounters = archive->add_subcommand(
        "counters", "The fleet: each counter, when and where it was last read, its studies and its battery at each read");
    CLI::App* archiveSites = archive->add_subcommand("sites", "The register of sites");
    CLI::App* archiveSite = archive->add_subcommand("site", "Show a site, or set the codes a federal submitter needs");
    archiveSite->add_option("id", archiveOptions.id, "the site's ID (tallyx archive sites)")->required();
    std::string siteKeys;
    for (const tallyx::archive::SiteField& field : tallyx::archive::SiteFields())
        siteKeys += std::string("  ") + field.key + ": " + field.help + "\n";
    archiveSite->add_option("--set", archiveOptions.sets, "KEY=VALUE; repeatable; an empty VALUE clears the field");
    archiveSite->footer("Site fields:\n" + siteKeys + "tallyx tmg --archive-id takes them where its options give none.");
    CLI::App* archiveExport = archive->add_subcommand("export", "Write a study back into a read folder, as it was read");
    archiveExport->add_option("id", archiveOptions.id, "the study's ID")->required();
    archiveExport->add_option("-o,--out", archiveOptions.out, "the new folder")->required()->transform(NativePathOption);
    CLI::App* archiveRemove = archive->add_subcommand("remove", "Remove a study from the archive");
    archiveRemove->add_option("id", archiveOptions.id, "the study's ID")->required();
    archiveRemove->add_flag("-y,--yes", archiveOptions.yes, "do not ask first");
    for (CLI::App* command : {archiveList, archiveShow, archiveCounters, archiveSites, archiveSite})
        command->add_flag("--json", archiveOptions.json, "print JSON for other programs");
    archive->footer("The archive is one SQLite file: --archive FILE, else $TALLYX_ARCHIVE, else " + ArchivePath("") +
                    ". Every read of tallyx read is kept there (unless --no-archive); a study imported twice is kept "
                    "once. Back it up by copying the file while no tallyx runs, or at any time with "
                    "sqlite3 FILE \".backup COPY\".\n\n" + ExitStatusTable());

    CLI::App* tmg = app.add_subcommand(
        "tmg", "Write a read folder's hourly volumes as Traffic Monitoring Guide records, or check such a file");
    TmgOptions tmgOptions;
    tmg->add_option("folder", tmgOptions.folder, "a folder written by tallyx read or by tallyread")
        ->transform(NativePathOption);
    tmg->add_option("-o,--out", tmgOptions.out,
                    "output file (default: " + tallyx::JoinPath("FOLDER", "volume.tmg") + "; - for standard output)")
        ->transform(NativePathOption);
    tmg->add_option("--check", tmgOptions.check, "check a file of hourly volume records instead")
        ->transform(NativePathOption);
    tmg->add_option("--archive-id", tmgOptions.archiveId,
                    "a study of the archive instead of a folder; its site's codes fill the options not given");
    tmg->add_option("--archive", tmgOptions.archive, kArchiveOptionHelp);
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

    CLI::App* ui = app.add_subcommand(
        "ui", "Serve the counters, the archive and the reports as pages in a browser on this machine");
    tallyx::ui::UiOptions uiOptions;
    ui->add_option("--port", uiOptions.port, "the port on 127.0.0.1 to serve on (default: a free one)");
    ui->add_flag("--no-browser", uiOptions.noBrowser, "print the address only; do not open a browser");
    ui->add_option("--archive", uiOptions.archive, kArchiveOptionHelp);
    ui->footer(std::string(tallyx::ui::UiHelp()) + "\n\n" + ExitStatusTable());

    // Every subcommand's help ends with how ports are named and what the exit statuses mean.
    const std::string common = PortHelp() + "\n\n" + ExitStatusTable();
    for (CLI::App* command : {info, read, report, program, discharge}) {
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
    if (report->parsed()) return RunReport(options, reportOptions);
    if (archive->parsed()) {
        for (CLI::App* action : archive->get_subcommands()) archiveOptions.action = action->get_name();
        return RunArchive(archiveOptions);
    }
    if (tmg->parsed()) return RunTmg(tmgOptions);
    if (ui->parsed()) return tallyx::ui::RunUi(uiOptions);
    return kExitUsage;
}
