// Text store updates on a file of any bytes: Add, Change and Delete of a
// profile entry, with the features the input chooses.
//
// Input: byte 0 chooses the operation and the features (joining,
// verification, duplicates), bytes 1 and 2 the name and the value of the
// entry (words the format holds), the rest is the file. Checked: an update
// that fails leaves the file byte for byte as it was, with no backup and
// no lock file; one that succeeds did what it says, read back by a lookup;
// the handle is left idle.
#include <genreg/rc.h>
#include <genreg/varval.h>

#include <string>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t control = data[0];
    const std::string name = FuzzWord(data[1], "n");
    const std::string value = FuzzWord(data[2], "v");
    FuzzFile file(data + 3, size - 3);
    unsigned rc = 1;
    GenRegVarVal profile(file.path(), &rc);
    FUZZ_CHECK(rc == 0);
    if (control & 0x04) profile.setFeature(GENREG_FEATURE_JOIN_LINES);
    if (control & 0x08) profile.unsetFeature(GENREG_FEATURE_VERIFY);
    if (control & 0x10) profile.unsetFeature(GENREG_FEATURE_DUPLICATES);
    const bool verified = profile.isFeatureSet(GENREG_FEATURE_VERIFY);

    VarValRecord entry = {};
    std::string variable = name, text = value;
    entry.Contains = GENREG_VARVAL_HAS_VARIABLE;
    entry.Variable = &variable[0];
    entry.Value = &text[0];
    VarValRecord key = {};
    std::string keyName = name;
    key.Contains = GENREG_VARVAL_HAS_VARIABLE;
    key.Variable = &keyName[0];

    const std::string before = FuzzReadAll(file.path());
    // A name the file does not hold, not even across a continuation.
    const bool nameInFile = before.find(name) != std::string::npos ||
                            ((control & 0x04) && before.find('\\') != std::string::npos);
    unsigned result = 0;
    const unsigned operation = control & 3u;
    if (operation == 0 || operation == 3)
        result = profile.Add(GENREG_VARVAL_VARIABLE, &entry);
    else if (operation == 1)
        result = profile.Change(GENREG_VARVAL_VARIABLE, &key, &entry);
    else
        result = profile.Delete(GENREG_VARVAL_VARIABLE, &key);

    FUZZ_CHECK(profile.stream == nullptr && profile.tempStream == nullptr);
    FUZZ_CHECK(!(profile.state & GENREG_STATE_LOCK_HELD));
    FUZZ_CHECK(!FuzzExists(profile.backupPath) && !FuzzExists(profile.lockPath));
    // Without verification, a Change that found its record in place still
    // rewrites the file (GENREG_RC_UNCHANGED); every other failure keeps it.
    const bool rewritesAnyway = !verified && result == GENREG_RC_UNCHANGED;
    if (result != 0 && !rewritesAnyway) {
        if (FuzzReadAll(file.path()) != before) {
            std::fprintf(stderr, "failed update (0x%x) changed the file\n", result);
            std::abort();
        }
    }
    const char* got = nullptr;
    if (result == 0 && !nameInFile) {
        // The only line that holds the name is the one just written.
        if (operation == 0 || operation == 3) {
            FUZZ_CHECK(profile.GetStringValue(name.c_str(), &got));
            FUZZ_CHECK(value == got);
        }
    }
    if (result == 0 && operation == 1) {
        FUZZ_CHECK(profile.GetStringValue(name.c_str(), &got));
        FUZZ_CHECK(value == got);
    }
    if (result == 0 && operation == 2) FUZZ_CHECK(!profile.GetStringValue(name.c_str(), &got));
    std::remove(profile.tempPath);
    std::remove(profile.corruptPath);
    return 0;
}
