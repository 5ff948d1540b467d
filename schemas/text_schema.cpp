// Construction steps shared by the text schemas.
#include "schemas/text_schema.h"

#include "genreg/handle_internal.h"

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
