// Binary store updates on a file of any bytes: Add, Change and Delete on
// the binary variable/value file (records stored as they are) and on the
// global registry file (records packed).
//
// Input: byte 0 chooses the store and the operation, bytes 1 and 2 the
// name and the value of the record, the rest is the file. Checked: an
// update that fails leaves the file byte for byte as it was, with no
// backup and no lock file; one that succeeds did what it says, read back
// by a lookup; nothing stays open.
#include <genreg/binvarval.h>
#include <genreg/globalreg.h>
#include <genreg/rc.h>

#include <string>

#include "fuzz/fuzz_support.h"

namespace {

// Runs the operation on handle with key and record, then checks the file.
template <typename Record>
void update(GenRegBin* handle, unsigned operation, uint64_t selector, Record* key, Record* record,
            bool nameInFile, bool (*same)(const Record&, const Record&)) {
    const std::string before = FuzzReadAll(handle->filePath);
    Record original = *record;
    unsigned result = 0;
    if (operation == 0)
        result = handle->Add(selector, record);
    else if (operation == 1)
        result = handle->Change(selector, key, record);
    else
        result = handle->Delete(selector, key);
    FUZZ_CHECK(handle->stream == nullptr && handle->tempStream == nullptr);
    FUZZ_CHECK(!(handle->state & GENREG_STATE_LOCK_HELD));
    FUZZ_CHECK(!FuzzExists(handle->backupPath) && !FuzzExists(handle->lockPath));
    if (result != 0 && FuzzReadAll(handle->filePath) != before) {
        std::fprintf(stderr, "failed update (0x%x) changed the file\n", result);
        std::abort();
    }
    Record found;
    std::memset((void*)&found, 0, sizeof found);
    const unsigned get = handle->Get(selector, key, &found);
    if (result == 0 && operation == 2) FUZZ_CHECK(get != 0);
    // An Add that appends in place (duplicates allowed, no verification)
    // is read back too: it refuses a file whose records do not reach its
    // end, behind which its record would be out of reach.
    if (result == 0 && (operation == 1 || !nameInFile)) {
        FUZZ_CHECK(get == 0);
        FUZZ_CHECK(same(found, original));
    }
    FUZZ_CHECK(handle->stream == nullptr);
    std::remove(handle->tempPath);
    std::remove(handle->corruptPath);
}

bool sameBin(const BinVarValRecord& a, const BinVarValRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameGlobal(const GlobalRegRecord& a, const GlobalRegRecord& b) {
    return a.RecordType == b.RecordType &&
           std::strcmp(a.Variable.Variable, b.Variable.Variable) == 0 &&
           std::strcmp(a.Variable.Value, b.Variable.Value) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t control = data[0];
    const unsigned operation = (control & 3u) == 3 ? 0 : control & 3u;
    const std::string name = FuzzWord(data[1], "n");
    const std::string value = FuzzWord(data[2], "v");
    FuzzFile file(data + 3, size - 3);
    const bool nameInFile =
        std::string((const char*)data + 3, size - 3).find(name) != std::string::npos;

    if (control & 0x04) {
        setenv("QVR_GLOBAL_REG_PATHNAME", file.path(), 1);
        GlobalReg handle;
        FUZZ_CHECK(handle.state & GENREG_STATE_PATHS_SET);
        GlobalRegRecord record, key;
        std::memset(&record, 0, sizeof record);
        record.RecordType = GENREG_GLOBAL_VARIABLE;
        record.FieldMask = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE | GENREG_VAR_VALUE;
        std::snprintf(record.Variable.Service, sizeof record.Variable.Service, "QVR");
        std::snprintf(record.Variable.Variable, sizeof record.Variable.Variable, "%s",
                      name.c_str());
        std::snprintf(record.Variable.Value, sizeof record.Variable.Value, "%s", value.c_str());
        key = record;
        key.FieldMask = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE;
        update<GlobalRegRecord>(&handle, operation, GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE, &key,
                                &record, nameInFile, sameGlobal);
    } else {
        unsigned rc = 1;
        GenRegBinVarVal handle(file.path(), &rc);
        FUZZ_CHECK(rc == 0);
        if (control & 0x08) handle.unsetFeature(GENREG_FEATURE_VERIFY);
        if (control & 0x10) handle.unsetFeature(GENREG_FEATURE_DUPLICATES);
        BinVarValRecord record, key;
        std::memset(&record, 0, sizeof record);
        std::snprintf(record.Variable, sizeof record.Variable, "%s", name.c_str());
        record.Value = data[2];
        key = record;
        update<BinVarValRecord>(&handle, operation, GENREG_BINVARVAL_VARIABLE, &key, &record,
                                nameInFile, sameBin);
    }
    return 0;
}
