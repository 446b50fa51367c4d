// Feeds arbitrary counter bytes through everything model B makes of them: the
// study information line, the user-area document, the raw records with the
// periods derived from them, and the value export of the result in both
// formats with a small buffer. The first input byte picks the study settings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drivers/modelb/zk220_answer_text.h"
#include "drivers/modelb/zk220_values.h"
#include "properties/property_store.h"
#include "support/values_host.h"

namespace {

using namespace tallyx;
using FuzzDriver = test::ValuesHost<ZK220Values>;


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t selector = data[0];
    ++data;
    --size;

    FuzzDriver driver;
    PropertyStore& store = driver.Store();
    store.Set(PROPERTY_STUDY_BEGINDATETIME, (selector & 1) ? "2009-12-31 23:00:00.000" : "2009-03-01 00:00:00.000", false);
    store.Set(PROPERTY_STUDY_ENDDATETIME, (selector & 2) ? "2009-03-08 00:00:00.000" : "2009-03-01 06:00:00.000", false);
    store.Set(PROPERTY_STUDY_PERIODTIME, (selector & 4) ? "0" : "15", false);
    store.Set(PROPERTY_STUDY_SPEEDBINS, (selector & 8) ? "" : "20 30 40", false);
    store.Set(PROPERTY_STUDY_LENGTHBINS, (selector & 16) ? "4294967295 1" : "20 40", false);
    if (selector & 32) store.Set(PROPERTY_STUDY_MEASUREMENTUNITS, "STUDY_MEASUREMENTUNITS_METRIC", false);

    // The bytes as an answer line (cut at the first zero, at most 1022
    // characters, as a received line is), parsed both ways.
    std::string text(reinterpret_cast<const char*>(data), size > 1022 ? 1022 : size);
    text = text.c_str();
    ZK220StudyInfo info;
    ParseZK220StudyInfo(text.c_str(), info);
    if (selector & 64) {
        driver.Values().ParseAnswer("GETUSERAREA", text.c_str());
    } else {
        driver.Values().ParseAnswer("GETSTUDYINFO", text.c_str());
    }

    // The same bytes as downloaded records.
    driver.Values().DecodeRecords(data, static_cast<uint32_t>(size));
    const uint32_t small = (selector & 128) ? 8 : 64;
    test::WalkEveryExport(driver, small);
    return 0;
}
