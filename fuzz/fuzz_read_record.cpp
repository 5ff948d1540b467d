// ReadRecord over arbitrary files, with both length byte orders and a
// packed schema's stored-record unpack: every record is read or refused
// with a code, the scan always ends, and nothing is read past the file.
#include <genreg/globalreg.h>
#include <genreg/rc.h>

#include "fuzz/fuzz_support.h"
#include "genreg/binfile.h"
#include "platform/oss.h"
#include "schemas/globalrec.h"

namespace {

// The binary variable/value record's largest size: a small buffer, so that
// long records make the reader grow it.
unsigned smallMaxSize(uint64_t* size) {
    *size = 36;
    return 0;
}

void scan(const char* path, bool bigEndian) {
    GenRegBin handle;
    handle.GetMaxRecordSize = smallMaxSize;
    if (bigEndian) handle.setFeature(GENREG_FEATURE_BIG_ENDIAN_LENGTH);
    FILE* stream = ossStreamOpen(path, "rb");
    if (!stream) return;
    void* buffer = nullptr;
    if (ossMemAlloc(&buffer, 36, "fuzz") != 0) std::abort();
    for (int records = 0; records < 100000; ++records) {
        uint64_t length = 0;
        unsigned rc = ReadRecord(&handle, stream, &buffer, &length);
        if (rc != 0) break;
        // A record that was read whole can be offered to the global
        // registry's stored-record parser, which must stay inside it.
        GlobalRegRecord* record = nullptr;
        if (ossMemAlloc(&record, sizeof *record, "fuzz") != 0) std::abort();
        (void)GlobalRecUnpackStored((const unsigned char*)buffer, length, record);
        ossMemFree(&record, "fuzz");
    }
    ossMemFree(&buffer, "fuzz");
    ossStreamClose(stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzFile file(data, size);
    scan(file.path(), false);
    scan(file.path(), true);
    return 0;
}
