#pragma once
// What a library return code means to someone at a counter: its name, a
// sentence, what to check, and the exit status tallyx ends with.
#include <cstdint>
#include <string>

namespace tallyx::cli {

// Exit statuses, documented in --help and the man page.
enum ExitStatus : int {
    kExitOk = 0,
    kExitStopped = 1,      // Ctrl-C, or the low-battery question answered no
    kExitUsage = 2,        // bad options or study file; nothing was sent
    kExitPort = 3,         // the port does not exist, is held by another program, or cannot be set up
    kExitNoCounter = 4,    // no counter announced itself on the port
    kExitLine = 5,         // the exchange with the counter failed part-way
    kExitRefused = 6,      // the counter refused or cannot do what was asked
    kExitStudy = 7,        // the study settings are not valid
    kExitFiles = 8,        // output files could not be written
    kExitOther = 9,        // any other failure
    kExitArchive = 10,     // the archive could not be opened, read or written
};

struct CodeHelp {
    const char* name;     // "RETCODE_ERR_FAILEDTOWAKEUP"
    const char* meaning;  // a sentence without the final point
    const char* check;    // what to check, or ""
    ExitStatus status;
};

CodeHelp HelpFor(int32_t code);

// "RETCODE_ERR_FAILEDTOWAKEUP (-34): no counter announced itself on the port. Check: ..."
std::string DescribeCode(int32_t code);

// The text of the exit status table for --help and the man page.
const char* ExitStatusTable();

}  // namespace tallyx::cli
