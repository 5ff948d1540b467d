// UpgradeServiceLevels: brings the service records of the running product
// version that belong to the product ("QVR") or to its administration
// server ("PLV") up to the running level number.
//
// The scan collects the records to change first and is closed before the
// first change, so that the scan and the updates never hold the file at
// the same time; each change is then a file transaction of its own.
#include <genreg/globalreg.h>
#include <genreg/rc.h>
#include <genreg/version.h>

#include <cstring>

#include "genreg/trace.h"
#include "platform/inst.h"
#include "platform/oss.h"

namespace {

// Also the value the upgrade leaves in the handle's updateOriginator, so
// that callbacks can tell its updates from a caller's.
enum : uint32_t { FID_UPGRADE = GENREG_FID(0x0061) };
// The called function named in the log when the running version text does
// not convert.
const uint32_t kFidVersionStringToCode = GENREG_FID(0x0103);

const char kUnit[] = "GlobalReg";

// One record to change: as found (the key of its Change) and with the
// running level (the new record). Nodes form a list in scan order.
struct UpgradeNode {
    GlobalRegRecord found;
    GlobalRegRecord updated;
    UpgradeNode* next;
};

bool isCandidate(const GlobalRegRecord* record, uint64_t level) {
    if ((record->FieldMask & GENREG_SVC_LEVEL) == 0) return false;
    const char* service = record->Service.Service;
    const size_t width = sizeof record->Service.Service;
    if (std::strncmp(service, "QVR", width) != 0 && std::strncmp(service, "PLV", width) != 0)
        return false;
    return (uint64_t)record->Service.Level != level;
}

// Releases every node exactly once; a failed release is logged and the
// walk goes on with the next node, which was read before the release.
void releaseNodes(UpgradeNode* head) {
    while (head != nullptr) {
        UpgradeNode* next = head->next;
        unsigned memRc = ossMemFree(&head, kUnit);
        if (memRc != 0)
            ossLogRC(FID_UPGRADE, 10, 0, memRc, GENREG_RC_FREE_FAILED, OSS_SEVERITY_ERROR,
                     "list node");
        head = next;
    }
}

// The running version code and level number.
unsigned runningLevel(uint64_t* versionCode, uint64_t* level) {
    InstLevelInfo info;
    unsigned instRc = instGetLevelInfo(INST_LEVEL_INFO_VERSION, &info);
    if (instRc != 0) {
        ossLogRC(FID_UPGRADE, 1, 0, instRc, GENREG_RC_LEVEL_QUERY_FAILED, OSS_SEVERITY_ERROR,
                 "instGetLevelInfo");
        return GENREG_RC_LEVEL_QUERY_FAILED;
    }
    // A service record holds a 32-bit level: a larger one could never be
    // reached, and every upgrade would try again.
    if (info.levelNumber > 0xFFFFFFFFULL) {
        ossLog(FID_UPGRADE, 2, GENREG_RC_LEVEL_QUERY_FAILED, OSS_SEVERITY_ERROR,
               "level number %llu does not fit a service record",
               (unsigned long long)info.levelNumber);
        return GENREG_RC_LEVEL_QUERY_FAILED;
    }
    // A version text that does not convert would select the records of
    // version code 0 instead of the running version's.
    unsigned versionRc = ossVersionStringToCode(info.versionText, versionCode);
    if (versionRc != 0) {
        ossLogRC(FID_UPGRADE, 3, kFidVersionStringToCode, versionRc, GENREG_RC_LEVEL_QUERY_FAILED,
                 OSS_SEVERITY_ERROR, "version text=%s", info.versionText);
        return GENREG_RC_LEVEL_QUERY_FAILED;
    }
    *level = info.levelNumber;
    return 0;
}

// Scans the file for the records to change; the scan is closed on return,
// also after a failure. *head receives the nodes found so far.
unsigned collectCandidates(GlobalReg* handle, GlobalRegRecord* key, GlobalRegRecord* found,
                           uint64_t level, UpgradeNode** head) {
    unsigned rc = 0;
    unsigned scanRc = handle->OpenScan();
    if (scanRc != 0) {
        rc = GENREG_RC_OPEN_FAILED;
        ossLogRC(FID_UPGRADE, 4, 0, scanRc, rc, OSS_SEVERITY_ERROR, "OpenScan %s",
                 handle->filePath);
        return rc;
    }
    UpgradeNode** tail = head;
    for (;;) {
        unsigned nextRc = handle->GetNext(GENREG_SVC_VERSION_CODE, key, found);
        if (nextRc == GENREG_RC_NOT_FOUND) break;
        if (nextRc != 0) {
            rc = nextRc;
            ossLogRC(FID_UPGRADE, 5, 0, nextRc, rc, OSS_SEVERITY_ERROR, "GetNext %s",
                     handle->filePath);
            break;
        }
        if (!isCandidate(found, level)) continue;
        UpgradeNode* node = nullptr;
        unsigned memRc = ossMemAlloc(&node, sizeof *node, kUnit);
        if (memRc != 0) {
            rc = GENREG_RC_NO_MEMORY;
            ossLogRC(FID_UPGRADE, 6, 0, memRc, rc, OSS_SEVERITY_ERROR, "size=%zu", sizeof *node);
            break;
        }
        std::memcpy(&node->found, found, sizeof *found);
        std::memcpy(&node->updated, found, sizeof *found);
        node->updated.Service.Level = (uint32_t)level;
        node->next = nullptr;
        *tail = node;
        tail = &node->next;
    }
    unsigned closeRc = handle->CloseScan();
    if (closeRc != 0) {
        ossLogRC(FID_UPGRADE, 7, 0, closeRc, GENREG_RC_CLOSE_FAILED, OSS_SEVERITY_ERROR,
                 "CloseScan %s", handle->filePath);
        if (rc == 0) rc = GENREG_RC_OPEN_FAILED;
    }
    return rc;
}

}  // namespace

