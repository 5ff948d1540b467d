// Matching, checking and printing global registry records.
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "globalrec_support.h"
#include "schemas/globalrec.h"

namespace {

using globalrec_test::emptyRecord;
using globalrec_test::fullInstance;
using globalrec_test::fullService;
using globalrec_test::fullVariable;

TEST(GlobalRecCheck, ValidateSelectorZeroExaminesNothing) {
    GlobalRegRecord r = emptyRecord(9);
    r.MissingFieldMask = 0x55;
    EXPECT_EQ(0u, GlobalRecValidate(0, &r));
    EXPECT_EQ(0x55u, r.MissingFieldMask);  // not changed either
}

TEST(GlobalRecCheck, ValidateTypeAndMask) {
    struct Case {
        const char* name;
        uint32_t type;
        uint64_t mask;
        unsigned rc;
    } cases[] = {
        {"type 0", 0, 0x1, GENREG_RC_BAD_RECORD_TYPE},
        {"type 5", 5, 0x1, GENREG_RC_BAD_RECORD_TYPE},
        {"type 0 and empty mask", 0, 0, GENREG_RC_BAD_RECORD_TYPE},
        {"empty mask", 1, 0, GENREG_RC_EMPTY_FIELD_MASK},
        {"type 3 passes", 3, 0x1, 0},
    };
    for (const Case& c : cases) {
        GlobalRegRecord r = emptyRecord(c.type);
        r.FieldMask = c.mask;
        r.MissingFieldMask = 0x10;
        EXPECT_EQ(c.rc, GlobalRecValidate(0x1, &r)) << c.name;
    }
    GlobalRegRecord three = emptyRecord(3);
    three.FieldMask = 0x1;
    three.MissingFieldMask = 0x10;
    ASSERT_EQ(0u, GlobalRecValidate(GENREG_SELECT_ALL, &three));
    EXPECT_EQ(0u, three.MissingFieldMask);
}

// Each check fails its own record; where several checks fail, the first in
// order wins: value checks of present fields before the key checks.
TEST(GlobalRecCheck, ValidateChecksInOrder) {
    struct Case {
        const char* name;
        GlobalRegRecord record;
        uint64_t selector;
        unsigned rc;
    };
    GlobalRegRecord emptyService = fullInstance("a");
    emptyService.Instance.Service[0] = '\0';
    emptyService.Instance.InstanceName[0] = '\0';
    GlobalRegRecord bootTwo = fullInstance("a");
    bootTwo.Instance.StartAtBoot = 2;
    bootTwo.Instance.Comment[0] = '\0';
    GlobalRegRecord bootTwoAbsent = bootTwo;
    bootTwoAbsent.FieldMask &= ~(uint64_t)(GENREG_INST_START_AT_BOOT | GENREG_INST_COMMENT);
    GlobalRegRecord maintenance = fullInstance("a");
    maintenance.Instance.Maintenance = 0xFFFFFFFF;
    GlobalRegRecord text256 = fullInstance("a");
    text256.Instance.InstanceText256[0] = '\0';
    GlobalRegRecord noUsage = fullInstance("a");
    noUsage.FieldMask &= ~(uint64_t)(GENREG_INST_USAGE | GENREG_INST_COMMENT);
    noUsage.Instance.Usage[0] = '\0';  // absent: its value is not checked
    GlobalRegRecord onlyService = emptyRecord(GENREG_GLOBAL_SERVICE);
    onlyService.FieldMask = GENREG_SVC_SERVICE;
    GLOBAL_SET(onlyService.Service.Service, "QVR");
    GlobalRegRecord emptyText8 = fullService("QVR", 1, 1);
    emptyText8.Service.ServiceText8[0] = '\0';
    GlobalRegRecord onlyVariable = emptyRecord(GENREG_GLOBAL_VARIABLE);
    onlyVariable.FieldMask = GENREG_VAR_VARIABLE;
    GLOBAL_SET(onlyVariable.Variable.Variable, "X");
    GlobalRegRecord emptyVarText8 = fullVariable("X", "Y");
    emptyVarText8.Variable.VariableText8[0] = '\0';
    emptyVarText8.Variable.Comment[0] = '\0';

    const Case cases[] = {
        {"instance: empty service before empty name", emptyService, 0x1,
         GENREG_RC_INST_SERVICE_EMPTY},
        {"instance: boot 2 before empty comment", bootTwo, 0x1,
         GENREG_RC_INST_START_AT_BOOT_INVALID},
        {"instance: boot 2 absent passes", bootTwoAbsent, 0x1, 0},
        {"instance: maintenance invalid", maintenance, 0x1, GENREG_RC_INST_MAINTENANCE_INVALID},
        {"instance: text256 empty", text256, 0x1, GENREG_RC_INST_TEXT256_EMPTY},
        {"instance: usage required before comment", noUsage, 0x10 | 0x200,
         GENREG_RC_INST_USAGE_REQUIRED},
        {"instance: comment required", noUsage, 0x200, GENREG_RC_INST_COMMENT_REQUIRED},
        {"instance: unknown selector bits ignored", noUsage, 0x400 | 0x1, 0},
        {"service: version required", onlyService, 0x1 | 0x2, GENREG_RC_SVC_VERSION_REQUIRED},
        {"service: level is no key", onlyService, 0x20, 0},
        {"service: flag128 required", onlyService, 0x80 | 0x100, GENREG_RC_SVC_FLAG128_REQUIRED},
        {"service: int256 required", onlyService, 0x100 | 0x200, GENREG_RC_SVC_INT256_REQUIRED},
        {"service: int512 required", onlyService, 0x200, GENREG_RC_SVC_INT512_REQUIRED},
        {"service: int64 required", onlyService, 0x40, GENREG_RC_SVC_INT64_REQUIRED},
        {"service: empty text8 before any key", emptyText8, 0x1, GENREG_RC_SVC_TEXT8_EMPTY},
        {"variable: service required", onlyVariable, 0x1, GENREG_RC_VAR_SERVICE_REQUIRED},
        {"variable: text8 is no key", onlyVariable, 0x8 | 0x2, 0},
        {"variable: value required", onlyVariable, 0x4 | 0x10, GENREG_RC_VAR_VALUE_REQUIRED},
        {"variable: comment required", onlyVariable, 0x10, GENREG_RC_VAR_COMMENT_REQUIRED},
        {"variable: text8 empty before comment empty", emptyVarText8, 0x2,
         GENREG_RC_VAR_TEXT8_EMPTY},
    };
    for (const Case& c : cases) {
        GlobalRegRecord r = c.record;
        r.MissingFieldMask = 0x3;
        EXPECT_EQ(c.rc, GlobalRecValidate(c.selector, &r)) << c.name;
        EXPECT_EQ(0u, r.MissingFieldMask) << c.name;  // cleared before the field checks
    }
}

TEST(GlobalRecCheck, Compare) {
    const GlobalRegRecord instance = fullInstance("a");
    const GlobalRegRecord service = fullService("QVR", 0x0009000700040000ULL, 4);
    GlobalRegRecord anyType = emptyRecord(0);
    GlobalRegRecord serviceKey = emptyRecord(GENREG_GLOBAL_SERVICE);
    serviceKey.Service.VersionCode = 0x0009000700040000ULL;
    GlobalRegRecord highBitsDiffer = serviceKey;
    highBitsDiffer.Service.VersionCode += 0x0100000000000000ULL;  // low 32 bits equal
    GlobalRegRecord otherCase = service;
    GLOBAL_SET(otherCase.Service.Service, "qvr");
    GlobalRegRecord tailDiffers = service;
    tailDiffers.Service.Service[10] = 'x';  // past the terminator
    GlobalRegRecord flagDiffers = service;
    flagDiffers.Service.ServiceFlag128 = 0x7E;
    GlobalRegRecord absentIsZero = emptyRecord(GENREG_GLOBAL_SERVICE);
    GlobalRegRecord typeNine = emptyRecord(9);
    GlobalRegRecord typeNineKey = emptyRecord(9);
    typeNineKey.FieldMask = 0xFF;
    GLOBAL_SET(typeNineKey.Variable.Service, "different");

    struct Case {
        const char* name;
        const GlobalRegRecord* stored;
        const GlobalRegRecord* key;
        uint64_t selector;
        int match;
    } cases[] = {
        {"type 0 key, selector 0, instance", &instance, &anyType, 0, 1},
        {"type 0 key, selector 0, service", &service, &anyType, 0, 1},
        {"type 0 key compares fields", &service, &anyType, 0x1, 0},
        {"type differs", &instance, &serviceKey, 0, 0},
        {"version code equal", &service, &serviceKey, 0x2, 1},
        {"version code differs in the high bits", &service, &highBitsDiffer, 0x2, 0},
        {"text is case-sensitive", &service, &otherCase, 0x1, 0},
        {"bytes after the terminator do not count", &service, &tailDiffers, GENREG_SELECT_ALL, 1},
        {"8-bit flag", &service, &flagDiffers, 0x80, 0},
        {"flag not selected", &service, &flagDiffers, 0x7F, 1},
        {"unknown selector bits ignored", &service, &service, 0xFFFFFFFFFFFFFC00ULL, 1},
        {"absent field compares as zero", &absentIsZero, &absentIsZero, GENREG_SELECT_ALL, 1},
        {"absent against present", &absentIsZero, &service, 0x20, 0},
        {"whole records equal", &instance, &instance, GENREG_SELECT_ALL, 1},
        {"type 9 matches whatever is selected", &typeNine, &typeNineKey, GENREG_SELECT_ALL, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.match, GlobalRecCompare(c.selector, c.stored, c.key)) << c.name;
}

TEST(GlobalRecCheck, SizesAndNotify) {
    uint64_t size = 0;
    EXPECT_EQ(0u, GlobalRecMaxRecordSize(&size));
    EXPECT_EQ(2608u, size);
    size = 0;
    EXPECT_EQ(0u, GlobalRecRecordSize(nullptr, &size));
    EXPECT_EQ(2608u, size);
    EXPECT_EQ(0u, GlobalRecNotify(nullptr, 4, nullptr, nullptr));
}

std::string printed(const GlobalRegRecord& record) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(0u, GlobalRecPrint(&record));
    return testing::internal::GetCapturedStdout();
}

TEST(GlobalRecCheck, PrintInstanceRecord) {
    GlobalRegRecord r = fullInstance("QVRINST1");
    r.FieldMask |= 0x8000000000000000ULL;  // masks print signed
    r.MissingFieldMask = 0x10;
    r.Instance.VersionCode = 0xFFFFFFFFFFFFFFFFULL;  // the version code unsigned
    r.FieldMask &= ~(uint64_t)GENREG_INST_USAGE;     // printed whether present or not
    EXPECT_EQ(
        "   RecordType   = 1\n"
        "   FieldMask    = -9223372036854774801\n"
        "   MissingFieldMask = 16\n"
        "   InstanceRecord:\n"
        "      Service      = |QVR|\n"
        "      VersionCode  = 18446744073709551615\n"
        "      InstanceName = |QVRINST1|\n"
        "      InstancePath = |/opt/qvr/QVRINST1|\n"
        "      Usage        = |production|\n"
        "      StartAtBoot  = 1\n"
        "      Maintenance  = 0\n"
        "      Comment      = |the comment of QVRINST1|\n"
        "      CheckSum    = -12345\n",
        printed(r));
}

TEST(GlobalRecCheck, PrintOtherRecords) {
    EXPECT_EQ(
        "   RecordType   = 4\n"
        "   FieldMask    = 31\n"
        "   MissingFieldMask = 0\n"
        "   VariableRecord:\n"
        "      Service  = |QVR|\n"
        "      Variable = |NAME|\n"
        "      Value    = |value|\n"
        "      Comment  = |comment of NAME|\n"
        "      CheckSum    = 16909060\n",
        printed(fullVariable("NAME", "value")));
    EXPECT_EQ(
        "   RecordType   = 2\n"
        "   FieldMask    = 1023\n"
        "   MissingFieldMask = 0\n"
        "Services record not yet implemented\n",
        printed(fullService("QVR", 1, 2)));
    GlobalRegRecord nine = emptyRecord(9);
    nine.FieldMask = 3;
    EXPECT_EQ(
        "   RecordType   = 9\n"
        "   FieldMask    = 3\n"
        "   MissingFieldMask = 0\n",
        printed(nine));
    // A text filling its field without a terminator is printed up to the
    // field's end, never past it.
    GlobalRegRecord full = fullVariable("N", "V");
    std::memset(full.Variable.Service, 's', sizeof full.Variable.Service);
    EXPECT_NE(std::string::npos, printed(full).find("|" + std::string(64, 's') + "|\n"));
}

}  // namespace
