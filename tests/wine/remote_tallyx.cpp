// The library's ten exports for a test program on Linux, carried out by tallyx.dll under Wine:
// each call goes as a frame to the DLL server (a Windows program started once, at the first
// call, with `wine`) and its answer comes back the same way. The end-to-end tests linked with
// this file instead of the Linux library run unchanged against the Windows build.
//
// TALLYX_DLL_SERVER names the server program (next to tallyx.dll); TALLYX_WINE the Wine
// loader (default "wine"). Calls from several threads are carried out one at a time.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include <tallyx/tallyx.h>

#include "wine/call_frames.h"

namespace tallyx::wine {
namespace {

class DllServer {
public:
    static DllServer& Get() {
        static DllServer server;
        return server;
    }

    // Sends a call and waits for its answer, carrying out the library's callbacks meanwhile.
    Frame Call(const Frame& call) {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        Start();
        Send(call);
        for (;;) {
            Frame frame;
            if (!DecodeFrame([this](char* buffer, size_t size) { return ReadExactly(buffer, size); }, &frame) ||
                frame.empty()) {
                int status = 0;
                const bool ended = waitpid(pid_, &status, 0) == pid_;
                std::fprintf(stderr, "remote_tallyx: the DLL server %s during %s (status %d)\n",
                             ended ? "ended" : "sent no frame", call[0].c_str(),
                             ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
                std::abort();
            }
            if (frame[0] == "ret") return frame;
            if (frame[0] == "cb" && frame.size() >= 4) Send({"ret", std::to_string(RunCallback(frame))});
        }
    }

    void SetCallback(const std::string& kind, TallyxHandle handle, void* callback) {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        callbacks_[{kind, handle}] = callback;
    }

    ~DllServer() {
        if (pid_ <= 0) return;
        close(toServer_);
        close(fromServer_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }

private:
    void Start() {
        if (pid_ > 0) return;
        const char* server = std::getenv("TALLYX_DLL_SERVER");
        const char* wine = std::getenv("TALLYX_WINE");
        if (server == nullptr) {
            std::fprintf(stderr, "remote_tallyx: TALLYX_DLL_SERVER names no DLL server\n");
            std::abort();
        }
        int down[2];
        int up[2];
        if (pipe(down) != 0 || pipe(up) != 0) std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            dup2(down[0], 0);
            dup2(up[1], 1);
            close(down[0]);
            close(down[1]);
            close(up[0]);
            close(up[1]);
            const char* loader = wine != nullptr ? wine : "wine";
            execlp(loader, loader, server, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(down[0]);
        close(up[1]);
        toServer_ = down[1];
        fromServer_ = up[0];
    }

    void Send(const Frame& frame) {
        const std::string bytes = EncodeFrame(frame);
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(toServer_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                std::fprintf(stderr, "remote_tallyx: the DLL server is gone\n");
                std::abort();
            }
            done += static_cast<size_t>(n);
        }
    }

    bool ReadExactly(char* buffer, size_t size) {
        for (size_t done = 0; done < size;) {
            const ssize_t n = read(fromServer_, buffer + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    int32_t RunCallback(const Frame& frame) {
        const auto handle = reinterpret_cast<TallyxHandle>(
            static_cast<uintptr_t>(std::strtoull(frame[2].c_str(), nullptr, 10)));
        const long long argument = std::strtoll(frame[3].c_str(), nullptr, 10);
        const auto found = callbacks_.find({frame[1], handle});
        if (found == callbacks_.end() || found->second == nullptr) return 0;
        if (frame[1] == "progress") {
            return reinterpret_cast<ProgressCallback>(found->second)(handle, static_cast<uint32_t>(argument));
        }
        return reinterpret_cast<PromptCallback>(found->second)(handle, static_cast<int32_t>(argument));
    }

    std::recursive_mutex mutex_;
    pid_t pid_ = 0;
    int toServer_ = -1;
    int fromServer_ = -1;
    std::map<std::pair<std::string, TallyxHandle>, void*> callbacks_;
};

std::string HandleText(TallyxHandle handle) {
    return std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
}

// A string argument that may be null, as its presence flag and its text. A log folder given
// as a Linux path is handed to Wine as the same path on drive Z:, which Wine maps to /.
void AddText(Frame& call, const char* text, bool isFolder = false) {
    call.push_back(text != nullptr ? "1" : "0");
    std::string value = text != nullptr ? text : "";
    if (isFolder && !value.empty() && value[0] == '/') {
        for (char& c : value) c = c == '/' ? '\\' : c;
        value = "Z:" + value;
    }
    call.push_back(value);
}

void AddBuffer(Frame& call, const char* buffer, uint32_t size) {
    call.push_back(std::to_string(size));
    call.push_back(buffer != nullptr ? "1" : "0");
}

// The code of an answer; the bytes the library wrote (its text and terminator) into the buffer.
int32_t Result(const Frame& answer, char* buffer, uint32_t size) {
    const int32_t code = static_cast<int32_t>(std::strtol(answer.at(1).c_str(), nullptr, 10));
    if (buffer != nullptr && answer.size() > 2) {
        const std::string& written = answer[2];
        std::memcpy(buffer, written.data(), written.size() < size ? written.size() : size);
    }
    return code;
}

int32_t Simple(const char* name, TallyxHandle handle) {
    return Result(DllServer::Get().Call({name, HandleText(handle)}), nullptr, 0);
}

}  // namespace
}  // namespace tallyx::wine

using tallyx::wine::AddBuffer;
using tallyx::wine::AddText;
using tallyx::wine::DllServer;
using tallyx::wine::Frame;
using tallyx::wine::HandleText;
using tallyx::wine::Result;

TallyxHandle Init(void) {
    const Frame answer = DllServer::Get().Call({"Init"});
    return reinterpret_cast<TallyxHandle>(static_cast<uintptr_t>(std::strtoull(answer.at(1).c_str(), nullptr, 10)));
}

int32_t Term(TallyxHandle handle) { return tallyx::wine::Simple("Term", handle); }
int32_t ReadDevice(TallyxHandle handle) { return tallyx::wine::Simple("ReadDevice", handle); }
int32_t WriteDevice(TallyxHandle handle) { return tallyx::wine::Simple("WriteDevice", handle); }

int32_t SetProgressCallback(TallyxHandle handle, ProgressCallback callback) {
    DllServer::Get().SetCallback("progress", handle, reinterpret_cast<void*>(callback));
    return Result(DllServer::Get().Call({"SetProgressCallback", HandleText(handle), callback ? "1" : "0"}), nullptr, 0);
}

int32_t SetPromptCallback(TallyxHandle handle, PromptCallback callback) {
    DllServer::Get().SetCallback("prompt", handle, reinterpret_cast<void*>(callback));
    return Result(DllServer::Get().Call({"SetPromptCallback", HandleText(handle), callback ? "1" : "0"}), nullptr, 0);
}

int32_t GetProperty(TallyxHandle handle, const char* name, char* buffer, uint32_t bufferSize) {
    Frame call{"GetProperty", HandleText(handle)};
    AddText(call, name);
    AddBuffer(call, buffer, bufferSize);
    return Result(DllServer::Get().Call(call), buffer, bufferSize);
}

int32_t SetProperty(TallyxHandle handle, const char* name, const char* value) {
    Frame call{"SetProperty", HandleText(handle)};
    AddText(call, name);
    AddText(call, value, name != nullptr && std::strcmp(name, PROPERTY_COMM_LOGFOLDER) == 0);
    return Result(DllServer::Get().Call(call), nullptr, 0);
}

int32_t GetFirstValue(TallyxHandle handle, const char* dataType, const char* format, char* buffer,
                      uint32_t bufferSize) {
    Frame call{"GetFirstValue", HandleText(handle)};
    AddText(call, dataType);
    AddText(call, format);
    AddBuffer(call, buffer, bufferSize);
    return Result(DllServer::Get().Call(call), buffer, bufferSize);
}

int32_t GetNextValue(TallyxHandle handle, char* buffer, uint32_t bufferSize) {
    Frame call{"GetNextValue", HandleText(handle)};
    AddBuffer(call, buffer, bufferSize);
    return Result(DllServer::Get().Call(call), buffer, bufferSize);
}
