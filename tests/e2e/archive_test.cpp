// The count archive end to end: reads of simulated counters of both models kept by tallyx read,
// imported twice and kept once, exported back byte for byte, reported and turned into volume
// records with the codes of the site register; and the faults an archive meets: a file that is
// not one, a damaged one, one of a newer tallyx, a read-only one, a full disk, two writers at
// once, and a process killed in the middle of archiving a million vehicles.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "archive/sqlite_database.h"
#include "e2e_support.h"
#include "json/json_value.h"

namespace tallyx::e2e {
namespace {

namespace fs = std::filesystem;
using tallysim::Model;

constexpr unsigned kCom = 12;
constexpr int kArchiveFault = 10;

class ArchiveTest : public ::testing::Test, public CounterFixture {
protected:
    Outcome Tallyx(std::vector<std::string> args) {
        return RunProgram(std::string(TALLYX_BINARY_DIR) + "/tallyx", args, scratch);
    }

    json::Value Json(const Outcome& run) {
        json::Value value;
        std::string error;
        EXPECT_TRUE(json::Parse(run.out, value, error)) << error << "\n" << run.out << run.err;
        return value;
    }

    void Start(Model model, const std::string& seed) {
        tallysim::SimOptions options(model);
        std::string error;
        for (const auto& [key, value] : {std::pair{"vehicles", "300"}, std::pair{"seed", seed.c_str()}})
            ASSERT_TRUE(options.description.Set(key, value, &error)) << error;
        ASSERT_TRUE(StartCounter(options, kCom, &error)) << error;
    }

    std::vector<std::string> On(std::vector<std::string> args) {
        for (const char* extra : {"--port", "COM12", "--delay-ms", "0", "--quiet"}) args.push_back(extra);
        return args;
    }

    // Every file of a folder, by name.
    std::map<std::string, std::string> Files(const std::string& folder) {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(folder)) files[entry.path().filename().string()] = ReadBytes(entry.path().string());
        return files;
    }

    test::TempDir work;
    test::TempDir scratch;
};

class ArchiveModelTest : public ArchiveTest, public ::testing::WithParamInterface<Model> {};

TEST_P(ArchiveModelTest, ReadsAreKeptOnceAndComeBackAsTheyWereRead) {
    Start(GetParam(), "31");
    const std::string folder = work.Join("read");
    Outcome read = Tallyx(On({"read", "--out", folder}));
    ASSERT_EQ(read.status, 0) << read.out << read.err;
    EXPECT_NE(read.out.find("Archived the read as study 1"), std::string::npos) << read.out;

    // The same folder again is kept once, and said so.
    Outcome again = Tallyx({"archive", "import", folder});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("already in the archive as study 1"), std::string::npos) << again.out;
    json::Value list = Json(Tallyx({"archive", "list", "--json"}));
    ASSERT_EQ(list.Items().size(), 1u);
    const json::Value& entry = list.Items()[0];
    const auto& device = Counter().GetDescription().device;
    EXPECT_EQ(entry.Text("counter"), device.serialNumber);
    EXPECT_EQ(entry.Find("vehicles")->AsInteger(), 300);
    EXPECT_EQ(entry.Text("program").rfind("tallyx read ", 0), 0u);
    // Filters: by counter, by a site text, by days.
    EXPECT_EQ(Json(Tallyx({"archive", "list", "--json", "--counter", "no-such-serial"})).Items().size(), 0u);
    EXPECT_EQ(Json(Tallyx({"archive", "list", "--json", "--site", Counter().GetDescription().study.city})).Items().size(), 1u);
    EXPECT_EQ(Json(Tallyx({"archive", "list", "--json", "--to", "2000-01-01"})).Items().size(), 0u);
    EXPECT_EQ(Tallyx({"archive", "list", "--from", "2026-1-5"}).status, 2) << "a day without its zeros is refused";

    // Exported, the study is the folder that was read, byte for byte.
    Outcome exported = Tallyx({"archive", "export", "1", "--out", work.Join("exported")});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(Files(work.Join("exported")), Files(folder));

    // The fleet: the counter, its battery at the read, its one study.
    json::Value counters = Json(Tallyx({"archive", "counters", "--json"}));
    ASSERT_EQ(counters.Items().size(), 1u);
    EXPECT_EQ(counters.Items()[0].Text("serial"), device.serialNumber);
    EXPECT_EQ(counters.Items()[0].Find("studies")->AsInteger(), 1);
    ASSERT_EQ(counters.Items()[0].Find("readings")->Items().size(), 1u);
    EXPECT_EQ(counters.Items()[0].Find("readings")->Items()[0].Text("batteryVoltage"), device.batteryVoltage);

