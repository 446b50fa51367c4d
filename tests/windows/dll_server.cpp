// Serves tallyx.dll's exports to a test program running outside Wine, so that the Linux
// end-to-end tests run unchanged against the Windows library: each call arrives on standard
// input as a frame and is answered on standard output. A callback of the library is sent as a
// frame of its own; until its answer arrives, calls made from within the callback are served.
// Ends when standard input ends.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <tallyx/tallyx.h>

#include "wine/call_frames.h"

namespace {

using tallyx::wine::Frame;

// Frames go out on a stream of their own: standard output is turned to standard error, so that
// whatever else writes to it (a crash report) cannot spoil them.
std::FILE* g_frames = nullptr;

bool ReadExactly(char* buffer, size_t size) { return std::fread(buffer, 1, size, stdin) == size; }

void Send(const Frame& frame) {
    const std::string bytes = tallyx::wine::EncodeFrame(frame);
    std::fwrite(bytes.data(), 1, bytes.size(), g_frames);
    std::fflush(g_frames);
}

std::string HandleText(TallyxHandle handle) {
    return std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
}

TallyxHandle HandleOf(const std::string& text) {
    return reinterpret_cast<TallyxHandle>(static_cast<uintptr_t>(std::strtoull(text.c_str(), nullptr, 10)));
}

// A string argument that may be null: a presence flag field and the text field.
const char* Text(const Frame& call, size_t at) { return call.at(at) == "1" ? call.at(at + 1).c_str() : nullptr; }

Frame Serve(bool untilAnswer);

int32_t CallBack(const char* kind, TallyxHandle handle, int64_t argument) {
    Send({"cb", kind, HandleText(handle), std::to_string(argument)});
    const Frame answer = Serve(true);
    return answer.size() > 1 ? static_cast<int32_t>(std::strtol(answer[1].c_str(), nullptr, 10)) : 0;
}

int32_t TALLYX_CALL OnProgress(TallyxHandle handle, uint32_t step) { return CallBack("progress", handle, step); }
int32_t TALLYX_CALL OnPrompt(TallyxHandle handle, int32_t reason) { return CallBack("prompt", handle, reason); }

// The caller's buffer, as large as the caller said (null when the caller gave none). It starts
// filled with a byte the library never writes, so that what the library wrote, and only that,
// goes back: every byte up to the last one that changed.
constexpr char kUnwritten = '\x01';

// A caller's size beyond any text the library holds (as a caller that passes ~0 says) becomes a
// buffer of 16 MiB here: what the library writes into it is the same.
constexpr uint32_t kLargestBuffer = 16u << 20;

struct CallerBuffer {
    CallerBuffer(const Frame& call, size_t at)
        : size(std::min<uint32_t>(static_cast<uint32_t>(std::strtoul(call.at(at).c_str(), nullptr, 10)), kLargestBuffer)),
          present(call.at(at + 1) == "1"),
          bytes(present ? size : 0, kUnwritten) {}
    char* Data() { return present ? bytes.data() : nullptr; }
    std::string Written() const {
        size_t length = bytes.size();
        while (length > 0 && bytes[length - 1] == kUnwritten) --length;
        return std::string(bytes.data(), length);
    }
    uint32_t size;
    bool present;
    std::vector<char> bytes;
};

Frame Answer(int32_t code, std::string text = {}) { return {"ret", std::to_string(code), std::move(text)}; }

Frame Dispatch(const Frame& call) {
    const std::string& name = call[0];
    if (name == "Init") return {"ret", HandleText(Init())};
    const TallyxHandle handle = HandleOf(call.at(1));
    if (name == "Term") return Answer(Term(handle));
    if (name == "ReadDevice") return Answer(ReadDevice(handle));
    if (name == "WriteDevice") return Answer(WriteDevice(handle));
    if (name == "SetProgressCallback") return Answer(SetProgressCallback(handle, call.at(2) == "1" ? OnProgress : nullptr));
    if (name == "SetPromptCallback") return Answer(SetPromptCallback(handle, call.at(2) == "1" ? OnPrompt : nullptr));
    if (name == "SetProperty") return Answer(SetProperty(handle, Text(call, 2), Text(call, 4)));
    if (name == "GetProperty") {
        CallerBuffer buffer(call, 4);
        const int32_t code = GetProperty(handle, Text(call, 2), buffer.Data(), buffer.size);
        return Answer(code, buffer.Written());
    }
    if (name == "GetFirstValue") {
        CallerBuffer buffer(call, 6);
        const int32_t code = GetFirstValue(handle, Text(call, 2), Text(call, 4), buffer.Data(), buffer.size);
        return Answer(code, buffer.Written());
    }
    if (name == "GetNextValue") {
        CallerBuffer buffer(call, 2);
        const int32_t code = GetNextValue(handle, buffer.Data(), buffer.size);
        return Answer(code, buffer.Written());
    }
    return Answer(-9999);  // no such export
}

// Serves calls until the input ends (the test program is done) or, inside a callback, until
// the callback's answer arrives.
Frame Serve(bool untilAnswer) {
    Frame frame;
    while (tallyx::wine::DecodeFrame(ReadExactly, &frame)) {
        if (frame.empty()) continue;
        if (frame[0] == "ret") {
            if (untilAnswer) return frame;
            continue;
        }
        try {
            Send(Dispatch(frame));
        } catch (const std::exception& error) {
            std::fprintf(stderr, "dll_server: %s: %s\n", frame[0].c_str(), error.what());
            std::exit(2);
        }
    }
    std::exit(0);
}

// Writes straight to the error output: a crash may have left the C library's locks held.
void Report(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// Where an address lies: its module and the offset in it (for addr2line), or nothing.
bool PrintPlace(const char* what, DWORD_PTR address) {
    HMODULE module = nullptr;
    if (address < 0x10000) return false;  // no module lies that low; a small number is no address
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(address), &module)) {
        return false;
    }
    char name[MAX_PATH] = "?";
    GetModuleFileNameA(module, name, sizeof name);
    char line[MAX_PATH + 64];
    std::snprintf(line, sizeof line, "  %s %s+0x%llx\n", what, name,
                  static_cast<unsigned long long>(address - reinterpret_cast<DWORD_PTR>(module)));
    Report(line);
    return true;
}

