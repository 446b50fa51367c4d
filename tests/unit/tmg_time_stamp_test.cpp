// The time stamps of a read as tallyx tmg takes them: the null time told
// apart from a malformed or impossible one.
#include <gtest/gtest.h>

#include "cli/tmg_volumes.h"

namespace tallyx::cli {
namespace {

TEST(TmgTimeStamps, ParseOrAreRefused) {
    const struct {
        const char* text;
        TimeStampKind kind;
    } kCases[] = {
        {"2026-12-10 14:05:09.042", TimeStampKind::kValid},
        {"2026-12-10 14:05:09", TimeStampKind::kValid},
        {"2028-02-29 23:59:59.999", TimeStampKind::kValid},
        {"0-00-00 00:00:00.000", TimeStampKind::kNull},
        {"2027-02-29 10:00:00.000", TimeStampKind::kInvalid},
        {"2026-12-10 24:00:00.000", TimeStampKind::kInvalid},
        {"2026-12-10 14:05", TimeStampKind::kInvalid},
        {"2026-12-10 14:05:09.", TimeStampKind::kInvalid},
        {"2026-12-10 14:05:09.042x", TimeStampKind::kInvalid},
        {"99999999999-12-10 14:05:09.042", TimeStampKind::kInvalid},
        {"", TimeStampKind::kInvalid},
    };
    for (const auto& c : kCases) {
        CivilTime time;
        EXPECT_EQ(ParseTimeStamp(c.text, time), c.kind) << c.text;
    }
}

}  // namespace
}  // namespace tallyx::cli
