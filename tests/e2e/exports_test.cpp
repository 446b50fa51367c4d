// What the exports answer a caller that misuses them: null names, values and
// buffers, buffers too small for the answer, unknown names, oversized values,
// calls out of order, and handles that were freed, never made by the library,
// or point nowhere. One row per misuse, each answered with a code the header
// documents and without a byte written past the size the caller gave.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"

namespace tallyx::e2e {
namespace {

using tallysim::Model;
using tallysim::SimOptions;

constexpr unsigned kCom = 5;
// Bytes after the size the caller gave, which no call may touch.
constexpr uint32_t kGuard = 32;
constexpr char kFill = '\x5A';

const char kFreshStatistics[] =
    "<Staticstics><BytesSent>0</BytesSent><BytesReceived>0</BytesReceived><PagesRead>0</PagesRead>"
    "<CommRetries>0</CommRetries><RecordsModified>0</RecordsModified>"
    "<RecordsDiscarded>0</RecordsDiscarded></Staticstics>";
constexpr uint32_t kFreshStatisticsLength = sizeof kFreshStatistics - 1;

// The context a row runs on.
enum class On {
    kFresh,       // a new context, freed after the row
    kRead,        // the context that has read the model A counter (rows run in table order)
    kDuringRead,  // that context, from its progress callback while the read runs
    kNull,
    kFreed,       // a handle that Init gave and Term freed
    kForeign,     // memory the library never made, with the live marker in its first field
    kUnmapped,    // an address no memory is behind
    kInside,      // a few bytes into a live context
};

using Call = std::function<int32_t(TallyxHandle, char* buffer, uint32_t size)>;

struct Misuse {
    std::string name;
    On on;
    Call call;
    uint32_t size;  // the buffer size the row hands to the call
    int32_t result;
    const char* text = nullptr;  // what the buffer must hold afterwards
    bool untouched = false;      // the buffer must be as it was
    const char* property = nullptr;  // a property and the value it must hold afterwards
    std::string value = "";
};

std::string Repeated(size_t length, char c) { return std::string(length, c); }

// "1 2 3 ..." of at least length characters: a valid, ever increasing bin list.
std::string LongBinList(size_t length) {
    std::string list;
    for (unsigned n = 1; list.size() < length; ++n) list += std::to_string(n) + " ";
    return list;
}

const std::string kMiB = Repeated(1 << 20, '7');
const std::string kBinsMiB = LongBinList(1 << 20);

// Every export with a handle, called with a sensible rest.
std::vector<std::pair<const char*, Call>> EveryExport() {
    return {
        {"Term", [](TallyxHandle h, char*, uint32_t) { return Term(h); }},
        {"ReadDevice", [](TallyxHandle h, char*, uint32_t) { return ReadDevice(h); }},
        {"WriteDevice", [](TallyxHandle h, char*, uint32_t) { return WriteDevice(h); }},
        {"SetProgressCallback", [](TallyxHandle h, char*, uint32_t) { return SetProgressCallback(h, nullptr); }},
        {"SetPromptCallback", [](TallyxHandle h, char*, uint32_t) { return SetPromptCallback(h, nullptr); }},
        {"GetProperty", [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, PROPERTY_COMM_PORT, b, s); }},
        {"SetProperty", [](TallyxHandle h, char*, uint32_t) { return SetProperty(h, PROPERTY_COMM_PORT, "2"); }},
        {"GetFirstValue",
         [](TallyxHandle h, char* b, uint32_t s) {
             return GetFirstValue(h, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, b, s);
         }},
        {"GetNextValue", [](TallyxHandle h, char* b, uint32_t s) { return GetNextValue(h, b, s); }},
    };
}

std::vector<Misuse> Rows() {
    std::vector<Misuse> rows;
    // No export looks behind a handle the library does not hold alive.
    for (const auto& [kind, on] : std::vector<std::pair<const char*, On>>{
             {"Null", On::kNull}, {"Freed", On::kFreed}, {"Foreign", On::kForeign},
             {"Unmapped", On::kUnmapped}, {"InsideALiveContext", On::kInside}}) {
        for (const auto& [name, call] : EveryExport()) {
            rows.push_back({std::string(kind) + "_" + name, on, call, 64, RETCODE_ERR_INVALIDHANDLE, nullptr, true});
        }
    }
    const std::vector<Misuse> more = {
        // Properties, read.
        {"GetPropertyNullName", On::kFresh, [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, nullptr, b, s); },
         16, RETCODE_ERR_INVALIDPROPERTY, nullptr, true},
        {"GetPropertyNullBuffer", On::kFresh,
         [](TallyxHandle h, char*, uint32_t s) { return GetProperty(h, PROPERTY_COMM_PORT, nullptr, s); }, 16,
         RETCODE_ERR_BUFFERTOOSMALL},
        {"GetPropertySizeZeroComesBeforeTheName", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, "NO_SUCH_PROPERTY", b, s); }, 0,
         RETCODE_ERR_BUFFERTOOSMALL},
        {"GetPropertyUnknownName", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, "NO_SUCH_PROPERTY", b, s); }, 16,
         RETCODE_ERR_INVALIDPROPERTY, nullptr, true},
        {"GetPropertyNameInLowerCase", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, "property_dev_statistics", b, s); }, 16,
         RETCODE_ERR_INVALIDPROPERTY, nullptr, true},
        {"GetPropertySizeOneForOneCharacter", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, PROPERTY_COMM_PORT, b, s); }, 1,
         RETCODE_ERR_BUFFERTOOSMALL, nullptr, true},
        {"GetPropertySizeOneForAnEmptyValue", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, PROPERTY_STUDY_CITY, b, s); }, 1, RETCODE_OK,
         ""},
        {"GetPropertySizeOfTheValueWithoutItsNull", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, PROPERTY_COMM_BAUD, b, s); }, 5,
         RETCODE_ERR_BUFFERTOOSMALL, nullptr, true},
        {"GetPropertySizeOfTheValueWithItsNull", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, PROPERTY_COMM_BAUD, b, s); }, 6, RETCODE_OK,
         "57600"},
        {"GetPropertyStatisticsOfAFreshContext", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, PROPERTY_DEV_STATISTICS, b, s); },
         kFreshStatisticsLength + 1, RETCODE_OK, kFreshStatistics},
        {"GetPropertyStatisticsOneByteShort", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, PROPERTY_DEV_STATISTICS, b, s); },
         kFreshStatisticsLength, RETCODE_ERR_BUFFERTOOSMALL, nullptr, true},
        // 65 mph fits into three bytes, its 105 km/h does not.
        {"GetPropertyMetricValueLongerThanTheBuffer", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) {
             SetProperty(h, PROPERTY_STUDY_SPEEDLIMIT, "65");
             SetProperty(h, PROPERTY_STUDY_MEASUREMENTUNITS, STUDY_MEASUREMENTUNITS_METRIC);
             return GetProperty(h, PROPERTY_STUDY_SPEEDLIMIT, b, s);
         },
         3, RETCODE_ERR_BUFFERTOOSMALL},
        // Properties, written.
        {"SetPropertyNullName", On::kFresh, [](TallyxHandle h, char*, uint32_t) { return SetProperty(h, nullptr, "1"); },
         0, RETCODE_ERR_INVALIDPROPERTY},
        {"SetPropertyNullValueIsTheEmptyText", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) {
             SetProperty(h, PROPERTY_STUDY_CITY, "Oak Park");
             return SetProperty(h, PROPERTY_STUDY_CITY, nullptr);
         },
         0, RETCODE_OK, nullptr, false, PROPERTY_STUDY_CITY, ""},
        {"SetPropertyNullValueWhereTheEmptyTextIsRefused", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) { return SetProperty(h, PROPERTY_COMM_PORT, nullptr); }, 0,
         RETCODE_ERR_INVALIDPROPERTYVALUE, nullptr, false, PROPERTY_COMM_PORT, "1"},
        {"SetPropertyUnknownName", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) { return SetProperty(h, "NO_SUCH_PROPERTY", "1"); }, 0,
         RETCODE_ERR_INVALIDPROPERTY},
        {"SetPropertyReadOnly", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) { return SetProperty(h, PROPERTY_DEV_STATISTICS, "x"); }, 0,
         RETCODE_ERR_READONLYPROPERTY},
        {"SetPropertyFolderOf1024Characters", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) { return SetProperty(h, PROPERTY_COMM_LOGFOLDER, Repeated(1024, 'f').c_str()); },
         0, RETCODE_ERR_BUFFERTOOSMALL, nullptr, false, PROPERTY_COMM_LOGFOLDER, ""},
        {"SetPropertyFolderOf1023Characters", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) { return SetProperty(h, PROPERTY_COMM_LOGFOLDER, Repeated(1023, 'f').c_str()); },
         0, RETCODE_OK, nullptr, false, PROPERTY_COMM_LOGFOLDER, Repeated(1023, 'f')},
        {"SetPropertyActionLongerThanItKeepsIsCut", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) {
             return SetProperty(h, PROPERTY_TALLYX_READWRITEACTION, Repeated(1000, 'a').c_str());
         },
         0, RETCODE_OK, nullptr, false, PROPERTY_TALLYX_READWRITEACTION, Repeated(128, 'a')},
        {"SetPropertyMebibyteOfDigits", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) { return SetProperty(h, PROPERTY_COMM_PORT, kMiB.c_str()); }, 0,
         RETCODE_ERR_BUFFERTOOSMALL, nullptr, false, PROPERTY_COMM_PORT, "1"},
        {"SetPropertyMebibyteOfBins", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) { return SetProperty(h, PROPERTY_STUDY_SPEEDBINS, kBinsMiB.c_str()); }, 0,
         RETCODE_ERR_BUFFERTOOSMALL, nullptr, false, PROPERTY_STUDY_SPEEDBINS, ""},
        {"SetPropertyMebibyteOfCity", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) { return SetProperty(h, PROPERTY_STUDY_CITY, kMiB.c_str()); }, 0,
         RETCODE_ERR_VALUETOOBIG, nullptr, false, PROPERTY_STUDY_CITY, ""},
        {"SetPropertyMebibyteOfTime", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) { return SetProperty(h, PROPERTY_STUDY_BEGINDATETIME, kMiB.c_str()); }, 0,
         RETCODE_ERR_INVALIDPROPERTYVALUE, nullptr, false, PROPERTY_STUDY_BEGINDATETIME, ""},
        // Callbacks.
        {"NullProgressCallback", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) { return SetProgressCallback(h, nullptr); }, 0, RETCODE_OK},
        {"NullPromptCallback", On::kFresh, [](TallyxHandle h, char*, uint32_t) { return SetPromptCallback(h, nullptr); },
         0, RETCODE_OK},
        // Values before any read: nothing to walk comes before every other check.
        {"FirstValueBeforeAnyRead", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) {
             return GetFirstValue(h, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, b, s);
         },
         64, RETCODE_NOMOREVALUES, nullptr, true},
        {"FirstValueBeforeAnyReadWithNothingRight", On::kFresh,
         [](TallyxHandle h, char*, uint32_t) { return GetFirstValue(h, nullptr, nullptr, nullptr, 0); }, 0,
         RETCODE_NOMOREVALUES},
        {"NextValueBeforeAnyRead", On::kFresh,
         [](TallyxHandle h, char* b, uint32_t s) { return GetNextValue(h, b, s); }, 64, RETCODE_NOMOREVALUES, nullptr,
         true},
        // While the read runs, its callback asks its own context.
        {"GetPropertyFromTheProgressCallback", On::kDuringRead,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, PROPERTY_COMM_PORT, b, s); }, 8, RETCODE_OK,
         "5"},
        {"GetPropertyStatisticsFromTheProgressCallback", On::kDuringRead,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, PROPERTY_DEV_STATISTICS, b, s); }, 1024,
         RETCODE_OK},
        {"GetPropertyTooSmallFromTheProgressCallback", On::kDuringRead,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, PROPERTY_COMM_BAUD, b, s); }, 1,
         RETCODE_ERR_BUFFERTOOSMALL, nullptr, true},
        // Values after the read, in this order.
        {"NextValueBeforeFirstValue", On::kRead,
         [](TallyxHandle h, char* b, uint32_t s) { return GetNextValue(h, b, s); }, 64,
         RETCODE_ERR_ITERNOTINITIALIZED},
        {"FirstValueNullKind", On::kRead,
         [](TallyxHandle h, char* b, uint32_t s) { return GetFirstValue(h, nullptr, GETVALUE_FORMAT_CSV, b, s); }, 64,
         RETCODE_ERR_BADDATATYPE},
        {"FirstValueNullFormat", On::kRead,
         [](TallyxHandle h, char* b, uint32_t s) { return GetFirstValue(h, GETVALUE_DATA_PERIODIC, nullptr, b, s); },
         64, RETCODE_ERR_BADFORMATTYPE},
        {"FirstValueUnknownKind", On::kRead,
         [](TallyxHandle h, char* b, uint32_t s) { return GetFirstValue(h, "GETVALUE_DATA_X", GETVALUE_FORMAT_CSV, b, s); },
         64, RETCODE_ERR_BADDATATYPE},
        {"FirstValueUnknownFormat", On::kRead,
         [](TallyxHandle h, char* b, uint32_t s) {
             return GetFirstValue(h, GETVALUE_DATA_SEQUENTIAL, "GETVALUE_FORMAT_X", b, s);
         },
         64, RETCODE_ERR_BADFORMATTYPE},
        {"NextValueAfterAFailedFirstValue", On::kRead,
         [](TallyxHandle h, char* b, uint32_t s) { return GetNextValue(h, b, s); }, 64,
         RETCODE_ERR_ITERNOTINITIALIZED},
        {"FirstValueNullBuffer", On::kRead,
         [](TallyxHandle h, char*, uint32_t s) {
             return GetFirstValue(h, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, nullptr, s);
         },
         64, RETCODE_ERR_BUFFERTOOSMALL},
        {"FirstValueSizeZero", On::kRead,
         [](TallyxHandle h, char* b, uint32_t s) {
             return GetFirstValue(h, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, b, s);
         },
         0, RETCODE_ERR_BUFFERTOOSMALL},
        {"FirstValueSizeOneCsv", On::kRead,
         [](TallyxHandle h, char* b, uint32_t s) {
             return GetFirstValue(h, GETVALUE_DATA_PERIODIC, GETVALUE_FORMAT_CSV, b, s);
         },
         1, RETCODE_ERR_BUFFERTOOSMALL},
        {"FirstValueSizeOneXml", On::kRead,
         [](TallyxHandle h, char* b, uint32_t s) {
             return GetFirstValue(h, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_XML, b, s);
         },
         1, RETCODE_ERR_BUFFERTOOSMALL},
        {"NextValueNullBuffer", On::kRead,
         [](TallyxHandle h, char*, uint32_t s) {
             char first[4096];
             GetFirstValue(h, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, first, sizeof first);
             return GetNextValue(h, nullptr, s);
         },
         64, RETCODE_ERR_BUFFERTOOSMALL},
        {"NextValueSizeZero", On::kRead, [](TallyxHandle h, char* b, uint32_t s) { return GetNextValue(h, b, s); }, 0,
         RETCODE_ERR_BUFFERTOOSMALL},
        {"NextValueSizeOne", On::kRead, [](TallyxHandle h, char* b, uint32_t s) { return GetNextValue(h, b, s); }, 1,
         RETCODE_ERR_BUFFERTOOSMALL},
        {"GetPropertySizeOneForTheSerialNumber", On::kRead,
         [](TallyxHandle h, char* b, uint32_t s) { return GetProperty(h, PROPERTY_DEV_SERIALNO, b, s); }, 1,
         RETCODE_ERR_BUFFERTOOSMALL, nullptr, true},
    };
    rows.insert(rows.end(), more.begin(), more.end());
    return rows;
}

