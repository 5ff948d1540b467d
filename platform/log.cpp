// The diagnostic log: one line per ossLog/ossLogRC call, appended to the
// file named by GENREG_LOG_FILE (or set by genregSetLogFile) and passed to
// the test sink. With neither a file nor a sink a call costs one test of
// g_logTargets.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <genreg/diagnostics.h>
#include <genreg/rc.h>

#include "platform/oss.h"
#include "platform/oss_sys.h"

namespace {

enum : unsigned {
    LOG_TO_FILE = 1,
    LOG_TO_SINK = 2,
    // GENREG_LOG_FILE was not yet looked at; the first call does it, so
    // the file is opened only by a process that actually logs.
    LOG_UNRESOLVED = 4,
};

// Constant-initialised, so logging works even from other units' static
// constructors.
std::atomic<unsigned> g_logTargets{LOG_UNRESOLVED};
std::mutex g_logMutex;  // guards the three below
intptr_t g_logFile = -1;
OSSLogSink g_sink = nullptr;
void* g_sinkContext = nullptr;

// Room for the prefix, both codes with their names and about 3.5 KB of data.
constexpr size_t kLineSize = 4096;

void setTarget(unsigned bit, bool on) {
    if (on)
        g_logTargets.fetch_or(bit);
    else
        g_logTargets.fetch_and(~bit);
}

// Opens path as the log file, closing the previous one. Caller holds the mutex.
unsigned switchLogFileLocked(const char* path) {
    if (g_logFile != -1) ossSysAppendClose(g_logFile);
    g_logFile = -1;
    unsigned rc = 0;
    if (path && path[0]) {
        g_logFile = ossSysAppendOpen(path);
        if (g_logFile == -1) {
            rc = ossErrorMapSystem(OSS_FID_FILE_OPEN, 90, ossSysErrorCategory(), ossSysLastError(),
                                   0);
        }
    }
    setTarget(LOG_TO_FILE, g_logFile != -1);
    g_logTargets.fetch_and(~(unsigned)LOG_UNRESOLVED);
    return rc;
}

void resolveFromEnvironment() {
    std::lock_guard<std::mutex> guard(g_logMutex);
    if (g_logTargets.load() & LOG_UNRESOLVED) switchLogFileLocked(ossSysGetEnv("GENREG_LOG_FILE"));
}

// Appends " rc=0x...(NAME)" or " rc=0x..." for a foreign code.
size_t appendCode(char* line, size_t used, const char* label, unsigned rc) {
    if (used >= kLineSize) return used;
    const char* name = ossSysRcName(rc);
    int n = name ? std::snprintf(line + used, kLineSize - used, " %s=0x%08x(%s)", label, rc, name)
                 : std::snprintf(line + used, kLineSize - used, " %s=0x%08x", label, rc);
    return n > 0 ? used + (size_t)n : used;
}

void writeEntry(uint32_t functionId, uint32_t probe, bool hasCalled, uint32_t calledId,
                unsigned calledRc, unsigned rc, unsigned severity, const char* fmt, va_list args) {
    unsigned targets = g_logTargets.load();
    if (targets & LOG_UNRESOLVED) {
        resolveFromEnvironment();
        targets = g_logTargets.load();
        if (!targets) return;
    }

    char data[kLineSize];
    data[0] = '\0';
    if (fmt) std::vsnprintf(data, sizeof data, fmt, args);
    // One entry is one line, whatever the data items hold.
    for (char* p = data; *p; ++p)
        if (*p == '\n' || *p == '\r') *p = ' ';

    char line[kLineSize + 2];
    size_t used = ossSysLinePrefix(line, kLineSize, ossThreadID());
    int n = std::snprintf(line + used, kLineSize - used, "func=0x%08x probe=%u", functionId, probe);
    if (n > 0) used += (size_t)n;
    used = appendCode(line, used, "rc", rc);
    if (hasCalled && used < kLineSize) {
        n = std::snprintf(line + used, kLineSize - used, " called=0x%08x", calledId);
        if (n > 0) used += (size_t)n;
        used = appendCode(line, used, "calledRc", calledRc);
    }
    if (used < kLineSize) {
        n = std::snprintf(line + used, kLineSize - used, " sev=%u data: %s", severity, data);
        if (n > 0) used += (size_t)n;
    }
    if (used > kLineSize - 1) used = kLineSize - 1;  // truncated: keep the line end
    line[used++] = '\n';

    OSSLogSink sink = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_logMutex);
        if (g_logFile != -1) ossSysAppendWrite(g_logFile, line, used);
        sink = g_sink;
        context = g_sinkContext;
    }
    // Outside the mutex: a sink may itself call into the services.
    if (sink) {
        OSSLogEntry entry = {
            functionId, probe, hasCalled ? calledId : 0, hasCalled ? calledRc : 0, rc,
            severity,   data};
        sink(&entry, context);
    }
}

}  // namespace

