// The value export: CSV and XML lines for GetFirstValue/GetNextValue and the
// record elements of the dump documents.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/flag_names.h"
#include "export/text_line.h"
#include "export/xml_writer.h"
#include "values_test_driver.h"

namespace tallyx::testing {
namespace {

constexpr const char* kSequential = "GETVALUE_DATA_SEQUENTIAL";
constexpr const char* kPeriodic = "GETVALUE_DATA_PERIODIC";
constexpr const char* kCsv = "GETVALUE_FORMAT_CSV";
constexpr const char* kXml = "GETVALUE_FORMAT_XML";

class ValueExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        driver.Set(PROPERTY_STUDY_BEGINDATETIME, "2009-03-01 09:00:00.000");
        driver.Set(PROPERTY_STUDY_ENDDATETIME, "2009-03-08 09:00:00.000");
        driver.Set(PROPERTY_STUDY_PERIODTIME, "15");
        driver.Set(PROPERTY_STUDY_SPEEDBINS, "20 30 40");
        driver.Set(PROPERTY_STUDY_LENGTHBINS, "20 40");
        driver.Values().SetDateEncoding(true);
    }

    // The example vehicle (2009-03-04 14:05:30, FORWARD, 48 mph, 18 ft) and a second one.
    void LoadTwoVehicles() {
        const std::vector<uint8_t> data = {0x2E, 0x05, 0x1E, 0x02, 0x30, 0x12,  //
                                           0x2E, 0x06, 0x00, 0x04, 0x28, 0x0A};
        ASSERT_EQ(0, driver.Values().DecodeSequential(data.data(), static_cast<uint32_t>(data.size())));
    }

    ValuesTestDriver driver;
    char line[1024] = {};
};

