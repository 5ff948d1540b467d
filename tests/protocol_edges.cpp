// The file protocol where other programs and people meet it: links and
// special files planted at the protocol's names, files that vanish, and
// refusals of permission. Each test is named after the fault it pins down,
// and runs against the three kinds of registry file.
#include "reliability_support.h"
#include "nonregular_files.h"

#include <genreg/oss_file.h>

namespace {

using reliability_test::NoDebris;
using reliability_test::Store;
using reliability_test::StoreKind;
using store_test::FileHolds;
using store_test::LogCapture;
using store_test::PathExists;
using store_test::TestDir;

const StoreKind kKinds[] = {reliability_test::STORE_TEXT, reliability_test::STORE_BINARY,
                            reliability_test::STORE_GLOBAL};

// A file of the kind holding alpha = 1, and its bytes.
std::string Populate(Store* store, const std::string& path) {
    EXPECT_EQ(0u, store->Add("alpha", 1));
    reliability_test::RemoveCompanions(store->file());
    return store_test::ReadFileBytes(path);
}

bool Logged(const LogCapture& log, unsigned rc, const std::string& path) {
    for (const LogCapture::Entry& e : log.entries())
        if (e.rc == rc && e.data.find(path) != std::string::npos) return true;
    return false;
}

enum class LinkKind { kSymbolic, kHard };

// Plants a link of kind at the lock file's name, to the registry file or to
// a victim (a missing one for a symbolic link, a file for a hard link), and
// checks that updates are refused with the file and the victim untouched,
// that lookups still work, and that updates work again once the planted
// name is gone.
void ExpectLockFileLinkRefused(LinkKind link) {
    const bool hard = link == LinkKind::kHard;
    for (StoreKind kind : kKinds) {
        for (bool toTheFile : {false, true}) {
            SCOPED_TRACE(testing::Message() << reliability_test::KindName(kind)
                                            << (toTheFile ? " link to the file" : " to a victim"));
            TestDir dir;
            const std::string path = dir.file("reg");
            Store store(kind, path);
            ASSERT_EQ(0u, store.constructRc());
            const std::string before = Populate(&store, path);
            const std::string victim = toTheFile ? path : dir.file("victim");
            if (hard && !toTheFile) {
                ASSERT_TRUE(store_test::WriteFileBytes(victim, "victim"));
            }
            const std::string& lockPath = store.file().lockPath;
            if (!(hard ? store_test::PlantHardLink(lockPath, victim)
                       : store_test::PlantLink(lockPath, victim)))
                GTEST_SKIP() << "no links of this kind here";
            store_test::ResourceBalance balance;
            LogCapture log;
            EXPECT_EQ(GENREG_RC_NOT_REGULAR_FILE, store.Change("alpha", 2));
            EXPECT_EQ(GENREG_RC_NOT_REGULAR_FILE, store.Add("beta", 3));
            EXPECT_TRUE(Logged(log, GENREG_RC_NOT_REGULAR_FILE, lockPath));
            EXPECT_TRUE(FileHolds(path, before));
            if (!toTheFile) {
                EXPECT_EQ(hard, PathExists(victim));
            }
            if (hard) {
                EXPECT_TRUE(FileHolds(lockPath, toTheFile ? before : "victim"));
            }
            EXPECT_TRUE(store_test::HandleIsIdle(store.file()));
            EXPECT_TRUE(balance.Unchanged());
            // Lookups take no update lock and still work.
            int32_t number = 0;
            EXPECT_EQ(0u, store.Get("alpha", &number));
            EXPECT_EQ(1, number);
            ASSERT_EQ(0u, ossFileDelete(lockPath.c_str()));
            EXPECT_EQ(0u, store.Change("alpha", 2));
            EXPECT_TRUE(NoDebris(store.file()));
        }
    }
}

// A dangling link at the lock file's name used to make the update create
// the file it points to; a link to the registry file itself made the
// update lock the registry file and then wait for ever on its own lock.
TEST(ProtocolEdges, LockFileLinkIsNeverFollowed) {
    ExpectLockFileLinkRefused(LinkKind::kSymbolic);
}

// A second hard link planted at the lock file's name steered the lock onto
// another file as a symbolic link did: onto the registry file itself (the
// update then waited on its own lock) or onto a file of someone else's.
TEST(ProtocolEdges, LockFileWithASecondHardLinkIsRefused) {
    ExpectLockFileLinkRefused(LinkKind::kHard);
}

// The copy's permission bits used to be read by the registry file's name,
// not from the file the update had open: a name changed meanwhile chose
// them. They come from the open file now, whatever its name holds.
TEST(ProtocolEdges, CopyPermissionsAreReadFromTheOpenFile) {
    auto permissionsOf = [](const std::string& path) {
        OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, path.c_str()};
        OSSFileInfo info = {};
        EXPECT_EQ(0u, ossFileGetInfoV9(&request, &info));
        return info.permissions;
    };
    // The open file's bits, and those of the file put at its name meanwhile.
    const uint64_t cases[][2] = {{0444, 0666}, {0666, 0444}, {0640, 0604}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << c[0] << " " << c[1]);
        TestDir dir;
        const std::string path = dir.file("reg"), other = dir.file("other");
        const std::string copy = dir.file("copy");
        ASSERT_TRUE(store_test::WriteFileBytes(path, "old"));
        ASSERT_TRUE(store_test::WriteFileBytes(other, "other"));
        ASSERT_EQ(0u, ossFileSetPermissions(path.c_str(), c[0]));
        ASSERT_EQ(0u, ossFileSetPermissions(other.c_str(), c[1]));
        const uint64_t expected = permissionsOf(path);
        FILE* from = ossStreamOpen(path.c_str(), "rb");
        FILE* to = ossStreamCreateExclusive(copy.c_str(), "wb");
        ASSERT_TRUE(from != nullptr && to != nullptr);
        // The open file moves away (Windows cannot rename over a read-only
        // file) and the other file takes its name.
        ASSERT_EQ(0u, ossFileRename(path.c_str(), dir.file("moved").c_str()));
        ASSERT_EQ(0u, ossFileRename(other.c_str(), path.c_str()));
        EXPECT_EQ(0u, ossStreamCopyPermissions(from, to));
        ossStreamClose(to);
        ossStreamClose(from);
        EXPECT_EQ(expected, permissionsOf(copy));
    }
}

