// Child processes on POSIX: fork and execve of /proc/self/exe.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>

#include "platform/oss.h"
#include "platform/oss_sys.h"
#include "platform/process.h"

extern char** environ;

namespace {

// True when entry ("NAME=value") sets the variable named in other.
bool sameName(const char* entry, const char* other) {
    const char* equal = std::strchr(entry, '=');
    size_t length = equal ? (size_t)(equal - entry) : std::strlen(entry);
    return std::strncmp(entry, other, length) == 0 && other[length] == '=';
}

}  // namespace

unsigned ossExecutablePath(char* out, size_t size) {
    if (!out || size == 0) return OSS_RC_BAD_ARGUMENT;
    ssize_t length = ::readlink("/proc/self/exe", out, size);
    if (length < 0) return ossSysFail(OSS_FID_PROCESS, 1, "readlink /proc/self/exe", nullptr);
    if ((size_t)length >= size) {
        out[0] = '\0';
        return OSS_RC_BUFFER_TOO_SMALL;
    }
    out[length] = '\0';
    return 0;
}

unsigned ossProcessSpawnSelf(const char* const* args, size_t argCount, const char* const* env,
                             size_t envCount, OSSProcess* process) {
    if (!process || (argCount && !args) || (envCount && !env)) return OSS_RC_BAD_ARGUMENT;
    process->id = 0;
    process->handle = -1;
    char path[4096];
    unsigned rc = ossExecutablePath(path, sizeof path);
    if (rc != 0) return rc;

    // Everything the child needs is built before fork(): between fork and
    // exec only async-signal-safe calls are allowed. Plain arrays, so that no
    // container template is instantiated (and exported) by the library.
    size_t inherited = 0;
    while (environ[inherited])
        ++inherited;
    char** argv = (char**)std::calloc(argCount + 2, sizeof(char*));
    char** envp = (char**)std::calloc(inherited + envCount + 1, sizeof(char*));
    if (!argv || !envp) {
        std::free(argv);
        std::free(envp);
        return OSS_RC_NO_MEMORY;
    }
    argv[0] = path;
    for (size_t i = 0; i < argCount; ++i)
        argv[i + 1] = const_cast<char*>(args[i]);
    size_t used = 0;
    for (size_t e = 0; e < inherited; ++e) {
        bool overridden = false;
        for (size_t i = 0; i < envCount && !overridden; ++i)
            overridden = sameName(environ[e], env[i]);
        if (!overridden) envp[used++] = environ[e];
    }
    for (size_t i = 0; i < envCount; ++i)
        envp[used++] = const_cast<char*>(env[i]);

    pid_t pid = ::fork();
    if (pid == 0) {
        ::execve(path, argv, envp);
        ::_exit(127);
    }
    if (pid < 0) rc = ossSysFail(OSS_FID_PROCESS, 2, "fork", path);
    std::free(argv);
    std::free(envp);
    if (rc == 0) process->id = pid;
    return rc;
}

unsigned ossProcessWait(OSSProcess* process, int* exitCode) {
    if (!process || process->id <= 0 || !exitCode) return OSS_RC_BAD_ARGUMENT;
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid((pid_t)process->id, &status, 0);
    } while (result < 0 && errno == EINTR);
    if (result < 0) return ossSysFail(OSS_FID_PROCESS, 3, "waitpid", nullptr);
    process->id = 0;
    if (WIFEXITED(status))
        *exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        *exitCode = 128 + WTERMSIG(status);
    else
        *exitCode = -1;
    return 0;
}

unsigned ossProcessKill(OSSProcess* process) {
    if (!process || process->id <= 0) return OSS_RC_BAD_ARGUMENT;
    if (::kill((pid_t)process->id, SIGKILL) != 0)
        return ossSysFail(OSS_FID_PROCESS, 4, "kill", nullptr);
    return 0;
}