    // The site register fills what tmg needs; its records equal those of the folder with the same options.
    Outcome site = Tallyx({"archive", "site", "1", "--set", "fips-state=39", "--set", "station=123", "--set", "class=3u",
                           "--set", "forward-direction=1", "--set", "reverse-direction=5", "--json"});
    ASSERT_EQ(site.status, 0) << site.err;
    EXPECT_EQ(Json(site).Text("class"), "3U");
    EXPECT_EQ(Tallyx({"archive", "site", "1", "--set", "latitude=91"}).status, 2);
    const Outcome fromArchive = Tallyx({"tmg", "--archive-id", "1", "--out", work.Join("archive.tmg")});
    ASSERT_EQ(fromArchive.status, 0) << fromArchive.err;
    const Outcome fromFolder = Tallyx({"tmg", folder, "--state", "39", "--station", "123", "--class", "3U",
                                       "--forward-direction", "1", "--reverse-direction", "5", "--out", work.Join("folder.tmg")});
    ASSERT_EQ(fromFolder.status, 0) << fromFolder.err;
    EXPECT_EQ(ReadBytes(work.Join("archive.tmg")), ReadBytes(work.Join("folder.tmg")));
    // Options win over the register.
    ASSERT_EQ(Tallyx({"tmg", "--archive-id", "1", "--station", "777", "--out", work.Join("777.tmg")}).status, 0);
    EXPECT_NE(ReadBytes(work.Join("777.tmg")).find("393U000777"), std::string::npos);

    // The report of the archived study is the report of the folder.
    ASSERT_EQ(Tallyx({"report", "--archive-id", "1", "--out", work.Join("r1")}).status, 0);
    ASSERT_EQ(Tallyx({"report", folder, "--out", work.Join("r2")}).status, 0);
    EXPECT_EQ(ReadBytes(work.Join("r1/report.json")), ReadBytes(work.Join("r2/report.json")));

    // Removed, it is gone; without a terminal, removing asks for --yes.
    EXPECT_EQ(Tallyx({"archive", "remove", "1"}).status, 2);
    ASSERT_EQ(Tallyx({"archive", "remove", "1", "--yes"}).status, 0);
    EXPECT_EQ(Json(Tallyx({"archive", "list", "--json"})).Items().size(), 0u);
    EXPECT_EQ(Tallyx({"archive", "export", "1", "--out", work.Join("gone")}).status, 2);
}

INSTANTIATE_TEST_SUITE_P(Archive, ArchiveModelTest, ::testing::Values(Model::A, Model::B),
                         [](const auto& info) { return info.param == Model::A ? "ModelA" : "ModelB"; });

TEST_F(ArchiveTest, AnXmlReadComesBackAsXmlAndATallyreadFolderIsImported) {
    Start(Model::B, "32");
    const std::string folder = work.Join("xml");
    ASSERT_EQ(Tallyx(On({"read", "--format", "xml", "--metric", "--out", folder})).status, 0);
    ASSERT_EQ(Tallyx({"archive", "export", "1", "--out", work.Join("back")}).status, 0);
    EXPECT_EQ(Files(work.Join("back")), Files(folder));
}

// ---- faults

// A folder of many vehicles, written here rather than read from a counter.
std::string ManyVehicleFolder(const test::TempDir& work, int vehicles = 1000000) {
    const std::string folder = work.Join("many" + std::to_string(vehicles));
    fs::create_directories(folder);
    std::ofstream(folder + "/settings.json") << "{\n  \"port\": \"COM1\",\n  \"unit\": {\n    \"serialNumber\": \"M1\"\n  },\n"
                                                "  \"study\": {\n    \"begin\": \"2026-10-05 00:00:00.000\",\n"
                                                "    \"end\": \"2026-11-02 00:00:00.000\"\n  }\n}\n";
    std::ofstream out(folder + "/sequential.csv", std::ios::binary);
    out << "TimeStamp,Flag,Flag Description,Speed,Length\n";
    char line[80];
    for (int i = 0; i < vehicles; ++i) {
        const int second = i * 2;  // one vehicle every 2.4 s over 28 days
        std::snprintf(line, sizeof line, "2026-10-%02d %02d:%02d:%02d.000,%d,%s,%d,%d\n", 5 + second / 86400,
                      second / 3600 % 24, second / 60 % 60, second % 60, i % 3 == 0 ? 2 : 1,
                      i % 3 == 0 ? "REVERSE" : "FORWARD", 30 + i % 40, 10 + i % 50);
        out << line;
    }
    return folder;
}