unsigned UpgradeServiceLevels(GlobalReg* handle, uint64_t* count) {
    unsigned rc = 0;
    GENREG_TRACE(FID_UPGRADE, &rc);
    if (handle == nullptr || count == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(FID_UPGRADE, 8, rc, OSS_SEVERITY_ERROR, "handle or count is null");
        return rc;
    }
    uint64_t versionCode = 0;
    uint64_t level = 0;
    rc = runningLevel(&versionCode, &level);
    if (rc != 0) return rc;
    handle->updateOriginator = FID_UPGRADE;

    // Record buffers come from the allocator, like every record buffer.
    GlobalRegRecord* key = nullptr;
    GlobalRegRecord* found = nullptr;
    unsigned memRc = ossMemAlloc(&key, sizeof *key, kUnit);
    if (memRc == 0) {
        memRc = ossMemAlloc(&found, sizeof *found, kUnit);
        if (memRc != 0) ossMemFree(&key, kUnit);
    }
    if (memRc != 0) {
        rc = GENREG_RC_NO_MEMORY;
        ossLogRC(FID_UPGRADE, 9, 0, memRc, rc, OSS_SEVERITY_ERROR, "record buffers");
        return rc;
    }
    // Selects the service records of the running version.
    std::memset(key, 0, sizeof *key);
    key->RecordType = GENREG_GLOBAL_SERVICE;
    key->FieldMask = GENREG_SVC_VERSION_CODE;
    key->Service.VersionCode = versionCode;

    UpgradeNode* head = nullptr;
    rc = collectCandidates(handle, key, found, level, &head);
    uint64_t changed = 0;
    for (UpgradeNode* node = head; rc == 0 && node != nullptr; node = node->next) {
        // Every present field is part of the key.
        unsigned changeRc = handle->Change(node->found.FieldMask, &node->found, &node->updated);
        if (changeRc != 0) {
            rc = changeRc;
            ossLogRC(FID_UPGRADE, 11, 0, changeRc, rc, OSS_SEVERITY_ERROR,
                     "Change after %llu changes", (unsigned long long)changed);
            break;
        }
        ++changed;
    }
    releaseNodes(head);
    unsigned freeRc = ossMemFree(&found, kUnit);
    const unsigned keyFreeRc = ossMemFree(&key, kUnit);
    if (freeRc == 0) freeRc = keyFreeRc;
    if (freeRc != 0) {
        ossLogRC(FID_UPGRADE, 12, 0, freeRc, GENREG_RC_FREE_FAILED, OSS_SEVERITY_ERROR,
                 "record buffers");
        // A clean-up failure is the result only of an upgrade that succeeded.
        if (rc == 0) rc = GENREG_RC_FREE_FAILED;
    }
    if (rc == 0) *count = changed;
    return rc;
}