// A FIFO at the registry path used to block an Add for ever in its open,
// with the update lock held, and so every other writer with it. An Add that
// appends in place (duplicates allowed) looked at the file's end through an
// open that blocked the same way (text store).
TEST(ProtocolEdges, FifoAtRegistryPathIsRefused) {
    for (StoreKind kind : kKinds) {
        // The store's own features, then appending in place.
        for (bool inPlace : {false, true}) {
            if (kind == reliability_test::STORE_GLOBAL && inPlace)
                continue;  // the global registry file never holds duplicates
            SCOPED_TRACE(testing::Message()
                         << reliability_test::KindName(kind) << (inPlace ? " in place" : ""));
            TestDir dir;
            const std::string path = special_test::SpecialFileIn(dir.path());
            if (path.empty()) GTEST_SKIP() << "no special file can be made here";
            Store store(kind, path);
            ASSERT_EQ(0u, store.constructRc());
            if (inPlace) {
                ASSERT_EQ(0u, store.SetFeatures(GENREG_FEATURE_DUPLICATES));
            }
            store_test::ResourceBalance balance;
            int32_t number = 0;
            LogCapture log;
            EXPECT_EQ(GENREG_RC_NOT_REGULAR_FILE, store.Add("alpha", 1));
            EXPECT_EQ(GENREG_RC_NOT_REGULAR_FILE, store.Change("alpha", 2));
            EXPECT_EQ(GENREG_RC_NOT_REGULAR_FILE, store.Delete("alpha"));
            EXPECT_EQ(GENREG_RC_NOT_REGULAR_FILE, store.Get("alpha", &number));
            EXPECT_EQ(GENREG_RC_NOT_REGULAR_FILE, store.file().OpenScan());
            EXPECT_TRUE(Logged(log, GENREG_RC_NOT_REGULAR_FILE, path));
            EXPECT_TRUE(store_test::HandleIsIdle(store.file()));
            EXPECT_TRUE(balance.Unchanged());
            EXPECT_TRUE(NoDebris(store.file()));
        }
    }
}

