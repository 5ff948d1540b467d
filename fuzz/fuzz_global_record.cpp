// The global registry's stored-record unpack/pack round trip: a stored
// record that unpacks packs again (carrying its unknown entries over), and
// the packed form unpacks to the same record.
#include <genreg/globalreg.h>
#include <genreg/rc.h>

#include "fuzz/fuzz_support.h"
#include "platform/oss.h"
#include "schemas/globalrec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static GlobalRegRecord first, second;
    std::memset(&first, 0, sizeof first);
    static GlobalRegRecord emptyKey;  // zeros: type 0 matches every type
    if (GlobalRecUnpackStored(data, size, &first) != 0) {
        // The lookup's quick test never passes over a record that does not unpack.
        FUZZ_CHECK(!GlobalRecStoredMismatch(GENREG_SELECT_ALL, data, size, &emptyKey));
        return 0;
    }
    // Elsewhere it decides as the compare of the unpacked record does.
    GlobalRegRecord typedKey = emptyKey;
    typedKey.RecordType = first.RecordType;
    for (uint64_t selector : {(uint64_t)GENREG_SELECT_ALL, (uint64_t)0x1, (uint64_t)0x6}) {
        FUZZ_CHECK(GlobalRecStoredMismatch(selector, data, size, &first) ==
                   (GlobalRecCompare(selector, &first, &first) == 0));
        FUZZ_CHECK(GlobalRecStoredMismatch(selector, data, size, &typedKey) ==
                   (GlobalRecCompare(selector, &first, &typedKey) == 0));
    }

    uint64_t measured = 0;
    FUZZ_CHECK(GlobalRecMeasure(data, size, &measured) == 0 && measured == size);

    unsigned char* packed = nullptr;
    uint64_t packedSize = 0;
    if (GlobalRecPackStored(&first, data, size, &packed, &packedSize) != 0) return 0;
    std::memset(&second, 0, sizeof second);
    unsigned rc = GlobalRecUnpackStored(packed, packedSize, &second);
    if (rc != 0) {
        std::fprintf(stderr, "repacked record does not unpack: 0x%x\n", rc);
        std::abort();
    }
    FUZZ_CHECK(second.RecordType == first.RecordType);
    FUZZ_CHECK(second.FieldMask == first.FieldMask);
    FUZZ_CHECK(second.CheckSum == first.CheckSum);
    FUZZ_CHECK(GlobalRecCompare(GENREG_SELECT_ALL, &first, &second) == 1);
    ossMemFree(&packed, "fuzz");
    return 0;
}
