// The study model's loader and writers on folders made by hand: every form this project writes
// loads, and what the writers make of a study is what the folder held, byte for byte, which is
// what the archive's export depends on; the study's typed views of its settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "study/folder_loader.h"
#include "study/folder_writer.h"
#include "support/temp_dir.h"

namespace tallyx::study {
namespace {

namespace fs = std::filesystem;

const std::string kVehicles =
    "TimeStamp,Flag,Flag Description,Speed,Length\n"
    "2026-11-02 06:16:44.000,1,FORWARD,35,16\n"
    "2026-11-02 06:16:44.500,2,REVERSE+UNCLASSIFIED,0,0\n"
    "0-00-00 00:00:00.000,258,FORWARD+MODIFIED_TIMESTAMP,41,18\n"
    "10001-01-01 00:00:00.000,1,FORWARD,65535,65535\n";
const std::string kPeriods =
    "TimeStamp,Temperature,Occupancy,Count,ReverseCount,Bin_1_1,Bin_1_2,Bin_2_1,Bin_2_2,Bin_3_1,Bin_3_2\n"
    "2026-11-02 06:15:00.000,-4,0,2,1,0,1,0,0,1,0\n"
    "2026-11-02 06:30:00.000,,12,0,0,0,0,0,0,0,0\n";

void Write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(StudyFolder, EveryFormLoadsAndWritesBackAsItWas) {
    test::TempDir work;
    Study csv;
    csv.port = "COM3";
    csv.SetSetting(SettingKey::kSerialNumber, "B2048-0117");
    csv.SetSetting(SettingKey::kBegin, "2026-11-02 06:00:00.000");
    csv.SetSetting(SettingKey::kEnd, "2026-11-02 07:00:00.000");
    csv.SetSetting(SettingKey::kUnits, "STUDY_MEASUREMENTUNITS_METRIC");
    csv.SetSetting(SettingKey::kCity, "Caf\xe9 \"Town\"\t");
    csv.metric = true;
    // settings.json and study.conf as tallyx read writes them, the records as the library gives them.
    Write(work.Join("csv/settings.json"), SettingsJsonText(csv));
    Write(work.Join("csv/study.conf"), StudyConfText(csv));
    Write(work.Join("csv/sequential.csv"), kVehicles);
    Write(work.Join("csv/periodic.csv"), kPeriods);

    Study loaded;
    std::string error;
    ASSERT_TRUE(LoadFolder(work.Join("csv"), loaded, error)) << error;
    EXPECT_EQ(loaded.form, FolderForm::kCsv);
    EXPECT_TRUE(loaded.metric);
    EXPECT_EQ(loaded.port, "COM3");
    EXPECT_EQ(loaded.Setting(SettingKey::kCity), "Caf\xe9 \"Town\"\t");
    ASSERT_EQ(loaded.vehicles.size(), 4u);
    EXPECT_EQ(loaded.vehicles[2].time, kNoTime);
    EXPECT_TRUE(loaded.IsReverse(loaded.vehicles[1]));
    EXPECT_TRUE(loaded.IsUnclassified(loaded.vehicles[1]));
    EXPECT_FALSE(loaded.IsReverse(loaded.vehicles[2]));
    EXPECT_EQ(loaded.binRows, 3u);
    EXPECT_EQ(loaded.binColumns, 2u);
    EXPECT_EQ(SettingsJsonText(loaded), SettingsJsonText(csv));
    EXPECT_EQ(StudyConfText(loaded), StudyConfText(csv));
    EXPECT_EQ(VehicleFileText(loaded, false), kVehicles);
    EXPECT_EQ(PeriodFileText(loaded, false), kPeriods);

    // The XML form of the same records loads to the same study and writes back the same.
    Write(work.Join("xml/settings.json"), SettingsJsonText(csv));
    Write(work.Join("xml/sequential.xml"), VehicleFileText(loaded, true));
    Write(work.Join("xml/periodic.xml"), PeriodFileText(loaded, true));
    Study xml;
    ASSERT_TRUE(LoadFolder(work.Join("xml"), xml, error)) << error;
    EXPECT_EQ(xml.form, FolderForm::kXml);
    EXPECT_EQ(VehicleFileText(xml, false), kVehicles);
    EXPECT_EQ(PeriodFileText(xml, false), kPeriods);

    // tallyread's folder, found through data/, with lines ending CR LF as on Windows, and the
    // counter's identity from kvd.dat.
    std::string crlf;
    for (char c : StudyTextLines(loaded)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    Write(work.Join("reader/data/study.txt"), crlf);
    Write(work.Join("reader/data/sequential.csv"), kVehicles);
    Write(work.Join("reader/data/kvd.dat"), ":X:6JD\r\n:X:7A1024-0042\r\n:X:8ZK110\r\n");
    Study reader;
    ASSERT_TRUE(LoadFolder(work.Join("reader"), reader, error)) << error;
    EXPECT_EQ(reader.form, FolderForm::kTallyread);
    EXPECT_FALSE(reader.hasPeriodFile);
    EXPECT_EQ(reader.Setting(SettingKey::kSerialNumber), "A1024-0042");
    EXPECT_EQ(reader.Setting(SettingKey::kUnitType), "ZK110");
    EXPECT_EQ(reader.Setting(SettingKey::kBegin), "2026-11-02 06:00:00.000");
    EXPECT_EQ(StudyTextLines(reader), StudyTextLines(loaded));
}

TEST(StudyFolder, TypedViewsOfTheSettings) {
    Study s;
    s.SetSetting(SettingKey::kSpeedLimit, "45 mph");
    s.SetSetting(SettingKey::kSpeedBins, "20, 30;40  50");
    s.SetSetting(SettingKey::kPeriodMinutes, "");
    s.SetSetting(SettingKey::kBegin, " 2026-11-02 06:00 ");
    EXPECT_EQ(s.SpeedLimit(), 45);
    EXPECT_EQ(s.SpeedBins(), (std::vector<int64_t>{20, 30, 40, 50}));
    EXPECT_FALSE(s.PeriodMinutes().has_value());
    EXPECT_EQ(s.Begin(), ToMilliseconds({2026, 11, 2, 6, 0, 0, 0}));
    s.SetSetting(SettingKey::kSpeedLimit, "0");
    EXPECT_FALSE(s.SpeedLimit().has_value());
    // A run of digits far too long for any setting stays a large number, not an overflow.
    EXPECT_EQ(NumbersIn("99999999999999999999999 7").size(), 2u);
    EXPECT_LT(NumbersIn("99999999999999999999999")[0], INT64_MAX / 2);
}

}  // namespace
}  // namespace tallyx::study
