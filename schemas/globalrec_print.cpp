// PrintRecord of the global registry: one record on standard output, for
// diagnostics. Every field of the printed kinds is shown, present or not.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "genreg/trace.h"
#include "schemas/globalrec.h"

namespace {

enum : uint32_t { FID_PRINT = GENREG_FID(0x00DC) };

// A text field as "|text|", never reading past its slot.
void printText(const char* label, const char* text, size_t width) {
    const void* end = std::memchr(text, '\0', width);
    const int length = (int)(end ? (size_t)((const char*)end - text) : width);
    std::printf("%s|%.*s|\n", label, length, text);
}

}  // namespace

unsigned GlobalRecPrint(const void* recordBuffer) {
    unsigned rc = 0;
    GENREG_TRACE(FID_PRINT, &rc);
    const GlobalRegRecord* record = (const GlobalRegRecord*)recordBuffer;
    // The masks print as signed decimal numbers.
    std::printf("   RecordType   = %d\n", (int)record->RecordType);
    std::printf("   FieldMask    = %" PRId64 "\n", (int64_t)record->FieldMask);
    std::printf("   MissingFieldMask = %" PRId64 "\n", (int64_t)record->MissingFieldMask);
    if (record->RecordType == GENREG_GLOBAL_INSTANCE) {
        const GlobalInstanceFields& f = record->Instance;
        std::printf("   InstanceRecord:\n");
        printText("      Service      = ", f.Service, sizeof f.Service);
        std::printf("      VersionCode  = %" PRIu64 "\n", f.VersionCode);
        printText("      InstanceName = ", f.InstanceName, sizeof f.InstanceName);
        printText("      InstancePath = ", f.InstancePath, sizeof f.InstancePath);
        printText("      Usage        = ", f.Usage, sizeof f.Usage);
        std::printf("      StartAtBoot  = %i\n", (int)f.StartAtBoot);
        std::printf("      Maintenance  = %i\n", (int)f.Maintenance);
        printText("      Comment      = ", f.Comment, sizeof f.Comment);
    } else if (record->RecordType == GENREG_GLOBAL_SERVICE) {
        std::printf("Services record not yet implemented\n");
        std::fflush(stdout);
        return rc;
    } else if (record->RecordType == GENREG_GLOBAL_VARIABLE) {
        const GlobalVariableFields& f = record->Variable;
        std::printf("   VariableRecord:\n");
        printText("      Service  = ", f.Service, sizeof f.Service);
        printText("      Variable = ", f.Variable, sizeof f.Variable);
        printText("      Value    = ", f.Value, sizeof f.Value);
        printText("      Comment  = ", f.Comment, sizeof f.Comment);
    } else {
        std::fflush(stdout);
        return rc;
    }
    std::printf("      CheckSum    = %i\n", (int)record->CheckSum);
    std::fflush(stdout);
    return rc;
}
