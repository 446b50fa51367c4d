#pragma once
// Where tallyx keeps its archive, opening it, and archiving a read.
#include <memory>
#include <string>

#include "archive/archive.h"
#include "study/study.h"

namespace tallyx::cli {

// The archive file: --archive FILE, else $TALLYX_ARCHIVE, else the user's data
// folder (archive.sqlite in ~/.local/share/tallyx or %LOCALAPPDATA%\tallyx).
std::string ArchivePath(const std::string& option);

// Opens the archive; on failure prints the one line that says why and gives
// the exit status in status.
std::unique_ptr<archive::Archive> OpenArchive(const std::string& option, int& status);

// The exit status and sentence of an archive failure.
int ArchiveFailure(const std::string& message);
// The same for a study or site looked up by its id: an id the archive does not
// hold is a usage error, anything else a failure of the archive.
int LookupFailure(const std::string& message);

// Archives a study just read or loaded; prints what happened. The exit status.
int ArchiveStudy(archive::Archive& store, const study::Study& study, const archive::ReadFacts& facts,
                 const std::string& what);

}  // namespace tallyx::cli
