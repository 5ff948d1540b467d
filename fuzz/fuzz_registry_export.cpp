// The registry export parser behind the POSIX stand-in registry: any bytes
// parse to a tree or are refused with a reason, and every tree is freed.
#include "fuzz/fuzz_support.h"
#include "platform/registry_export.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    OSSRegTreeNode* root = nullptr;
    OSSRegParseError error;
    std::memset(&error, 0, sizeof error);
    uint32_t rc = ossRegExportParse(reinterpret_cast<const char*>(data), size, &root, &error);
    if (rc == 0) {
        FUZZ_CHECK(root != nullptr);
        (void)ossRegTreeFind(root, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\QVR");
        ossRegTreeFree(root);
    } else {
        FUZZ_CHECK(root == nullptr);
        FUZZ_CHECK(std::memchr(error.reason, '\0', sizeof error.reason) != nullptr);
    }
    return 0;
}
