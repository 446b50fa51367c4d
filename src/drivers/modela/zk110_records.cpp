#include "drivers/modela/zk110_records.h"

namespace tallyx {

DateTime ApplyZK110TimeStamp(const DateTime& running, const uint8_t* raw) {
    SystemTime fields;
    running.ToSystemTime(fields);
    const uint32_t day = ZK110RecordDay(raw);
    if (day != 0) {
        if (day < fields.Day) {
            if (fields.Month >= 12) {
                fields.Month = 1;
                ++fields.Year;
            } else {
                ++fields.Month;
            }
        }
        fields.Day = static_cast<uint16_t>(day);
    }
    fields.Hour = raw[0] & 0x1F;
    fields.Minute = raw[1] & 0x3F;
    fields.Second = raw[2];
    return DateTime(fields.Year, fields.Month, fields.Day, fields.Hour, fields.Minute, fields.Second,
                    fields.Milliseconds);
}

}  // namespace tallyx
