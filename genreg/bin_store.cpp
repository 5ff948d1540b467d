// Checks and buffers shared by every operation of the binary store.
#include <genreg/rc.h>

#include <cstring>

#include "genreg/bin_store.h"
#include "genreg/handle_internal.h"
#include "genreg/transaction.h"
#include "platform/oss.h"

unsigned BinValidate(GenRegBin* handle, uint32_t functionId, uint64_t selector, void* record) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BIN_VALIDATE, &rc);
    if (handle->ValidateRecord == nullptr) {
        rc = GENREG_RC_NO_VALIDATE_SLOT;
        ossLog(functionId, 101, rc, OSS_SEVERITY_ERROR, "slot=ValidateRecord");
        return rc;
    }
    unsigned callbackRc = handle->ValidateRecord(selector, record);
    if (callbackRc != 0) {
        rc = GENREG_RC_INVALID_RECORD;
        ossLog(functionId, 102, rc, OSS_SEVERITY_ERROR, "selector=0x%llx validate=0x%x",
               (unsigned long long)selector, callbackRc);
    }
    return rc;
}

unsigned BinMaxRecordSize(GenRegBin* handle, uint32_t functionId, uint64_t* max) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BIN_MAX_SIZE, &rc);
    rc = GenRegQueryMaxRecordSize(handle, functionId, 103, max);
    return rc;
}

namespace {

unsigned allocFailed(void** buffer, uint64_t size, uint32_t functionId, unsigned failRc,
                     unsigned memRc) {
    unsigned rc = failRc != 0 ? failRc : GENREG_RC_ALLOC_FAILED;
    ossLogRC(functionId, 105, 0, memRc, rc, OSS_SEVERITY_ERROR, "size=%llu",
             (unsigned long long)size);
    *buffer = nullptr;
    return rc;
}

}  // namespace

unsigned BinAllocZeroed(void** buffer, uint64_t size, uint32_t functionId, unsigned failRc) {
    unsigned memRc = ossMemAllocZeroed(buffer, size, GENREG_BIN_UNIT);
    return memRc != 0 ? allocFailed(buffer, size, functionId, failRc, memRc) : 0;
}

unsigned BinAllocRecordBuffer(void** buffer, uint64_t size, uint64_t recordSize,
                              uint32_t functionId) {
    unsigned memRc = ossMemAlloc(buffer, size, GENREG_BIN_UNIT);
    if (memRc != 0) return allocFailed(buffer, size, functionId, 0, memRc);
    std::memset(*buffer, 0, (size_t)(recordSize < size ? recordSize : size));
    return 0;
}

void BinCloseLeftovers(GenRegBin* handle) {
    if (handle->state & GENREG_STATE_SCAN_OPEN) return;
    if (handle->stream != nullptr || handle->tempStream != nullptr)
        EndTransaction(handle, GENREG_TXN_READ);
}
