// The parts of tallyx that turn text into numbers and back: study times and
// the progress line.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/progress_display.h"
#include "study/study_file.h"

namespace tallyx::cli {
namespace {

using study::NormaliseStudyTime;

TEST(StudyTimeText, TakesMinutesSecondsOrMillisecondsAndRefusesTheRest) {
    struct Case {
        const char* text;
        const char* normalised;  // null: refused
    };
    const Case cases[] = {
        {"2027-03-01 06:30", "2027-03-01 06:30:00.000"},
        {" 2027-03-01 06:30:15 ", "2027-03-01 06:30:15.000"},
        {"2027-03-01 06:30:15.250", "2027-03-01 06:30:15.250"},
        {"2028-02-29 00:00", "2028-02-29 00:00:00.000"},
        {"2027-02-29 00:00", nullptr},
        {"2027-13-01 00:00", nullptr},
        {"2027-03-01 24:00", nullptr},
        {"2027-03-01 -1:30", nullptr},
        {"2027-03-01 06:-5:15", nullptr},
        {"2027-03-01 06:30:15.-25", nullptr},
        {"2027-03-01", nullptr},
        {"2027-03-01 06:30x", nullptr},
        {"2027-03-01 06:30:15 tomorrow", nullptr},
        {"1999-12-31 23:59", nullptr},
    };
    for (const Case& c : cases) {
        std::string normalised;
        long long key = 0;
        const bool ok = NormaliseStudyTime(c.text, normalised, key);
        EXPECT_EQ(ok, c.normalised != nullptr) << c.text;
        if (ok && c.normalised != nullptr) {
            EXPECT_EQ(normalised, c.normalised) << c.text;
        }
    }
    std::string a, b;
    long long earlier = 0, later = 0;
    ASSERT_TRUE(NormaliseStudyTime("2027-03-01 23:59:59.999", a, earlier));
    ASSERT_TRUE(NormaliseStudyTime("2027-03-02 00:00", b, later));
    EXPECT_LT(earlier, later);
}

TEST(ProgressLine, ShowsTheShareAndTimeLeftOnlyWhenTheTotalIsKnown) {
    EXPECT_EQ(ProgressDisplay::Line("Reading", 7, 0, 3.0, 80), "Reading: step 7");
    EXPECT_EQ(ProgressDisplay::Line("Reading", 25, 100, 10.0, 80),
              "Reading [#######.......................]  25% step 25 of 100, 0:30 left");
    EXPECT_EQ(ProgressDisplay::Line("Reading", 120, 100, 10.0, 40), "Reading [##########] 100% step 100 of 100, 0:00 left");
}

}  // namespace
}  // namespace tallyx::cli
