// Many whole device operations in one process, to show that none of them leaves
// anything behind: READS cycles of Init, ReadDevice against a simulated counter
// (model A and model B in turn, each cycle a new one), a walk of every value
// kind and format, and Term; then WRITES cycles of Init, the study settings,
// WriteDevice and Term.
// After a warm-up cycle of each kind the open file descriptors, threads, file
// locks held and resident memory of this process are taken as the baseline;
// after the cycles the first three must be back at it and the memory within a
// small bound of it.
//
//   resource_cycles [READS [WRITES]]      (defaults 3 and 2)
//
// Prints the figures. Exit status: 0 clean, 1 a resource was left behind,
// 2 a cycle failed or the set-up did not work.
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <tallyx/tallyx.h>

#include "simulator.h"
#include "../support/local_day.h"

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory aside (256 MiB by default) to catch late
// uses; that would look like growth here, so keep only a little aside.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=4:thread_local_quarantine_size_kb=64"; }
#endif

namespace {

// Growth of resident memory from the baseline that still counts as steady.
constexpr long kRssBoundKb = 16 * 1024;
constexpr unsigned kCom = 3;

struct Figures {
    long fds = 0;
    long threads = 0;
    long locks = 0;
    long rssKb = 0;
};

long CountEntries(const char* folder) {
    long count = 0;
    if (DIR* dir = opendir(folder)) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') ++count;
        }
        closedir(dir);
    }
    return count - 1;  // the descriptor opendir itself held while listing
}

long StatusField(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    }
    return -1;
}

// Lines of /proc/locks held (or waited for) by this process: "1: FLOCK ADVISORY WRITE <pid> ..."
// or, for a waiter, "1: -> FLOCK ...".
long HeldLocks() {
    std::ifstream locks("/proc/locks");
    const std::string pid = std::to_string(getpid());
    long count = 0;
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream words(line);
        std::vector<std::string> fields;
        for (std::string word; words >> word;) {
            if (word != "->") fields.push_back(word);
        }
        if (fields.size() > 4 && fields[4] == pid) ++count;
    }
    return count;
}

Figures Measure() {
    return Figures{CountEntries("/proc/self/fd"), StatusField("Threads"), HeldLocks(), StatusField("VmRSS")};
}

void Print(const char* label, const Figures& f) {
    std::printf("%-13s fds=%ld threads=%ld locks=%ld rss=%ld kB\n", label, f.fds, f.threads, f.locks, f.rssKb);
    std::fflush(stdout);
}

std::string LocalMidnight(int days) { return tallyx::test::LocalDay(days) + " 00:00:00.000"; }

int32_t AcceptEveryPrompt(TallyxHandle, int32_t) { return 0; }

TallyxHandle NewContext(unsigned com, const std::string& logFolder) {
    TallyxHandle handle = Init();
    if (handle == nullptr) return nullptr;
    const std::string port = std::to_string(com);
    SetProperty(handle, PROPERTY_COMM_PORT, port.c_str());
    SetProperty(handle, PROPERTY_COMM_PEEKTOUTMS, "50");
    SetProperty(handle, PROPERTY_COMM_RECVTOUTMS, "2000");
    SetProperty(handle, PROPERTY_COMM_WAITBETWEENREQSMS, "0");
    SetProperty(handle, PROPERTY_COMM_LOGFOLDER, logFolder.c_str());
    SetProperty(handle, PROPERTY_COMM_LOGLEVEL, "COMMANDS");
    SetPromptCallback(handle, AcceptEveryPrompt);
    return handle;
}

// Every line of one kind and format; -1 when the walk does not end as it should.
long WalkValues(TallyxHandle handle, const char* kind, const char* format) {
    std::vector<char> buffer(65536);
    const uint32_t size = static_cast<uint32_t>(buffer.size());
    long lines = 0;
    int32_t result = GetFirstValue(handle, kind, format, buffer.data(), size);
    while (result == RETCODE_OK) {
        ++lines;
        result = GetNextValue(handle, buffer.data(), size);
    }
    return result == RETCODE_NOMOREVALUES ? lines : -1;
}

class Soak {
public:
    bool Start() {
        char pattern[] = "/tmp/tallyx-soak-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return Fail("cannot make a temporary folder");
        root_ = pattern;
        ports_ = root_ + "/ports";
        logs_ = root_ + "/logs";
        std::filesystem::create_directories(ports_);
        setenv("TALLYX_PORT_DIR", ports_.c_str(), 1);
        for (const tallyx::CounterModelInfo& info : tallyx::CounterModels()) {
            tallysim::SimOptions options(tallysim::ModelOf(info));
            options.portDir = ports_;
            options.comNumber = kCom;
            options.keepTranscript = false;
            std::string error;
            options.description.Set("vehicles", "60", &error);
            options_.push_back(options);
        }
        return true;
    }

    ~Soak() {
        if (!root_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(root_, ignored);
        }
    }

    // One read of a counter of model A (even cycles) or B (odd ones) and a walk of all its values.
    bool ReadCycle(unsigned cycle) {
        std::unique_ptr<tallysim::Simulator> counter = StartCounter(cycle);
        if (!counter) return false;
        TallyxHandle handle = NewContext(kCom, logs_);
        if (handle == nullptr) return Fail("Init gave no handle");
        const int32_t result = ReadDevice(handle);
        bool ok = result == RETCODE_OK;
        if (!ok) Fail("read " + std::to_string(cycle) + " returned " + std::to_string(result));
        for (const char* kind : {GETVALUE_DATA_SEQUENTIAL, GETVALUE_DATA_PERIODIC}) {
            for (const char* format : {GETVALUE_FORMAT_CSV, GETVALUE_FORMAT_XML}) {
                const long lines = WalkValues(handle, kind, format);
                if (ok && lines <= 0) {
                    ok = Fail("read " + std::to_string(cycle) + ": " + kind + " " + format + " gave " +
                              std::to_string(lines) + " lines");
                }
            }
        }
        if (Term(handle) != RETCODE_OK) ok = Fail("Term failed");
        return ok;
    }

