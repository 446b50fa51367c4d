#include "platform/console.h"

#include <io.h>
#include <windows.h>

namespace tallyx {

namespace {

void (*g_interruptHandler)() = nullptr;
volatile LONG g_interrupts = 0;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    // The first request is handed on; a second one ends the program at once.
    if (InterlockedIncrement(&g_interrupts) > 1 || g_interruptHandler == nullptr) return FALSE;
    g_interruptHandler();
    return TRUE;
}

HANDLE ConsoleOf(std::FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

}  // namespace

bool IsTerminal(std::FILE* stream) {
    DWORD mode = 0;
    const HANDLE console = ConsoleOf(stream);
    if (!GetConsoleMode(console, &mode)) return false;
    // Let the console follow the escape sequences that redraw a status line; an older console
    // that cannot shows them as they are.
    SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    return true;
}

unsigned TerminalWidth(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(ConsoleOf(stream), &info)) return 80;
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    return width > 0 ? static_cast<unsigned>(width) : 80;
}

void InstallInterruptHandler(void (*handler)()) {
    g_interruptHandler = handler;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

}  // namespace tallyx