// A buffer of size bytes with guard bytes behind it.
struct GuardedBuffer {
    explicit GuardedBuffer(uint32_t size) : size(size), bytes(size + kGuard, kFill) {}
    char* Data() { return bytes.data(); }
    bool GuardIntact() const {
        for (uint32_t i = size; i < bytes.size(); ++i) {
            if (bytes[i] != kFill) return false;
        }
        return true;
    }
    bool Untouched() const {
        for (uint32_t i = 0; i < size; ++i) {
            if (bytes[i] != kFill) return false;
        }
        return true;
    }
    uint32_t size;
    std::vector<char> bytes;
};

struct Outcome {
    int32_t result = 0;
    GuardedBuffer buffer{0};
};

// What the rows run from the progress callback found.
std::vector<Misuse> g_duringRead;
std::vector<Outcome> g_duringReadOutcomes;

int32_t RunRowsOnce(TallyxHandle handle, uint32_t step) {
    if (step != 3 || !g_duringReadOutcomes.empty()) return 0;
    for (const Misuse& row : g_duringRead) {
        Outcome outcome;
        outcome.buffer = GuardedBuffer(row.size);
        outcome.result = row.call(handle, outcome.buffer.Data(), row.size);
        g_duringReadOutcomes.push_back(std::move(outcome));
    }
    return 0;
}

