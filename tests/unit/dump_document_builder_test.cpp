// The dump documents: element trees, the pieces they reach the dump file
// in, and raw records read strictly within their bytes.
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <tallyx/tallyx.h>

#include "device/device_values.h"
#include "export/dump_document_builder.h"
#include "export/xml_writer.h"
#include "drivers/modela/zk110_values.h"
#include "properties/property_store.h"

namespace {

using tallyx::DeviceValues;
using tallyx::DumpDocumentBuilder;
using tallyx::PropertyStore;
using tallyx::XmlWriter;

struct Pieces {
    std::vector<std::string> texts;
    DumpDocumentBuilder::Sink Sink() {
        return [this](const char* text) { texts.emplace_back(text); };
    }
    std::string All() const {
        std::string all;
        for (const std::string& text : texts) all += text;
        return all;
    }
};

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

std::vector<uint8_t> SequentialData(uint32_t records) {
    std::vector<uint8_t> data(records * 6);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    return data;
}

TEST(RawDumpDocument, SequentialRecordsGoOutInPiecesOf21Then20) {
    std::vector<uint8_t> data = SequentialData(45);
    Pieces pieces;
    DumpDocumentBuilder(pieces.Sink()).WriteRaw(tallyx::kZK110SequentialRawLayout, data.data(), 45 * 6);

    ASSERT_EQ(pieces.texts.size(), 4u);
    EXPECT_EQ(Count(pieces.texts[0], "<RECORD "), 21u);
    EXPECT_EQ(Count(pieces.texts[1], "<RECORD "), 20u);
    EXPECT_EQ(Count(pieces.texts[2], "<RECORD "), 4u);
    EXPECT_EQ(pieces.texts[3], "\n");
    EXPECT_EQ(Count(pieces.texts[2], "</READ_SEQUENTIAL_RAW>"), 1u);
    EXPECT_EQ(pieces.texts[2].substr(pieces.texts[2].size() - 23), "</READ_SEQUENTIAL_RAW>\n");
    EXPECT_NE(pieces.texts[1].find("<RECORD RecNum=\"22\">"), std::string::npos);

    std::regex root("^<READ_SEQUENTIAL_RAW TimeStamp=\"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\" "
                    "NumRecs=\"45\">\n");
    EXPECT_TRUE(std::regex_search(pieces.texts[0], root)) << pieces.texts[0].substr(0, 100);
}

TEST(RawDumpDocument, ShowsEveryByteOfASequentialRecordUnmasked) {
    const uint8_t record[] = {0x2E, 0xC5, 0x1E, 0x02, 0x30, 0x12};
    Pieces pieces;
    DumpDocumentBuilder(pieces.Sink()).WriteRaw(tallyx::kZK110SequentialRawLayout, record, sizeof record);
    std::string all = pieces.All();
    // Pretty printed: two spaces per level, one element per line.
    EXPECT_NE(all.find("\n  <RECORD RecNum=\"1\">\n"
                       "    <HOUR>46</HOUR>\n"
                       "    <MINUTE>197</MINUTE>\n"
                       "    <SECOND>30</SECOND>\n"
                       "    <FLAG>2</FLAG>\n"
                       "    <SPEED>48</SPEED>\n"
                       "    <LENGTH>18</LENGTH>\n"
                       "  </RECORD>\n"
                       "</READ_SEQUENTIAL_RAW>\n"),
              std::string::npos)
        << all;
}

TEST(RawDumpDocument, NoDataGivesARootWithNoRecords) {
    Pieces pieces;
    DumpDocumentBuilder(pieces.Sink()).WriteRaw(tallyx::kZK110SequentialRawLayout, nullptr, 0);
    ASSERT_EQ(pieces.texts.size(), 2u);
    EXPECT_NE(pieces.texts[0].find("NumRecs=\"0\"></READ_SEQUENTIAL_RAW>\n"), std::string::npos) << pieces.texts[0];
    EXPECT_EQ(pieces.texts[0].find("RECORD"), std::string::npos);
    EXPECT_EQ(pieces.texts[1], "\n");
}

TEST(RawDumpDocument, PeriodicPagesGoOutInPiecesOf6Then5) {
    std::vector<uint8_t> data(12 * 260, 0);
    Pieces pieces;
    DumpDocumentBuilder(pieces.Sink()).WriteRaw(tallyx::kZK110PeriodicRawLayout, data.data(), 12 * 260);
    ASSERT_EQ(pieces.texts.size(), 4u);
    EXPECT_EQ(Count(pieces.texts[0], "<RECORD "), 6u);
    EXPECT_EQ(Count(pieces.texts[1], "<RECORD "), 5u);
    EXPECT_EQ(Count(pieces.texts[2], "<RECORD "), 1u);
}

std::string Element(const std::string& text, const std::string& name) {
    size_t open = text.find("<" + name + ">");
    size_t close = text.find("</" + name + ">");
    if (open == std::string::npos || close == std::string::npos) return "(missing)";
    open += name.size() + 2;
    return text.substr(open, close - open);
}

TEST(RawDumpDocument, PeriodicFieldsAreBigEndianAndFrameDataStaysInsideTheRecordData) {
    // Exactly one page on the heap: reading past it would be caught.
    std::vector<uint8_t> page(260);
    for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i + 1);
    Pieces pieces;
    DumpDocumentBuilder(pieces.Sink()).WriteRaw(tallyx::kZK110PeriodicRawLayout, page.data(), 260);
    std::string all = pieces.All();

