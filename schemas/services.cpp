// The services file: construction.
#include <genreg/rc.h>
#include <genreg/services.h>

#include "genreg/trace.h"
#include "schemas/services_record.h"
#include "schemas/text_schema.h"

namespace {

enum : uint32_t {
    FID_CONSTRUCT = GENREG_FID(0x0088),
    FID_DESTRUCT = GENREG_FID(0x0089),
};

}  // namespace

GenRegServices::GenRegServices(const char* path, unsigned* rc) {
    unsigned result = 0;
    GENREG_TRACE(FID_CONSTRUCT, &result);
    const TextSchemaSlots slots = {ServicesCompare,    ServicesValidate,      &PrintRecord,
                                   ServicesRecordSize, ServicesMaxRecordSize, ServicesPack,
                                   ServicesUnpack};
    result = InstallTextSchema(this, path, FID_CONSTRUCT, slots);
    // One line per service: a second entry with the same key is refused,
    // and every update is verified before the file is replaced.
    if (result == 0) setFeature(GENREG_FEATURE_VERIFY);
    if (rc) *rc = result;
}

GenRegServices::~GenRegServices() {
    GENREG_TRACE(FID_DESTRUCT, nullptr);
}
