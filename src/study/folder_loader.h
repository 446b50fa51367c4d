#pragma once
// Loads every folder this project writes into a study: a tallyx read folder in
// CSV or XML form (settings.json, sequential and periodic records), and
// tallyread's folder or its data/ (study.txt, sequential.csv, periodic.csv,
// kvd.dat).
#include <string>

#include "study/study.h"

namespace tallyx::study {

// False with one line in error, naming the folder or file and what is wrong
// with it: a folder that is not a read, a file cut off mid-line, a line that
// is not a record ("FILE:LINE: reason").
bool LoadFolder(const std::string& folder, Study& study, std::string& error);

// The whole content of a file; false when it is no regular file or cannot be read.
bool ReadWholeFile(const std::string& path, std::string& text);

}  // namespace tallyx::study
