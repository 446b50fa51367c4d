// tallysim: a simulated roadside traffic counter on a pseudo-terminal, published as
// <port-dir>/COM<n>, for testing software that reads and programs counters without hardware.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "sim_models.h"
#include "simulator.h"

namespace {

using namespace tallysim;

const char* kFaultHelp =
    "Faults (--fault, repeatable, combinable): KIND[@N][xC][=PARAM][/PATTERN]\n"
    "  KIND     refuse | garble | badcrc | drop | stall | short | hangup | flood | answer | wakeup\n"
    "  @N       first affected occurrence of the command, from 1 (default 1)\n"
    "  xC       occurrences in a row (default 1; x* for all from N on)\n"
    "  =PARAM   stall: MS or MS+BYTES; short, hangup: BYTES sent (default half);\n"
    "           flood: BYTES of text without a line end instead of the answer (default 1024);\n"
    "           garble: wrong | lower | zero | missing;\n"
    "           answer: TEXT answered instead, soundly framed (the command is not carried out);\n"
    "           wakeup: wrong | lower | control | missing | long | endless\n"
    "  /PATTERN the command as sent, without framing (\":R:F\", \"GETSTUDYINFO\");\n"
    "           a trailing * matches every command starting with the rest\n"
    "  Examples: garble@2/:R:F  badcrc/:F:X,9,2  stall=3000/:X  hangup@3=100/:F:X*  wakeup=lower\n";

// "A (ZK110, framed colon commands, flash pages) or B (ZK220, ...)": the rows of the model table.
std::string ModelChoices() {
    const auto models = SimModels();
    std::string text;
    for (size_t i = 0; i < models.size(); ++i) {
        if (i > 0) text += i + 1 == models.size() ? " or " : ", ";
        text += std::string(models[i]->info->letter) + " (" + models[i]->info->name + ", " + models[i]->traits + ")";
    }
    return text;
}

// The letters --model accepts: each row's letter in upper, then in lower case.
std::vector<std::string> ModelLetters() {
    std::vector<std::string> letters;
    for (const SimModel* row : SimModels()) letters.emplace_back(row->info->letter);
    for (const SimModel* row : SimModels()) {
        std::string lower = row->info->letter;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        letters.push_back(lower);
    }
    return letters;
}

bool WriteContent(const Study& study, const std::string& path, std::string* error) {
    std::ofstream out(path);
    if (!out) {
        *error = "cannot write " + path;
        return false;
    }
    out << "record,time,direction,flags,speed_mph,length_ft,speed_whole,speed_fraction,length_whole,"
           "length_fraction,truck,stopped,unclassified,invalid,out_of_sequence\n";
    char line[256];
    for (size_t i = 0; i < study.vehicles.size(); ++i) {
        const Vehicle& v = study.vehicles[i];
        std::snprintf(line, sizeof line, "%zu,%s,%s,%u,%.2f,%.2f,%u,%u,%u,%u,%d,%d,%d,%d,%d\n", i + 1,
                      v.Time().Text().c_str(), v.reverse ? "reverse" : "forward", v.flags, v.speedMph, v.lengthFt,
                      v.speedWhole, v.speedFraction, v.lengthWhole, v.lengthFraction, v.truck, v.stopped,
                      v.unclassified, v.invalid, v.outOfSequence);
        out << line;
    }
    if (!study.periods.empty()) {
        out << "\nperiod,end,end_offset_minutes,stored_end_offset,temperature_c,occupancy,count,reverse_count\n";
        for (const auto& p : study.periods) {
            std::snprintf(line, sizeof line, "%u,%s,%u,%u,%d,%u,%u,%u\n", p.index + 1, p.end.Text().c_str(),
                          p.endOffsetMinutes, p.storedEndOffset, p.temperatureC, p.occupancy, p.count,
                          p.reverseCount);
            out << line;
        }
    }
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"tallysim: a simulated roadside traffic counter on a pseudo-terminal.\n"
                 "It publishes <port-dir>/COM<n>; a program that opens that port (for the tallyx library: with\n"
                 "TALLYX_PORT_DIR=<port-dir>) gets the counter's wake-up line and can read or program it.\n"
                 "Runs until interrupted (Ctrl-C or SIGTERM), then removes the port again."};
    app.get_formatter()->column_width(34);

    std::string model;
    std::string portDir;
    if (const char* fromEnvironment = std::getenv("TALLYX_PORT_DIR")) portDir = fromEnvironment;
    unsigned com = 1;
    std::string studyFile;
    std::vector<std::string> settings;
    std::vector<std::string> faults;
    std::string vehicles, seed, begin, end, period;
    unsigned baud = 0;
    unsigned settleMs = 80;
    unsigned eraseDelayMs = 100;
    unsigned idleSleepMs = 0;
    std::string transcript;
    std::string contentFile;
    bool verbose = false;

