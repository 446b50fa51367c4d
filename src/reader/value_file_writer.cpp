#include "reader/value_file_writer.h"

#include <cstring>
#include <vector>

#include "reader/output_file.h"
#include "reader/return_code_text.h"

namespace tallyx {

namespace {

constexpr uint32_t kLineBufferSize = 10240;

std::string LineIn(std::vector<char>& buffer) {
    buffer.back() = '\0';  // whatever came back, the text ends inside the buffer
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

}  // namespace

void WriteValueFile(const ReaderSession& session, const char* dataType, const std::string& path) {
    std::vector<char> buffer(kLineBufferSize, '\0');
    int32_t result = session.api.GetFirstValue(session.handle, dataType, GETVALUE_FORMAT_CSV, buffer.data(),
                                               kLineBufferSize);
    if (result == RETCODE_NOMOREVALUES) return;
    if (result != RETCODE_OK) {
        session.log.Error("GetFirstValue() failed! Error=%s", ReturnCodeText(result).c_str());
        return;
    }
    const OutputFile file = OutputFile::Create(path);
    if (!file) {
        session.log.Error("Failed to open %s", path.c_str());
        return;
    }
    do {
        file.WriteLine(LineIn(buffer));
        result = session.api.GetNextValue(session.handle, buffer.data(), kLineBufferSize);
    } while (result == RETCODE_OK);
    if (result != RETCODE_NOMOREVALUES) {
        session.log.Error("GetNextValue() failed! Error=%s", ReturnCodeText(result).c_str());
    }
}

}  // namespace tallyx
