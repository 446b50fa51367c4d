/*
 * tallyx.dll as a Windows program meets it: loaded with LoadLibraryA, its functions bound by
 * ordinal with GetProcAddress. Checks that each ordinal is the function of the exported
 * interface (a property set through 8 reads back through 7; a read of a port that is not there
 * fails through 3 with RETCODE_ERR_CANTOPENPORT after calling the prompt callback through 6;
 * an empty context walks no values through 9 and 10; 4 refuses a freed handle), and that the
 * library's log names the version of its own version resource, with CR LF line ends.
 *   dll_ordinals_check.exe DLL_PATH LOG_FOLDER
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <tallyx/tallyx.h>

typedef TallyxHandle(TALLYX_CALL* InitFn)(void);
typedef int32_t(TALLYX_CALL* HandleFn)(TallyxHandle);
typedef int32_t(TALLYX_CALL* SetPromptFn)(TallyxHandle, PromptCallback);
typedef int32_t(TALLYX_CALL* GetPropertyFn)(TallyxHandle, const char*, char*, uint32_t);
typedef int32_t(TALLYX_CALL* SetPropertyFn)(TallyxHandle, const char*, const char*);
typedef int32_t(TALLYX_CALL* GetFirstFn)(TallyxHandle, const char*, const char*, char*, uint32_t);
typedef int32_t(TALLYX_CALL* GetNextFn)(TallyxHandle, char*, uint32_t);

static int failures = 0;
static int prompts = 0;

static void Check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

static int32_t TALLYX_CALL CountPrompt(TallyxHandle handle, int32_t reason) {
    (void)handle;
    (void)reason;
    ++prompts;
    return 0;
}

static FARPROC Ordinal(HMODULE module, WORD ordinal) {
    FARPROC function = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    if (function == NULL) {
        fprintf(stderr, "FAILED: no function with ordinal %u\n", (unsigned)ordinal);
        ExitProcess(1);
    }
    return function;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: dll_ordinals_check DLL_PATH LOG_FOLDER\n");
        return 2;
    }
    HMODULE module = LoadLibraryA(argv[1]);
    if (module == NULL) {
        fprintf(stderr, "FAILED: %s cannot be loaded (%lu)\n", argv[1], (unsigned long)GetLastError());
        return 1;
    }
    /* Function pointers of different types: the cast goes through a plain pointer. */
    InitFn init = (InitFn)(void*)Ordinal(module, 1);
    HandleFn term = (HandleFn)(void*)Ordinal(module, 2);
    HandleFn readDevice = (HandleFn)(void*)Ordinal(module, 3);
    HandleFn writeDevice = (HandleFn)(void*)Ordinal(module, 4);
    SetPromptFn setPrompt = (SetPromptFn)(void*)Ordinal(module, 6);
    GetPropertyFn getProperty = (GetPropertyFn)(void*)Ordinal(module, 7);
    SetPropertyFn setProperty = (SetPropertyFn)(void*)Ordinal(module, 8);
    GetFirstFn getFirst = (GetFirstFn)(void*)Ordinal(module, 9);
    GetNextFn getNext = (GetNextFn)(void*)Ordinal(module, 10);
    Check(Ordinal(module, 5) == GetProcAddress(module, "SetProgressCallback"), "ordinal 5 is SetProgressCallback");

    TallyxHandle handle = init();
    Check(handle != NULL, "Init gives a handle");
    char value[1024];
    Check(setProperty(handle, PROPERTY_COMM_PORT, "299") == RETCODE_OK, "SetProperty");
    Check(getProperty(handle, PROPERTY_COMM_PORT, value, sizeof value) == RETCODE_OK && strcmp(value, "299") == 0,
          "GetProperty reads back what SetProperty stored");
    Check(setProperty(handle, PROPERTY_COMM_LOGFOLDER, argv[2]) == RETCODE_OK, "the log folder is set");
    Check(setPrompt(handle, CountPrompt) == RETCODE_OK, "SetPromptCallback");
    Check(getFirst(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, value, sizeof value) == RETCODE_NOMOREVALUES,
          "GetFirstValue finds nothing before a read");
    Check(getNext(handle, value, sizeof value) == RETCODE_NOMOREVALUES, "GetNextValue finds nothing before a read");
    Check(readDevice(handle) == RETCODE_ERR_CANTOPENPORT, "ReadDevice of COM299 cannot open the port");
    Check(prompts == 2, "the prompt callback is called on connecting and disconnecting");
    Check(term(handle) == RETCODE_OK, "Term");
    Check(writeDevice(handle) == RETCODE_ERR_INVALIDHANDLE, "WriteDevice refuses a freed handle");

    /* The message log of today names the library's version from its version resource. */
    SYSTEMTIME now;
    GetLocalTime(&now);
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\tallyx_%04u-%02u-%02u.log", argv[2], now.wYear, now.wMonth, now.wDay);
    FILE* log = fopen(path, "rb");
    Check(log != NULL, "the message log is written");
    if (log != NULL) {
        static char text[65536];
        size_t length = fread(text, 1, sizeof text - 1, log);
        text[length] = '\0';
        fclose(log);
        Check(strstr(text, "*** tallyx v." TALLYX_EXPECTED_VERSION " ***] \r\n") != NULL,
              "the banner names the version resource's product and file version");
        Check(strstr(text, "Failed to open port COM299. ErrorCode=2.") != NULL,
              "the port's Win32 error number reaches the log");
    }
    FreeLibrary(module);
    if (failures == 0) printf("tallyx.dll: ten ordinals bound and working\n");
    return failures == 0 ? 0 : 1;
}