    // One programming of a day's study from tomorrow on a counter of model A or B in turn.
    bool WriteCycle(unsigned cycle) {
        std::unique_ptr<tallysim::Simulator> counter = StartCounter(cycle);
        if (!counter) return false;
        TallyxHandle handle = NewContext(kCom, logs_);
        if (handle == nullptr) return Fail("Init gave no handle");
        const std::string begin = LocalMidnight(1), end = LocalMidnight(2);
        const std::pair<const char*, const char*> settings[] = {
            {PROPERTY_STUDY_BEGINDATETIME, begin.c_str()}, {PROPERTY_STUDY_ENDDATETIME, end.c_str()},
            {PROPERTY_STUDY_PERIODTIME, "15"},            {PROPERTY_STUDY_SPEEDBINS, "20 30 40 50"},
            {PROPERTY_STUDY_LENGTHBINS, "20 40"},         {PROPERTY_STUDY_STATE, "OH"},
            {PROPERTY_STUDY_CITY, "Oak Park"},            {PROPERTY_STUDY_COUNTY, "Lake"},
            {PROPERTY_STUDY_ADDRESS, "Elm St"},           {PROPERTY_STUDY_LANE, "NB"},
            {PROPERTY_STUDY_SPEEDLIMIT, "35"},            {PROPERTY_STUDY_OPERATOR, "KW"},
            {PROPERTY_TALLYX_READWRITEACTION, TALLYX_WRITEACTION_PROGRAMSTUDY},
        };
        bool ok = true;
        for (const auto& [name, value] : settings) {
            if (SetProperty(handle, name, value) != RETCODE_OK) ok = Fail(std::string("setting ") + name);
        }
        if (ok) {
            const int32_t result = WriteDevice(handle);
            if (result != RETCODE_OK) ok = Fail("write " + std::to_string(cycle) + " returned " + std::to_string(result));
        }
        if (Term(handle) != RETCODE_OK) ok = Fail("Term failed");
        return ok;
    }

    // Today's log files grow with every cycle; they are removed now and then, and the library
    // simply starts them again.
    void PruneLogs() {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(logs_, ignored)) {
            std::filesystem::remove(entry.path(), ignored);
        }
    }

private:
    // Every cycle has a counter of its own, gone again before the figures are taken, so that
    // they show the library alone and not what the simulator keeps of its sessions.
    std::unique_ptr<tallysim::Simulator> StartCounter(unsigned cycle) {
        auto counter = std::make_unique<tallysim::Simulator>(options_[cycle % 2]);
        std::string error;
        if (!counter->Start(&error)) {
            Fail("simulator: " + error);
            return nullptr;
        }
        return counter;
    }

    static bool Fail(const std::string& why) {
        std::fprintf(stderr, "resource_cycles: %s\n", why.c_str());
        return false;
    }

    std::string root_, ports_, logs_;
    std::vector<tallysim::SimOptions> options_;  // model A, model B
};

bool Leaked(const Figures& base, const Figures& now) {
    return now.fds != base.fds || now.threads != base.threads || now.locks != base.locks ||
           now.rssKb - base.rssKb > kRssBoundKb;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned long reads = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 3;
    const unsigned long writes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 2;
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    {
        Soak soak;
        if (!soak.Start()) return 2;
        // Warm-up: whatever is set up once (the property name index, per-thread buffers, the
        // sanitizer's own tables) is made before the baseline.
        const Figures start = Measure();
        Print("start", start);
        bool ok = true;
        if (reads > 0) ok = soak.ReadCycle(0) && soak.ReadCycle(1);
        if (ok && writes > 0) ok = soak.WriteCycle(0) && soak.WriteCycle(1);
        if (!ok) return 2;
        const Figures base = Measure();
        Print("baseline", base);

        Figures peak = base;  // the highest figures seen between two cycles
        // Runs count cycles of one kind, noting the figures after each and printing them every 50.
        auto run = [&](const char* kind, unsigned long count, bool (Soak::*cycle)(unsigned)) {
            for (unsigned long i = 0; i < count; ++i) {
                if (!(soak.*cycle)(static_cast<unsigned>(i))) return false;
                const Figures now = Measure();
                peak = Figures{std::max(peak.fds, now.fds), std::max(peak.threads, now.threads),
                               std::max(peak.locks, now.locks), std::max(peak.rssKb, now.rssKb)};
                if (i % 50 == 49) {
                    soak.PruneLogs();
                    const std::string label = std::string(kind) + " " + std::to_string(i + 1);
                    Print(label.c_str(), now);
                }
            }
            return true;
        };
        ok = run("reads", reads, &Soak::ReadCycle) && run("writes", writes, &Soak::WriteCycle);
        if (!ok) return 2;
        const Figures end = Measure();
        Print("end", end);
        Print("highest", peak);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("cycles: %lu reads, %lu writes after the warm-up, in %.0f s\n", reads, writes, seconds);
        if (Leaked(base, end)) {
            std::printf("LEAK: the end differs from the baseline (resident memory may grow by %ld kB)\n",
                        kRssBoundKb);
            status = 1;
        } else {
            std::printf("steady: descriptors, threads and locks back at the baseline, memory within %ld kB\n",
                        kRssBoundKb);
        }
    }
    return status;
}
