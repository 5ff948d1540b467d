// Faults of the file protocol at the edges where other programs and people
// meet a registry file: a read-only file, a stream that cannot be attached,
// names whose companions would land elsewhere. Each test is named after
// the fault it pins down.
#include "text_fixture.h"

namespace {

using text_test::Entry;
using text_test::Key;
using text_test::OnDisk;

bool isReadOnly(const std::string& path) {
    OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, path.c_str()};
    OSSFileInfo info = {};
    return ossFileGetInfoV9(&request, &info) == 0 && !(info.permissions & 0200);
}

// The copy and the backup took the file's read-only attribute and the
// library could not delete them on Windows: a Change committed the new
// content yet reported a failure, left a read-only backup, and the next
// updates failed on a marker they could not delete. Every update of a
// read-only file now commits and leaves nothing behind, with and without
// verification, again and again, and the file stays read-only.
TEST(TxnEdges, ReadOnlyFileUpdateLeavesNoDebris) {
    for (bool verify : {false, true}) {
        store_test::TestDir dir;
        const std::string path = dir.file("reg");
        unsigned rc = 1;
        GenRegVarVal profile(path.c_str(), &rc);
        ASSERT_EQ(0u, rc);
        if (verify) {
            ASSERT_EQ(0u, profile.setFeature(GENREG_FEATURE_VERIFY));
        }
        ASSERT_TRUE(store_test::WriteTextFile(path, "a = 1\n"));
        ASSERT_EQ(0u, ossFileSetPermissions(path.c_str(), 0444));
        for (const char* value : {"2", "3"}) {
            Key a("a");
            Entry changed("a", value);
            EXPECT_EQ(0u, profile.Change(GENREG_VARVAL_VARIABLE, a.get(), changed.get()))
                << verify << value;
            EXPECT_TRUE(
                store_test::IsCommitted(profile, OnDisk(std::string("a = ") + value + "\n")));
            EXPECT_TRUE(store_test::HasCompanions(profile, {true, false, false, false, false}))
                << verify << value;
            EXPECT_TRUE(isReadOnly(path)) << verify << value;
        }
        Entry b("b", "1");
        EXPECT_EQ(0u, profile.Add(GENREG_VARVAL_VARIABLE, b.get()));
        EXPECT_TRUE(store_test::HasCompanions(profile, {true, false, false, false, false}));
        ossFileSetPermissions(path.c_str(), 0666);
    }
}

// Companions left read-only by someone else are still the library's to
// delete (a read-only marker blocked every later update).
TEST(TxnEdges, ReadOnlyCompanionIsDeletable) {
    store_test::TestDir dir;
    const std::string marker = dir.file("reg.cor");
    ASSERT_TRUE(store_test::WriteFileBytes(marker, "left over"));
    ASSERT_EQ(0u, ossFileSetPermissions(marker.c_str(), 0444));
    EXPECT_EQ(0u, ossFileDelete(marker.c_str()));
    EXPECT_FALSE(store_test::PathExists(marker));
}

#ifdef GENREG_FAULT_INJECTION

// The runtime descriptor a new stream would get: the lowest free slot.
int nextDescriptor(const std::string& path) {
    OSSHFile file;
    OSSFileOpenParam open = {};
    open.version = OSS_INTERFACE_VERSION;
    open.path = path.c_str();
    open.disposition = 2;
    open.access = OSS_ACCESS_READ;
    open.permissions = 0600;
    if (file.open(&open) != 0) return -1;
    int fd = ossOpenOsfHandle(file.getFileHandle(), 0);
    if (fd < 0) return -1;
    file.release();
    ossFdClose(fd);
    return fd;
}

// When the stream could not be attached to the descriptor of the registry
// file, only the OS handle was closed: on Windows the runtime's descriptor
// slot stayed taken, one per failed lookup, for the life of the process.
TEST(TxnEdges, FailedStreamAttachClosesDescriptor) {
    store_test::TestDir dir;
    const std::string path = dir.file("reg");
    unsigned rc = 1;
    GenRegVarVal profile(path.c_str(), &rc);
    ASSERT_EQ(0u, rc);
    ASSERT_TRUE(store_test::WriteTextFile(path, "a = 1\n"));
    const std::string probe = dir.file("probe");
    const int before = nextDescriptor(probe);
    ASSERT_GE(before, 0);
    store_test::ResourceBalance balance;
    int failures = 0;
    for (int round = 0; round < 3; ++round) {
        for (uint32_t nth = 1;; ++nth) {
            ossFaultReset();
            ossFaultArm(OSS_FAULT_OPEN, nth, 0);
            Key a("a");
            VarValRecord result;
            rc = profile.Get(GENREG_VARVAL_VARIABLE, a.get(), &result);
            const bool fired = ossFaultFired();
            ossFaultDisarm();
            if (!fired) break;
            ++failures;
            EXPECT_NE(0u, rc) << nth;
            EXPECT_TRUE(store_test::HandleIsIdle(profile));
        }
    }
    EXPECT_GE(failures, 6);  // the open and the attach, three times
    EXPECT_EQ(before, nextDescriptor(probe));
    EXPECT_TRUE(balance.Unchanged());
}

#endif

}  // namespace
