// The function trace: one readable line per entry, exit and recorded value,
// appended to the file named by GENREG_TRACE_FILE (read once when the
// library is loaded) or set by genregSetTraceFile.
//
// Records, after the common "time pid= tid=" prefix (tid is the thread
// identifier the caller passed):
//   ENTER func=0x082a0011 level=1000000
//   EXIT  func=0x082a0011 result@0x7ffc1234=0x900001c4(GENREG_RC_LOCKED)
//   VAR   func=0x082a0011 probe=2 text="/tmp/x" u64=42 u32=7 bytes[3]=0a0b0c
//   ERROR func=0x082a0011 probe=2 rc=0x90000014(...) u32=33
// The exit record shows the result: callers pass the address of their
// 32-bit return code, and the value found there is printed beside the
// address ("result@0" when the address is null).
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <genreg/diagnostics.h>

#include "platform/oss.h"
#include "platform/oss_sys.h"

GTCB* g_pGTCB = nullptr;

namespace {

GTCB g_controlBlock = {0};
std::mutex g_traceMutex;  // guards g_traceFile and the switch of g_pGTCB
intptr_t g_traceFile = -1;

constexpr size_t kLineSize = 2048;
// Longest text or byte string shown of one item.
constexpr uint64_t kItemShown = 256;

struct Line {
    char text[kLineSize + 2];
    size_t used;
};

void appendf(Line* line, const char* fmt, ...) OSS_PRINTF_FORMAT(2, 3);
void appendf(Line* line, const char* fmt, ...) {
    if (line->used >= kLineSize - 1) return;
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(line->text + line->used, kLineSize - line->used, fmt, args);
    va_end(args);
    if (n > 0) line->used += (size_t)n;
    if (line->used > kLineSize - 1) line->used = kLineSize - 1;
}

void begin(Line* line, uint64_t threadId) {
    line->used = ossSysLinePrefix(line->text, kLineSize, threadId);
}

void finish(Line* line) {
    line->text[line->used++] = '\n';
    std::lock_guard<std::mutex> guard(g_traceMutex);
    if (g_traceFile != -1) ossSysAppendWrite(g_traceFile, line->text, line->used);
}

void appendCode(Line* line, const char* label, unsigned rc) {
    const char* name = ossSysRcName(rc);
    if (name)
        appendf(line, "%s=0x%08x(%s)", label, rc, name);
    else
        appendf(line, "%s=0x%08x", label, rc);
}

// One (type, size, address) item of _gtraceVar or _gtraceErrorVar.
void appendItem(Line* line, uint32_t type, uint64_t size, const void* address) {
    if (!address) {
        appendf(line, " null");
        return;
    }
    switch (type) {
        case OSS_TRACE_TEXT: {
            // size bounds the text; 0 means "up to its terminator".
            const char* text = (const char*)address;
            uint64_t limit = size ? size : kItemShown;
            if (limit > kItemShown) limit = kItemShown;
            size_t length = 0;
            while (length < limit && text[length])
                ++length;
            appendf(line, " text=\"%.*s\"", (int)length, text);
            break;
        }
        case OSS_TRACE_U64: {
            uint64_t value;
            std::memcpy(&value, address, sizeof value);
            appendf(line, " u64=%llu", (unsigned long long)value);
            break;
        }
        case OSS_TRACE_U32: {
            uint32_t value;
            std::memcpy(&value, address, sizeof value);
            appendf(line, " u32=%u", value);
            break;
        }
        default: {
            uint64_t shown = size < kItemShown ? size : kItemShown;
            appendf(line, " bytes[%llu]=", (unsigned long long)size);
            const unsigned char* bytes = (const unsigned char*)address;
            for (uint64_t i = 0; i < shown; ++i)
                appendf(line, "%02x", bytes[i]);
            break;
        }
    }
}

void appendItems(Line* line, uint32_t count, va_list args) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t type = va_arg(args, uint32_t);
        uint64_t size = va_arg(args, uint64_t);
        const void* address = va_arg(args, const void*);
        appendItem(line, type, size, address);
    }
}

// Reads GENREG_TRACE_FILE when the library is loaded, so that g_pGTCB is
// already set when the first traced function runs.
struct TraceFromEnvironment {
    TraceFromEnvironment() {
        const char* path = ossSysGetEnv("GENREG_TRACE_FILE");
        if (path && path[0]) genregSetTraceFile(path);
    }
};
TraceFromEnvironment g_traceFromEnvironment;

}  // namespace

unsigned genregSetTraceFile(const char* path) {
    std::lock_guard<std::mutex> guard(g_traceMutex);
    // Stop tracing first: a traced function that runs meanwhile sees the
    // block inactive and writes nothing.
    g_controlBlock.active = 0;
    g_pGTCB = nullptr;
    if (g_traceFile != -1) ossSysAppendClose(g_traceFile);
    g_traceFile = -1;
    if (!path) return 0;
    g_traceFile = ossSysAppendOpen(path);
    if (g_traceFile == -1) {
        return ossErrorMapSystem(OSS_FID_FILE_OPEN, 91, ossSysErrorCategory(), ossSysLastError(),
                                 0);
    }
    g_controlBlock.active = 1;
    g_pGTCB = &g_controlBlock;
    return 0;
}

void _gtraceEntry(uint64_t threadId, uint32_t functionId, uint64_t /*reserved*/, uint64_t level) {
    if (!g_pGTCB || !g_pGTCB->active) return;
    Line line;
    begin(&line, threadId);
    appendf(&line, "ENTER func=0x%08x level=%llu", functionId, (unsigned long long)level);
    finish(&line);
}

void _gtraceExit(uint64_t threadId, uint32_t functionId, uint64_t resultAddress,
                 uint64_t /*reserved*/) {
    if (!g_pGTCB || !g_pGTCB->active) return;
    Line line;
    begin(&line, threadId);
    appendf(&line, "EXIT func=0x%08x", functionId);
    if (resultAddress) {
        unsigned result;
        std::memcpy(&result, (const void*)(uintptr_t)resultAddress, sizeof result);
        appendf(&line, " result@0x%llx", (unsigned long long)resultAddress);
        appendCode(&line, "", result);
    } else {
        appendf(&line, " result@0");
    }
    finish(&line);
}

void _gtraceVar(uint64_t threadId, uint32_t functionId, uint32_t probe, uint32_t count, ...) {
    if (!g_pGTCB || !g_pGTCB->active) return;
    Line line;
    begin(&line, threadId);
    appendf(&line, "VAR func=0x%08x probe=%u", functionId, probe);
    va_list args;
    va_start(args, count);
    appendItems(&line, count, args);
    va_end(args);
    finish(&line);
}

void _gtraceErrorVar(uint64_t threadId, uint32_t functionId, uint32_t probe, unsigned rc,
                     uint32_t count, ...) {
    if (!g_pGTCB || !g_pGTCB->active) return;
    Line line;
    begin(&line, threadId);
    appendf(&line, "ERROR func=0x%08x probe=%u", functionId, probe);
    appendCode(&line, " rc", rc);
    va_list args;
    va_start(args, count);
    appendItems(&line, count, args);
    va_end(args);
    finish(&line);
}
