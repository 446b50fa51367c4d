#pragma once
// sequential.csv and periodic.csv: the library's CSV export, one line per value.
#include <string>

#include "reader/reader_session.h"

namespace tallyx {

// Writes every CSV line of `dataType` (GETVALUE_DATA_SEQUENTIAL or
// GETVALUE_DATA_PERIODIC). No file is made when there is nothing to export or
// the export cannot start.
void WriteValueFile(const ReaderSession& session, const char* dataType, const std::string& path);

}  // namespace tallyx
