#pragma once
// The console: whether a stream is a terminal, its width, and Ctrl-C.
#include <cstdio>

namespace tallyx {

bool IsTerminal(std::FILE* stream);
// The width of the terminal behind the stream in characters; 80 when unknown.
unsigned TerminalWidth(std::FILE* stream);
// Lets the terminal behind the stream follow the line-editing escape sequences ("\r\033[K").
void EnableTerminalEscapes(std::FILE* stream);

// Calls handler (which must only set a flag) on Ctrl-C or a request to end; a second Ctrl-C
// ends the program at once.
void InstallInterruptHandler(void (*handler)());

}  // namespace tallyx