TEST(FlagDescriptionTest, NamesAreJoinedWithPlusAndForwardWinsOverReverse) {
    ValuesTestDriver driver;
    const FlagNameTable table = driver.Values().FlagNames();
    char text[256];
    struct Case {
        uint16_t flags;
        const char* description;
    };
    const Case cases[] = {
        {0x0102, "FORWARD+MODIFIED_TIMESTAMP"},
        {0x0100, "MODIFIED_TIMESTAMP"},
        {0x0006, "FORWARD"},
        {0x0004, "REVERSE"},
        {0x0000, ""},
        {0x0001, ""},
        {0x0624, "REVERSE+NO_LENGTH+DEFAULT_LENGTH+DEFAULT_SPEED"},
        {0x07E6, "FORWARD+NO_LENGTH+STOPPED+UNCLASSIFIED+MODIFIED_TIMESTAMP+DEFAULT_LENGTH+DEFAULT_SPEED"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(FormatFlagDescription(table, c.flags, text, sizeof text));
        EXPECT_STREQ(c.description, text) << std::hex << c.flags;
    }
    EXPECT_FALSE(FormatFlagDescription(table, 0x0102, text, 8));
}

TEST(FlagDescriptionTest, AnotherModelPlugsInItsOwnThreeFlags) {
    static constexpr FlagName kThreeFlags[] = {{0x01, "FORWARD"}, {0x02, "REVERSE", true}, {0x04, "UNCLASSIFIED"}};
    char text[64];
    FormatFlagDescription(kThreeFlags, 0x03, text, sizeof text);
    EXPECT_STREQ("FORWARD", text);
    FormatFlagDescription(kThreeFlags, 0x06, text, sizeof text);
    EXPECT_STREQ("REVERSE+UNCLASSIFIED", text);
    FormatFlagDescription(kThreeFlags, 0x0F05, text, sizeof text);
    EXPECT_STREQ("FORWARD+UNCLASSIFIED", text);
}

TEST(TextLineTest, TimeTextMatchesTheDateTimeFormat) {
    const DateTime times[] = {DateTime(2009, 3, 4, 14, 5, 30, 7), DateTime(), DateTime(12, 13, 99, 99, 123, 255, 1000),
                              DateTime(30827, 12, 31, 23, 59, 59, 999)};
    for (const DateTime& time : times) {
        char text[64];
        TextLine builder(text, sizeof text);
        ASSERT_TRUE(builder.AppendTime(time));
        EXPECT_EQ(Text(time), std::string(text));
    }
}

TEST(TextLineTest, PiecesThatDoNotFitStopTheLine) {
    char text[6];
    TextLine builder(text, sizeof text);
    EXPECT_TRUE(builder.Append("abc"));
    EXPECT_TRUE(builder.AppendSigned(-1));
    EXPECT_FALSE(builder.AppendChar('x'));  // would leave no room for the terminating zero
    EXPECT_FALSE(builder.AppendChar('y'));
    EXPECT_STREQ("abc-1", text);
    TextLine none(nullptr, 10);
    EXPECT_FALSE(none.Append(""));
}

TEST_F(ValueExportTest, SequentialCsvIsAHeaderThenOneLinePerVehicle) {
    LoadTwoVehicles();
    ASSERT_EQ(0, driver.FirstValue(kSequential, kCsv, line, sizeof line));
    EXPECT_STREQ("TimeStamp,Flag,Flag Description,Speed,Length", line);
    ASSERT_EQ(0, driver.NextValue(line, sizeof line));
    EXPECT_STREQ("2009-03-04 14:05:30.000,2,FORWARD,48,18", line);
    ASSERT_EQ(0, driver.NextValue(line, sizeof line));
    EXPECT_STREQ("2009-03-04 14:06:00.000,4,REVERSE,40,10", line);
    EXPECT_EQ(2, driver.NextValue(line, sizeof line));
    EXPECT_STREQ("", line);
    EXPECT_EQ(2, driver.NextValue(line, sizeof line));
}

TEST_F(ValueExportTest, CorrectionFlagsAppearInTheLine) {
    driver.Values().SetDateEncoding(false);
    driver.Set(PROPERTY_STUDY_BEGINDATETIME, "2009-03-01 23:00:00.000");
    std::vector<uint8_t> data;
    AppendBytes(data, RawRecord(0, 23, 59, 50, 0x02, 40, 15));
    AppendBytes(data, RawRecord(0, 0, 0, 10, 0x02, 40, 5));
    ASSERT_EQ(0, driver.Values().DecodeSequential(data.data(), static_cast<uint32_t>(data.size())));
    ASSERT_EQ(0, driver.FirstValue(kSequential, kCsv, line, sizeof line));
    ASSERT_EQ(0, driver.NextValue(line, sizeof line));
    ASSERT_EQ(0, driver.NextValue(line, sizeof line));
    EXPECT_STREQ("2009-03-02 00:00:10.000,770,FORWARD+MODIFIED_TIMESTAMP+DEFAULT_LENGTH,40,14", line);
}

TEST_F(ValueExportTest, MetricOutputConvertsSpeedAndLengthOnly) {
    LoadTwoVehicles();
    driver.Set(PROPERTY_STUDY_MEASUREMENTUNITS, "study_measurementunits_metric");
    ASSERT_EQ(0, driver.FirstValue(kSequential, kCsv, line, sizeof line));
    ASSERT_EQ(0, driver.NextValue(line, sizeof line));
    // 48 mph * 1.609344 = 77.2 km/h; 18 ft * 3.048 = 54.9 dm.
    EXPECT_STREQ("2009-03-04 14:05:30.000,2,FORWARD,77,55", line);
    ASSERT_EQ(0, driver.NextValue(line, sizeof line));
    // 40 mph = 64.4 km/h, shown as the round 65 since 65 km/h is stored as 40 mph; 10 ft = 30.5 dm.
    EXPECT_STREQ("2009-03-04 14:06:00.000,4,REVERSE,65,30", line);
}

TEST_F(ValueExportTest, LineThatDoesNotFitIsSkipped) {
    LoadTwoVehicles();
    const std::string first = "2009-03-04 14:05:30.000,2,FORWARD,48,18";
    ASSERT_EQ(0, driver.FirstValue(kSequential, kCsv, line, sizeof line));
    std::vector<char> tight(first.size());  // one byte short of the terminating zero
    EXPECT_EQ(-101, driver.NextValue(tight.data(), static_cast<uint32_t>(tight.size())));
    ASSERT_EQ(0, driver.NextValue(line, sizeof line));
    EXPECT_STREQ("2009-03-04 14:06:00.000,4,REVERSE,40,10", line);

    ASSERT_EQ(0, driver.FirstValue(kSequential, kCsv, line, sizeof line));
    std::vector<char> exact(first.size() + 1);
    ASSERT_EQ(0, driver.NextValue(exact.data(), static_cast<uint32_t>(exact.size())));
    EXPECT_EQ(first, exact.data());

    EXPECT_EQ(-101, driver.FirstValue(kSequential, kCsv, line, 10));
    EXPECT_EQ(-101, driver.NextValue(line, 0));
}

TEST_F(ValueExportTest, NamesAreMatchedInAnyCase) {
    LoadTwoVehicles();
    EXPECT_EQ(0, driver.FirstValue("getvalue_data_sequential", "getvalue_format_xml", line, sizeof line));
    EXPECT_EQ(0, driver.FirstValue("GetValue_Data_Periodic", "GETVALUE_format_CSV", line, sizeof line));
}

TEST_F(ValueExportTest, BadNamesAreRejectedFormatFirst) {
    LoadTwoVehicles();
    EXPECT_EQ(-61, driver.FirstValue("NO_SUCH_KIND", "NO_SUCH_FORMAT", line, sizeof line));
    EXPECT_EQ(-60, driver.FirstValue("NO_SUCH_KIND", kCsv, line, sizeof line));
    EXPECT_EQ(-62, driver.NextValue(line, sizeof line)) << "a failed start leaves no walk";
    EXPECT_EQ(-60, driver.FirstValue(nullptr, nullptr, line, sizeof line));
    EXPECT_EQ(-60, driver.FirstValue("", kCsv, line, sizeof line));
    EXPECT_EQ(-61, driver.FirstValue(kSequential, "", line, sizeof line));
    EXPECT_EQ(-61, driver.FirstValue(kSequential, nullptr, line, sizeof line));
    EXPECT_EQ(-61, driver.FirstValue(kSequential, "GETVALUE_FORMAT_CSVX", line, sizeof line));
    EXPECT_EQ(-62, driver.NextValue(line, sizeof line));
}

TEST_F(ValueExportTest, NextWithoutAStartIsAnError) {
    LoadTwoVehicles();
    EXPECT_EQ(-62, driver.NextValue(line, sizeof line));
}

TEST_F(ValueExportTest, NoVehiclesGiveAHeaderInCsvAndNothingInXml) {
    ASSERT_EQ(0, driver.FirstValue(kSequential, kCsv, line, sizeof line));
    EXPECT_STREQ("TimeStamp,Flag,Flag Description,Speed,Length", line);
    std::strcpy(line, "stale");
    EXPECT_EQ(2, driver.NextValue(line, sizeof line));
    EXPECT_STREQ("", line);
    std::strcpy(line, "stale");
    EXPECT_EQ(2, driver.FirstValue(kSequential, kXml, line, sizeof line));
    EXPECT_STREQ("", line);
    EXPECT_EQ(2, driver.FirstValue(kPeriodic, kXml, line, sizeof line));
}

TEST_F(ValueExportTest, XmlLineIsOneElementWithoutWhitespace) {
    LoadTwoVehicles();
    ASSERT_EQ(0, driver.FirstValue(kSequential, kXml, line, sizeof line));
    EXPECT_STREQ("<Sequential><TimeStamp>2009-03-04 14:05:30.000</TimeStamp><Flag>2</Flag>"
                 "<Flag Description>FORWARD</Flag Description><Speed>48</Speed><Length>18</Length></Sequential>",
                 line);
    ASSERT_EQ(0, driver.NextValue(line, sizeof line));
    EXPECT_NE(nullptr, std::strstr(line, "<Flag>4</Flag>"));
    EXPECT_EQ(2, driver.NextValue(line, sizeof line));

    // An element that does not fit is skipped like a CSV line.
    ASSERT_EQ(-101, driver.FirstValue(kSequential, kXml, line, 40));
    ASSERT_EQ(0, driver.NextValue(line, sizeof line));
    EXPECT_NE(nullptr, std::strstr(line, "<Speed>40</Speed>"));
}

TEST_F(ValueExportTest, ElementsForDumpDocumentsCarryRecordNumbersAndStayInUsUnits) {
    LoadTwoVehicles();
    driver.Set(PROPERTY_STUDY_MEASUREMENTUNITS, STUDY_MEASUREMENTUNITS_METRIC);
    char document[2048] = {};
    XmlWriter writer;
    writer.buffer = document;
    writer.capacity = sizeof document;
    writer.pretty = 1;
    ASSERT_EQ(0, driver.Values().FirstElement(kSequential, writer, true));
    ASSERT_EQ(0, driver.Values().NextElement(writer, true));
    EXPECT_EQ(2, driver.Values().NextElement(writer, true));
    const std::string text = document;
    EXPECT_NE(std::string::npos, text.find("<Sequential RecNum=\"1\">\n  <TimeStamp>2009-03-04 14:05:30.000</TimeStamp>\n"));
    EXPECT_NE(std::string::npos, text.find("<Speed>48</Speed>"));
    EXPECT_NE(std::string::npos, text.find("<Length>18</Length>"));
    EXPECT_NE(std::string::npos, text.find("<Sequential RecNum=\"2\">"));
    EXPECT_EQ(-60, driver.Values().FirstElement("", writer, true));
    EXPECT_EQ(-62, driver.Values().NextElement(writer, true));
}

TEST_F(ValueExportTest, PeriodicXmlHoldsTheBinBlock) {
    driver.Values().SetDateEncoding(false);
    std::vector<uint8_t> vehicles;
    AppendBytes(vehicles, RawRecord(0, 9, 5, 0, 0x04, 25, 30));
    ASSERT_EQ(0, driver.Values().DecodeSequential(vehicles.data(), static_cast<uint32_t>(vehicles.size())));
    const std::vector<uint8_t> page = PeriodicPage(15, 0xFB, 9);
    ASSERT_EQ(0, driver.Values().DecodePeriodic(page.data(), static_cast<uint32_t>(page.size())));
    driver.Set(PROPERTY_STUDY_MEASUREMENTUNITS, STUDY_MEASUREMENTUNITS_METRIC);

    ASSERT_EQ(0, driver.FirstValue(kPeriodic, kXml, line, sizeof line));
    // 25 mph falls in speed row 2 (20 <= 25 < 30), 30 ft in length column 2 (20 <= 30 < 40).
    std::string bins = "<Bin>";
    for (int s = 1; s <= 4; ++s) {
        bins += "<" + std::to_string(s) + ">";
        for (int l = 1; l <= 3; ++l) {
            const int count = (s == 2 && l == 2) ? 1 : 0;
            bins += "<" + std::to_string(l) + ">" + std::to_string(count) + "</" + std::to_string(l) + ">";
        }
        bins += "</" + std::to_string(s) + ">";
    }
    bins += "</Bin>";
    EXPECT_EQ("<Periodic><TimeStamp>2009-03-01 09:15:00.000</TimeStamp><Temperature>-5</Temperature>"
              "<Occupancy>9</Occupancy><Count>1</Count><ReverseCount>1</ReverseCount>" +
                  bins + "</Periodic>",
              std::string(line));
    EXPECT_EQ(2, driver.NextValue(line, sizeof line));
}

TEST_F(ValueExportTest, PeriodicHeaderNamesEveryBin) {
    ASSERT_EQ(0, driver.FirstValue(kPeriodic, kCsv, line, sizeof line));
    std::string expected = "TimeStamp,Temperature,Occupancy,Count,ReverseCount";
    for (int s = 1; s <= 4; ++s) {
        for (int l = 1; l <= 3; ++l) expected += ",Bin_" + std::to_string(s) + "_" + std::to_string(l);
    }
    EXPECT_EQ(expected, line);
    EXPECT_EQ(-101, driver.FirstValue(kPeriodic, kCsv, line, static_cast<uint32_t>(expected.size())));
}

// A model without temperatures plugs into the same export with its own
// periodic records.
class ThermometerlessValues : public CounterValues {
public:
    static constexpr FlagName kFlags[] = {{0x01, "FORWARD"}, {0x02, "REVERSE", true}, {0x04, "UNCLASSIFIED"}};
    explicit ThermometerlessValues(ValuesContext context) : CounterValues(context, kFlags) {}

    int32_t ParseAnswer(const char*, const char*) override { return 0; }
    int32_t DecodeSequential(const uint8_t*, uint32_t) override { return 0; }
    uint32_t PeriodicCount() override { return 2; }
    void BuildPeriodicRow(uint32_t index, PeriodicRow& row) override {
        bins_.Reset();
        bins_.Add(10, 10);
        row.endOffsetMinutes = 15 * (index + 1);
        row.count = 40;
        row.reverseCount = 3;
        row.occupancy = 12;
        row.recordNumber = index + 1;
    }
};

TEST_F(ValueExportTest, ModelWithoutTemperatureLeavesTheColumnEmpty) {
    ThermometerlessValues values(ValuesContext{&driver.Store(), nullptr, &driver.Stats()});
    driver.Set(PROPERTY_STUDY_BEGINDATETIME, "2009-03-04 14:00:00.000");
    driver.Set(PROPERTY_STUDY_SPEEDBINS, "30");
    driver.Set(PROPERTY_STUDY_LENGTHBINS, "20");
    ASSERT_EQ(0, values.FirstValue(kPeriodic, kCsv, line, sizeof line));
    EXPECT_STREQ("TimeStamp,Temperature,Occupancy,Count,ReverseCount,Bin_1_1,Bin_1_2,Bin_2_1,Bin_2_2", line);
    ASSERT_EQ(0, values.NextValue(line, sizeof line));
    EXPECT_STREQ("2009-03-04 14:15:00.000,,12,40,3,1,0,0,0", line);
    ASSERT_EQ(0, values.FirstValue(kPeriodic, kXml, line, sizeof line));
    EXPECT_EQ(nullptr, std::strstr(line, "Temperature"));
    EXPECT_NE(nullptr, std::strstr(line, "<Occupancy>12</Occupancy>"));
}

}  // namespace
}  // namespace tallyx::testing
