#include "reader/output_file.h"

#include "platform/files.h"
#include "reader/program_folders.h"

namespace tallyx {

OutputFile OutputFile::Create(const std::string& path) {
    OutputFile output;
    EnsureFolder(FolderOfPath(path));
    // Text mode: lines end as the system's text files end them.
    output.file_.reset(OpenStdioFile(path, "w"));
    return output;
}

void OutputFile::WriteLine(const std::string& text) const {
    std::fwrite(text.data(), 1, text.size(), file_.get());
    std::fputc('\n', file_.get());
}

}  // namespace tallyx
