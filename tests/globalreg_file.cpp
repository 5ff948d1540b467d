// The global registry file through its handle: records of the three types
// added, read back, changed and deleted, at the place the environment
// names and at the default place; records of a newer version kept byte for
// byte; damaged files refused and never changed.
#include <genreg/globalreg.h>
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "globalreg_support.h"
#include "store_invariants.h"
#include "platform/oss.h"

namespace {

using globalrec_test::emptyRecord;
using globalrec_test::fullInstance;
using globalrec_test::fullService;
using globalrec_test::fullVariable;
using globalrec_test::ScopedEnv;
using globalrec_test::StoredRecord;
using globalreg_test::Bytes;
using globalreg_test::entryOf;
using globalreg_test::GlobalRegFile;
using globalreg_test::recordsOf;

const uint64_t kVersion974 = 0x0009000700040000ULL;

bool same(const GlobalRegRecord& a, const GlobalRegRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Keys of the three records the tests add.
GlobalRegRecord instanceKey(const std::string& name) {
    GlobalRegRecord key = emptyRecord(GENREG_GLOBAL_INSTANCE);
    key.FieldMask = GENREG_INST_NAME;
    GLOBAL_SET(key.Instance.InstanceName, name);
    return key;
}
const uint64_t kInstanceSelector = GENREG_INST_NAME;

GlobalRegRecord serviceKey(const std::string& kind, uint64_t versionCode) {
    GlobalRegRecord key = emptyRecord(GENREG_GLOBAL_SERVICE);
    key.FieldMask = GENREG_SVC_SERVICE | GENREG_SVC_VERSION_CODE;
    GLOBAL_SET(key.Service.Service, kind);
    key.Service.VersionCode = versionCode;
    return key;
}
const uint64_t kServiceSelector = GENREG_SVC_SERVICE | GENREG_SVC_VERSION_CODE;

GlobalRegRecord variableKey(const std::string& name) {
    GlobalRegRecord key = emptyRecord(GENREG_GLOBAL_VARIABLE);
    key.FieldMask = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE;
    GLOBAL_SET(key.Variable.Service, "QVR");
    GLOBAL_SET(key.Variable.Variable, name);
    return key;
}
const uint64_t kVariableSelector = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE;

// Every record of the file, through an explicit scan.
std::vector<GlobalRegRecord> scanAll(GlobalReg* handle) {
    std::vector<GlobalRegRecord> records;
    EXPECT_EQ(0u, handle->OpenScan());
    GlobalRegRecord any = emptyRecord(0);
    for (;;) {
        GlobalRegRecord record;
        unsigned rc = handle->GetNext(0, &any, &record);
        if (rc == GENREG_RC_NOT_FOUND) break;
        EXPECT_EQ(0u, rc);
        if (rc != 0) break;
        records.push_back(record);
    }
    EXPECT_EQ(0u, handle->CloseScan());
    return records;
}

// Adds, reads back, changes and deletes one record of each type in the
// file the handle was constructed on.
void exerciseThreeTypes(const std::string& filePath) {
    GlobalReg handle;
    ASSERT_TRUE(handle.state & GENREG_STATE_PATHS_SET);
    GlobalRegRecord instance = fullInstance("inst1");
    GlobalRegRecord service = fullService("QVR", kVersion974, 3);
    GlobalRegRecord variable = fullVariable("QVRPATH", "/opt/qvr");
    const GlobalRegRecord added[] = {instance, service, variable};
    for (GlobalRegRecord r : added)
        ASSERT_EQ(0u, handle.Add(GENREG_SELECT_ALL, &r));
    EXPECT_TRUE(platform_test::exists(filePath));

    // Get by key, every field as added.
    GlobalRegRecord got;
    GlobalRegRecord key = instanceKey("inst1");
    ASSERT_EQ(0u, handle.Get(kInstanceSelector, &key, &got));
    EXPECT_TRUE(same(instance, got));
    key = serviceKey("QVR", kVersion974);
    ASSERT_EQ(0u, handle.Get(kServiceSelector, &key, &got));
    EXPECT_TRUE(same(service, got));
    key = variableKey("QVRPATH");
    ASSERT_EQ(0u, handle.Get(kVariableSelector, &key, &got));
    EXPECT_TRUE(same(variable, got));

    // GetNext: all three in the order they were added.
    std::vector<GlobalRegRecord> all = scanAll(&handle);
    ASSERT_EQ(3u, all.size());
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(same(added[i], all[i])) << i;

    // A second record with the same key is refused.
    GlobalRegRecord again = fullVariable("QVRPATH", "elsewhere");
    EXPECT_EQ(GENREG_RC_DUPLICATE, handle.Add(kVariableSelector, &again));

    // Change keeps the record's place.
    GlobalRegRecord changed = variable;
    GLOBAL_SET(changed.Variable.Value, "/opt/qvr-new");
    key = variableKey("QVRPATH");
    ASSERT_EQ(0u, handle.Change(kVariableSelector, &key, &changed));
    GlobalRegRecord changedService = service;
    changedService.Service.Level = 9;
    key = serviceKey("QVR", kVersion974);
    ASSERT_EQ(0u, handle.Change(kServiceSelector, &key, &changedService));
    all = scanAll(&handle);
    ASSERT_EQ(3u, all.size());
    EXPECT_TRUE(same(instance, all[0]));
    EXPECT_TRUE(same(changedService, all[1]));
    EXPECT_TRUE(same(changed, all[2]));

    key = instanceKey("inst1");
    ASSERT_EQ(0u, handle.Delete(kInstanceSelector, &key));
    EXPECT_EQ(GENREG_RC_NO_MATCH, handle.Get(kInstanceSelector, &key, &got));
    EXPECT_TRUE(store_test::IsCommitted(handle, platform_test::readFile(filePath)));
    EXPECT_TRUE(store_test::HandleIsIdle(handle));
    all = scanAll(&handle);
    ASSERT_EQ(2u, all.size());
    EXPECT_TRUE(same(changedService, all[0]));
    EXPECT_TRUE(same(changed, all[1]));
}

TEST(GlobalRegFile, ThreeRecordTypesAtThePathOfTheVariable) {
    GlobalRegFile file;
    exerciseThreeTypes(file.path());
    GlobalReg handle;
    EXPECT_TRUE(store_test::IsCommitted(handle, file.bytes()));
}

// A record whose stored form is larger than the record itself is packed
// by the store in room of its own, never in the caller's record.
TEST(GlobalRegFile, RecordLargerPackedThanInMemoryIsStoredAndReadBack) {
    GlobalRegFile file;
    GlobalReg handle;
    const GlobalRegRecord longest = globalrec_test::longestInstance();
    const std::string name(longest.Instance.InstanceName);
    std::vector<GlobalRegRecord> exact(1, longest);  // exactly a record's size
    ASSERT_EQ(0u, handle.Add(kInstanceSelector, exact.data()));
    EXPECT_TRUE(same(longest, exact[0]));
    GlobalRegRecord key = instanceKey(name), found;
    ASSERT_EQ(0u, handle.Get(kInstanceSelector, &key, &found));
    EXPECT_TRUE(same(longest, found));
    ASSERT_EQ(1u, recordsOf(file.path()).size());
    EXPECT_GT(recordsOf(file.path())[0].size(), sizeof(GlobalRegRecord));
    GlobalRegRecord changed = longest;
    changed.Instance.StartAtBoot = 0;
    exact[0] = changed;
    ASSERT_EQ(0u, handle.Change(kInstanceSelector, &key, exact.data()));
    ASSERT_EQ(0u, handle.Get(kInstanceSelector, &key, &found));
    EXPECT_TRUE(same(changed, found));
}

// Restores the working directory when the test ends, however it ends.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& dir) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() { std::filesystem::current_path(saved_); }

private:
    std::filesystem::path saved_;
};

TEST(GlobalRegFile, ThreeRecordTypesAtTheDefaultPlace) {
    platform_test::ScratchDir dir;
    ScopedEnv unset("QVR_GLOBAL_REG_PATHNAME", nullptr);
    {
        WorkingDirectory cwd(dir.path());
        exerciseThreeTypes("global.reg");
    }
    EXPECT_TRUE(platform_test::exists(dir.file("global.reg")));
    EXPECT_EQ(2u, recordsOf(dir.file("global.reg")).size());
    for (const char* name : {"global.reg.tmp", "global.reg.cor", ".global.reg.lock"})
        EXPECT_FALSE(platform_test::exists(dir.file(name))) << name;
}

// A record of a newer version: an instance record with the field 0x400,
// stored as that version stores it.
const std::string kFutureEntry(
    "\x07\x00"
    "newer field bytes"
    "\x00\xff",
    21);

Bytes futureInstance() {
    return StoredRecord(1, 0x1 | 0x4 | 0x10 | 0x400)
        .text("QVR")
        .text("future")
        .text("test")
        .raw(kFutureEntry)
        .checksum(31)
        .bytes();
}

Bytes futureVariable() {
    return StoredRecord(4, 0x1 | 0x2 | 0x4 | 0x40 | 0x2000000000000000ULL)
        .text("QVR")
        .text("FUTUREVAR")
        .text("v")
        .raw("forty")
        .raw(std::string(300, '\x80'))
        .checksum(0)
        .bytes();
}

// Records of a newer version survive every update of this one: a Change of
// the record itself, and Add, Change and Delete of other records.
TEST(GlobalRegFile, FieldsOfANewerVersionSurviveUpdates) {
    GlobalRegFile file;
    const Bytes plain = StoredRecord(2, 0x1 | 0x2 | 0x20)
                            .text("PLV")
                            .number(kVersion974, 8)
                            .number(2, 4)
                            .checksum(0)
                            .bytes();
    file.write({futureInstance(), plain, futureVariable()});
    const std::string instanceEntry = entryOf(futureInstance(), 0x400);
    const std::string variableEntry40 = entryOf(futureVariable(), 0x40);
    const std::string variableEntryTop = entryOf(futureVariable(), 0x2000000000000000ULL);
    ASSERT_EQ(2 + kFutureEntry.size(), instanceEntry.size());

    auto expectCarried = [&](const char* step) {
        std::vector<Bytes> records = recordsOf(file.path());
        bool sawInstance = false, sawVariable = false;
        for (const Bytes& r : records) {
            if (r[0] == 1) {
                sawInstance = true;
                EXPECT_EQ(instanceEntry, entryOf(r, 0x400)) << step;
            } else if (r[0] == 4 && entryOf(r, 0x2) == entryOf(futureVariable(), 0x2)) {
                sawVariable = true;
                EXPECT_EQ(variableEntry40, entryOf(r, 0x40)) << step;
                EXPECT_EQ(variableEntryTop, entryOf(r, 0x2000000000000000ULL)) << step;
            }
        }
        EXPECT_TRUE(sawInstance && sawVariable) << step;
    };

    GlobalReg handle;
    GlobalRegRecord got;
    GlobalRegRecord key = instanceKey("future");
    ASSERT_EQ(0u, handle.Get(kInstanceSelector, &key, &got));
    EXPECT_EQ(0x415u, got.FieldMask);  // the unknown bit is kept
    EXPECT_STREQ("test", got.Instance.Usage);

    // The record itself changed, with its unknown bit announced.
    GlobalRegRecord changed = got;
    GLOBAL_SET(changed.Instance.Usage, "production");
    ASSERT_EQ(0u, handle.Change(kInstanceSelector, &key, &changed));
    expectCarried("change of the record");
    ASSERT_EQ(0u, handle.Get(kInstanceSelector, &key, &got));
    EXPECT_STREQ("production", got.Instance.Usage);

    // Other records added, changed, deleted.
    GlobalRegRecord added = fullVariable("OTHER", "1");
    ASSERT_EQ(0u, handle.Add(GENREG_SELECT_ALL, &added));
    expectCarried("add");
    GlobalRegRecord plainKey = serviceKey("PLV", kVersion974);
    GlobalRegRecord plainNew = plainKey;
    plainNew.FieldMask |= GENREG_SVC_LEVEL;
    plainNew.Service.Level = 5;
    ASSERT_EQ(0u, handle.Change(kServiceSelector, &plainKey, &plainNew));
    expectCarried("change of another record");
    key = variableKey("OTHER");
    ASSERT_EQ(0u, handle.Delete(kVariableSelector, &key));
    expectCarried("delete");
    EXPECT_EQ(3u, recordsOf(file.path()).size());
}

// A caller's record that announces a field unknown to its type, with no
// stored record to take the field's entry from, is refused, and the file
// keeps what it held.
TEST(GlobalRegFile, AddOfRecordAnnouncingUnknownFieldIsRefused) {
    GlobalRegFile file;
    file.write({futureInstance()});
    const std::string before = file.bytes();
    GlobalReg handle;
    GlobalRegRecord got;
    GlobalRegRecord key = instanceKey("future");
    ASSERT_EQ(0u, handle.Get(kInstanceSelector, &key, &got));
    GLOBAL_SET(got.Instance.InstanceName, "copy");  // a copy of it, as a new record
    EXPECT_EQ(GENREG_RC_PACK_FAILED, handle.Add(kInstanceSelector, &got));
    EXPECT_EQ(before, file.bytes());
}

struct DamagedFile {
    const char* name;
    Bytes damaged;
    unsigned cause;  // what the schema reports about the record
};

// Files holding a damaged record: reads fail with the store's code, and no
// update of the file changes it.
TEST(GlobalRegFile, DamagedRecordsAreRefusedAndTheFileIsNeverChanged) {
    const DamagedFile cases[] = {
        {"entry past the end",
         StoredRecord(4, 0x1 | 0x2).text("QVR").entry(90, "X").checksum(0).bytes(),
         GENREG_RC_STORED_ENTRY_PAST_END},
        {"entry longer than its slot",
         StoredRecord(4, 0x1 | 0x2).text("QVR").text(std::string(300, 'v')).checksum(0).bytes(),
         GENREG_RC_STORED_ENTRY_TOO_LONG},
        {"unknown record type", StoredRecord(9, 0x1).text("QVR").checksum(0).bytes(),
         GENREG_RC_BAD_STORED_TYPE},
        {"text without terminator",
         StoredRecord(4, 0x1 | 0x2).text("QVR").raw("V").checksum(0).bytes(),
         GENREG_RC_STORED_TEXT_MALFORMED},
        {"number of the wrong length",
         StoredRecord(2, 0x1 | 0x2).text("QVR").number(1, 4).checksum(0).bytes(),
         GENREG_RC_STORED_NUMBER_LENGTH},
        // Measuring this record's entries without its stored length reads
        // past a buffer the size of the in-memory record.
        {"unknown entry past the end of a short record",
         StoredRecord(4, 0x1 | 0x100 | 0x200)
             .text("QVR")
             .entry(5000, "x")
             .raw("y")
             .checksum(0)
             .bytes(),
         GENREG_RC_STORED_ENTRY_PAST_END},
        {"bytes after the checksum",
         StoredRecord(4, 0x1 | 0x2).text("QVR").text("V").checksum(0).raw("x").bytes(),
         GENREG_RC_STORED_LENGTH_MISMATCH},
    };
    const Bytes good =
        StoredRecord(4, 0x1 | 0x2 | 0x4).text("QVR").text("GOOD").text("1").checksum(0).bytes();
    for (const DamagedFile& c : cases) {
        GlobalRegFile file;
        file.write({good, c.damaged});
        const std::string before = file.bytes();
        store_test::LogCapture log;
        GlobalReg handle;
        GlobalRegRecord got;
        GlobalRegRecord missing = variableKey("MISSING");
        EXPECT_EQ(GENREG_RC_UNPACK_FAILED, handle.Get(kVariableSelector, &missing, &got)) << c.name;
        EXPECT_LT(0u, log.Count(c.cause)) << c.name;

        GlobalRegRecord goodKey = variableKey("GOOD");
        GlobalRegRecord goodNew = fullVariable("GOOD", "2");
        GlobalRegRecord added = fullVariable("NEW", "3");
        EXPECT_NE(0u, handle.Add(GENREG_SELECT_ALL, &added)) << c.name;
        EXPECT_TRUE(store_test::IsUntouched(handle, before)) << c.name;
        EXPECT_NE(0u, handle.Change(kVariableSelector, &goodKey, &goodNew)) << c.name;
        EXPECT_TRUE(store_test::IsUntouched(handle, before)) << c.name;
        EXPECT_NE(0u, handle.Delete(kVariableSelector, &goodKey)) << c.name;
        EXPECT_TRUE(store_test::IsUntouched(handle, before)) << c.name;
        EXPECT_TRUE(store_test::HandleIsIdle(handle)) << c.name;
    }
}

// Records the caller hands over are checked before the file is touched.
TEST(GlobalRegFile, InvalidRecordsAreRefusedBeforeTheFileIsTouched) {
    GlobalRegFile file;
    GlobalReg handle;
    GlobalRegRecord emptyMask = fullVariable("A", "B");
    emptyMask.FieldMask = 0;
    GlobalRegRecord badType = fullVariable("A", "B");
    badType.RecordType = 7;
    GlobalRegRecord emptyValue = fullVariable("A", "B");
    emptyValue.Variable.Value[0] = '\0';
    struct Case {
        GlobalRegRecord* record;
        unsigned cause;
    } cases[] = {
        {&emptyMask, GENREG_RC_EMPTY_FIELD_MASK},
        {&badType, GENREG_RC_BAD_RECORD_TYPE},
        {&emptyValue, GENREG_RC_VAR_VALUE_EMPTY},
    };
    for (const Case& c : cases) {
        store_test::LogCapture log;
        EXPECT_EQ(GENREG_RC_INVALID_RECORD, handle.Add(GENREG_SELECT_ALL, c.record));
        EXPECT_EQ(1u, log.Count(c.cause)) << c.cause;
    }
    EXPECT_FALSE(platform_test::exists(file.path()));
}

// A handle whose path did not fit refuses to scan or update and creates
// nothing.
TEST(GlobalRegFile, HandleWithoutPathsRefusesToWork) {
    platform_test::ScratchDir dir;
    const std::string tooLong = dir.file(std::string(270, 'g'));
    ScopedEnv set("QVR_GLOBAL_REG_PATHNAME", tooLong.c_str());
    GlobalReg handle;
    EXPECT_EQ(GENREG_RC_NOT_INITIALIZED, handle.OpenScan());
    GlobalRegRecord r = fullVariable("A", "B");
    EXPECT_NE(0u, handle.Add(GENREG_SELECT_ALL, &r));
    uint64_t count = 99;
    EXPECT_NE(0u, UpgradeServiceLevels(&handle, &count));
    EXPECT_EQ(99u, count);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
