// The process helpers, and what children see of their parent: arguments,
// environment, exit codes, the diagnostics switched on from the
// environment, and log lines of concurrent processes.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "platform/oss.h"
#include "platform/process.h"
#include "platform_support.h"

using namespace platform_test;

namespace {

// Runs PlatformProcessChild.Run in role with extra environment entries and
// returns its exit code (-1 when it could not be started or waited for).
int runChild(const std::string& role, const std::string& dir,
             const std::vector<std::string>& extraArgs = {},
             const std::vector<std::string>& extraEnv = {}) {
    std::vector<std::string> args = {"--gtest_filter=PlatformProcessChild.Run"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<std::string> env = {std::string(kRoleVariable) + "=" + role,
                                    std::string(kDirVariable) + "=" + dir};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<const char*> argv, envp;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    for (const std::string& e : env)
        envp.push_back(e.c_str());
    OSSProcess child;
    if (ossProcessSpawnSelf(argv.data(), argv.size(), envp.data(), envp.size(), &child) != 0)
        return -1;
    int exitCode = -1;
    if (ossProcessWait(&child, &exitCode) != 0) return -1;
    return exitCode;
}

const char* kOddArgument = "with space \"quoted\" back\\slash\\ end\\";
const char* kLogLinesPerChild = "300";

}  // namespace

// The child side of the tests below; each role checks what it was given
// or writes what the parent inspects, and fails (exit 1) otherwise.
TEST(PlatformProcessChild, Run) {
    std::string role = childRole();
    if (role.empty()) GTEST_SKIP() << "runs only as a child of the process tests";
    std::string dir = childDir();
    std::string sep(1, ossPathSeparator());
    if (role == "arguments") {
        const std::vector<std::string>& argv = testing::internal::GetArgvs();
        ASSERT_GE(argv.size(), 2u);
        EXPECT_EQ(kOddArgument, argv.back());
        const char* value = std::getenv("GENREG_PLATFORM_VALUE");
        ASSERT_NE(nullptr, value);
        EXPECT_STREQ("a=b \"c\" \\d", value);
    } else if (role == "exit-code") {
        std::exit(42);
    } else if (role == "trace-from-environment") {
        ASSERT_NE(nullptr, g_pGTCB) << "GENREG_TRACE_FILE was not read at load";
        EXPECT_NE(0u, g_pGTCB->active);
        EXPECT_EQ(OSS_RC_FILE_NOT_FOUND, ossFileDelete((dir + sep + "missing").c_str()));
    } else if (role == "log-from-environment") {
        ossLog(0x082A0077, 9, 0x90000001u, OSS_SEVERITY_ERROR, "from the child");
    } else if (role == "logger") {
        int lines = std::atoi(kLogLinesPerChild);
        std::string padding(200, 'x');
        for (int i = 0; i < lines; ++i)
            ossLog(0x082A0078, (uint32_t)i, 0x90000001u, OSS_SEVERITY_ERROR, "%s", padding.c_str());
    } else {
        FAIL() << "unknown role " << role;
    }
}

TEST(PlatformProcess, ChildGetsArgumentsAndEnvironmentUnchanged) {
    ScratchDir dir;
    EXPECT_EQ(0, runChild("arguments", dir.path(), {kOddArgument},
                          {"GENREG_PLATFORM_VALUE=a=b \"c\" \\d"}));
}

TEST(PlatformProcess, ExitCodeReachesTheParent) {
    ScratchDir dir;
    EXPECT_EQ(42, runChild("exit-code", dir.path()));
}

TEST(PlatformProcess, ExecutablePathNamesAnExistingFile) {
    char path[4096];
    ASSERT_EQ(0u, ossExecutablePath(path, sizeof path));
    EXPECT_TRUE(ossIsFile(path)) << path;
    char tiny[4];
    EXPECT_EQ(OSS_RC_BUFFER_TOO_SMALL, ossExecutablePath(tiny, sizeof tiny));
}

TEST(PlatformProcess, TraceFileFromTheEnvironmentIsActiveFromTheStart) {
    ScratchDir dir;
    std::string trace = dir.file("trace.txt");
    ASSERT_EQ(0,
              runChild("trace-from-environment", dir.path(), {}, {"GENREG_TRACE_FILE=" + trace}));
    std::string text = readFile(trace);
    EXPECT_NE(std::string::npos, text.find("ENTER func=0x082a0206")) << text;
    EXPECT_NE(std::string::npos, text.find("(OSS_RC_FILE_NOT_FOUND)")) << text;
}

TEST(PlatformProcess, LogFileFromTheEnvironmentIsOpenedOnFirstUse) {
    ScratchDir dir;
    std::string log = dir.file("log.txt");
    ASSERT_EQ(0, runChild("log-from-environment", dir.path(), {}, {"GENREG_LOG_FILE=" + log}));
    std::string text = readFile(log);
    EXPECT_NE(std::string::npos, text.find("func=0x082a0077 probe=9 rc=0x90000001(OSS_RC_FAILED)"))
        << text;
    EXPECT_NE(std::string::npos, text.find("data: from the child")) << text;
}

// Two processes log to one file at the same time: every line must arrive
// whole, none mixed with another.
TEST(PlatformProcess, ConcurrentProcessesNeverInterleaveWithinALine) {
    ScratchDir dir;
    std::string log = dir.file("log.txt");
    std::string logEntry = "GENREG_LOG_FILE=" + log;
    std::string roleEntry = std::string(kRoleVariable) + "=logger";
    std::string dirEntry = std::string(kDirVariable) + "=" + dir.path();
    const char* args[] = {"--gtest_filter=PlatformProcessChild.Run"};
    const char* env[] = {roleEntry.c_str(), dirEntry.c_str(), logEntry.c_str()};
    OSSProcess first, second;
    ASSERT_EQ(0u, ossProcessSpawnSelf(args, 1, env, 3, &first));
    ASSERT_EQ(0u, ossProcessSpawnSelf(args, 1, env, 3, &second));
    int firstExit = -1, secondExit = -1;
    ASSERT_EQ(0u, ossProcessWait(&first, &firstExit));
    ASSERT_EQ(0u, ossProcessWait(&second, &secondExit));
    EXPECT_EQ(0, firstExit);
    EXPECT_EQ(0, secondExit);

    std::regex wellFormed(R"(\S+Z pid=\d+ tid=\d+ func=0x082a0078 probe=\d+ )"
                          R"(rc=0x90000001\(OSS_RC_FAILED\) sev=3 data: x{200}\r?)");
    std::string text = readFile(log);
    size_t lines = 0, start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = text.substr(start, end - start);
        ASSERT_TRUE(std::regex_match(line, wellFormed)) << "line " << lines << ": " << line;
        ++lines;
    }
    EXPECT_EQ(start, text.size()) << "the file ends inside a line";
    EXPECT_EQ(2u * (size_t)std::atoi(kLogLinesPerChild), lines);
}
