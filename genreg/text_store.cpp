// Pieces every operation of the text store shares (see text_store.h).
#include "genreg/text_store.h"
#include "genreg/handle_internal.h"

#include <genreg/rc.h>

#include <cstring>

#include "genreg/trace.h"
#include "genreg/transaction.h"
#include "platform/oss.h"

const char kTextStoreUnit[] = "GenRegText";

namespace {

enum : uint32_t {
    FID_CHECK_SLOTS = GENREG_FID(0x0055),
    FID_MAX_RECORD_SIZE = GENREG_FID(0x0057),
    FID_UNPACK_LINE = GENREG_FID(0x0058),
};

}  // namespace

unsigned CheckTextSlots(GenRegText* handle) {
    unsigned rc = 0;
    GENREG_TRACE(FID_CHECK_SLOTS, &rc);
    struct Slot {
        bool empty;
        unsigned code;
        const char* name;
    };
    const Slot slots[] = {
        {handle->ValidateRecord == nullptr, GENREG_RC_NO_VALIDATE_SLOT, "ValidateRecord"},
        {handle->GetMaxRecordSize == nullptr, GENREG_RC_NO_MAX_SIZE_SLOT, "GetMaxRecordSize"},
        {handle->UnpackRecord == nullptr, GENREG_RC_NO_LINE_UNPACK_SLOT, "UnpackRecord"},
        {handle->CompareRecord == nullptr, GENREG_RC_NO_COMPARE_SLOT, "CompareRecord"},
        {handle->PackRecord == nullptr, GENREG_RC_NO_LINE_PACK_SLOT, "PackRecord"},
    };
    for (const Slot& slot : slots) {
        if (slot.empty) {
            rc = GENREG_RC_SLOTS_INCOMPLETE;
            ossLogRC(FID_CHECK_SLOTS, 1, 0, slot.code, rc, OSS_SEVERITY_ERROR, "slot=%s",
                     slot.name);
            return rc;
        }
    }
    return rc;
}

unsigned TextMaxRecordSize(GenRegText* handle, uint64_t* max, uint32_t functionId) {
    unsigned rc = 0;
    GENREG_TRACE(FID_MAX_RECORD_SIZE, &rc);
    rc = GenRegQueryMaxRecordSize(handle, functionId, 4, max);
    return rc;
}

unsigned UnpackTextLine(GenRegText* handle, void* record, const TextLine* text,
                        uint32_t functionId) {
    unsigned cbRc = 0;
    GENREG_TRACE(FID_UNPACK_LINE, &cbRc);
    cbRc = handle->UnpackRecord(record, text->line);
    if (cbRc != 0)
        ossLogRC(functionId, 6, 0, cbRc, GENREG_RC_LINE_UNPACK_FAILED, OSS_SEVERITY_ERROR,
                 "file=%s", handle->filePath);
    return cbRc;
}

unsigned EndTextTransaction(GenRegText* handle, unsigned type) {
    unsigned rc = EndTransaction(handle, type);
    if (rc != 0 && (handle->stream || handle->tempStream)) EndTransaction(handle, GENREG_TXN_READ);
    return rc;
}

unsigned TextRefuseNull(uint32_t functionId, uint32_t probe, const void* first,
                        const void* second) {
    if (first != nullptr && second != nullptr) return 0;
    ossLog(functionId, probe, GENREG_RC_NULL_ARGUMENT, OSS_SEVERITY_ERROR, "first=%p second=%p",
           first, second);
    return GENREG_RC_NULL_ARGUMENT;
}

bool SameRawText(const TextLine* a, const TextLine* b) {
    return a->rawLength == b->rawLength && std::memcmp(a->raw, b->raw, a->rawLength) == 0;
}
