#include "log/log_record.h"

namespace tallyx {

const char* LogTypeLetter(int32_t type) {
    static const char* const kLetters[kLogTypeCount] = {"I", "W", "E", "F"};
    if (type < 0 || type >= kLogTypeCount) {
        return "?";
    }
    return kLetters[type];
}

}  // namespace tallyx
