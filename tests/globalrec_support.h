// Helpers of the global registry tests: records filled the way callers fill
// them, stored records crafted byte by byte the way another writer (a newer
// version, or damage) would leave them, and a scoped environment variable.
#ifndef GENREG_TESTS_GLOBALREC_SUPPORT_H
#define GENREG_TESTS_GLOBALREC_SUPPORT_H

#include <genreg/globalreg.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/inst.h"

namespace globalrec_test {

inline void setText(char* field, size_t width, const std::string& text) {
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), text.size() < width ? text.size() : width - 1);
}
#define GLOBAL_SET(field, text) globalrec_test::setText((field), sizeof(field), (text))

inline GlobalRegRecord emptyRecord(uint32_t type) {
    GlobalRegRecord record;
    std::memset(&record, 0, sizeof record);
    record.RecordType = type;
    return record;
}

// An instance record with every field present.
inline GlobalRegRecord fullInstance(const std::string& name) {
    GlobalRegRecord r = emptyRecord(GENREG_GLOBAL_INSTANCE);
    r.FieldMask = GENREG_INST_KNOWN;
    GLOBAL_SET(r.Instance.Service, "QVR");
    r.Instance.VersionCode = 0x0009000700040000ULL;
    GLOBAL_SET(r.Instance.InstanceName, name);
    GLOBAL_SET(r.Instance.InstancePath, "/opt/qvr/" + name);
    GLOBAL_SET(r.Instance.Usage, "production");
    r.Instance.StartAtBoot = 1;
    r.Instance.Maintenance = 0;
    GLOBAL_SET(r.Instance.InstanceText128, "text128 of " + name);
    GLOBAL_SET(r.Instance.InstanceText256, "t256");
    GLOBAL_SET(r.Instance.Comment, "the comment of " + name);
    r.CheckSum = -12345;
    return r;
}

// An instance record whose every text fills its field: its stored form,
// 2620 bytes, is larger than the in-memory record.
inline GlobalRegRecord longestInstance() {
    GlobalRegRecord r = fullInstance("x");
    std::memset(r.Instance.Service, 's', sizeof r.Instance.Service - 1);
    std::memset(r.Instance.InstanceName, 'n', sizeof r.Instance.InstanceName - 1);
    std::memset(r.Instance.InstancePath, 'p', sizeof r.Instance.InstancePath - 1);
    std::memset(r.Instance.Usage, 'u', sizeof r.Instance.Usage - 1);
    std::memset(r.Instance.InstanceText128, 't', sizeof r.Instance.InstanceText128 - 1);
    std::memset(r.Instance.InstanceText256, 'v', sizeof r.Instance.InstanceText256 - 1);
    std::memset(r.Instance.Comment, 'c', sizeof r.Instance.Comment - 1);
    return r;
}

// A service record with every field present.
inline GlobalRegRecord fullService(const std::string& kind, uint64_t versionCode, uint32_t level) {
    GlobalRegRecord r = emptyRecord(GENREG_GLOBAL_SERVICE);
    r.FieldMask = GENREG_SVC_KNOWN;
    GLOBAL_SET(r.Service.Service, kind);
    r.Service.VersionCode = versionCode;
    GLOBAL_SET(r.Service.ServiceText4, "/opt/" + kind);
    GLOBAL_SET(r.Service.ServiceText8, "text8");
    GLOBAL_SET(r.Service.ServiceText16, "text16");
    r.Service.Level = level;
    r.Service.ServiceInt64 = 0xA1B2C3D4u;
    r.Service.ServiceFlag128 = 0x7F;
    r.Service.ServiceInt256 = 256;
    r.Service.ServiceInt512 = 512;
    r.CheckSum = 77;
    return r;
}

// A variable record with every field present.
inline GlobalRegRecord fullVariable(const std::string& variable, const std::string& value) {
    GlobalRegRecord r = emptyRecord(GENREG_GLOBAL_VARIABLE);
    r.FieldMask = GENREG_VAR_KNOWN;
    GLOBAL_SET(r.Variable.Service, "QVR");
    GLOBAL_SET(r.Variable.Variable, variable);
    GLOBAL_SET(r.Variable.Value, value);
    GLOBAL_SET(r.Variable.VariableText8, "text8");
    GLOBAL_SET(r.Variable.Comment, "comment of " + variable);
    r.CheckSum = 0x01020304;
    return r;
}

// A stored record written byte by byte, independently of the code under
// test: header, then entries in the order they are added, then checksum.
// fieldMask is written as given, so a test can make it disagree with the
// entries.
class StoredRecord {
public:
    StoredRecord(uint32_t type, uint64_t fieldMask, uint64_t missingMask = 0) {
        put(type, 4);
        put(fieldMask, 8);
        put(missingMask, 8);
    }
    StoredRecord& text(const std::string& value) { return raw(value + std::string(1, '\0')); }
    StoredRecord& number(uint64_t value, unsigned width) {
        std::string bytes;
        for (unsigned i = 0; i < width; ++i)
            bytes.push_back((char)(value >> (8 * i)));
        return raw(bytes);
    }
    // An entry of exactly these bytes (its length prefix is their count).
    StoredRecord& raw(const std::string& bytes) { return entry(bytes.size(), bytes); }
    // An entry whose length prefix says length, followed by bytes.
    StoredRecord& entry(uint64_t length, const std::string& bytes) {
        put(length, 2);
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    StoredRecord& checksum(int32_t value) {
        put((uint32_t)value, 4);
        return *this;
    }
    const std::vector<unsigned char>& bytes() const { return bytes_; }
    std::string str() const { return std::string(bytes_.begin(), bytes_.end()); }

private:
    void put(uint64_t value, unsigned width) {
        for (unsigned i = 0; i < width; ++i)
            bytes_.push_back((unsigned char)(value >> (8 * i)));
    }
    std::vector<unsigned char> bytes_;
};

// Sets an environment variable (or removes it: null) for the scope's
// lifetime, restoring the previous state afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        instSetEnvironment(name, value);
    }
    ~ScopedEnv() { instSetEnvironment(name_.c_str(), hadOld_ ? old_.c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool hadOld_;
};

}  // namespace globalrec_test

#endif
