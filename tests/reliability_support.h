// One interface over the three kinds of registry file the reliability
// tests drive (the text profile, the binary variable/value file and the
// global registry file), so that fault injection, crash and concurrency
// tests run the same script against each.
//
// A Store owns one handle of its kind on a path; its operations take a
// variable name and a number and build the record the kind stores:
//   text     "name = number" line of a GenRegVarVal profile
//   binary   BinVarValRecord {name, number} of a GenRegBinVarVal file
//   global   variable record {"QVR", name, number as text} of GlobalReg
// Every operation returns the store's own return code.
#ifndef GENREG_TESTS_RELIABILITY_SUPPORT_H
#define GENREG_TESTS_RELIABILITY_SUPPORT_H

#include <genreg/binvarval.h>
#include <genreg/globalreg.h>
#include <genreg/rc.h>
#include <genreg/varval.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "globalrec_support.h"
#include "store_invariants.h"

namespace reliability_test {

enum StoreKind { STORE_TEXT, STORE_BINARY, STORE_GLOBAL };

inline const char* KindName(StoreKind kind) {
    return kind == STORE_TEXT ? "text" : kind == STORE_BINARY ? "binary" : "global";
}

inline std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// GENREG_LONG_TESTS=1 selects the full sizes; otherwise the CI sizes.
inline bool LongTests() {
    return Environment("GENREG_LONG_TESTS") == "1";
}

// A handle of one kind on one path. GlobalReg finds its file through
// QVR_GLOBAL_REG_PATHNAME, which the Store sets for its construction only.
class Store {
public:
    Store(StoreKind kind, const std::string& path) : kind_(kind) {
        unsigned rc = 1;
        if (kind == STORE_TEXT) {
            text_.reset(new GenRegVarVal(path.c_str(), &rc));
            file_ = text_.get();
        } else if (kind == STORE_BINARY) {
            binary_.reset(new GenRegBinVarVal(path.c_str(), &rc));
            file_ = binary_.get();
        } else {
            globalrec_test::ScopedEnv env("QVR_GLOBAL_REG_PATHNAME", path.c_str());
            global_.reset(new GlobalReg());
            file_ = global_.get();
            rc = (global_->state & GENREG_STATE_PATHS_SET) ? 0 : 1;
        }
        constructRc_ = rc;
    }
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    unsigned constructRc() const { return constructRc_; }
    StoreKind kind() const { return kind_; }
    GenRegFile& file() { return *file_; }
    const GenRegFile& file() const { return *file_; }

    unsigned SetFeatures(uint64_t verifyAndDuplicates) {
        unsigned rc = 0;
        for (uint64_t bit :
             {(uint64_t)GENREG_FEATURE_VERIFY, (uint64_t)GENREG_FEATURE_DUPLICATES}) {
            if (verifyAndDuplicates & bit) {
                rc |= file_->setFeature(bit);
            } else if (file_->isFeatureSet(bit)) {
                rc |= file_->unsetFeature(bit);
            }
        }
        return rc;
    }

    unsigned Add(const std::string& name, int32_t number) {
        if (kind_ == STORE_TEXT) {
            TextRecord r(name, number);
            return text_->Add(GENREG_VARVAL_VARIABLE, &r.record);
        }
        if (kind_ == STORE_BINARY) {
            BinVarValRecord r = BinaryRecord(name, number);
            return binary_->Add(GENREG_BINVARVAL_VARIABLE, &r);
        }
        GlobalRegRecord r = GlobalRecord(name, number);
        return global_->Add(kGlobalSelector, &r);
    }
    unsigned Change(const std::string& name, int32_t number) {
        if (kind_ == STORE_TEXT) {
            TextRecord key(name, 0), r(name, number);
            key.record.Value = nullptr;
            return text_->Change(GENREG_VARVAL_VARIABLE, &key.record, &r.record);
        }
        if (kind_ == STORE_BINARY) {
            BinVarValRecord key = BinaryRecord(name, 0), r = BinaryRecord(name, number);
            return binary_->Change(GENREG_BINVARVAL_VARIABLE, &key, &r);
        }
        GlobalRegRecord key = GlobalRecord(name, 0), r = GlobalRecord(name, number);
        return global_->Change(kGlobalSelector, &key, &r);
    }
    unsigned Delete(const std::string& name) {
        if (kind_ == STORE_TEXT) {
            TextRecord key(name, 0);
            key.record.Value = nullptr;
            return text_->Delete(GENREG_VARVAL_VARIABLE, &key.record);
        }
        if (kind_ == STORE_BINARY) {
            BinVarValRecord key = BinaryRecord(name, 0);
            return binary_->Delete(GENREG_BINVARVAL_VARIABLE, &key);
        }
        GlobalRegRecord key = GlobalRecord(name, 0);
        return global_->Delete(kGlobalSelector, &key);
    }
    // The number stored under name: 0 and *number set, or the store's code
    // (GENREG_RC_NO_MATCH when the name is absent). A value that is not a
    // whole number is reported as GENREG_RC_INVALID_RECORD.
    unsigned Get(const std::string& name, int32_t* number) {
        unsigned rc = 0;
        long long value = 0;
        if (kind_ == STORE_TEXT) {
            TextRecord key(name, 0);
            key.record.Value = nullptr;
            VarValRecord result;
            rc = text_->Get(GENREG_VARVAL_VARIABLE, &key.record, &result);
            if (rc == 0 && !ParseNumber(result.Value, &value)) rc = GENREG_RC_INVALID_RECORD;
        } else if (kind_ == STORE_BINARY) {
            BinVarValRecord key = BinaryRecord(name, 0), result;
            rc = binary_->Get(GENREG_BINVARVAL_VARIABLE, &key, &result);
            value = result.Value;
        } else {
            GlobalRegRecord key = GlobalRecord(name, 0);
            std::unique_ptr<GlobalRegRecord> result(new GlobalRegRecord());
            rc = global_->Get(kGlobalSelector, &key, result.get());
            if (rc == 0 && !ParseNumber(result->Variable.Value, &value))
                rc = GENREG_RC_INVALID_RECORD;
        }
        if (rc == 0) *number = (int32_t)value;
        return rc;
    }

