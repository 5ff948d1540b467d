// Child processes on Windows: CreateProcessA of the running executable.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/oss.h"
#include "platform/oss_sys.h"
#include "platform/process.h"

namespace {

// Exit code given to a killed child: the 128 + SIGKILL a POSIX shell shows,
// so that callers see the same value on both platforms.
constexpr UINT kKilledExitCode = 137;

// A growing text buffer on malloc (no container templates in the library).
struct Text {
    char* data;
    size_t used;
    size_t size;
};

bool append(Text* text, const char* bytes, size_t length) {
    if (text->used + length + 1 > text->size) {
        size_t size = (text->size ? text->size * 2 : 1024) + length;
        char* grown = (char*)std::realloc(text->data, size);
        if (!grown) return false;
        text->data = grown;
        text->size = size;
    }
    std::memcpy(text->data + text->used, bytes, length);
    text->used += length;
    text->data[text->used] = '\0';
    return true;
}

// Appends one argument quoted so that the child's runtime splits it back
// exactly: backslashes are literal except before a double quote.
bool appendArgument(Text* line, const char* argument) {
    bool ok = line->used == 0 || append(line, " ", 1);
    ok = ok && append(line, "\"", 1);
    for (const char* p = argument; ok && *p; ++p) {
        size_t backslashes = 0;
        while (p[backslashes] == '\\')
            ++backslashes;
        if (p[backslashes] == '"' || p[backslashes] == '\0') {
            // Doubled before a quote (ours or the argument's).
            for (size_t i = 0; ok && i < backslashes * 2; ++i)
                ok = append(line, "\\", 1);
            p += backslashes;
            if (*p == '\0') break;
            ok = ok && append(line, "\\\"", 2);
        } else {
            for (size_t i = 0; ok && i < backslashes; ++i)
                ok = append(line, "\\", 1);
            p += backslashes;
            ok = ok && append(line, p, 1);
        }
    }
    return ok && append(line, "\"", 1);
}

// True when entry ("NAME=value") sets the variable named in other. Windows
// variable names do not depend on case.
bool sameName(const char* entry, const char* other) {
    const char* equal = std::strchr(entry + 1, '=');  // "=C:=C:\\dir" entries
    size_t length = equal ? (size_t)(equal - entry) : std::strlen(entry);
    return _strnicmp(entry, other, length) == 0 && other[length] == '=';
}

// The inherited environment with env's entries replacing or added.
bool buildEnvironment(const char* const* env, size_t envCount, Text* block) {
    char* inherited = GetEnvironmentStringsA();
    if (!inherited) return false;
    bool ok = true;
    for (const char* entry = inherited; ok && *entry; entry += std::strlen(entry) + 1) {
        bool overridden = false;
        for (size_t i = 0; i < envCount && !overridden; ++i)
            overridden = sameName(entry, env[i]);
        if (!overridden) ok = append(block, entry, std::strlen(entry) + 1);
    }
    FreeEnvironmentStringsA(inherited);
    for (size_t i = 0; ok && i < envCount; ++i)
        ok = append(block, env[i], std::strlen(env[i]) + 1);
    return ok && append(block, "", 1);  // the block ends with an empty entry
}

}  // namespace

unsigned ossExecutablePath(char* out, size_t size) {
    if (!out || size == 0) return OSS_RC_BAD_ARGUMENT;
    DWORD length = GetModuleFileNameA(nullptr, out, (DWORD)size);
    if (length == 0) return ossSysFail(OSS_FID_PROCESS, 1, "GetModuleFileNameA", nullptr);
    if (length >= size) {
        out[0] = '\0';
        return OSS_RC_BUFFER_TOO_SMALL;
    }
    return 0;
}

unsigned ossProcessSpawnSelf(const char* const* args, size_t argCount, const char* const* env,
                             size_t envCount, OSSProcess* process) {
    if (!process || (argCount && !args) || (envCount && !env)) return OSS_RC_BAD_ARGUMENT;
    process->id = 0;
    process->handle = -1;
    char path[MAX_PATH];
    unsigned rc = ossExecutablePath(path, sizeof path);
    if (rc != 0) return rc;
    Text line = {nullptr, 0, 0};
    Text block = {nullptr, 0, 0};
    bool ok = appendArgument(&line, path);
    for (size_t i = 0; ok && i < argCount; ++i)
        ok = appendArgument(&line, args[i]);
    ok = ok && buildEnvironment(env, envCount, &block);
    if (!ok) {
        rc = OSS_RC_NO_MEMORY;
    } else {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        // No handle inheritance: a child must not keep a parent's file or lock.
        if (CreateProcessA(path, line.data, nullptr, nullptr, FALSE, 0, block.data, nullptr,
                           &startup, &info)) {
            CloseHandle(info.hThread);
            process->id = info.dwProcessId;
            process->handle = (intptr_t)info.hProcess;
        } else {
            rc = ossSysFail(OSS_FID_PROCESS, 2, "CreateProcessA", path);
        }
    }
    std::free(line.data);
    std::free(block.data);
    return rc;
}

unsigned ossProcessWait(OSSProcess* process, int* exitCode) {
    if (!process || process->handle == -1 || !exitCode) return OSS_RC_BAD_ARGUMENT;
    HANDLE child = (HANDLE)process->handle;
    DWORD code = 0;
    if (WaitForSingleObject(child, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(child, &code))
        return ossSysFail(OSS_FID_PROCESS, 3, "WaitForSingleObject", nullptr);
    CloseHandle(child);
    process->handle = -1;
    process->id = 0;
    *exitCode = (int)code;
    return 0;
}

unsigned ossProcessKill(OSSProcess* process) {
    if (!process || process->handle == -1) return OSS_RC_BAD_ARGUMENT;
    if (!TerminateProcess((HANDLE)process->handle, kKilledExitCode))
        return ossSysFail(OSS_FID_PROCESS, 4, "TerminateProcess", nullptr);
    return 0;
}
