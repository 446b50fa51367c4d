// Feeds arbitrary counter bytes through everything model A makes of them: an
// answer text, the check of an answer frame, the sequential and periodic
// records, and the value export of the result in both formats with a small
// buffer. The first input byte picks the study settings, so the bytes meet
// odd bin lists and date encodings too.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drivers/modela/zk110_framing.h"
#include "drivers/modela/zk110_values.h"
#include "properties/property_store.h"
#include "support/values_host.h"

namespace {

using namespace tallyx;

using FuzzDriver = test::ValuesHost<ZK110Values>;


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t selector = data[0];
    ++data;
    --size;

    FuzzDriver driver;
    PropertyStore& store = driver.Store();
    store.Set(PROPERTY_STUDY_BEGINDATETIME, (selector & 1) ? "2009-12-30 23:00:00.000" : "2009-03-01 00:00:00.000", false);
    store.Set(PROPERTY_STUDY_ENDDATETIME, (selector & 2) ? "2010-01-02 00:00:00.000" : "2009-03-01 00:00:00.000", false);
    store.Set(PROPERTY_STUDY_PERIODTIME, (selector & 4) ? "0" : "15", false);
    store.Set(PROPERTY_STUDY_SPEEDBINS, (selector & 8) ? "" : "20 30 40", false);
    store.Set(PROPERTY_STUDY_LENGTHBINS, (selector & 16) ? "4294967295 1" : "20 40", false);
    if (selector & 32) store.Set(PROPERTY_STUDY_MEASUREMENTUNITS, "STUDY_MEASUREMENTUNITS_METRIC", false);
    driver.Values().SetDateEncoding((selector & 64) != 0);

    // The bytes as one answer text (cut at the first zero, as a received answer is).
    std::string text(reinterpret_cast<const char*>(data), size > 1023 ? 1023 : size);
    text = text.c_str();
    driver.Values().ParseAnswer(text.c_str(), static_cast<uint32_t>(text.size()));
    std::vector<char> frame(text.begin(), text.end());
    frame.push_back('\0');
    ZK110Frame::CheckAnswer(frame.data());

    // The same bytes as downloaded records.
    const uint32_t length = static_cast<uint32_t>(size);
    driver.Values().ProcessSequential(data, length);
    driver.Values().ProcessPeriodic(data, length);
    const uint32_t small = (selector & 128) ? 8 : 64;
    test::WalkEveryExport(driver, small);
    return 0;
}
