// The property store as callers see it through SetProperty and GetProperty:
// defaults, rights, validation, the silent cut and buffer sizes.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <tallyx/tallyx.h>

namespace {

class PropertyExports : public ::testing::Test {
protected:
    void SetUp() override {
        handle = Init();
        ASSERT_NE(handle, nullptr);
    }
    void TearDown() override { Term(handle); }

    std::string Read(const char* name) {
        char buffer[2048];
        int32_t result = GetProperty(handle, name, buffer, sizeof buffer);
        EXPECT_EQ(result, RETCODE_OK) << name;
        return result == RETCODE_OK ? std::string(buffer) : std::string("<error>");
    }
    int32_t Write(const char* name, const std::string& value) { return SetProperty(handle, name, value.c_str()); }

    TallyxHandle handle = nullptr;
};

struct Expected {
    const char* name;
    const char* defaultValue;
    bool writable;
};

// Written out from the property table, independently of the library's own.
const std::vector<Expected> kAllProperties = {
    {"PROPERTY_COMM_PORT", "1", true},
    {"PROPERTY_USBX_PORT", "0", true},
    {"PROPERTY_COMM_BAUD", "57600", true},
    {"PROPERTY_COMM_PARITY", "N", true},
    {"PROPERTY_COMM_NUMBITS", "8", true},
    {"PROPERTY_COMM_NUMSTOPBITS", "1", true},
    {"PROPERTY_COMM_LOGFOLDER", "", true},
    {"PROPERTY_COMM_LOGLEVEL", "OFF", true},
    {"PROPERTY_COMM_PEEKTOUTMS", "1000", true},
    {"PROPERTY_COMM_RECVTOUTMS", "10000", true},
    {"PROPERTY_COMM_SENDTOUTMS", "5000", true},
    {"PROPERTY_COMM_WAITAFTERRESETMS", "30000", true},
    {"PROPERTY_COMM_WAITBETWEENREQSMS", "100", true},
    {"PROPERTY_STUDY_STATE", "", true},
    {"PROPERTY_STUDY_CITY", "", true},
    {"PROPERTY_STUDY_COUNTY", "", true},
    {"PROPERTY_STUDY_ADDRESS", "", true},
    {"PROPERTY_STUDY_LANE", "", true},
    {"PROPERTY_STUDY_SPEEDLIMIT", "", true},
    {"PROPERTY_STUDY_OPERATOR", "", true},
    {"PROPERTY_DEV_SERIALNO", "", false},
    {"PROPERTY_DEV_UNITTYPE", "", false},
    {"PROPERTY_DEV_FIRMWAREREV", "", false},
    {"PROPERTY_DEV_BATTERYVOLTAGE", "", false},
    {"PROPERTY_DEV_ACR", "", false},
    {"PROPERTY_DEV_BATTERYPERCENT", "", false},
    {"PROPERTY_STUDY_LENGTHBINS", "", true},
    {"PROPERTY_STUDY_SPEEDBINS", "", true},
    {"PROPERTY_STUDY_BEGINDATETIME", "", true},
    {"PROPERTY_STUDY_ENDDATETIME", "", true},
    {"PROPERTY_STUDY_RANGETIME", "", false},
    {"PROPERTY_STUDY_PERIODTIME", "", true},
    {"PROPERTY_STUDY_NUMRECORDS", "", false},
    {"PROPERTY_STUDY_BINRECORDSIZE", "", false},
    {"PROPERTY_STUDY_TYPE", "", false},
    {"PROPERTY_STUDY_FCODE", "", false},
    {"PROPERTY_STUDY_MEASUREMENTUNITS", "STUDY_MEASUREMENTUNITS_US", true},
    {"PROPERTY_DEV_STATISTICS", "", false},
    {"PROPERTY_TALLYX_READWRITEACTION", "", true},
};

TEST_F(PropertyExports, NewContextHoldsEveryDefault) {
    ASSERT_EQ(kAllProperties.size(), 39u);
    for (const Expected& property : kAllProperties) {
        // The statistics document is rebuilt elsewhere on every read; here only
        // its existence matters.
        if (std::strcmp(property.name, PROPERTY_DEV_STATISTICS) == 0) continue;
        EXPECT_EQ(Read(property.name), property.defaultValue) << property.name;
    }
}

TEST_F(PropertyExports, ReadOnlyPropertiesRefuseTheCaller) {
    for (const Expected& property : kAllProperties) {
        if (property.writable) continue;
        EXPECT_EQ(Write(property.name, "12"), RETCODE_ERR_READONLYPROPERTY) << property.name;
        EXPECT_EQ(Write(property.name, ""), RETCODE_ERR_READONLYPROPERTY) << property.name;
    }
    EXPECT_EQ(Read(PROPERTY_DEV_SERIALNO), "");
}

TEST_F(PropertyExports, NamesAreCaseSensitiveAndExact) {
    char buffer[64];
    for (const char* name : {"property_comm_port", "Property_Comm_Port", "PROPERTY_COMM_PORT ", " PROPERTY_COMM_PORT",
                             "PROPERTY_COMM_POR", "", "\xff\xfe\x80PROPERTY"}) {
        EXPECT_EQ(SetProperty(handle, name, "2"), RETCODE_ERR_INVALIDPROPERTY) << name;
        EXPECT_EQ(GetProperty(handle, name, buffer, sizeof buffer), RETCODE_ERR_INVALIDPROPERTY) << name;
    }
    std::string longName(100000, 'P');
    EXPECT_EQ(SetProperty(handle, longName.c_str(), "2"), RETCODE_ERR_INVALIDPROPERTY);
    EXPECT_EQ(Read(PROPERTY_COMM_PORT), "1");
}

TEST_F(PropertyExports, DigitOnlyPropertiesAcceptDigitsAndCutSilently) {
    for (const char* name : {PROPERTY_COMM_PORT, PROPERTY_COMM_BAUD, PROPERTY_COMM_NUMBITS, PROPERTY_COMM_PEEKTOUTMS,
                             PROPERTY_COMM_RECVTOUTMS, PROPERTY_COMM_SENDTOUTMS, PROPERTY_COMM_WAITAFTERRESETMS,
                             PROPERTY_COMM_WAITBETWEENREQSMS}) {
        std::string before = Read(name);
        for (const char* bad : {"", "12a", " 1", "1 ", "-1", "+1", "1.0", "\xb9"}) {
            EXPECT_EQ(Write(name, bad), RETCODE_ERR_INVALIDPROPERTYVALUE) << name << " '" << bad << "'";
        }
        EXPECT_EQ(Read(name), before) << name;
    }
    // Eleven digits into a ten-character property: accepted, first ten kept.
    EXPECT_EQ(Write(PROPERTY_COMM_PORT, "12345678901"), RETCODE_OK);
    EXPECT_EQ(Read(PROPERTY_COMM_PORT), "1234567890");
    // One character kept of "78".
    EXPECT_EQ(Write(PROPERTY_COMM_NUMBITS, "78"), RETCODE_OK);
    EXPECT_EQ(Read(PROPERTY_COMM_NUMBITS), "7");
}

TEST_F(PropertyExports, EnumeratedValuesIgnoreCaseAndAreStoredAsGiven) {
    for (const char* good : {"N", "O", "E", "n", "o", "e"}) {
        EXPECT_EQ(Write(PROPERTY_COMM_PARITY, good), RETCODE_OK) << good;
        EXPECT_EQ(Read(PROPERTY_COMM_PARITY), good);
    }
    for (const char* bad : {"", "M", "S", "X", "NN", "None"}) {
        EXPECT_EQ(Write(PROPERTY_COMM_PARITY, bad), RETCODE_ERR_INVALIDPROPERTYVALUE) << bad;
    }

    for (const char* good : {"1", "1.5", "2"}) {
        EXPECT_EQ(Write(PROPERTY_COMM_NUMSTOPBITS, good), RETCODE_OK) << good;
        EXPECT_EQ(Read(PROPERTY_COMM_NUMSTOPBITS), good);
    }
    for (const char* bad : {"", "1,5", "1.50", "3", "0", "15"}) {
        EXPECT_EQ(Write(PROPERTY_COMM_NUMSTOPBITS, bad), RETCODE_ERR_INVALIDPROPERTYVALUE) << bad;
    }

    for (const char* good : {"off", "Commands", "BYTES", "OFF"}) {
        EXPECT_EQ(Write(PROPERTY_COMM_LOGLEVEL, good), RETCODE_OK) << good;
        EXPECT_EQ(Read(PROPERTY_COMM_LOGLEVEL), good);
    }
    for (const char* bad : {"", "VERBOSE", "BYTE", "OFF "}) {
        EXPECT_EQ(Write(PROPERTY_COMM_LOGLEVEL, bad), RETCODE_ERR_INVALIDPROPERTYVALUE) << bad;
    }

    EXPECT_EQ(Write(PROPERTY_STUDY_MEASUREMENTUNITS, "study_measurementunits_us"), RETCODE_OK);
    EXPECT_EQ(Read(PROPERTY_STUDY_MEASUREMENTUNITS), "study_measurementunits_us");
    for (const char* bad : {"", "METRIC", "US", "STUDY_MEASUREMENTUNITS_IMPERIAL"}) {
        EXPECT_EQ(Write(PROPERTY_STUDY_MEASUREMENTUNITS, bad), RETCODE_ERR_INVALIDPROPERTYVALUE) << bad;
    }
}

TEST_F(PropertyExports, FreeTextMayBeEmptyButNotTooLong) {
    struct Limit {
        const char* name;
        size_t maxLength;
    };
    for (Limit limit : {Limit{PROPERTY_STUDY_STATE, 2}, Limit{PROPERTY_STUDY_CITY, 32}, Limit{PROPERTY_STUDY_COUNTY, 32},
                        Limit{PROPERTY_STUDY_ADDRESS, 32}, Limit{PROPERTY_STUDY_LANE, 16},
                        Limit{PROPERTY_STUDY_OPERATOR, 2}}) {
        std::string longest(limit.maxLength, 'x');
        EXPECT_EQ(Write(limit.name, longest), RETCODE_OK) << limit.name;
        EXPECT_EQ(Read(limit.name), longest);
        EXPECT_EQ(Write(limit.name, longest + "y"), RETCODE_ERR_VALUETOOBIG) << limit.name;
        EXPECT_EQ(Read(limit.name), longest) << "a refused value changes nothing";
        EXPECT_EQ(Write(limit.name, ""), RETCODE_OK);
        EXPECT_EQ(Read(limit.name), "");
    }
    // Any bytes are free text, even beyond ASCII.
    EXPECT_EQ(Write(PROPERTY_STUDY_CITY, "K\xf6ln, \"A\" & <B>"), RETCODE_OK);
    EXPECT_EQ(Read(PROPERTY_STUDY_CITY), "K\xf6ln, \"A\" & <B>");
}

TEST_F(PropertyExports, ShortNumbersCheckLengthBeforeDigits) {
    for (const char* name : {PROPERTY_STUDY_SPEEDLIMIT, PROPERTY_STUDY_PERIODTIME}) {
        EXPECT_EQ(Write(name, "1234"), RETCODE_ERR_VALUETOOBIG) << name;
        EXPECT_EQ(Write(name, "abcd"), RETCODE_ERR_VALUETOOBIG) << name;
        EXPECT_EQ(Write(name, ""), RETCODE_ERR_INVALIDPROPERTYVALUE) << name;
        EXPECT_EQ(Write(name, "5a"), RETCODE_ERR_INVALIDPROPERTYVALUE) << name;
        EXPECT_EQ(Write(name, "-5"), RETCODE_ERR_INVALIDPROPERTYVALUE) << name;
        EXPECT_EQ(Write(name, "055"), RETCODE_OK) << name;
        EXPECT_EQ(Read(name), "055");
        EXPECT_EQ(Write(name, "7"), RETCODE_OK) << name;
        EXPECT_EQ(Read(name), "7");
    }
}

TEST_F(PropertyExports, BinListsMustHoldIncreasingNumbers) {
    for (const char* name : {PROPERTY_STUDY_SPEEDBINS, PROPERTY_STUDY_LENGTHBINS}) {
        EXPECT_EQ(Write(name, "10 20 20"), RETCODE_ERR_OUTOFSEQUENCE) << name;
        EXPECT_EQ(Write(name, "30 20"), RETCODE_ERR_OUTOFSEQUENCE) << name;
        EXPECT_EQ(Write(name, "1 2 1 3"), RETCODE_ERR_OUTOFSEQUENCE) << name;
        EXPECT_EQ(Write(name, "abc"), RETCODE_ERR_INVALIDPROPERTYVALUE) << name;
        EXPECT_EQ(Write(name, " ,;- "), RETCODE_ERR_INVALIDPROPERTYVALUE) << name;
        EXPECT_EQ(Write(name, ""), RETCODE_ERR_INVALIDPROPERTYVALUE) << name;
        EXPECT_EQ(Read(name), "");
        // In US units the caller's text is kept exactly, separators and all.
        EXPECT_EQ(Write(name, "10,20;30"), RETCODE_OK) << name;
        EXPECT_EQ(Read(name), "10,20;30");
        EXPECT_EQ(Write(name, "-7"), RETCODE_OK) << name;
        EXPECT_EQ(Read(name), "-7");
        EXPECT_EQ(Write(name, "0"), RETCODE_OK) << name;
    }
}

TEST_F(PropertyExports, HostileBinListsAreHandledSafely) {
    // A digit run beyond 32 bits reads as 2147483647, so it can still close an
    // increasing list, but nothing may follow it.
    std::string huge(5000, '9');
    EXPECT_EQ(Write(PROPERTY_STUDY_SPEEDBINS, "1 " + std::string(40, '9')), RETCODE_OK);
    EXPECT_EQ(Write(PROPERTY_STUDY_SPEEDBINS, huge + " 1"), RETCODE_ERR_OUTOFSEQUENCE);
    EXPECT_EQ(Write(PROPERTY_STUDY_SPEEDBINS, "2147483647 99999999999"), RETCODE_ERR_OUTOFSEQUENCE);
    // Too long for the store once it has passed the checks.
    EXPECT_EQ(Write(PROPERTY_STUDY_SPEEDBINS, huge), RETCODE_ERR_BUFFERTOOSMALL);
    std::string longList;
    for (int i = 1; i <= 3000; ++i) longList += std::to_string(i) + ",";
    EXPECT_EQ(Write(PROPERTY_STUDY_LENGTHBINS, longList), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_EQ(Read(PROPERTY_STUDY_LENGTHBINS), "");
}

TEST_F(PropertyExports, DateTimesNeedTheExactForm) {
    for (const char* name : {PROPERTY_STUDY_BEGINDATETIME, PROPERTY_STUDY_ENDDATETIME}) {
        EXPECT_EQ(Write(name, "2009-03-07 14:05:09.042"), RETCODE_OK) << name;
        EXPECT_EQ(Read(name), "2009-03-07 14:05:09.042");
        // Only the form is checked, not the ranges.
        EXPECT_EQ(Write(name, "2009-99-07 99:99:99.999"), RETCODE_OK) << name;
        for (const char* bad : {"", "2009-03-07 14:05:09", "2009-03-07 14:05:09.04", "2009-03-07 14:05:09.0421",
                                "2009-03-07 14:05:09.042 ", "2009-03-07T14:05:09.042", "2009/03/07 14:05:09.042",
                                "09-03-07 14:05:09.042", "2009-03-07  4:05:09.042", "2009-03-07 14:05:09,042",
                                "200a-03-07 14:05:09.042"}) {
            EXPECT_EQ(Write(name, bad), RETCODE_ERR_INVALIDPROPERTYVALUE) << name << " '" << bad << "'";
        }
        EXPECT_EQ(Read(name), "2009-99-07 99:99:99.999");
    }
}

TEST_F(PropertyExports, OpenTextPropertiesTakeAnyNonEmptyValue) {
    for (const char* name : {PROPERTY_USBX_PORT, PROPERTY_COMM_LOGFOLDER, PROPERTY_TALLYX_READWRITEACTION}) {
        EXPECT_EQ(Write(name, ""), RETCODE_ERR_INVALIDPROPERTYVALUE) << name;
        EXPECT_EQ(Write(name, "any text/at all"), RETCODE_OK) << name;
    }
    EXPECT_EQ(Read(PROPERTY_USBX_PORT), "any text/a");  // cut at ten characters

    std::string action(200, 'a');
    EXPECT_EQ(Write(PROPERTY_TALLYX_READWRITEACTION, action), RETCODE_OK);
    EXPECT_EQ(Read(PROPERTY_TALLYX_READWRITEACTION), std::string(128, 'a'));
}

TEST_F(PropertyExports, ValuesOf1024BytesOrMoreAreRefused) {
    std::string folder(1023, 'f');
    EXPECT_EQ(Write(PROPERTY_COMM_LOGFOLDER, folder), RETCODE_OK);
    EXPECT_EQ(Read(PROPERTY_COMM_LOGFOLDER), folder);
    EXPECT_EQ(Write(PROPERTY_COMM_LOGFOLDER, std::string(1024, 'g')), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_EQ(Write(PROPERTY_USBX_PORT, std::string(100000, '7')), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_EQ(Read(PROPERTY_COMM_LOGFOLDER), folder);
    EXPECT_EQ(Read(PROPERTY_USBX_PORT), "0");
    // Validation comes first: an over-long digit value with a letter is invalid.
    EXPECT_EQ(Write(PROPERTY_COMM_PORT, std::string(2000, '1') + "x"), RETCODE_ERR_INVALIDPROPERTYVALUE);
}

TEST_F(PropertyExports, BufferMustHoldTheValueAndItsNull) {
    // "57600" has five characters.
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetProperty(handle, PROPERTY_COMM_BAUD, buffer, 5), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(8, '#')) << "buffer must stay untouched";
    EXPECT_EQ(GetProperty(handle, PROPERTY_COMM_BAUD, buffer, 6), RETCODE_OK);
    EXPECT_STREQ(buffer, "57600");
    EXPECT_EQ(buffer[6], '#') << "nothing written past the value";

    // An empty value needs exactly one byte.
    EXPECT_EQ(GetProperty(handle, PROPERTY_STUDY_CITY, buffer, 1), RETCODE_OK);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetProperty(handle, PROPERTY_STUDY_CITY, buffer, 0), RETCODE_ERR_BUFFERTOOSMALL);
}

TEST_F(PropertyExports, ContextsKeepTheirOwnValues) {
    TallyxHandle other = Init();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(SetProperty(other, PROPERTY_COMM_PORT, "7"), RETCODE_OK);
    EXPECT_EQ(Read(PROPERTY_COMM_PORT), "1");
    char buffer[16];
    EXPECT_EQ(GetProperty(other, PROPERTY_COMM_PORT, buffer, sizeof buffer), RETCODE_OK);
    EXPECT_STREQ(buffer, "7");
    Term(other);
}

}  // namespace
