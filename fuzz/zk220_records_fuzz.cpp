// Model B's binary records as a download delivers them: the first input byte
// picks the study settings, the rest is the 8-byte vehicle records. They are
// decoded, shown as raw and processed dump documents, and walked through the
// value export in both formats, the periods derived from the vehicles. The
// longest study chosen is two days of 15-minute periods, long enough for
// vehicles on several days and short enough to keep each run quick.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "drivers/modelb/zk220_values.h"
#include "export/dump_document_builder.h"
#include "properties/property_store.h"
#include "support/values_host.h"

using namespace tallyx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t selector = data[0];
    ++data;
    --size;

    test::ValuesHost<ZK220Values> driver;
    PropertyStore& store = driver.Store();
    store.Set(PROPERTY_STUDY_BEGINDATETIME, (selector & 1) ? "2009-12-31 23:00:00.000" : "2009-03-01 00:00:00.000", false);
    store.Set(PROPERTY_STUDY_ENDDATETIME, (selector & 2) ? "2009-03-03 00:00:00.000" : "2009-03-01 06:00:00.000", false);
    store.Set(PROPERTY_STUDY_PERIODTIME, (selector & 4) ? "0" : "15", false);
    store.Set(PROPERTY_STUDY_SPEEDBINS, (selector & 8) ? "" : "20 30 40", false);
    store.Set(PROPERTY_STUDY_LENGTHBINS, (selector & 16) ? "4294967295 1" : "20 40", false);
    if (selector & 32) store.Set(PROPERTY_STUDY_MEASUREMENTUNITS, "STUDY_MEASUREMENTUNITS_METRIC", false);

    auto sink = [](const char* text) {
        if (strnlen(text, DumpDocumentBuilder::kWorkBufferSize) >= DumpDocumentBuilder::kWorkBufferSize) std::abort();
    };
    DumpDocumentBuilder(sink).WriteRaw(kZK220SequentialRawLayout, data, static_cast<uint32_t>(size));
    driver.Values().DecodeSequential(data, static_cast<uint32_t>(size));
    // The processed document only in some runs: it walks every period again.
    if (selector & 64) DumpDocumentBuilder(sink).WriteProcessed(store, driver.Values());
    test::WalkEveryExport(driver, (selector & 128) ? 8 : 64);
    return 0;
}