void Check(const Misuse& row, const Outcome& outcome, TallyxHandle handle, bool live) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(outcome.result, row.result);
    EXPECT_TRUE(outcome.buffer.GuardIntact()) << "written past the size given";
    if (row.untouched) {
        EXPECT_TRUE(outcome.buffer.Untouched());
    }
    if (row.text != nullptr) {
        EXPECT_STREQ(outcome.buffer.bytes.data(), row.text);
    }
    if (row.property != nullptr && live) {
        std::vector<char> value(2048);
        ASSERT_EQ(GetProperty(handle, row.property, value.data(), static_cast<uint32_t>(value.size())), RETCODE_OK);
        EXPECT_EQ(std::string(value.data()), row.value);
    }
}

SimOptions SmallStudy() {
    SimOptions options(Model::A);
    std::string error;
    EXPECT_TRUE(options.description.Set("vehicles", "40", &error)) << error;
    return options;
}

TEST(CallerMisuseTest, EveryExportAnswersWithADocumentedCodeAndKeepsWithinTheBuffer) {
    CounterFixture fixture;
    std::string error;
    ASSERT_TRUE(fixture.StartCounter(SmallStudy(), kCom, &error)) << error;
    const std::vector<Misuse> rows = Rows();

    TallyxHandle read = fixture.NewContext(kCom);
    g_duringRead.clear();
    g_duringReadOutcomes.clear();
    for (const Misuse& row : rows) {
        if (row.on == On::kDuringRead) g_duringRead.push_back(row);
    }
    SetProgressCallback(read, RunRowsOnce);
    ASSERT_EQ(ReadDevice(read), RETCODE_OK);
    ASSERT_EQ(g_duringReadOutcomes.size(), g_duringRead.size());
    for (size_t i = 0; i < g_duringRead.size(); ++i) Check(g_duringRead[i], g_duringReadOutcomes[i], read, true);

    struct {
        uint32_t marker = 1100;
        char rest[4096] = {};
    } foreign;
    const long page = sysconf(_SC_PAGESIZE);
    void* unmapped = mmap(nullptr, static_cast<size_t>(page), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(unmapped, MAP_FAILED);
    munmap(unmapped, static_cast<size_t>(page));

    for (const Misuse& row : rows) {
        if (row.on == On::kDuringRead) continue;
        TallyxHandle handle = nullptr;
        TallyxHandle owned = nullptr;  // a context this row made and frees
        switch (row.on) {
            case On::kFresh: handle = owned = Init(); break;
            case On::kRead: handle = read; break;
            case On::kNull: break;
            case On::kFreed:
                handle = Init();
                Term(handle);
                break;
            case On::kForeign: handle = reinterpret_cast<TallyxHandle>(&foreign); break;
            case On::kUnmapped: handle = static_cast<TallyxHandle>(unmapped); break;
            case On::kInside:
                owned = Init();
                handle = reinterpret_cast<TallyxHandle>(reinterpret_cast<char*>(owned) + 8);
                break;
            case On::kDuringRead: break;
        }
        Outcome outcome;
        outcome.buffer = GuardedBuffer(row.size);
        outcome.result = row.call(handle, outcome.buffer.Data(), row.size);
        Check(row, outcome, handle, row.on == On::kFresh || row.on == On::kRead);
        if (owned != nullptr) {
            EXPECT_EQ(Term(owned), RETCODE_OK) << row.name;
        }
    }

    // After all of it the read context still gives its data, and is freed once.
    EXPECT_EQ(fixture.Property(read, PROPERTY_DEV_SERIALNO), fixture.Counter().GetDescription().device.serialNumber);
    EXPECT_EQ(Lines(read, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV).size(), 41u);
    EXPECT_EQ(Term(read), RETCODE_OK);
    EXPECT_EQ(Term(read), RETCODE_ERR_INVALIDHANDLE);
}

// The value lines and every property, asked for with each buffer size up to the one that fits:
// too small is -101 and nothing is written past the size; one byte more gives the same text
// that a large buffer gives.
TEST(CallerMisuseTest, NoBufferSizeMakesALineOrAPropertyRunPastIt) {
    CounterFixture fixture;
    std::string error;
    ASSERT_TRUE(fixture.StartCounter(SmallStudy(), kCom, &error)) << error;
    TallyxHandle handle = fixture.NewContext(kCom);
    ASSERT_EQ(ReadDevice(handle), RETCODE_OK);

    auto sweep = [](const std::string& what, const std::string& whole, const std::function<int32_t(char*, uint32_t)>& ask) {
        const uint32_t fits = static_cast<uint32_t>(whole.size()) + 1;
        for (uint32_t size = 1; size <= fits; ++size) {
            GuardedBuffer buffer(size);
            const int32_t result = ask(buffer.Data(), size);
            ASSERT_TRUE(buffer.GuardIntact()) << what << " written past " << size << " bytes";
            if (size < fits) {
                ASSERT_EQ(result, RETCODE_ERR_BUFFERTOOSMALL) << what << " in " << size << " bytes";
            } else {
                ASSERT_EQ(result, RETCODE_OK) << what;
                ASSERT_EQ(std::string(buffer.Data()), whole) << what;
            }
        }
    };

    for (const char* kind : {GETVALUE_DATA_SEQUENTIAL, GETVALUE_DATA_PERIODIC}) {
        for (const char* format : {GETVALUE_FORMAT_CSV, GETVALUE_FORMAT_XML}) {
            const std::vector<std::string> lines = Lines(handle, kind, format);
            ASSERT_GE(lines.size(), 3u) << kind << " " << format;
            const std::string what = std::string(kind) + " " + format;
            sweep(what + " first line", lines[0], [&](char* b, uint32_t s) { return GetFirstValue(handle, kind, format, b, s); });
            // A next line that does not fit is skipped, so each try starts the walk again.
            sweep(what + " second line", lines[1], [&](char* b, uint32_t s) {
                std::vector<char> first(65536);
                GetFirstValue(handle, kind, format, first.data(), static_cast<uint32_t>(first.size()));
                return GetNextValue(handle, b, s);
            });
        }
    }

    const char* const properties[] = {
        PROPERTY_COMM_PORT, PROPERTY_COMM_LOGFOLDER, PROPERTY_DEV_SERIALNO, PROPERTY_DEV_UNITTYPE,
        PROPERTY_DEV_FIRMWAREREV, PROPERTY_DEV_ACR, PROPERTY_STUDY_CITY, PROPERTY_STUDY_SPEEDLIMIT,
        PROPERTY_STUDY_LENGTHBINS, PROPERTY_STUDY_SPEEDBINS, PROPERTY_STUDY_BEGINDATETIME, PROPERTY_DEV_STATISTICS,
    };
    for (const char* units : {STUDY_MEASUREMENTUNITS_US, STUDY_MEASUREMENTUNITS_METRIC}) {
        ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_MEASUREMENTUNITS, units), RETCODE_OK);
        for (const char* name : properties) {
            const std::string whole = fixture.Property(handle, name);
            ASSERT_NE(whole, "<error>") << name;
            sweep(std::string(name) + " " + units, whole, [&](char* b, uint32_t s) { return GetProperty(handle, name, b, s); });
        }
    }
    Term(handle);
}

int g_disconnectPrompts = 0;
int32_t CountDisconnects(TallyxHandle, int32_t reason) {
    if (reason == PROMPT_REASON_DISCONNECT) ++g_disconnectPrompts;
    return 0;
}

TEST(LifecycleTest, TermPromptsForDisconnectOnceAndLeavesOtherContextsAlone) {
    TallyxHandle first = Init();
    TallyxHandle second = Init();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    g_disconnectPrompts = 0;
    ASSERT_EQ(SetPromptCallback(first, CountDisconnects), RETCODE_OK);
    EXPECT_EQ(Term(first), RETCODE_OK);
    EXPECT_EQ(g_disconnectPrompts, 1);
    EXPECT_EQ(SetProgressCallback(second, nullptr), RETCODE_OK);
    EXPECT_EQ(Term(second), RETCODE_OK);
}

}  // namespace
}  // namespace tallyx::e2e