// Lookups used to open the file with create-if-missing, so a file removed
// between the existence check and the open came back empty.
TEST(ProtocolEdges, ReadNeverCreatesTheFile) {
    for (StoreKind kind : kKinds) {
        SCOPED_TRACE(reliability_test::KindName(kind));
        TestDir dir;
        const std::string path = dir.file("reg");
        Store store(kind, path);
        ASSERT_EQ(0u, store.constructRc());
        int32_t number = 0;
        EXPECT_NE(0u, store.Get("alpha", &number));
        EXPECT_NE(0u, store.Change("alpha", 2));
        EXPECT_NE(0u, store.Delete("alpha"));
        EXPECT_EQ(GENREG_RC_FILE_NOT_FOUND, store.file().OpenScan());
        EXPECT_FALSE(PathExists(path));
        EXPECT_TRUE(NoDebris(store.file()));
    }
    // The open itself, asked for an existing file, creates nothing.
    TestDir dir;
    const std::string path = dir.file("missing");
    OSSHFile file;
    OSSFileOpenParam open = {OSS_INTERFACE_VERSION, path.c_str(),      2,
                             OSS_ACCESS_READ,       OSS_OPEN_EXISTING, 0600};
    EXPECT_EQ(OSS_RC_FILE_NOT_FOUND, file.open(&open));
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(PathExists(path));
}

// The left-over check used to follow links: a dangling link at the copy's
// name counted as no left-over, and the exclusive creation of the copy then
// failed on every later update.
TEST(ProtocolEdges, DanglingLinkAtCopyNameIsSetAside) {
    for (StoreKind kind : kKinds) {
        SCOPED_TRACE(reliability_test::KindName(kind));
        TestDir dir;
        const std::string path = dir.file("reg");
        Store store(kind, path);
        ASSERT_EQ(0u, store.constructRc());
        Populate(&store, path);
        const std::string victim = dir.file("victim");
        if (!store_test::PlantLink(store.file().tempPath, victim))
            GTEST_SKIP() << "no symbolic links here";
        EXPECT_EQ(0u, store.Change("alpha", 2));
        EXPECT_EQ(0u, store.Change("alpha", 3));
        int32_t number = 0;
        EXPECT_EQ(0u, store.Get("alpha", &number));
        EXPECT_EQ(3, number);
        EXPECT_FALSE(PathExists(victim));
        EXPECT_TRUE(NoDebris(store.file()));
    }
}

// Runs check(store, path, bytes) on a file of every kind holding alpha = 1,
// with verification off and on.
template <typename Check>
void ForEveryKindWithAndWithoutVerification(Check check) {
    for (StoreKind kind : kKinds) {
        for (uint64_t features : {(uint64_t)0, (uint64_t)GENREG_FEATURE_VERIFY}) {
            SCOPED_TRACE(testing::Message()
                         << reliability_test::KindName(kind) << " features " << features);
            TestDir dir;
            const std::string path = dir.file("reg");
            Store store(kind, path);
            ASSERT_EQ(0u, store.constructRc());
            ASSERT_EQ(0u, store.SetFeatures(features));
            const std::string before = Populate(&store, path);
            check(&store, path, before);
        }
    }
}

// A refused update used to leave its copy, which the next update turned into
// a corruption marker although no update had been interrupted.
TEST(ProtocolEdges, RefusedUpdateLeavesNoCopy) {
    ForEveryKindWithAndWithoutVerification(
        [](Store* store, const std::string& path, const std::string& before) {
            EXPECT_EQ(GENREG_RC_DUPLICATE, store->Add("alpha", 5));
            EXPECT_EQ(GENREG_RC_NO_MATCH, store->Change("beta", 5));
            EXPECT_EQ(GENREG_RC_NO_MATCH, store->Delete("beta"));
            EXPECT_TRUE(FileHolds(path, before));
            EXPECT_FALSE(PathExists(store->file().tempPath));
            EXPECT_EQ(0u, store->Add("beta", 2));
            EXPECT_FALSE(PathExists(store->file().corruptPath));
            EXPECT_TRUE(NoDebris(store->file()));
        });
}