    EXPECT_EQ(Element(all, "OFFSET"), std::to_string(1 * 256 + 2));
    EXPECT_EQ(Element(all, "COUNT"), std::to_string(3 * 256 + 4));
    EXPECT_EQ(Element(all, "TEMPERATURE"), "5");
    EXPECT_EQ(Element(all, "VOLTAGE"), "6");
    EXPECT_EQ(Element(all, "CLASS"), "7");
    EXPECT_EQ(Element(all, "ACR_VOLATAGE"), std::to_string(8 * 256 + 9));
    EXPECT_EQ(Element(all, "REVERSE_VEHICLES"), std::to_string(10 * 256 + 11));
    EXPECT_EQ(Element(all, "OCCUPANCY_HIGH"), "12");
    EXPECT_EQ(Element(all, "OCCUPANCY_LOW"), "13");

    // Pairs from byte 13 to byte 250: 119 values, none from byte 251 on.
    std::string frame = Element(all, "FRAME_DATA");
    std::vector<uint32_t> values;
    for (size_t at = 0; at <= frame.size();) {
        size_t comma = frame.find(',', at);
        if (comma == std::string::npos) comma = frame.size();
        values.push_back(static_cast<uint32_t>(std::stoul(frame.substr(at, comma - at))));
        at = comma + 1;
    }
    ASSERT_EQ(values.size(), 119u);
    EXPECT_EQ(values.front(), 14u * 256 + 15);
    EXPECT_EQ(values.back(), 250u * 256 + 251);
}

TEST(RawDumpDocument, APartRecordAtTheEndIsLeftOut) {
    // One and a half pages, exactly as long as given.
    std::vector<uint8_t> data(260 + 130, 0x01);
    Pieces pieces;
    DumpDocumentBuilder(pieces.Sink()).WriteRaw(tallyx::kZK110PeriodicRawLayout, data.data(), 390);
    std::string all = pieces.All();
    EXPECT_NE(all.find("NumRecs=\"1\""), std::string::npos);
    EXPECT_EQ(Count(all, "<RECORD "), 1u);
}

// A values object with a fixed number of records of each kind, written as the
// value export writes them.
class FakeValues : public DeviceValues {
public:
    FakeValues(uint32_t sequential, uint32_t periodic)
        : DeviceValues(tallyx::ValuesContext{nullptr, nullptr, nullptr}), sequential_(sequential), periodic_(periodic) {}