TEST_F(ArchiveTest, AProcessKilledWhileArchivingLeavesTheStudyWholeOrNotAtAll) {
    const std::string folder = ManyVehicleFolder(work);
    const std::string archive = work.Join("killed.sqlite");
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execl((std::string(TALLYX_BINARY_DIR) + "/tallyx").c_str(), "tallyx", "archive", "--archive", archive.c_str(),
              "import", folder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Killed once its write-ahead log has grown a few megabytes: in the middle of the transaction.
    const auto start = std::chrono::steady_clock::now();
    std::error_code failure;
    while (fs::file_size(archive + "-wal", failure) < (4u << 20) || failure) {
        int status = 0;
        ASSERT_NE(waitpid(pid, &status, WNOHANG), pid) << "the import ended before it could be killed";
        ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
        std::this_thread::yield();
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    auto check = [&archive](int64_t studies) {
        archive::Database db;
        std::string error;
        ASSERT_TRUE(db.Open(archive, false, error)) << error;
        archive::Statement integrity(db, "PRAGMA integrity_check");
        ASSERT_TRUE(integrity.Step());
        EXPECT_EQ(integrity.Text(0), "ok");
        EXPECT_EQ(db.Integer("SELECT COUNT(*) FROM studies", error), studies);
        EXPECT_EQ(db.Integer("SELECT COUNT(*) FROM vehicles", error), studies * 1000000);
    };
    check(0);
    // The next import finds a sound archive and keeps the study whole.
    const Outcome again = Tallyx({"archive", "--archive", archive, "import", folder});
    EXPECT_EQ(again.status, 0) << again.err;
    check(1);
}

TEST_F(ArchiveTest, TwoProcessesArchivingAtOnceBothSucceed) {
    // Two folders of a study each, imported by two processes started together.
    std::vector<std::string> folders;
    for (const char* model : {"A", "B"}) {
        Start(std::string(model) == "A" ? Model::A : Model::B, "33");
        folders.push_back(work.Join(std::string("read") + model));
        ASSERT_EQ(Tallyx(On({"read", "--no-archive", "--out", folders.back()})).status, 0);
        Counter().Stop();
    }
    const std::string tallyx = std::string(TALLYX_BINARY_DIR) + "/tallyx";
    const std::string command = "'" + tallyx + "' archive import '" + folders[0] + "' > '" + work.Join("a.out") + "' 2>&1 & '" +
                                tallyx + "' archive import '" + folders[1] + "' > '" + work.Join("b.out") + "' 2>&1; " +
                                "b=$?; wait $!; a=$?; exit $((a * 16 + b))";
    const int status = std::system(("bash -c \"" + command + "\"").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadBytes(work.Join("a.out")) << ReadBytes(work.Join("b.out"));
    EXPECT_EQ(ReadBytes(work.Join("a.out")).find("locked"), std::string::npos);
    EXPECT_EQ(Json(Tallyx({"archive", "list", "--json"})).Items().size(), 2u);
}

struct Fault {
    const char* name;
    // Spoils the archive file (already holding one study) before the read.
    void (*spoil)(const std::string& path);
    const char* message;
};

void PrintTo(const Fault& f, std::ostream* out) { *out << f.name; }

void WriteText(const std::string& path) { std::ofstream(path, std::ios::binary) << "these are my notes, not an archive\n"; }

void OtherDatabase(const std::string& path) {
    fs::remove(path);
    archive::Database db;
    std::string error;
    ASSERT_TRUE(db.Open(path, true, error)) << error;
    ASSERT_TRUE(db.Exec("CREATE TABLE recipes (name TEXT)", error)) << error;
}

void Damage(const std::string& path) {
    // Past the file header: the page that describes every table.
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(100);
    const std::string garbage(3000, '\x5a');
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
}

void Newer(const std::string& path) {
    archive::Database db;
    std::string error;
    ASSERT_TRUE(db.Open(path, false, error)) << error;
    ASSERT_TRUE(db.Exec("PRAGMA user_version = 99", error)) << error;
}

class ArchiveFaultTest : public ArchiveTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(ArchiveFaultTest, OneLineItsOwnStatusNothingOverwrittenAndTheFolderWritten) {
    const Fault& fault = GetParam();
    Start(Model::B, "34");
    // An archive that holds a study, moved out of its write-ahead log into the file.
    ASSERT_EQ(Tallyx(On({"read", "--out", work.Join("first")})).status, 0);
    {
        archive::Database db;
        std::string error;
        ASSERT_TRUE(db.Open(archivePath, false, error));
        ASSERT_TRUE(db.Exec("PRAGMA wal_checkpoint(TRUNCATE)", error)) << error;
    }
    fault.spoil(archivePath);
    const std::string before = ReadBytes(archivePath);

    const Outcome read = Tallyx(On({"read", "--out", work.Join("second")}));
    EXPECT_EQ(read.status, kArchiveFault) << read.out << read.err;
    EXPECT_NE(read.err.find(fault.message), std::string::npos) << read.err;
    EXPECT_EQ(read.err.find("tallyx: error:"), read.err.rfind("tallyx: error:")) << read.err;
    EXPECT_TRUE(fs::exists(work.Join("second/sequential.csv")));
    EXPECT_TRUE(ReadBytes(archivePath) == before) << "the archive file was changed";
    EXPECT_EQ(Tallyx({"archive", "list"}).status, kArchiveFault);
}

INSTANTIATE_TEST_SUITE_P(Archive, ArchiveFaultTest,
                         ::testing::Values(Fault{"NotAnArchive", WriteText, "is not a tallyx archive: it is not an SQLite database"},
                                           Fault{"AnotherProgramsDatabase", OtherDatabase, "is an SQLite database, but not a tallyx archive"},
                                           Fault{"Damaged", Damage, "is damaged"},
                                           Fault{"NewerSchema", Newer, "was written by a newer tallyx (archive version 99"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Read-only and full: the archive's file cannot take the study. Root writes to read-only files,
// so the program runs as nobody; the disk is made full by a limit on the size of written files.
TEST_F(ArchiveTest, AReadOnlyArchiveOrAFullDiskIsReportedAndLeftAsItWas) {
    Start(Model::A, "35");
    const std::string folder = work.Join("read");
    ASSERT_EQ(Tallyx(On({"read", "--out", folder})).status, 0);
    Counter().Stop();
    const std::string tallyx = std::string(TALLYX_BINARY_DIR) + "/tallyx";
    {
        archive::Database db;
        std::string error;
        ASSERT_TRUE(db.Open(archivePath, false, error));
        ASSERT_TRUE(db.Exec("PRAGMA wal_checkpoint(TRUNCATE)", error)) << error;
        ASSERT_TRUE(db.Exec("DELETE FROM vehicles; DELETE FROM periods; DELETE FROM counter_readings; DELETE FROM study_settings;"
                            "DELETE FROM flag_descriptions; DELETE FROM studies", error)) << error;
        ASSERT_TRUE(db.Exec("PRAGMA wal_checkpoint(TRUNCATE)", error)) << error;
    }
    const std::string before = ReadBytes(archivePath);

    // A file size limit of 128 KiB: the archive opens, but the pages of 20,000 vehicles do not fit.
    const Outcome full = RunProgram("/bin/bash", {"-c", "trap '' XFSZ; ulimit -f 128; exec \"$0\" archive import \"$1\"", tallyx,
                                                  ManyVehicleFolder(work, 20000)}, scratch);
    EXPECT_EQ(full.status, kArchiveFault) << full.out << full.err;
    EXPECT_NE(full.err.find("was not archived"), std::string::npos) << full.err;
    EXPECT_NE(full.err.find("the disk is full"), std::string::npos) << full.err;
    EXPECT_EQ(ReadBytes(archivePath), before);

    if (geteuid() == 0) {
        chmod(archiveFolder.Path().c_str(), 0755);
        chmod(archivePath.c_str(), 0444);
        chmod(work.Path().c_str(), 0755);
        chmod(folder.c_str(), 0755);
        const Outcome readOnly = RunProgram("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", tallyx,
                                                                  "archive", "import", folder}, scratch);
        EXPECT_EQ(readOnly.status, kArchiveFault) << readOnly.out << readOnly.err;
        EXPECT_EQ(std::count(readOnly.err.begin(), readOnly.err.end(), '\n'), 1) << readOnly.err;
        EXPECT_EQ(ReadBytes(archivePath), before);
    }
}

}  // namespace
}  // namespace tallyx::e2e