// An Add that appends in place (duplicates allowed, verification off) did
// not read the file: behind a damaged last record it wrote its record and
// returned 0, but a lookup stops at the damaged record and never reached
// it. Whatever the features, an Add now either leaves its record within a
// lookup's reach or is refused with the file as it was.
TEST(ProtocolEdges, AddBehindADamagedRecordIsReachableOrRefused) {
    struct Damage {
        const char* name;
        size_t cut;        // bytes cut off the end
        std::string tail;  // bytes put behind
    };
    const Damage damages[] = {
        {"last record cut short", 1, ""},
        {"stray bytes behind the last record", 0, "\x01\x02"},
        // They read as a record of length 0, but a record appended behind
        // them would not start where the reader looks for it.
        {"stray zero bytes behind the last record", 0, std::string(2, '\0')},
        {"length running past the end", 0,
         std::string("\xE8\x03\x00\x00"
                     "abc",
                     7)},
    };
    const uint64_t d = GENREG_FEATURE_DUPLICATES, v = GENREG_FEATURE_VERIFY;
    for (const Damage& damage : damages) {
        for (uint64_t features : {d, (uint64_t)0, v | d}) {
            SCOPED_TRACE(testing::Message() << damage.name << ", features " << features);
            TestDir dir;
            const std::string path = dir.file("reg");
            Store store(reliability_test::STORE_BINARY, path);
            ASSERT_EQ(0u, store.SetFeatures(features));
            std::string before = Populate(&store, path);
            before = before.substr(0, before.size() - damage.cut) + damage.tail;
            ASSERT_TRUE(store_test::WriteFileBytes(path, before));
            store_test::ResourceBalance balance;
            const unsigned rc = store.Add("delta", 4);
            int32_t number = 0;
            if (rc == 0) {
                EXPECT_EQ(0u, store.Get("delta", &number));
                EXPECT_EQ(4, number);
            } else {
                EXPECT_EQ(GENREG_RC_READ_FAILED, rc);
                EXPECT_TRUE(FileHolds(path, before));
            }
            EXPECT_TRUE(features != d || rc != 0) << "appended in place behind the damage";
            EXPECT_TRUE(balance.Unchanged());
            EXPECT_TRUE(NoDebris(store.file()));
        }
    }
}

// An update run by an administrator used to give the file to the
// administrator, leaving it unreadable to the service account owning it.
TEST(ProtocolEdges, PrivilegedUpdateKeepsOwner) {
    if (!special_test::MayChangeOwners()) GTEST_SKIP() << "files cannot be given away here";
    const uint32_t user = 4242, group = 4343;
    for (StoreKind kind : kKinds) {
        SCOPED_TRACE(reliability_test::KindName(kind));
        TestDir dir;
        const std::string path = dir.file("reg");
        Store store(kind, path);
        ASSERT_EQ(0u, store.constructRc());
        Populate(&store, path);
        ASSERT_TRUE(special_test::GiveTo(path, user, group));
        EXPECT_EQ(0u, store.Change("alpha", 2));
        EXPECT_EQ(0u, store.Add("beta", 3));
        EXPECT_EQ(0u, store.Delete("alpha"));
        uint32_t owner = 0, ownerGroup = 0;
        ASSERT_TRUE(special_test::OwnerOf(path, &owner, &ownerGroup));
        EXPECT_EQ(user, owner);
        EXPECT_EQ(group, ownerGroup);
    }
}

#ifdef GENREG_FAULT_INJECTION

// A text Add that could not tell whether the file existed took it for
// missing, skipped ending the last line and glued the new line onto it,
// reporting success. Every existence or type query that fails now fails
// the update, whichever it is, and the file keeps its bytes.
TEST(ProtocolEdges, FailedExistenceCheckFailsTheAdd) {
    for (StoreKind kind : kKinds) {
        for (uint64_t features : {(uint64_t)0, (uint64_t)GENREG_FEATURE_DUPLICATES}) {
            SCOPED_TRACE(testing::Message()
                         << reliability_test::KindName(kind) << " features " << features);
            TestDir dir;
            const std::string path = dir.file("reg");
            Store store(kind, path);
            ASSERT_EQ(0u, store.constructRc());
            if (kind == reliability_test::STORE_GLOBAL && features != 0) continue;
            ASSERT_EQ(0u, store.SetFeatures(features));
            std::string before = Populate(&store, path);
            if (kind == reliability_test::STORE_TEXT) {
                before += "omega = 0";  // a last line without its line end
                ASSERT_TRUE(store_test::WriteFileBytes(path, before));
            }
            uint32_t failed = 0;
            for (uint32_t nth = 1; nth < 50; ++nth) {
                ossFaultReset();
                ossFaultArm(OSS_FAULT_QUERY, nth, 0);
                unsigned rc = store.Add("delta", 4);
                bool fired = ossFaultFired();
                ossFaultDisarm();
                if (!fired) break;
                ++failed;
                EXPECT_NE(0u, rc) << "query " << nth;
                EXPECT_TRUE(FileHolds(path, before)) << "query " << nth;
                EXPECT_TRUE(store_test::HandleIsIdle(store.file()));
                reliability_test::RemoveCompanions(store.file());
            }
            EXPECT_GT(failed, 0u);
        }
    }
}

