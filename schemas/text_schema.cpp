// Construction steps shared by the text schemas.
#include "schemas/text_schema.h"

#include "genreg/handle_internal.h"
#include "genreg/text_store.h"
#include "schemas/varval_record.h"

namespace {

const TextLineShortcuts kVarValShortcuts = {VarValLineMismatch};

}  // namespace

const TextLineShortcuts* TextLineShortcutsOf(const GenRegText* handle) {
    // Only the schema's own callbacks: a caller who put its own unpack or
    // compare in the handle, or emptied a slot, keeps exactly what those
    // decide and report.
    if (handle->UnpackRecord == VarValUnpack && handle->CompareRecord == VarValCompare)
        return &kVarValShortcuts;
    return nullptr;
}

unsigned InstallTextSchema(GenRegText* handle, const char* path, uint32_t functionId,
                           const TextSchemaSlots& slots) {
    unsigned rc = GenRegCheckPath(path, functionId);
    if (rc != 0) return rc;
    handle->CompareRecord = slots.compare;
    handle->ValidateRecord = slots.validate;
    handle->GenRegBase::PrintRecord = slots.print;
    handle->GetRecordSize = slots.recordSize;
    handle->GetMaxRecordSize = slots.maxRecordSize;
    handle->PackRecord = slots.pack;
    handle->UnpackRecord = slots.unpack;
    return GenRegDerivePaths(handle, path, functionId);
}