    int32_t FirstElement(const char* kind, XmlWriter& writer, bool withRecordNumber) override {
        Start(kind);
        format = kXml;
        return NextElement(writer, withRecordNumber);
    }
    int32_t NextElement(XmlWriter& writer, bool withRecordNumber) override {
        if (dataKind == kNoData) return RETCODE_ERR_ITERNOTINITIALIZED;
        if (static_cast<uint32_t>(position) >= Count()) return RETCODE_NOMOREVALUES;
        const char* name = dataKind == kSequential ? "Sequential" : "Periodic";
        ++position;
        writer.OpenElement(name);
        if (withRecordNumber) writer.AddAttribute("RecNum", std::to_string(position).c_str());
        writer.OpenElement("Speed");
        writer.AddText("48");
        writer.CloseElement("Speed");
        writer.CloseElement(name);
        return RETCODE_OK;
    }
    int32_t FirstValue(const char* kind, const char* fmt, char* buffer, uint32_t size) override {
        Start(kind);
        EXPECT_STREQ(fmt, GETVALUE_FORMAT_CSV);
        std::snprintf(buffer, size, "%s", dataKind == kSequential ? "TimeStamp,Flag" : "TimeStamp,Count");
        return RETCODE_OK;
    }
    int32_t NextValue(char* buffer, uint32_t size) override {
        if (static_cast<uint32_t>(position) >= Count()) return RETCODE_NOMOREVALUES;
        ++position;
        std::snprintf(buffer, size, "%c%d", dataKind == kSequential ? 's' : 'p', position);
        return RETCODE_OK;
    }

private:
    void Start(const char* kind) {
        position = 0;
        dataKind = std::strcmp(kind, GETVALUE_DATA_SEQUENTIAL) == 0 ? kSequential : kPeriodic;
    }
    uint32_t Count() const { return dataKind == kSequential ? sequential_ : periodic_; }

    uint32_t sequential_;
    uint32_t periodic_;
};

const char* const kAllProperties[] = {
    "PROPERTY_COMM_PORT",          "PROPERTY_COMM_BAUD",          "PROPERTY_COMM_PARITY",
    "PROPERTY_COMM_NUMBITS",       "PROPERTY_COMM_NUMSTOPBITS",   "PROPERTY_DEV_UNITTYPE",
    "PROPERTY_DEV_SERIALNO",       "PROPERTY_DEV_FIRMWAREREV",    "PROPERTY_DEV_BATTERYVOLTAGE",
    "PROPERTY_DEV_ACR",            "PROPERTY_STUDY_STATE",        "PROPERTY_STUDY_CITY",
    "PROPERTY_STUDY_COUNTY",       "PROPERTY_STUDY_ADDRESS",      "PROPERTY_STUDY_LANE",
    "PROPERTY_STUDY_SPEEDLIMIT",   "PROPERTY_STUDY_OPERATOR",     "PROPERTY_STUDY_BEGINDATETIME",
    "PROPERTY_STUDY_ENDDATETIME",  "PROPERTY_STUDY_RANGETIME",    "PROPERTY_STUDY_PERIODTIME",
    "PROPERTY_STUDY_LENGTHBINS",   "PROPERTY_STUDY_SPEEDBINS",    "PROPERTY_STUDY_FCODE",
    "PROPERTY_STUDY_MEASUREMENTUNITS",
};

// The property elements of a document, in order, as name=value.
std::vector<std::string> PropertyElements(const std::string& text) {
    std::vector<std::string> found;
    std::regex element("<(PROPERTY_[A-Z_]+)>([^<]*)</\\1>");
    for (std::sregex_iterator it(text.begin(), text.end(), element), end; it != end; ++it)
        found.push_back((*it)[1].str() + "=" + (*it)[2].str());
    return found;
}

std::vector<std::string> Expected(const PropertyStore& properties, size_t count) {
    std::vector<std::string> expected;
    for (size_t i = 0; i < count; ++i) expected.push_back(std::string(kAllProperties[i]) + "=" + properties.Text(kAllProperties[i]));
    return expected;
}