// With verification on, an update whose swap stood but whose backup could
// not be deleted afterwards reported GENREG_RC_VERIFY_FAILED ("not
// committed") over the new content; without it, GENREG_RC_CLOSE_FAILED. A
// caller who repeated an Add then added its record twice. Such an update
// is done: it reports success and logs the backup it left behind, which
// the next commit removes.
TEST(ProtocolEdges, CommittedSwapWithBackupLeftReportsSuccess) {
    ForEveryKindWithAndWithoutVerification(
        [](Store* store, const std::string&, const std::string&) {
            const GenRegFile& file = store->file();
            bool reached = false;
            for (uint32_t nth = 1; nth < 20 && !reached; ++nth) {
                LogCapture log;
                ossFaultReset();
                ossFaultArm(OSS_FAULT_DELETE, nth, 0);
                unsigned rc = store->Change("alpha", (int32_t)(10 + nth));
                bool fired = ossFaultFired();
                ossFaultDisarm();
                if (!fired) break;
                if (!Logged(log, GENREG_RC_BACKUP_DELETE_FAILED, file.backupPath)) {
                    reliability_test::RemoveCompanions(store->file());
                    continue;
                }
                reached = true;
                EXPECT_EQ(0u, rc) << "delete " << nth;
                int32_t number = 0;
                EXPECT_EQ(0u, store->Get("alpha", &number));
                EXPECT_EQ((int32_t)(10 + nth), number);
                bool warned = false;
                for (const LogCapture::Entry& e : log.entries())
                    warned |= e.severity == OSS_SEVERITY_WARNING &&
                              e.data.find(file.backupPath) != std::string::npos;
                EXPECT_TRUE(warned) << "no warning names the backup left behind";
                EXPECT_TRUE(store_test::HandleIsIdle(file));
                EXPECT_EQ(0u, store->Change("alpha", 2));
                EXPECT_TRUE(NoDebris(store->file()));
            }
            EXPECT_TRUE(reached);
        });
}

// A lock file refused for lack of permission used to be retried for about a
// second; the refusal now fails at once, says it was a permission problem,
// and names the lock file.
TEST(ProtocolEdges, PermissionRefusalFailsAtOnce) {
    for (StoreKind kind : kKinds) {
        SCOPED_TRACE(reliability_test::KindName(kind));
        TestDir dir;
        const std::string path = dir.file("reg");
        Store store(kind, path);
        ASSERT_EQ(0u, store.constructRc());
        const std::string before = Populate(&store, path);
        bool refused = false;
        // The lock file's open is the first or, where a text update reads
        // the file beforehand, the second open of the update.
        for (uint32_t nth = 1; nth <= 2 && !refused; ++nth) {
            LogCapture log;
            ossFaultReset();
            ossFaultArm(OSS_FAULT_OPEN, nth, 0);  // the platform's "access denied"
            unsigned rc = store.Change("alpha", 2);
            uint64_t opens = ossFaultCalls(OSS_FAULT_OPEN);
            ossFaultDisarm();
            if (!Logged(log, GENREG_RC_PERMISSION_DENIED, store.file().lockPath)) continue;
            refused = true;
            EXPECT_EQ(GENREG_RC_PERMISSION_DENIED, rc);
            EXPECT_EQ(nth, opens) << "the refused open was tried again";
        }
        EXPECT_TRUE(refused);
        EXPECT_TRUE(FileHolds(path, before));
        EXPECT_TRUE(store_test::HandleIsIdle(store.file()));
    }
    // A real refusal, where permissions bind the user running the tests.
    TestDir dir;
    const std::string sub = dir.file("sub");
    ASSERT_TRUE(store_test::MakeDirectory(sub));
    Store store(reliability_test::STORE_TEXT, sub + ossPathSeparator() + "reg");
    ASSERT_EQ(0u, store.constructRc());
    if (!store_test::MakeReadOnly(sub)) GTEST_SKIP() << "permissions do not bind this user";
    EXPECT_EQ(GENREG_RC_PERMISSION_DENIED, store.Add("alpha", 1));
    store_test::MakeWritable(sub);
}

#endif

}  // namespace
