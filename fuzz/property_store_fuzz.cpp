// The properties as a caller and the library reach them: the input is a
// script of writes and reads through the public functions (with the caller's
// checks and the metric conversions) and through a store with library rights.
// Names are known ones, known ones in the wrong letter case, or any text;
// values are any text or a few that pass the checks; read buffers are
// allocated with exactly their size, from 0 bytes on. After the script every
// property is read back in both unit systems with buffers around its length.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <tallyx/tallyx.h>

#include "fuzz_input.h"
#include "properties/property_descriptor.h"
#include "properties/property_store.h"

namespace {

using namespace tallyx;

constexpr uint8_t kUntouched = 0xA5;
// More than the longest value, the statistics document, takes.
constexpr uint32_t kWholeSize = 11000;
// Reads in the script take at most this many bytes.
constexpr uint32_t kLargestRead = 12000;

// Values that get past the caller's checks, so the conversions are reached.
constexpr const char* kGoodValues[] = {
    "10 20 30 40 50 60 70 80 90 100 110 120 130 140 150",
    "6 13 20 40 60 80",
    "4294967295",
    "2147483647 2147483648",
    "999",
    "0",
    "15",
    "2027-03-01 00:00:00.000",
    STUDY_MEASUREMENTUNITS_METRIC,
    "study_measurementunits_us",
    "E",
    "1.5",
    "BYTES",
};

std::string Name(fuzz::FuzzInput& in) {
    const uint8_t choice = in.Byte();
    const auto& descriptors = PropertyDescriptors();
    std::string name = descriptors[(choice >> 2) % descriptors.size()].name;
    switch (choice & 3) {
        case 0: return name;
        case 1:
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return name;
        case 2: return name.substr(0, in.Byte() % (name.size() + 1)) + in.Text();
        default: return in.Text();
    }
}

std::string Value(fuzz::FuzzInput& in) {
    const uint8_t choice = in.Byte();
    if (choice < std::size(kGoodValues)) return kGoodValues[choice];
    if (choice == 0xFF) {
        // Long lists of growing numbers, around the largest value a write takes.
        std::string list;
        const size_t length = PropertyStore::kWorkingSize - 8 + in.Byte() % 16;
        for (uint32_t number = 1 + in.Byte(); list.size() < length; number += 1 + in.Byte() % 64) {
            list += std::to_string(number) + " ";
        }
        return list.substr(0, length);
    }
    return in.Text();
}

uint32_t BufferSize(fuzz::FuzzInput& in) {
    const uint8_t choice = in.Byte();
    if (choice < 64) return choice;
    if (choice < 128) return PropertyStore::kWorkingSize - 64 + choice;
    return in.Word() % kLargestRead;
}

// A read into a buffer of exactly size bytes. What it may leave behind: a
// terminated text on success or after a conversion that did not fit (-101
// then), the untouched buffer on any other failure.
void CheckedRead(const std::string& name, uint32_t size, bool throughLibrary, TallyxHandle handle,
                 const PropertyStore& store, bool fromCaller) {
    std::unique_ptr<char[]> buffer(size != 0 ? new char[size] : nullptr);
    if (size != 0) std::memset(buffer.get(), kUntouched, size);
    const int32_t result = throughLibrary ? GetProperty(handle, name.c_str(), buffer.get(), size)
                                          : store.Get(name.c_str(), buffer.get(), size, fromCaller);
    const bool terminated = size != 0 && strnlen(buffer.get(), size) < size;
    static const std::unique_ptr<char[]> pattern = [] {
        std::unique_ptr<char[]> bytes(new char[kLargestRead]);
        std::memset(bytes.get(), kUntouched, kLargestRead);
        return bytes;
    }();
    const bool untouched = size == 0 || std::memcmp(buffer.get(), pattern.get(), size) == 0;
    if (result == RETCODE_OK && !terminated) std::abort();
    if (result == RETCODE_ERR_BUFFERTOOSMALL && !terminated && !untouched) std::abort();
    if (result != RETCODE_OK && result != RETCODE_ERR_BUFFERTOOSMALL && !untouched) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    TallyxHandle handle = Init();
    if (handle == nullptr) std::abort();
    PropertyStore store;

    while (!in.Empty()) {
        switch (in.Byte() % 6) {
            case 0: {
                const std::string name = Name(in);
                SetProperty(handle, name.c_str(), Value(in).c_str());
                break;
            }
            case 1: {
                const std::string name = Name(in);
                CheckedRead(name, BufferSize(in), true, handle, store, true);
                break;
            }
            case 2: {
                const std::string name = Name(in);
                store.Set(name.c_str(), Value(in).c_str(), in.Byte() & 1);
                break;
            }
            case 3: {
                const std::string name = Name(in);
                CheckedRead(name, BufferSize(in), false, handle, store, in.Byte() & 1);
                break;
            }
            case 4: {
                const char* units = (in.Byte() & 1) ? "study_MEASUREMENTUNITS_metric" : STUDY_MEASUREMENTUNITS_US;
                SetProperty(handle, PROPERTY_STUDY_MEASUREMENTUNITS, units);
                store.Set(PROPERTY_STUDY_MEASUREMENTUNITS, units, true);
                break;
            }
            case 5: {
                const std::string name = Name(in);
                (void)store.Text(name.c_str());
                (void)store.Number(name.c_str());
                (void)store.BaudRate();
                (void)store.DataBits();
                (void)store.Parity();
                (void)store.StopBits();
                break;
            }
        }
    }

    for (const char* units : {STUDY_MEASUREMENTUNITS_US, STUDY_MEASUREMENTUNITS_METRIC}) {
        SetProperty(handle, PROPERTY_STUDY_MEASUREMENTUNITS, units);
        store.Set(PROPERTY_STUDY_MEASUREMENTUNITS, units, true);
        for (const PropertyDescriptor& descriptor : PropertyDescriptors()) {
            // The lengths as the caller sees them, converted where they are.
            std::unique_ptr<char[]> whole(new char[kWholeSize]);
            whole[0] = '\0';
            GetProperty(handle, descriptor.name, whole.get(), kWholeSize);
            const uint32_t handleLength = static_cast<uint32_t>(strnlen(whole.get(), kWholeSize));
            whole[0] = '\0';
            store.Get(descriptor.name, whole.get(), kWholeSize, true);
            const uint32_t storeLength = static_cast<uint32_t>(strnlen(whole.get(), kWholeSize));
            for (uint32_t size : {0u, 1u, handleLength, handleLength + 1}) {
                CheckedRead(descriptor.name, size, true, handle, store, true);
            }
            for (uint32_t size : {0u, 1u, storeLength, storeLength + 1}) {
                CheckedRead(descriptor.name, size, false, handle, store, true);
                CheckedRead(descriptor.name, size, false, handle, store, false);
            }
        }
    }
    if (Term(handle) != RETCODE_OK) std::abort();
    return 0;
}
