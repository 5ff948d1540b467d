// Starting, waiting for and killing copies of the running program, for
// tests that need a second process (a lock holder, a crash in the middle
// of an update) and for tools.
//
// A typical multi-process test re-runs the test binary on one child test:
//
//   const char* args[] = {"--gtest_filter=Locks.HolderChild"};
//   const char* env[] = {"GENREG_TEST_DIR=/tmp/x", "GENREG_TEST_ROLE=holder"};
//   OSSProcess child;
//   ASSERT_EQ(0u, ossProcessSpawnSelf(args, 1, env, 2, &child));
//   ... synchronise through files in the test directory ...
//   int exitCode = -1;
//   ASSERT_EQ(0u, ossProcessWait(&child, &exitCode));
//
// and the child test returns at once (GTEST_SKIP) unless its environment
// variable says it is the child.
#ifndef GENREG_PLATFORM_PROCESS_H
#define GENREG_PLATFORM_PROCESS_H

#include <cstddef>
#include <cstdint>

// A started child. Waiting (or killing and then waiting) releases it.
struct OSSProcess {
    int64_t id;       // process id; 0 when no child
    intptr_t handle;  // Windows process handle; unused (-1) on POSIX
};

// Starts the running executable with args (argv[1..]) and, on top of the
// inherited environment, the "NAME=value" entries of env. The child
// inherits no file handles besides standard input, output and error.
unsigned ossProcessSpawnSelf(const char* const* args, size_t argCount, const char* const* env,
                             size_t envCount, OSSProcess* process);
// Waits for the child to end. *exitCode is its exit status; a child killed
// by a signal (POSIX) reports 128 + the signal number.
unsigned ossProcessWait(OSSProcess* process, int* exitCode);
// Ends the child at once, without letting it clean up (SIGKILL,
// TerminateProcess). Wait for it afterwards.
unsigned ossProcessKill(OSSProcess* process);
// Full path of the running executable.
unsigned ossExecutablePath(char* out, size_t size);

#endif
