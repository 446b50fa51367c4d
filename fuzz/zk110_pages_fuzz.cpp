// Model A's two data areas as a download delivers them: the first input byte
// picks the study settings, the second how many 6-byte vehicle records the
// sequential area holds; the rest of the input is the periodic area, in
// 260-byte pages. Both areas are decoded, shown as raw and processed dump
// documents, and walked through the value export in both formats.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drivers/modela/zk110_driver.h"
#include "drivers/modela/zk110_values.h"
#include "export/dump_document_builder.h"
#include "fuzz_input.h"
#include "properties/property_store.h"
#include "support/values_host.h"

using namespace tallyx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const uint8_t selector = in.Byte();
    const std::string sequential = in.Bytes(size_t{in.Byte()} * kZK110RecordSize);
    const std::string periodic = in.Bytes(in.Left());
    const auto* sequentialBytes = reinterpret_cast<const uint8_t*>(sequential.data());
    const auto* periodicBytes = reinterpret_cast<const uint8_t*>(periodic.data());

    test::ValuesHost<ZK110Values> driver;
    PropertyStore& store = driver.Store();
    store.Set(PROPERTY_STUDY_BEGINDATETIME, (selector & 1) ? "2009-12-30 23:00:00.000" : "2009-03-01 00:00:00.000", false);
    store.Set(PROPERTY_STUDY_ENDDATETIME, (selector & 2) ? "2010-01-02 00:00:00.000" : "2009-03-01 00:00:00.000", false);
    store.Set(PROPERTY_STUDY_PERIODTIME, (selector & 4) ? "0" : "15", false);
    store.Set(PROPERTY_STUDY_SPEEDBINS, (selector & 8) ? "" : "20 30 40", false);
    store.Set(PROPERTY_STUDY_LENGTHBINS, (selector & 16) ? "4294967295 1" : "20 40", false);
    if (selector & 32) store.Set(PROPERTY_STUDY_MEASUREMENTUNITS, "STUDY_MEASUREMENTUNITS_METRIC", false);
    driver.Values().SetDateEncoding((selector & 64) != 0);

    // Each page is checked the way a received one is.
    for (size_t offset = 0; offset + kZK110PageSize <= periodic.size(); offset += kZK110PageSize) {
        if (!ZK110Page::IsEmpty(periodicBytes + offset)) ZK110Page::CheckCrc(periodicBytes + offset);
    }

    // Every piece of a dump document is a terminated text.
    auto sink = [](const char* text) {
        if (strnlen(text, DumpDocumentBuilder::kWorkBufferSize) >= DumpDocumentBuilder::kWorkBufferSize) std::abort();
    };
    DumpDocumentBuilder(sink).WriteRaw(kZK110SequentialRawLayout, sequentialBytes,
                                       static_cast<uint32_t>(sequential.size()));
    DumpDocumentBuilder(sink).WriteRaw(kZK110PeriodicRawLayout, periodicBytes, static_cast<uint32_t>(periodic.size()));

    driver.Values().DecodeSequential(sequentialBytes, static_cast<uint32_t>(sequential.size()));
    driver.Values().DecodePeriodic(periodicBytes, static_cast<uint32_t>(periodic.size()));
    DumpDocumentBuilder(sink).WriteProcessed(store, driver.Values());
    test::WalkEveryExport(driver, (selector & 128) ? 8 : 64);
    return 0;
}
