// What the units of the C interface share: the opaque handle behind
// genreg_handle_t and the argument checks every function makes before it
// hands over to the C++ object.
#ifndef GENREG_CAPI_CAPI_H
#define GENREG_CAPI_CAPI_H

#include <genreg/genreg_c.h>

#include <cstddef>
#include <cstdint>
#include <new>

// The schema a handle was opened on.
enum CapiKind : uint32_t {
    CAPI_VARVAL = 1,
    CAPI_SERVICES = 2,
    CAPI_BINVARVAL = 3,
    CAPI_GLOBAL = 4,
};

// Owns one schema object, made with new and deleted by genreg_close. file
// is the same object seen as a registry file, for the operations every
// schema shares; object is it as its own class, chosen by kind.
struct genreg_handle {
    CapiKind kind;
    GenRegFile* file;
    void* object;
};

// The object of a handle of the given kind: null handle
// GENREG_RC_NULL_ARGUMENT, another kind GENREG_RC_BAD_ARGUMENT.
template <class Schema>
uint32_t CapiObject(genreg_handle_t* handle, CapiKind kind, Schema** object) {
    *object = nullptr;
    if (handle == nullptr) return GENREG_RC_NULL_ARGUMENT;
    if (handle->kind != kind) return GENREG_RC_BAD_ARGUMENT;
    *object = static_cast<Schema*>(handle->object);
    return GENREG_RC_OK;
}

// Wraps a new schema object (null when its allocation failed) in a handle
// that owns it. On failure the object is deleted, *handle is null and the
// result is GENREG_RC_NO_MEMORY.
uint32_t CapiWrap(CapiKind kind, GenRegFile* file, void* object, genreg_handle_t** handle);

// Deletes a handle's object as its own class.
void CapiDeleteObject(CapiKind kind, void* object);

// Copies text, cut to capacity - 1 characters, with its terminator; a null
// text gives an empty one.
void CapiCopyText(char* out, size_t capacity, const char* text);

// Copies size bytes of a caller's fixed text field and terminates the copy
// in its last byte, so a field the caller left without a terminator never
// lets the library read past it.
void CapiTerminatedCopy(char* out, const char* field, size_t size);

// Record operations shared by the four schemas. Traits names the C++
// store class (Store), its record (Record), the C record (CRecord), the
// handle kind (kKind) and the conversions:
//   static void toCpp(const CRecord& in, Scratch* scratch, Record* out);
//   static void toC(const Record& in, CRecord* out);
// Scratch holds whatever the C++ record points into while it is in use.
template <class Traits>
struct CapiRecords {
    using C = typename Traits::CRecord;
    using Cpp = typename Traits::Record;
    using Scratch = typename Traits::Scratch;

    // A C++ record made from the caller's, living as long as this object.
    struct Input {
        Scratch scratch;
        Cpp record;
        explicit Input(const C& in) : scratch(), record() { Traits::toCpp(in, &scratch, &record); }
    };

    static uint32_t get(genreg_handle_t* h, uint64_t selector, const C* key, C* result, bool next) {
        typename Traits::Store* store = nullptr;
        uint32_t rc = CapiObject(h, Traits::kKind, &store);
        if (rc != 0) return rc;
        // A null key goes on to the store, which answers it: a text store's
        // GetNext with selector 0 needs none.
        if (result == nullptr) return GENREG_RC_NULL_ARGUMENT;
        Input* keyCopy = key ? new (std::nothrow) Input(*key) : nullptr;
        Cpp* found = new (std::nothrow) Cpp();
        if ((key && keyCopy == nullptr) || found == nullptr) {
            delete keyCopy;
            delete found;
            return GENREG_RC_NO_MEMORY;
        }
        void* keyRecord = keyCopy ? &keyCopy->record : nullptr;
        rc = next ? store->GetNext(selector, keyRecord, found)
                  : store->Get(selector, keyRecord, found);
        if (rc == 0) Traits::toC(*found, result);
        delete keyCopy;
        delete found;
        return rc;
    }

    // add (key null), change (both) or delete (record null).
    static uint32_t update(genreg_handle_t* h, uint64_t selector, const C* key, const C* record,
                           int operation) {
        typename Traits::Store* store = nullptr;
        uint32_t rc = CapiObject(h, Traits::kKind, &store);
        if (rc != 0) return rc;
        const bool needsKey = operation != GENREG_TXN_ADD;
        const bool needsRecord = operation != GENREG_TXN_DELETE;
        if ((needsKey && key == nullptr) || (needsRecord && record == nullptr))
            return GENREG_RC_NULL_ARGUMENT;
        Input* keyCopy = needsKey ? new (std::nothrow) Input(*key) : nullptr;
        Input* recordCopy = needsRecord ? new (std::nothrow) Input(*record) : nullptr;
        if ((needsKey && keyCopy == nullptr) || (needsRecord && recordCopy == nullptr)) {
            delete keyCopy;
            delete recordCopy;
            return GENREG_RC_NO_MEMORY;
        }
        if (operation == GENREG_TXN_ADD)
            rc = store->Add(selector, &recordCopy->record);
        else if (operation == GENREG_TXN_CHANGE)
            rc = store->Change(selector, &keyCopy->record, &recordCopy->record);
        else
            rc = store->Delete(selector, &keyCopy->record);
        delete keyCopy;
        delete recordCopy;
        return rc;
    }

    static uint32_t print(const C* record) {
        if (record == nullptr) return GENREG_RC_NULL_ARGUMENT;
        Input* copy = new (std::nothrow) Input(*record);
        if (copy == nullptr) return GENREG_RC_NO_MEMORY;
        uint32_t rc = Traits::Store::PrintRecord(&copy->record);
        delete copy;
        return rc;
    }
};

#endif
