#include "properties/property_descriptor.h"

#include <tallyx/tallyx.h>

namespace tallyx {
namespace {

constexpr uint8_t R = kAccessRead;
constexpr uint8_t RW = kAccessReadWrite;

// clang-format off
constexpr std::array<PropertyDescriptor, kPropertyCount> kDescriptors{{
    {PROPERTY_COMM_PORT,               10,    "1",     RW, false, 0,  ValueRule::Digits,      UnitKind::None},
    {PROPERTY_USBX_PORT,               10,    "0",     RW, false, 1,  ValueRule::Any,         UnitKind::None},
    {PROPERTY_COMM_BAUD,               10,    "57600", RW, false, 2,  ValueRule::Digits,      UnitKind::None},
    {PROPERTY_COMM_PARITY,             1,     "N",     RW, false, 3,  ValueRule::Parity,      UnitKind::None},
    {PROPERTY_COMM_NUMBITS,            1,     "8",     RW, false, 4,  ValueRule::Digits,      UnitKind::None},
    {PROPERTY_COMM_NUMSTOPBITS,        3,     "1",     RW, false, 5,  ValueRule::StopBits,    UnitKind::None},
    {PROPERTY_COMM_LOGFOLDER,          1024,  "",      RW, false, 6,  ValueRule::Any,         UnitKind::None},
    {PROPERTY_COMM_LOGLEVEL,           256,   "OFF",   RW, false, 7,  ValueRule::LogLevel,    UnitKind::None},
    {PROPERTY_COMM_PEEKTOUTMS,         10,    "1000",  RW, false, 8,  ValueRule::Digits,      UnitKind::None},
    {PROPERTY_COMM_RECVTOUTMS,         10,    "10000", RW, false, 9,  ValueRule::Digits,      UnitKind::None},
    {PROPERTY_COMM_SENDTOUTMS,         10,    "5000",  RW, false, 10, ValueRule::Digits,      UnitKind::None},
    {PROPERTY_COMM_WAITAFTERRESETMS,   10,    "30000", RW, false, 11, ValueRule::Digits,      UnitKind::None},
    {PROPERTY_COMM_WAITBETWEENREQSMS,  10,    "100",   RW, false, 12, ValueRule::Digits,      UnitKind::None},
    {PROPERTY_STUDY_STATE,             2,     "",      RW, true,  13, ValueRule::FreeText,    UnitKind::None},
    {PROPERTY_STUDY_CITY,              32,    "",      RW, true,  14, ValueRule::FreeText,    UnitKind::None},
    {PROPERTY_STUDY_COUNTY,            32,    "",      RW, true,  15, ValueRule::FreeText,    UnitKind::None},
    {PROPERTY_STUDY_ADDRESS,           32,    "",      RW, true,  16, ValueRule::FreeText,    UnitKind::None},
    {PROPERTY_STUDY_LANE,              16,    "",      RW, true,  17, ValueRule::FreeText,    UnitKind::None},
    {PROPERTY_STUDY_SPEEDLIMIT,        3,     "",      RW, false, 18, ValueRule::ShortNumber, UnitKind::Speed},
    {PROPERTY_STUDY_OPERATOR,          2,     "",      RW, true,  19, ValueRule::FreeText,    UnitKind::None},
    {PROPERTY_DEV_SERIALNO,            32,    "",      R,  true,  20, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_DEV_UNITTYPE,            6,     "",      R,  true,  21, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_DEV_FIRMWAREREV,         32,    "",      R,  true,  22, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_DEV_BATTERYVOLTAGE,      10,    "",      R,  true,  23, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_DEV_ACR,                 32,    "",      R,  true,  24, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_DEV_BATTERYPERCENT,      10,    "",      R,  true,  25, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_STUDY_LENGTHBINS,        1024,  "",      RW, false, 26, ValueRule::BinList,     UnitKind::LengthList},
    {PROPERTY_STUDY_SPEEDBINS,         1024,  "",      RW, false, 27, ValueRule::BinList,     UnitKind::SpeedList},
    {PROPERTY_STUDY_BEGINDATETIME,     32,    "",      RW, false, 28, ValueRule::DateTime,    UnitKind::None},
    {PROPERTY_STUDY_ENDDATETIME,       32,    "",      RW, false, 29, ValueRule::DateTime,    UnitKind::None},
    {PROPERTY_STUDY_RANGETIME,         6,     "",      R,  true,  30, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_STUDY_PERIODTIME,        3,     "",      RW, false, 31, ValueRule::ShortNumber, UnitKind::None},
    {PROPERTY_STUDY_NUMRECORDS,        15,    "",      R,  true,  32, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_STUDY_BINRECORDSIZE,     6,     "",      R,  true,  33, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_STUDY_TYPE,              32,    "",      R,  true,  34, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_STUDY_FCODE,             2,     "",      R,  true,  35, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_STUDY_MEASUREMENTUNITS,  32,    STUDY_MEASUREMENTUNITS_US,
                                                       RW, false, 36, ValueRule::Units,       UnitKind::None},
    {PROPERTY_DEV_STATISTICS,          10240, "",      R,  true,  37, ValueRule::ReadOnly,    UnitKind::None},
    {PROPERTY_TALLYX_READWRITEACTION,  128,   "",      RW, false, 38, ValueRule::Any,         UnitKind::None},
}};
// clang-format on

constexpr bool IndicesFollowTableOrder() {
    for (std::size_t i = 0; i < kDescriptors.size(); ++i) {
        if (kDescriptors[i].index != i) return false;
    }
    return true;
}
static_assert(IndicesFollowTableOrder(), "every descriptor's index must be its position");

constexpr bool WritableExactlyWhenRuleAllowsIt() {
    for (const auto& descriptor : kDescriptors) {
        bool writable = (descriptor.access & kAccessWrite) != 0;
        if (writable == (descriptor.rule == ValueRule::ReadOnly)) return false;
        if ((descriptor.access & kAccessRead) == 0) return false;
    }
    return true;
}
static_assert(WritableExactlyWhenRuleAllowsIt(), "access bits and value rules disagree");

}  // namespace

const std::array<PropertyDescriptor, kPropertyCount>& PropertyDescriptors() { return kDescriptors; }

}  // namespace tallyx
