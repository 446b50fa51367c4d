#pragma once
// The console: whether a stream is a terminal, its width, and Ctrl-C.
#include <cstdio>

namespace tallyx {

// Whether the stream is a terminal; one that is follows the line-editing escape sequences
// ("\r\033[K") afterwards.
bool IsTerminal(std::FILE* stream);
// The width of the terminal behind the stream in characters; 80 when unknown.
unsigned TerminalWidth(std::FILE* stream);

// Calls handler (which must only set a flag) on Ctrl-C or a request to end; a second Ctrl-C
// ends the program at once.
void InstallInterruptHandler(void (*handler)());

}  // namespace tallyx
