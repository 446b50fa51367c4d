#include "reader/reader_session.h"

#include <cstring>

#include "reader/return_code_text.h"

namespace tallyx {

std::optional<std::string> ReaderSession::ReadProperty(const char* name) const {
    char buffer[1024] = {};
    const int32_t result = api.GetProperty(handle, name, buffer, sizeof buffer);
    if (result != RETCODE_OK) {
        log.Error("GetProperty() failed for property %s! Error=%s", name, ReturnCodeText(result).c_str());
        return std::nullopt;
    }
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

}  // namespace tallyx