    app.add_option("--model", model, "Counter model: " + ModelChoices())
        ->required()
        ->check(CLI::IsMember(ModelLetters()));
    app.add_option("--port-dir", portDir, "Folder in which the port COM<n> is published (default: $TALLYX_PORT_DIR)");
    app.add_option("--com", com, "Port number n of COM<n>")->capture_default_str()->check(CLI::Range(1u, 9999u));
    app.add_option("--study", studyFile, "Description file: key = value lines (see the keys below)")
        ->check(CLI::ExistingFile);
    app.add_option("--set", settings, "One description key, KEY=VALUE; repeatable, applied after --study");
    app.add_option("--vehicles", vehicles, "Number of generated vehicles, or full (same as --set vehicles=...)");
    app.add_option("--seed", seed, "Seed of the traffic generator (same as --set seed=...)");
    app.add_option("--begin", begin, "Study begin, \"YYYY-MM-DD hh:mm[:ss]\" (same as --set begin=...)");
    app.add_option("--end", end, "Study end, \"YYYY-MM-DD hh:mm[:ss]\" (same as --set end=...)");
    app.add_option("--period", period, "Study period in minutes (same as --set period=...)");
    app.add_option("--fault", faults, "A planned fault (syntax below); repeatable");
    app.add_option("--baud", baud, "Pace the counter's output like a line of this speed (baud/10 bytes a second); "
                                   "0: as fast as possible")
        ->capture_default_str();
    app.add_option("--settle-ms", settleMs, "Time from noticing the port opened to the wake-up line, ms")
        ->capture_default_str();
    app.add_option("--erase-delay-ms", eraseDelayMs, "Model A: working time of the erase command, ms")
        ->capture_default_str();
    app.add_option("--idle-sleep-ms", idleSleepMs, "The counter falls asleep after this long without traffic and "
                                                   "only a new opening wakes it; 0: never")
        ->capture_default_str();
    app.add_option("--transcript", transcript, "Write every byte each way to this file as a hex dump");
    app.add_option("--content-out", contentFile, "Write the generated vehicles and periodic records to this CSV file");
    app.add_flag("--verbose,-v", verbose, "Print every command the counter receives");
    app.footer(std::string("Description keys (--study file or --set):\n") + Description::KeyHelp() + "\n" +
               kFaultHelp);

    CLI11_PARSE(app, argc, argv);

    const SimModel* which = SimModelOfLetter(model);
    if (which == nullptr) {
        std::cerr << "tallysim: --model " << model << ": no such model; the models are " << SimModelLetters() << "\n";
        return 2;
    }
    if (portDir.empty()) {
        std::cerr << "tallysim: no port folder: give --port-dir or set TALLYX_PORT_DIR\n";
        return 2;
    }
    SimOptions options(which->model);
    options.portDir = portDir;
    options.comNumber = com;
    options.baud = baud;
    options.settleMs = settleMs;
    options.eraseDelayMs = eraseDelayMs;
    options.idleSleepMs = idleSleepMs;
    options.transcriptFile = transcript;
    options.keepTranscript = false;

    std::string error;
    if (!studyFile.empty() && !options.description.ParseFile(studyFile, &error)) {
        std::cerr << "tallysim: " << error << "\n";
        return 2;
    }
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"vehicles", vehicles}, {"seed", seed}, {"begin", begin}, {"end", end}, {"period", period}})
        if (!value.empty()) settings.push_back(key + "=" + value);
    for (const auto& setting : settings) {
        const size_t equals = setting.find('=');
        if (equals == std::string::npos || !options.description.Set(setting.substr(0, equals),
                                                                      setting.substr(equals + 1), &error)) {
            std::cerr << "tallysim: --set " << setting << ": " << (equals == std::string::npos ? "expected KEY=VALUE" : error)
                      << "\n";
            return 2;
        }
    }
    for (const auto& fault : faults) {
        if (!options.faults.Parse(fault, &error)) {
            std::cerr << "tallysim: " << error << "\n";
            return 2;
        }
    }

    // The line's thread inherits this mask, so only the wait below takes the signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    Simulator simulator(options);
    if (!contentFile.empty() && !WriteContent(simulator.GetStudy(), contentFile, &error)) {
        std::cerr << "tallysim: " << error << "\n";
        return 1;
    }
    if (!simulator.Start(&error)) {
        std::cerr << "tallysim: " << error << "\n";
        return 1;
    }
    const auto& d = simulator.GetDescription();
    std::printf("tallysim: model %s counter %s (%s), %zu vehicles, listening on %s (%s)\n",
                which->info->letter, d.device.unitType.c_str(), d.device.serialNumber.c_str(),
                simulator.GetStudy().vehicles.size(), simulator.PortPath().c_str(), simulator.SlavePath().c_str());
    std::fflush(stdout);

    size_t shown = 0;
    for (;;) {
        const timespec wait{0, 200'000'000};
        const int received = sigtimedwait(&signals, nullptr, &wait);
        if (verbose) {
            const auto commands = simulator.Commands();
            for (; shown < commands.size(); ++shown) {
                std::printf("#%u %s", commands[shown].session, commands[shown].command.c_str());
                for (const auto& fault : commands[shown].faults) std::printf("  [%s]", fault.c_str());
                std::printf("\n");
            }
            std::fflush(stdout);
        }
        if (received > 0) break;
    }
    simulator.Stop();
    std::printf("tallysim: stopped; the port was opened %u times\n", simulator.Sessions());
    return 0;
}
