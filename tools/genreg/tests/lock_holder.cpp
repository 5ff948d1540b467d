// A test helper of the genreg command's cases: holds the update lock of a
// registry file while it runs the command, so that a case can see how an
// edit behaves when the lock is taken.
//
//   genreg_lock_holder FILE UNTIL PROGRAM [ARGS...]
//
// Takes the update lock of FILE (through the library, as every editor
// does), starts PROGRAM with ARGS, copies what PROGRAM writes to standard
// error to its own, and gives the lock up when UNTIL says:
//   first-line  as soon as PROGRAM has written one whole line to standard
//               error (a waiting edit says that it waits), or ended
//   exit        once PROGRAM has ended
// Exits with PROGRAM's exit status; 90 when the lock cannot be taken or
// PROGRAM cannot be started, 91 on wrong usage.
#include <genreg/rc.h>
#include <genreg/varval.h>

#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

// A started program whose standard error comes through a pipe.
struct Child {
#ifdef _WIN32
    HANDLE process = nullptr;
    HANDLE errors = nullptr;
#else
    pid_t pid = 0;
    int errors = -1;
#endif
};

#ifdef _WIN32
bool start(char** argv, Child* child) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::string line;
    for (char** arg = argv; *arg; ++arg)
        line += (line.empty() ? "\"" : " \"") + std::string(*arg) + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION info = {};
    BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &info);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return false;
    }
    CloseHandle(info.hThread);
    child->process = info.hProcess;
    child->errors = readEnd;
    return true;
}

long readErrors(Child* child, char* buffer, size_t size) {
    DWORD got = 0;
    if (!ReadFile(child->errors, buffer, (DWORD)size, &got, nullptr)) return 0;
    return (long)got;
}

int finish(Child* child) {
    CloseHandle(child->errors);
    WaitForSingleObject(child->process, INFINITE);
    DWORD code = 90;
    GetExitCodeProcess(child->process, &code);
    CloseHandle(child->process);
    return (int)code;
}
#else
bool start(char** argv, Child* child) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    posix_spawn_file_actions_addclose(&actions, ends[1]);
    int failed = posix_spawn(&child->pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    if (failed != 0) {
        close(ends[0]);
        return false;
    }
    child->errors = ends[0];
    return true;
}

long readErrors(Child* child, char* buffer, size_t size) {
    ssize_t got = read(child->errors, buffer, size);
    return got > 0 ? (long)got : 0;
}

int finish(Child* child) {
    close(child->errors);
    int status = 0;
    if (waitpid(child->pid, &status, 0) != child->pid) return 90;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 90;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 ||
        (std::strcmp(argv[2], "first-line") != 0 && std::strcmp(argv[2], "exit") != 0)) {
        std::fprintf(stderr, "usage: genreg_lock_holder FILE first-line|exit PROGRAM [ARGS...]\n");
        return 91;
    }
    const bool untilFirstLine = std::strcmp(argv[2], "first-line") == 0;
    unsigned rc = 0;
    GenRegVarVal file(argv[1], &rc);
    if (rc == 0) rc = file.LockForUpdate(GENREG_WAIT_NONE);
    if (rc != 0) {
        std::fprintf(stderr, "genreg_lock_holder: cannot lock %s: %s\n", argv[1], genregRcName(rc));
        return 90;
    }
    Child child;
    if (!start(argv + 3, &child)) {
        std::fprintf(stderr, "genreg_lock_holder: cannot start %s\n", argv[3]);
        return 90;
    }
    char buffer[512];
    long got;
    while ((got = readErrors(&child, buffer, sizeof buffer)) > 0) {
        std::fwrite(buffer, 1, (size_t)got, stderr);
        std::fflush(stderr);
        if (untilFirstLine && std::memchr(buffer, '\n', (size_t)got)) file.UnlockForUpdate();
    }
    file.UnlockForUpdate();
    return finish(&child);
}