    // Every record of the file, by name, read through one scan; a name
    // seen twice, a record that does not parse or a scan failure gives a
    // non-zero code (GENREG_RC_DUPLICATE, GENREG_RC_INVALID_RECORD, or the
    // store's own). Comment and blank lines of a text file are skipped.
    unsigned Records(std::map<std::string, int32_t>* records) {
        records->clear();
        unsigned rc = file_->OpenScan();
        if (rc != 0) return rc;
        std::unique_ptr<GlobalRegRecord> global(new GlobalRegRecord());
        for (;;) {
            std::string name;
            long long value = 0;
            bool parsed = true;
            if (kind_ == STORE_TEXT) {
                VarValRecord r;
                rc = text_->GetNext(0, nullptr, &r);
                if (rc != 0) break;
                if ((r.Contains & GENREG_VARVAL_HAS_VARIABLE) == 0) continue;
                name = r.Variable;
                parsed = ParseNumber(r.Value, &value);
            } else if (kind_ == STORE_BINARY) {
                BinVarValRecord key = BinaryRecord("", 0), r;
                rc = binary_->GetNext(0, &key, &r);
                if (rc != 0) break;
                name = std::string(r.Variable, sizeof r.Variable).c_str();
                value = r.Value;
            } else {
                GlobalRegRecord key = GlobalRecord("", 0);
                rc = global_->GetNext(0, &key, global.get());
                if (rc != 0) break;
                name = global->Variable.Variable;
                parsed = global->RecordType == GENREG_GLOBAL_VARIABLE &&
                         ParseNumber(global->Variable.Value, &value);
            }
            if (!parsed) {
                rc = GENREG_RC_INVALID_RECORD;
                break;
            }
            if (!records->emplace(name, (int32_t)value).second) {
                rc = GENREG_RC_DUPLICATE;
                break;
            }
        }
        unsigned closeRc = file_->CloseScan();
        if (rc == GENREG_RC_NOT_FOUND || rc == GENREG_RC_NO_MATCH) rc = 0;
        return rc != 0 ? rc : closeRc;
    }

private:
    static constexpr uint64_t kGlobalSelector = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE;

    struct TextRecord {
        VarValRecord record = {};
        std::string variable, value;
        TextRecord(const std::string& name, int32_t number)
            : variable(name), value(std::to_string(number)) {
            record.Contains = GENREG_VARVAL_HAS_VARIABLE;
            record.Variable = &variable[0];
            record.Value = &value[0];
        }
    };
    static BinVarValRecord BinaryRecord(const std::string& name, int32_t number) {
        BinVarValRecord r;
        std::memset(&r, 0, sizeof r);
        std::snprintf(r.Variable, sizeof r.Variable, "%s", name.c_str());
        r.Value = number;
        std::snprintf(r.Comment, sizeof r.Comment, "rel");
        return r;
    }
    static GlobalRegRecord GlobalRecord(const std::string& name, int32_t number) {
        GlobalRegRecord r = globalrec_test::emptyRecord(GENREG_GLOBAL_VARIABLE);
        r.FieldMask = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE | GENREG_VAR_VALUE;
        GLOBAL_SET(r.Variable.Service, "QVR");
        GLOBAL_SET(r.Variable.Variable, name);
        GLOBAL_SET(r.Variable.Value, std::to_string(number));
        return r;
    }
    static bool ParseNumber(const char* text, long long* value) {
        if (text == nullptr || *text == '\0') return false;
        char* end = nullptr;
        *value = std::strtoll(text, &end, 10);
        return *end == '\0';
    }

    StoreKind kind_;
    unsigned constructRc_ = 1;
    std::unique_ptr<GenRegVarVal> text_;
    std::unique_ptr<GenRegBinVarVal> binary_;
    std::unique_ptr<GlobalReg> global_;
    GenRegFile* file_ = nullptr;
};

// Deletes whatever companions an earlier update left, so that a run starts
// from the registry file alone.
inline void RemoveCompanions(const GenRegFile& handle) {
    for (const char* companion :
         {handle.tempPath, handle.corruptPath, handle.backupPath, handle.lockPath})
        std::remove(companion);
}

// No copy, no backup and no lock file beside the registry file (a marker
// may stay: it is the record of an earlier failure, never read back).
inline testing::AssertionResult NoDebris(const GenRegFile& handle) {
    store_test::Companions got = store_test::CompanionsOf(handle);
    if (got.temp || got.backup || got.lock)
        return testing::AssertionFailure() << "left beside the file: " << store_test::Describe(got);
    return testing::AssertionSuccess();
}

}  // namespace reliability_test

#endif
