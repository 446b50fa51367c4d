// Reads over a line paced at its baud rate: a simulated counter (in a child
// process, so that its work is not counted) sends at 57,600 baud, and the
// library reads a model A and a model B study with the default pause between
// requests and with none. For each read it prints the wall time against the
// floor that what went over the line implies, and the reading process's CPU
// time, also per megabyte received.
//
// The floor, worked out from the simulator's transcript: the counter's settle
// time and the wake-up line on the wire, the library's fixed two-second pause
// after the wake-up, then for each exchange the pause that the protocol
// mandates and the answer's bytes at baud/10 bytes a second. Model B waits the
// pause before it reads an answer, while the answer is already on its way, so
// that pause and the answer's bytes overlap: the floor counts the longer of
// the two, then the pause after the answer. Model A reads its answer at once
// and pauses after it, except after a flash page, when it asks for the next
// one at once.
//
// With --ui TALLYX the same reads are started from the browser application's
// API instead: tallyx ui serves on loopback, the bench asks it to read the
// counter and follows its event stream until the read is archived; the wall
// time runs from the request to the event that says so.
//
//   tallyx_wire_bench [--runs N] [--json FILE] [--ui TALLYX]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tallyx/tallyx.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "simulator.h"
#include "support/temp_dir.h"

namespace {

using tallysim::Direction;
using tallysim::Model;

constexpr unsigned kBaud = 57600;
constexpr unsigned kSettleMs = 80;
constexpr double kWakeUpPauseMs = 2000;
constexpr size_t kModelAPageSize = 260;

struct Config {
    const char* name;
    Model model;
    std::vector<std::pair<const char*, const char*>> keys;
    unsigned delayMs;
};

struct Result {
    double wallMs = 0;
    double floorMs = 0;
    double cpuMs = 0;
    double megabytes = 0;
};

double WireMs(size_t bytes) { return static_cast<double>(bytes) * 10.0 * 1000.0 / kBaud; }

// The floor of one read, from the transcript of its session.
double FloorMs(const std::vector<tallysim::TranscriptEntry>& entries, Model model, unsigned delayMs) {
    double floor = kSettleMs + kWakeUpPauseMs;
    bool wakeUp = true;
    for (const auto& entry : entries) {
        if (entry.direction != Direction::FromCounter) continue;
        const double wire = WireMs(entry.bytes.size());
        if (wakeUp) {
            floor += wire;
            wakeUp = false;
        } else if (model == Model::B) {
            floor += std::max<double>(delayMs, wire) + delayMs;
        } else if (entry.bytes.size() == kModelAPageSize) {
            floor += wire;  // a flash page: the next page is asked for at once
        } else {
            floor += wire + delayMs;
        }
    }
    return floor;
}

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

bool ReadAll(int fd, void* data, size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(fd, bytes, size);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Serves the counter until the parent says the read is over, then reports the floor.
[[noreturn]] void ServeCounter(const Config& config, const std::string& ports, int toParent, int fromParent) {
    tallysim::SimOptions options(config.model);
    options.portDir = ports;
    options.comNumber = 1;
    options.baud = kBaud;
    options.settleMs = kSettleMs;
    for (const auto& [key, value] : config.keys) options.description.Set(key, value, nullptr);
    tallysim::Simulator counter(options);
    std::string error;
    const char ready = counter.Start(&error) ? 'R' : 'F';
    if (write(toParent, &ready, 1) != 1 || ready != 'R') _exit(1);
    char done = 0;
    if (!ReadAll(fromParent, &done, 1)) _exit(1);
    counter.WaitForClosedSessions(1, std::chrono::seconds(10));
    double figures[2] = {FloorMs(counter.TranscriptEntries(), config.model, config.delayMs),
                         static_cast<double>(counter.BytesFromCounter(1).size())};
    if (write(toParent, figures, sizeof figures) != static_cast<ssize_t>(sizeof figures)) _exit(1);
    counter.Stop();
    _exit(0);
}

// ---------------------------------------------------------------- through tallyx ui
std::string g_ui;  // the tallyx program, when the reads go through tallyx ui

struct UiProcess {
    pid_t pid = -1;
    int port = 0;
    std::string token;
};

// Starts tallyx ui on a free port with the counters' folder and an archive of its own.
bool StartUi(const std::string& ports, const std::string& archive, UiProcess& ui) {
    int out[2];
    if (pipe(out) != 0) return false;
    ui.pid = fork();
    if (ui.pid < 0) return false;
    if (ui.pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        setenv("TALLYX_PORT_DIR", ports.c_str(), 1);
        execl(g_ui.c_str(), g_ui.c_str(), "ui", "--no-browser", "--archive", archive.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    const size_t colon = line.find("127.0.0.1:");
    const size_t token = line.find("token=");
    if (colon == std::string::npos || token == std::string::npos) return false;
    ui.port = std::atoi(line.c_str() + colon + 10);
    ui.token = line.substr(token + 6, 32);
    return ui.port > 0;
}

int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

bool SendAll(int fd, const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        const ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

// Asks tallyx ui to read COM1 and waits on its event stream for the read to end; true when it
// was archived.
bool ReadThroughUi(const UiProcess& ui) {
    const std::string host = "Host: 127.0.0.1:" + std::to_string(ui.port) + "\r\nCookie: tallyx_" +
                             std::to_string(ui.port) + "=" + ui.token + "\r\n";
    const int events = Connect(ui.port);
    const int post = Connect(ui.port);
    if (events < 0 || post < 0) return false;
    // The stream first, so that no event is missed; then the request.
    SendAll(events, "GET /api/events HTTP/1.1\r\n" + host + "\r\n");
    const std::string body = "{\"port\":\"COM1\"}";
    SendAll(post, "POST /api/read HTTP/1.1\r\n" + host + "X-Tallyx-Token: " + ui.token +
                      "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                      std::to_string(body.size()) + "\r\n\r\n" + body);
    std::string answer;
    char buffer[65536];
    for (ssize_t n; (n = read(post, buffer, sizeof buffer)) > 0;) answer.append(buffer, static_cast<size_t>(n));
    close(post);
    bool ok = answer.rfind("HTTP/1.1 202", 0) == 0;
    // Each event is the whole snapshot; the read's last one says it is no longer running.
    std::string stream;
    bool seenRunning = false;
    while (ok) {
        const ssize_t n = read(events, buffer, sizeof buffer);
        if (n <= 0) {
            ok = false;
            break;
        }
        stream.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = stream.find("\n\n")) != std::string::npos; stream.erase(0, end + 2)) {
            const std::string event = stream.substr(0, end);
            const size_t com = event.find("\"COM1\":{\"operation\"");
            if (com == std::string::npos) continue;
            const bool running = event.find("\"running\":true", com) != std::string::npos;
            if (running) seenRunning = true;
            if (seenRunning && !running) {
                close(events);
                return event.find("\"state\":\"done\"", com) != std::string::npos;
            }
        }
    }
    close(events);
    return false;
}

bool RunOnce(const Config& config, Result& result) {
    tallyx::test::TempDir own;
    // Under Wine the counter's port goes where the prefix's COM names lead.
    const char* shared = std::getenv("TALLYX_E2E_PORT_DIR");
    const std::string ports = shared != nullptr && *shared != '\0' ? shared : own.Path();
    int up[2];
    int down[2];
    if (pipe(up) != 0 || pipe(down) != 0) return false;
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        close(up[0]);
        close(down[1]);
        ServeCounter(config, ports, up[1], down[0]);
    }
    close(up[1]);
    close(down[0]);
    char ready = 0;
    bool ok = ReadAll(up[0], &ready, 1) && ready == 'R';

    if (ok && !g_ui.empty()) {
        UiProcess ui;
        ok = StartUi(ports, own.Path() + "/archive.sqlite", ui);
        if (ok) {
            const double cpuBefore = CpuMs();
            const auto start = std::chrono::steady_clock::now();
            ok = ReadThroughUi(ui);
            result.wallMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            result.cpuMs = CpuMs() - cpuBefore;  // the bench's own share only
            if (!ok) std::fprintf(stderr, "%s: the read through tallyx ui failed\n", config.name);
        }
        if (ui.pid > 0) {
            kill(ui.pid, SIGINT);
            int status = 0;
            waitpid(ui.pid, &status, 0);
        }
    } else if (ok) {
        setenv("TALLYX_PORT_DIR", ports.c_str(), 1);
        TallyxHandle handle = Init();
        SetProperty(handle, PROPERTY_COMM_PORT, "1");
        SetProperty(handle, PROPERTY_COMM_WAITBETWEENREQSMS, std::to_string(config.delayMs).c_str());
        const double cpuBefore = CpuMs();
        const auto start = std::chrono::steady_clock::now();
        const int32_t code = ReadDevice(handle);
        result.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        result.cpuMs = CpuMs() - cpuBefore;
        Term(handle);
        if (code != RETCODE_OK) {
            std::fprintf(stderr, "%s: ReadDevice returned %d\n", config.name, static_cast<int>(code));
            ok = false;
        }
    }
    const char done = 'D';
    ok = write(down[1], &done, 1) == 1 && ok;
    double figures[2] = {};
    ok = ReadAll(up[0], figures, sizeof figures) && ok;
    result.floorMs = figures[0];
    result.megabytes = figures[1] / (1024.0 * 1024.0);
    close(up[0]);
    close(down[1]);
    int status = 0;
    waitpid(child, &status, 0);
    return ok;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    unsigned runs = 1;
    std::string json;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--json") == 0 && i + 1 < argc) json = argv[++i];
        else if (std::strcmp(argv[i], "--ui") == 0 && i + 1 < argc) g_ui = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s [--runs N] [--json FILE] [--ui TALLYX]\n", argv[0]);
            return 2;
        }
    }
    if (runs == 0) runs = 1;

    // Model A: 100 sequential pages of 42 vehicles and 96 periodic pages; model B: 5,000 records.
    const std::vector<Config> configs = {
        {"model A, 100 ms pause", Model::A, {{"vehicles", "4200"}, {"seed", "3"}}, 100},
        {"model A, no pause", Model::A, {{"vehicles", "4200"}, {"seed", "3"}}, 0},
        {"model B, 100 ms pause", Model::B, {{"vehicles", "5000"}, {"seed", "3"}}, 100},
        {"model B, no pause", Model::B, {{"vehicles", "5000"}, {"seed", "3"}}, 0},
    };

    std::FILE* out = json.empty() ? nullptr : std::fopen(json.c_str(), "w");
    if (out != nullptr) std::fprintf(out, "[\n");
    std::printf("%-24s %10s %10s %7s %7s %7s %9s %10s\n", "read at 57600 baud", "wall ms", "floor ms", "ratio",
                "min", "max", "CPU %", "CPU ms/MB");
    bool first = true;
    for (const Config& config : configs) {
        // tallyx ui reads with the library's default pause between requests.
        if (!g_ui.empty() && config.delayMs != 100) continue;
        std::vector<double> ratios;
        std::vector<double> cpuShares;
        std::vector<double> cpuPerMb;
        Result last;
        for (unsigned run = 0; run < runs; ++run) {
            Result result;
            if (!RunOnce(config, result)) {
                std::fprintf(stderr, "%s: the read could not be run\n", config.name);
                return 1;
            }
            ratios.push_back(result.wallMs / result.floorMs);
            cpuShares.push_back(100.0 * result.cpuMs / result.wallMs);
            cpuPerMb.push_back(result.cpuMs / result.megabytes);
            last = result;
        }
        const double ratio = Median(ratios);
        std::printf("%-24s %10.0f %10.0f %7.4f %7.4f %7.4f %9.3f %10.1f\n", config.name, last.wallMs, last.floorMs,
                    ratio, *std::min_element(ratios.begin(), ratios.end()),
                    *std::max_element(ratios.begin(), ratios.end()), Median(cpuShares), Median(cpuPerMb));
        if (out != nullptr) {
            std::fprintf(out,
                         "%s  {\"name\": \"%s\", \"ratio_median\": %.4f, \"ratio_min\": %.4f, \"ratio_max\": %.4f, "
                         "\"cpu_percent_median\": %.3f, \"cpu_percent_min\": %.3f, \"cpu_percent_max\": %.3f, "
                         "\"cpu_ms_per_mb\": %.1f, \"runs\": %u}",
                         first ? "" : ",\n", config.name, ratio, *std::min_element(ratios.begin(), ratios.end()),
                         *std::max_element(ratios.begin(), ratios.end()), Median(cpuShares),
                         *std::min_element(cpuShares.begin(), cpuShares.end()),
                         *std::max_element(cpuShares.begin(), cpuShares.end()), Median(cpuPerMb), runs);
            first = false;
        }
        std::fflush(stdout);
    }
    if (out != nullptr) {
        std::fprintf(out, "\n]\n");
        std::fclose(out);
    }
    return 0;
}
