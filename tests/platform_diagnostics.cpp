// The diagnostic log and the trace: line format, sink capture, switching.
#include <gtest/gtest.h>

#include <genreg/diagnostics.h>
#include <genreg/rc.h>

#include <regex>
#include <string>
#include <vector>

#include "genreg/trace.h"
#include "nonregular_files.h"
#include "platform/oss.h"
#include "platform_support.h"

using namespace platform_test;

namespace {

struct Captured {
    std::vector<OSSLogEntry> entries;
    std::vector<std::string> data;
};

void capture(const OSSLogEntry* entry, void* context) {
    Captured* captured = (Captured*)context;
    captured->entries.push_back(*entry);
    captured->data.push_back(entry->data);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start) + "<no line end>");
    return lines;
}

const char* kPrefix = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z pid=\d+ tid=\d+ )";

}  // namespace

TEST(PlatformLog, SinkReceivesEveryFieldOfBothKindsOfEntry) {
    Captured captured;
    ossLogSetSink(capture, &captured);
    ossLog(0x082A0011, 3, GENREG_RC_LOCKED, OSS_SEVERITY_ERROR, "path=%s size=%d", "/x", 42);
    ossLogRC(0x082A0012, 4, 0x082A0202, OSS_RC_LOCK_NOT_AVAILABLE, GENREG_RC_LOCK_FAILED,
             OSS_SEVERITY_WARNING, "n=%u", 7u);
    ossLogSetSink(nullptr, nullptr);
    ossLog(0x082A0013, 5, 1, OSS_SEVERITY_ERROR, "after the sink was removed");

    ASSERT_EQ(2u, captured.entries.size());
    const OSSLogEntry& first = captured.entries[0];
    EXPECT_EQ(0x082A0011u, first.functionId);
    EXPECT_EQ(3u, first.probe);
    EXPECT_EQ(0u, first.calledId);
    EXPECT_EQ(0u, first.calledRc);
    EXPECT_EQ(GENREG_RC_LOCKED, first.rc);
    EXPECT_EQ(3u, first.severity);
    EXPECT_EQ("path=/x size=42", captured.data[0]);
    const OSSLogEntry& second = captured.entries[1];
    EXPECT_EQ(0x082A0202u, second.calledId);
    EXPECT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, second.calledRc);
    EXPECT_EQ(GENREG_RC_LOCK_FAILED, second.rc);
    EXPECT_EQ(4u, second.severity);
    EXPECT_EQ("n=7", captured.data[1]);
}

TEST(PlatformLog, FileGetsOneWellFormedLinePerEntry) {
    ScratchDir dir;
    std::string path = dir.file("log.txt");
    ASSERT_EQ(0u, genregSetLogFile(path.c_str()));
    ossLog(0x082A0011, 3, GENREG_RC_LOCKED, OSS_SEVERITY_ERROR, "two\nlines");
    ossLogRC(0x082A0012, 4, 0x082A0202, OSS_RC_LOCK_NOT_AVAILABLE, 0x12345678u, OSS_SEVERITY_ERROR,
             "%s", "x");
    ASSERT_EQ(0u, genregSetLogFile(nullptr));
    ossLog(0x082A0013, 5, 1, OSS_SEVERITY_ERROR, "not written: the log is off");

    std::vector<std::string> lines = linesOf(readFile(path));
    ASSERT_EQ(2u, lines.size());
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(std::string(kPrefix) +
                             R"(func=0x082a0011 probe=3 rc=0x900001c4\(GENREG_RC_LOCKED\) )"
                             R"(sev=3 data: two lines)")))
        << lines[0];
    EXPECT_TRUE(std::regex_match(
        lines[1], std::regex(std::string(kPrefix) +
                             R"(func=0x082a0012 probe=4 rc=0x12345678 called=0x082a0202 )"
                             R"(calledRc=0x90000014\(OSS_RC_LOCK_NOT_AVAILABLE\) sev=3 data: x)")))
        << lines[1];
}

TEST(PlatformLog, UnopenableFileIsReportedAndLeavesTheLogOff) {
    ScratchDir dir;
    std::string path = dir.file("missing-dir") + ossPathSeparator() + "log.txt";
    EXPECT_NE(0u, genregSetLogFile(path.c_str()));
    ossLog(0x082A0011, 1, 1, OSS_SEVERITY_ERROR, "nowhere to go");
    EXPECT_FALSE(exists(path));
}

// A named pipe nobody reads (POSIX; the NUL device on Windows) as the log or
// trace file: setting it returns instead of waiting for a reader for ever,
// and so does a failure logged afterwards.
TEST(PlatformLog, FileThatWouldBlockTheOpenIsNotWaitedFor) {
    ScratchDir dir;
    std::string path = special_test::SpecialFileIn(dir.path());
    if (path.empty()) GTEST_SKIP() << "no such file can be made here";
    genregSetLogFile(path.c_str());
    ossLog(0x082A0011, 1, 1, OSS_SEVERITY_ERROR, "nobody reads this");
    EXPECT_EQ(0u, genregSetLogFile(nullptr));
    genregSetTraceFile(path.c_str());
    EXPECT_EQ(0u, genregSetTraceFile(nullptr));
}

TEST(PlatformTrace, OneTracedCallWritesEntryExitAndValues) {
    ScratchDir dir;
    std::string path = dir.file("trace.txt");
    ASSERT_EQ(nullptr, g_pGTCB) << "tracing must be off unless asked for";
    ASSERT_EQ(0u, genregSetTraceFile(path.c_str()));
    ASSERT_NE(nullptr, g_pGTCB);
    EXPECT_NE(0u, g_pGTCB->active);
    std::string missing = dir.file("missing");
    EXPECT_EQ(OSS_RC_FILE_NOT_FOUND, ossFileDelete(missing.c_str()));
    uint64_t big = 5000000000ULL;
    uint32_t small = 7;
    const unsigned char bytes[] = {0x0a, 0xff};
    _gtraceVar(ossThreadID(), 0x082A0099, 2, 4, (uint32_t)OSS_TRACE_TEXT, (uint64_t)0,
               (const void*)"abc", (uint32_t)OSS_TRACE_U64, (uint64_t)8, (const void*)&big,
               (uint32_t)OSS_TRACE_U32, (uint64_t)4, (const void*)&small, (uint32_t)OSS_TRACE_BYTES,
               (uint64_t)2, (const void*)bytes);
    ASSERT_EQ(0u, genregSetTraceFile(nullptr));
    EXPECT_EQ(nullptr, g_pGTCB);

    std::vector<std::string> lines = linesOf(readFile(path));
    ASSERT_EQ(3u, lines.size()) << readFile(path);
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(std::string(kPrefix) + "ENTER func=0x082a0206 level=1000000")))
        << lines[0];
    EXPECT_TRUE(std::regex_match(
        lines[1], std::regex(std::string(kPrefix) + R"(EXIT func=0x082a0206 result@0x[0-9a-f]+)"
                                                    R"(=0x9000003f\(OSS_RC_FILE_NOT_FOUND\))")))
        << lines[1];
    EXPECT_TRUE(std::regex_match(
        lines[2], std::regex(std::string(kPrefix) + R"(VAR func=0x082a0099 probe=2 text="abc" )"
                                                    R"(u64=5000000000 u32=7 bytes\[2\]=0aff)")))
        << lines[2];
}