void ossLog(uint32_t functionId, uint32_t probe, unsigned rc, unsigned severity, const char* fmt,
            ...) {
    if (!g_logTargets.load(std::memory_order_relaxed)) return;
    uint32_t savedError = ossSysLastError();
    va_list args;
    va_start(args, fmt);
    writeEntry(functionId, probe, false, 0, 0, rc, severity, fmt, args);
    va_end(args);
    ossSysSetLastError(savedError);
}

void ossLogRC(uint32_t functionId, uint32_t probe, uint32_t calledId, unsigned calledRc,
              unsigned rc, unsigned severity, const char* fmt, ...) {
    if (!g_logTargets.load(std::memory_order_relaxed)) return;
    uint32_t savedError = ossSysLastError();
    va_list args;
    va_start(args, fmt);
    writeEntry(functionId, probe, true, calledId, calledRc, rc, severity, fmt, args);
    va_end(args);
    ossSysSetLastError(savedError);
}

void ossLogSetSink(OSSLogSink sink, void* context) {
    std::lock_guard<std::mutex> guard(g_logMutex);
    g_sink = sink;
    g_sinkContext = context;
    setTarget(LOG_TO_SINK, sink != nullptr);
}

unsigned genregSetLogFile(const char* path) {
    std::lock_guard<std::mutex> guard(g_logMutex);
    return switchLogFileLocked(path);
}

namespace {

GenRegLogCallback g_callback = nullptr;
void* g_callbackContext = nullptr;

// The public callback sees the same entry as a test sink, in the public
// structure's shape.
void forwardToCallback(const OSSLogEntry* entry, void* /*context*/) {
    GenRegLogCallback callback = g_callback;
    if (!callback) return;
    GenRegLogEntry shown = {entry->functionId, entry->probe,    entry->rc,  entry->calledId,
                            entry->calledRc,   entry->severity, entry->data};
    callback(&shown, g_callbackContext);
}

}  // namespace

void genregSetLogCallback(GenRegLogCallback callback, void* context) {
    g_callback = callback;
    g_callbackContext = context;
    ossLogSetSink(callback ? forwardToCallback : nullptr, nullptr);
}

const char* ossSysRcName(unsigned rc) {
    const char* name = genregRcName(rc);
    if (name) return name;
    switch (rc) {
#define OSS_RC_NAME_CASE_(name, value, meaning) \
    case name:                                  \
        return #name;
        GENREG_PLATFORM_RC_LIST(OSS_RC_NAME_CASE_)
#undef OSS_RC_NAME_CASE_
        default:
            return nullptr;
    }
}

size_t ossSysLinePrefix(char* out, size_t size, uint64_t threadId) {
    OSSUtcTime now;
    ossSysUtcNow(&now);
    int n =
        std::snprintf(out, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ pid=%llu tid=%llu ", now.year,
                      now.month, now.day, now.hour, now.minute, now.second, now.millisecond,
                      (unsigned long long)ossSysProcessId(), (unsigned long long)threadId);
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return (size_t)n < size ? (size_t)n : size - 1;
}
