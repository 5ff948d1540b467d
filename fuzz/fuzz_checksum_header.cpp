// The checksum header of a binary file: a file of any bytes opened by a
// handle with GENREG_FEATURE_CHECKSUM, looked up, listed and updated.
//
// Input: byte 0 says whether to give the rest a header that matches its
// records (so that the records behind it are read too), the rest is the
// file. Checked: a matching header is never refused as a mismatch, a
// listing ends, a failed update keeps the file, nothing stays open.
#include <genreg/binvarval.h>
#include <genreg/rc.h>

#include <string>

#include "fuzz/fuzz_support.h"
#include "genreg/transaction.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::string bytes((const char*)data + 1, size - 1);
    const bool matching = (data[0] & 1) != 0 && !bytes.empty();
    if (matching) {
        // The records after a header whose text is their checksum.
        const std::string records = bytes;
        char header[32] = {};
        std::snprintf(header, sizeof header, "%d",
                      (int)ComputeChecksum(records.data(), records.size()));
        bytes = std::string(header, sizeof header) + records;
    }
    FuzzFile file((const uint8_t*)bytes.data(), bytes.size());
    unsigned rc = 1;
    GenRegBinVarVal handle(file.path(), &rc);
    FUZZ_CHECK(rc == 0);
    handle.setFeature(GENREG_FEATURE_CHECKSUM);
    handle.headerPending = 0;  // verify the header from the first open on

    BinVarValRecord key, found;
    std::memset(&key, 0, sizeof key);
    std::snprintf(key.Variable, sizeof key.Variable, "%s", "name");
    unsigned get = handle.Get(GENREG_BINVARVAL_VARIABLE, &key, &found);
    if (matching) FUZZ_CHECK(get != GENREG_RC_CHECKSUM_MISMATCH);
    FUZZ_CHECK(handle.stream == nullptr);

    if (handle.OpenScan() == 0) {
        unsigned listed = 0;
        while (handle.GetNext(0, &key, &found) == 0)
            FUZZ_CHECK(++listed <= bytes.size() / 4 + 1);
        FUZZ_CHECK(handle.CloseScan() == 0);
    }
    const std::string before = FuzzReadAll(file.path());
    unsigned result = handle.Delete(GENREG_BINVARVAL_VARIABLE, &key);
    if (result != 0) FUZZ_CHECK(FuzzReadAll(file.path()) == before);
    FUZZ_CHECK(handle.stream == nullptr && handle.tempStream == nullptr);
    FUZZ_CHECK(!FuzzExists(handle.backupPath) && !FuzzExists(handle.lockPath));
    std::remove(handle.tempPath);
    std::remove(handle.corruptPath);
    return 0;
}
