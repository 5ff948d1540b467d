// Opening and closing handles of the C interface, and the operations every
// schema shares: the feature word, the scan cursor and the update hold.
#include <genreg/genreg_c.h>

#include <cstring>

#include "capi/capi.h"

uint32_t CapiWrap(CapiKind kind, GenRegFile* file, void* object, genreg_handle_t** handle) {
    *handle = nullptr;
    genreg_handle_t* wrapper = object ? new (std::nothrow) genreg_handle_t : nullptr;
    if (wrapper == nullptr) {
        CapiDeleteObject(kind, object);
        return GENREG_RC_NO_MEMORY;
    }
    wrapper->kind = kind;
    wrapper->file = file;
    wrapper->object = object;
    *handle = wrapper;
    return GENREG_RC_OK;
}

void CapiDeleteObject(CapiKind kind, void* object) {
    switch (kind) {
        case CAPI_VARVAL:
            delete static_cast<GenRegVarVal*>(object);
            break;
        case CAPI_SERVICES:
            delete static_cast<GenRegServices*>(object);
            break;
        case CAPI_BINVARVAL:
            delete static_cast<GenRegBinVarVal*>(object);
            break;
        case CAPI_GLOBAL:
            delete static_cast<GlobalReg*>(object);
            break;
    }
}

void CapiCopyText(char* out, size_t capacity, const char* text) {
    if (capacity == 0) return;
    size_t length = text ? std::strlen(text) : 0;
    if (length >= capacity) length = capacity - 1;
    if (length > 0) std::memcpy(out, text, length);
    out[length] = '\0';
}

void CapiTerminatedCopy(char* out, const char* field, size_t size) {
    std::memcpy(out, field, size);
    out[size - 1] = '\0';
}

namespace {

// Opens a text or binary schema whose constructor reports through *rc.
template <class Schema>
uint32_t openOnPath(const char* path, CapiKind kind, genreg_handle_t** handle) {
    if (handle == nullptr) return GENREG_RC_NULL_ARGUMENT;
    *handle = nullptr;
    unsigned rc = GENREG_RC_NO_MEMORY;
    Schema* object = new (std::nothrow) Schema(path, &rc);
    if (object != nullptr && rc != 0) {
        delete object;
        return rc;
    }
    return CapiWrap(kind, object, object, handle);
}

uint32_t fileOf(genreg_handle_t* handle, GenRegFile** file) {
    *file = handle ? handle->file : nullptr;
    return handle ? GENREG_RC_OK : GENREG_RC_NULL_ARGUMENT;
}

}  // namespace

uint32_t genreg_varval_open(const char* path, genreg_handle_t** handle) {
    return openOnPath<GenRegVarVal>(path, CAPI_VARVAL, handle);
}

uint32_t genreg_services_open(const char* path, genreg_handle_t** handle) {
    return openOnPath<GenRegServices>(path, CAPI_SERVICES, handle);
}

uint32_t genreg_binvarval_open(const char* path, genreg_handle_t** handle) {
    return openOnPath<GenRegBinVarVal>(path, CAPI_BINVARVAL, handle);
}

uint32_t genreg_global_open(genreg_handle_t** handle) {
    if (handle == nullptr) return GENREG_RC_NULL_ARGUMENT;
    GlobalReg* object = new (std::nothrow) GlobalReg();
    return CapiWrap(CAPI_GLOBAL, object, object, handle);
}

uint32_t genreg_close(genreg_handle_t* handle) {
    if (handle == nullptr) return GENREG_RC_OK;
    // The destructor closes a scan left open.
    CapiDeleteObject(handle->kind, handle->object);
    delete handle;
    return GENREG_RC_OK;
}

uint32_t genreg_set_feature(genreg_handle_t* handle, uint64_t feature) {
    GenRegFile* file = nullptr;
    uint32_t rc = fileOf(handle, &file);
    return rc ? rc : file->setFeature(feature);
}

uint32_t genreg_unset_feature(genreg_handle_t* handle, uint64_t feature) {
    GenRegFile* file = nullptr;
    uint32_t rc = fileOf(handle, &file);
    return rc ? rc : file->unsetFeature(feature);
}

uint32_t genreg_is_feature_set(genreg_handle_t* handle, uint64_t feature, int32_t* set) {
    GenRegFile* file = nullptr;
    uint32_t rc = fileOf(handle, &file);
    if (rc == 0 && set == nullptr) rc = GENREG_RC_NULL_ARGUMENT;
    if (rc == 0) *set = file->isFeatureSet(feature) ? 1 : 0;
    return rc;
}

uint32_t genreg_open_scan(genreg_handle_t* handle) {
    GenRegFile* file = nullptr;
    uint32_t rc = fileOf(handle, &file);
    return rc ? rc : file->OpenScan();
}

uint32_t genreg_close_scan(genreg_handle_t* handle) {
    GenRegFile* file = nullptr;
    uint32_t rc = fileOf(handle, &file);
    return rc ? rc : file->CloseScan();
}

uint32_t genreg_rewind(genreg_handle_t* handle) {
    GenRegFile* file = nullptr;
    uint32_t rc = fileOf(handle, &file);
    return rc ? rc : file->Rewind();
}

uint32_t genreg_get_position(genreg_handle_t* handle, int64_t* position) {
    GenRegFile* file = nullptr;
    uint32_t rc = fileOf(handle, &file);
    if (rc == 0 && position == nullptr) rc = GENREG_RC_NULL_ARGUMENT;
    return rc ? rc : file->getRegFilePosition(position);
}

uint32_t genreg_set_position(genreg_handle_t* handle, int64_t position) {
    GenRegFile* file = nullptr;
    uint32_t rc = fileOf(handle, &file);
    return rc ? rc : file->setRegFilePosition(&position);
}

uint32_t genreg_lock_for_update(genreg_handle_t* handle, uint32_t waitMilliseconds) {
    GenRegFile* file = nullptr;
    uint32_t rc = fileOf(handle, &file);
    return rc ? rc : file->LockForUpdate(waitMilliseconds);
}

uint32_t genreg_unlock_for_update(genreg_handle_t* handle) {
    GenRegFile* file = nullptr;
    uint32_t rc = fileOf(handle, &file);
    return rc ? rc : file->UnlockForUpdate();
}
