// Switching the library's diagnostics on and off at run time.
//
// The library writes a diagnostic log (one line per failure it finds) and,
// when asked, a trace (one line per function entry and exit). Both start
// from the environment when the library is loaded: GENREG_LOG_FILE and
// GENREG_TRACE_FILE name the files. A program can override that here, for
// example from command-line options. Lines are appended; several processes
// may share one file, and their lines never interleave within a line.
#ifndef GENREG_DIAGNOSTICS_H
#define GENREG_DIAGNOSTICS_H

#include <genreg/export.h>

// Appends the diagnostic log to path from now on; a null path turns the log
// off. 0, or a 0x9000xxxx code when the file cannot be opened (the log is
// then off).
GENREG_API unsigned genregSetLogFile(const char* path);

// Appends the trace to path from now on; a null path turns tracing off.
// 0, or a 0x9000xxxx code when the file cannot be opened (tracing is then
// off).
GENREG_API unsigned genregSetTraceFile(const char* path);

// One entry of the diagnostic log, as a callback receives it. The texts
// belong to the library and live only during the call.
struct GenRegLogEntry {
    unsigned functionId;  // the reporting function's identifier (0x082Axxxx)
    unsigned probe;       // the place within that function
    unsigned rc;          // the code the function reports
    unsigned calledId;    // the called function that failed, or 0
    unsigned calledRc;    // what it returned, or 0
    unsigned severity;    // 3 failure, 4 warning
    const char* data;     // the entry's data items, one line ("path=...")
};
typedef void (*GenRegLogCallback)(const GenRegLogEntry* entry, void* context);

// Passes every log entry to callback from now on, as well as to the log
// file when one is set; a null callback turns this off. Replaces an
// earlier callback. The callback runs on the thread that logs, outside the
// library's locks; it may call the library but must not set another
// callback from inside.
GENREG_API void genregSetLogCallback(GenRegLogCallback callback, void* context);

#endif