// A crash is reported with the place it happened and every address on the stack above it that
// lies in a module (the likely return addresses), and ends the server at once: the test side
// then sees the end of its pipe instead of waiting for a debugger.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* crash) {
    char line[128];
    std::snprintf(line, sizeof line, "dll_server: exception 0x%08lx reading or writing %p\n",
                  static_cast<unsigned long>(crash->ExceptionRecord->ExceptionCode),
                  crash->ExceptionRecord->NumberParameters > 1
                      ? reinterpret_cast<void*>(crash->ExceptionRecord->ExceptionInformation[1])
                      : nullptr);
    Report(line);
#ifdef _WIN64
    PrintPlace("at", crash->ContextRecord->Rip);
    auto* slot = reinterpret_cast<const DWORD_PTR*>(crash->ContextRecord->Rsp);
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(slot, &region, sizeof region) != 0) {
        const auto* end = reinterpret_cast<const DWORD_PTR*>(static_cast<const char*>(region.BaseAddress) +
                                                              region.RegionSize);
        for (int printed = 0; slot < end && printed < 24; ++slot) {
            if (PrintPlace("from?", *slot)) ++printed;
        }
    }
#endif
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main() {
    SetUnhandledExceptionFilter(ReportCrash);
    _setmode(_fileno(stdin), _O_BINARY);
    const int frames = _dup(_fileno(stdout));
    _setmode(frames, _O_BINARY);
    g_frames = _fdopen(frames, "wb");
    if (g_frames == nullptr) return 1;
    _dup2(_fileno(stderr), _fileno(stdout));
    Serve(false);
    return 0;
}
