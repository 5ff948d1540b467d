// Function tracing in one line per function.
//
//   unsigned GenRegThing(...) {
//       unsigned rc = 0;
//       GENREG_TRACE(FID_GENREG_THING, &rc);
//       ...
//
// records the entry and, when the scope ends, the exit with the address of
// rc. With tracing off the cost is one pointer test on each side.
#ifndef GENREG_TRACE_H
#define GENREG_TRACE_H

#include <cstddef>
#include <cstdint>
#include "platform/oss.h"

// Trace and log identifiers: the high half 0x082A names this library; each
// module numbers its functions inside its own range of the low half:
//   0x0001 handle, rc        0x0010 transaction     0x0030 scan cursor
//   0x0040 text lines        0x0050 text store      0x0060 global file
//   0x0070 profile schema    0x0080 services schema 0x0090 binary format
//   0x00A0 binary store      0x00C0 binary var/val  0x00D0 global records
//   0x0100 version codes     0x0110 registry readers
//   0x0130 instance list     0x0150 service list    0x0200 platform
#define GENREG_FID(low) (0x082A0000U | (low))

class GenRegTraceScope {
public:
    GenRegTraceScope(uint32_t functionId, const void* result)
        : functionId_(functionId), result_(result) {
        enter();
    }
    // The exit record reads four bytes at the result's address: a bool
    // result is traced through a 32-bit copy made when the scope ends.
    GenRegTraceScope(uint32_t functionId, const bool* result)
        : functionId_(functionId), result_(&widened_), flag_(result) {
        enter();
    }
    GenRegTraceScope(uint32_t functionId, std::nullptr_t)
        : functionId_(functionId), result_(nullptr) {
        enter();
    }
    ~GenRegTraceScope() {
        if (g_pGTCB && g_pGTCB->active) {
            if (flag_) widened_ = *flag_ ? 1U : 0U;
            _gtraceExit(ossThreadID(), functionId_, (uint64_t)(uintptr_t)result_, 0);
        }
    }
    GenRegTraceScope(const GenRegTraceScope&) = delete;
    GenRegTraceScope& operator=(const GenRegTraceScope&) = delete;

private:
    void enter() {
        if (g_pGTCB && g_pGTCB->active) _gtraceEntry(ossThreadID(), functionId_, 0, 1000000);
    }

    uint32_t functionId_;
    const void* result_;
    const bool* flag_ = nullptr;
    uint32_t widened_ = 0;
};

#define GENREG_TRACE_CAT2_(a, b) a##b
#define GENREG_TRACE_CAT_(a, b) GENREG_TRACE_CAT2_(a, b)
#define GENREG_TRACE(functionId, resultAddress) \
    GenRegTraceScope GENREG_TRACE_CAT_(genregTrace_, __LINE__)((functionId), (resultAddress))

// True when trace records are being written (for _gtraceVar call sites).
inline bool genregTracing() {
    return g_pGTCB && g_pGTCB->active;
}

#endif
