#pragma once
// study.txt: the study settings as "Label: value" lines.
#include <string>

#include "reader/reader_session.h"

namespace tallyx {

// Writes one line per study property that can be read; a file that cannot be
// created is logged as "Failed to open <path>".
void WriteStudyFile(const ReaderSession& session, const std::string& path);

}  // namespace tallyx