TEST(SettingsDumpDocument, StudySettingsHoldTwentyThreePropertiesAsStored) {
    PropertyStore properties;
    properties.Set(PROPERTY_STUDY_CITY, "Smith & Sons <Ltd>", false);
    properties.Set(PROPERTY_STUDY_SPEEDBINS, "20 30 40", false);
    Pieces pieces;
    DumpDocumentBuilder(pieces.Sink()).WriteStudySettings(properties);

    ASSERT_EQ(pieces.texts.size(), 2u);
    EXPECT_EQ(pieces.texts[1], "\n");
    EXPECT_EQ(pieces.texts[0].rfind("<WRITE TimeStamp=\"", 0), 0u);
    EXPECT_EQ(pieces.texts[0].substr(pieces.texts[0].size() - 9), "</WRITE>\n");
    EXPECT_NE(pieces.texts[0].find("\n  <PROPERTY_STUDY_CITY>Smith & Sons <Ltd></PROPERTY_STUDY_CITY>\n"),
              std::string::npos);
    // The regex cannot see a value with "<" in it; compare the rest.
    std::vector<std::string> expected = Expected(properties, 23);
    expected.erase(expected.begin() + 11);
    EXPECT_EQ(PropertyElements(pieces.texts[0]), expected);
}

TEST(ProcessedDumpDocument, ComesInTheOrderOfSettingsElementsAndCsvLines) {
    PropertyStore properties;
    properties.Set(PROPERTY_STUDY_ADDRESS, "1st & Main", false);
    FakeValues values(12, 3);
    Pieces pieces;
    DumpDocumentBuilder(pieces.Sink()).WriteProcessed(properties, values);
    const std::vector<std::string>& t = pieces.texts;

    // The settings, then a blank line.
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(t[0].rfind("<READ_PROCESSED TimeStamp=\"", 0), 0u);
    EXPECT_EQ(PropertyElements(t[0]), Expected(properties, 25));
    EXPECT_NE(t[0].find("<PROPERTY_STUDY_ADDRESS>1st & Main</PROPERTY_STUDY_ADDRESS>"), std::string::npos);
    EXPECT_EQ(t[1], "\n");

    // Sequential elements five at a time (5, 5, 2), a blank line, periodic
    // elements (3) and the closing tag with a blank line.
    std::vector<std::string> expected = {"S5", "S5", "S2", "\n", "P3", "</READ_PROCESSED>\n", "\n",
                                         "TimeStamp,Flag\n"};
    for (int i = 1; i <= 12; ++i) expected.push_back("s" + std::to_string(i) + "\n");
    expected.insert(expected.end(), {"\n", "TimeStamp,Count\n", "p1\n", "p2\n", "p3\n", "\n"});

    std::vector<std::string> seen;
    for (size_t i = 2; i < t.size(); ++i) {
        size_t sequential = Count(t[i], "<Sequential RecNum=");
        size_t periodic = Count(t[i], "<Periodic RecNum=");
        if (sequential != 0) seen.push_back("S" + std::to_string(sequential));
        else if (periodic != 0) seen.push_back("P" + std::to_string(periodic));
        else seen.push_back(t[i]);
    }
    EXPECT_EQ(seen, expected);
    // Every piece ends a line, so that the pieces of two writers appending to one file never
    // share a line.
    for (const std::string& piece : t) EXPECT_EQ(piece.back(), '\n') << piece;
    // Elements are indented below the root.
    EXPECT_EQ(t[2].rfind("  <Sequential RecNum=\"1\">\n    <Speed>48</Speed>\n  </Sequential>\n", 0), 0u) << t[2];
}

TEST(ProcessedDumpDocument, WithoutRecordsHasNoElementPieces) {
    PropertyStore properties;
    FakeValues values(0, 0);
    Pieces pieces;
    DumpDocumentBuilder(pieces.Sink()).WriteProcessed(properties, values);
    std::vector<std::string> rest(pieces.texts.begin() + 1, pieces.texts.end());
    EXPECT_EQ(rest, (std::vector<std::string>{"\n", "\n", "</READ_PROCESSED>\n", "\n", "TimeStamp,Flag\n", "\n",
                                              "TimeStamp,Count\n", "\n"}));
}

}  // namespace
