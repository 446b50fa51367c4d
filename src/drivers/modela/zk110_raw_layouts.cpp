#include "drivers/modela/zk110_raw_layouts.h"

#include <cstdio>

namespace tallyx {

namespace {

void WriteNumber(uint32_t value, char* text, uint32_t size) { std::snprintf(text, size, "%u", value); }

uint32_t BigEndian16(const uint8_t* bytes) { return (uint32_t{bytes[0]} << 8) | bytes[1]; }

template <uint32_t kOffset>
void Byte(const uint8_t* record, char* text, uint32_t size) {
    WriteNumber(record[kOffset], text, size);
}

template <uint32_t kOffset>
void Word(const uint8_t* record, char* text, uint32_t size) {
    WriteNumber(BigEndian16(record + kOffset), text, size);
}

void FrameData(const uint8_t* record, char* text, uint32_t size) {
    uint32_t length = 0;
    if (size != 0) text[0] = '\0';
    for (uint32_t offset = kZK110FrameDataOffset; offset + 2 <= kZK110FrameDataEnd; offset += 2) {
        if (length >= size) break;
        int written = std::snprintf(text + length, size - length, offset == kZK110FrameDataOffset ? "%u" : ",%u",
                                    BigEndian16(record + offset));
        if (written < 0 || static_cast<uint32_t>(written) >= size - length) {
            // A value that does not fit is left out whole.
            text[length] = '\0';
            break;
        }
        length += static_cast<uint32_t>(written);
    }
}

constexpr RawRecordField kSequentialFields[] = {
    {"HOUR", Byte<0>},  {"MINUTE", Byte<1>}, {"SECOND", Byte<2>},
    {"FLAG", Byte<3>},  {"SPEED", Byte<4>},  {"LENGTH", Byte<5>},
};

constexpr RawRecordField kPeriodicFields[] = {
    {"OFFSET", Word<0>},
    {"COUNT", Word<2>},
    {"TEMPERATURE", Byte<4>},
    {"VOLTAGE", Byte<5>},
    {"CLASS", Byte<6>},
    {"ACR_VOLATAGE", Word<7>},
    {"REVERSE_VEHICLES", Word<9>},
    {"OCCUPANCY_HIGH", Byte<11>},
    {"OCCUPANCY_LOW", Byte<12>},
    {"FRAME_DATA", FrameData},
};

}  // namespace

const RawRecordLayout kZK110SequentialRawLayout{"READ_SEQUENTIAL_RAW", kZK110RecordSize, 20, kSequentialFields};
const RawRecordLayout kZK110PeriodicRawLayout{"READ_PERIODIC_RAW", kZK110PageSize, 5, kPeriodicFields};

}  // namespace tallyx
