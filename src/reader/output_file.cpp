#include "reader/output_file.h"

#include "reader/program_folders.h"

namespace tallyx {

OutputFile OutputFile::Create(const std::string& path) {
    OutputFile output;
    EnsureFolder(FolderOfPath(path));
    output.file_.reset(std::fopen(path.c_str(), "we"));
    return output;
}

void OutputFile::WriteLine(const std::string& text) const {
    std::fwrite(text.data(), 1, text.size(), file_.get());
    std::fputc('\n', file_.get());
}

}  // namespace tallyx
