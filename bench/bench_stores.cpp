// The library's operations on files of N records: Get, a full GetNext
// listing, Add, Change and Delete, for the three kinds of file. Every
// update is the real, durable one (lock, copy, verification, swap, fsync).
// Counter "peak_bytes": the heap the operation added at its peak.
#include <benchmark/benchmark.h>
#include <genreg/genreg.h>

#include <cstring>
#include <string>

#include "bench/fixtures.h"
#include "bench/peak_memory.h"

namespace {

// Runs body once per iteration and records the heap peak over all of them.
template <typename Body>
void measure(benchmark::State& state, Body body) {
    long long baseline = PeakMemoryCurrent();
    PeakMemoryReset();
    for (auto _ : state) {
        if (!body(state)) {
            state.SkipWithError("operation failed");
            break;
        }
    }
    state.counters["peak_bytes"] = (double)PeakMemorySinceReset(baseline);
}

// ---- profile ----------------------------------------------------------------

struct ProfileKey {
    explicit ProfileKey(const std::string& variable, const std::string& value = "")
        : name(variable), text(value) {
        record.Contains = GENREG_VARVAL_HAS_VARIABLE;
        record.Variable = &name[0];
        record.Value = &text[0];
    }
    std::string name, text;
    VarValRecord record{};
};

void ProfileGet(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("profile", n);
    unsigned rc = 0;
    GenRegVarVal profile(path.c_str(), &rc);
    ProfileKey key(BenchName(n / 2));
    static VarValRecord result;
    measure(state, [&](benchmark::State&) {
        return profile.Get(GENREG_VARVAL_VARIABLE, &key.record, &result) == 0;
    });
}

void ProfileList(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("profile", n);
    unsigned rc = 0;
    GenRegVarVal profile(path.c_str(), &rc);
    ProfileKey key("");
    static VarValRecord result;
    measure(state, [&](benchmark::State&) {
        if (profile.OpenScan() != 0) return false;
        size_t lines = 0;
        while (profile.GetNext(0, &key.record, &result) == 0)
            ++lines;
        return profile.CloseScan() == 0 && lines == n;
    });
}

void ProfileChange(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("profile", n);
    unsigned rc = 0;
    GenRegVarVal profile(path.c_str(), &rc);
    ProfileKey key(BenchName(n / 2));
    ProfileKey first(BenchName(n / 2), "changed-a"), second(BenchName(n / 2), "changed-b");
    bool flip = false;
    measure(state, [&](benchmark::State&) {
        flip = !flip;
        return profile.Change(GENREG_VARVAL_VARIABLE, &key.record,
                              flip ? &first.record : &second.record) == 0;
    });
}

void ProfileAdd(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("profile", n);
    unsigned rc = 0;
    GenRegVarVal profile(path.c_str(), &rc);
    ProfileKey added("NEWVAR", "new-value");
    measure(state, [&](benchmark::State& s) {
        bool ok = profile.Add(GENREG_VARVAL_VARIABLE, &added.record) == 0;
        s.PauseTiming();
        ok = ok && profile.Delete(GENREG_VARVAL_VARIABLE, &added.record) == 0;
        s.ResumeTiming();
        return ok;
    });
}

void ProfileDelete(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("profile", n);
    unsigned rc = 0;
    GenRegVarVal profile(path.c_str(), &rc);
    ProfileKey added("NEWVAR", "new-value");
    measure(state, [&](benchmark::State& s) {
        s.PauseTiming();
        bool ok = profile.Add(GENREG_VARVAL_VARIABLE, &added.record) == 0;
        s.ResumeTiming();
        return ok && profile.Delete(GENREG_VARVAL_VARIABLE, &added.record) == 0;
    });
}

// ---- binary variable/value file -----------------------------------------------

BinVarValRecord binRecord(const std::string& name, int32_t value) {
    BinVarValRecord record{};
    std::snprintf(record.Variable, sizeof record.Variable, "%s", name.c_str());
    record.Value = value;
    std::snprintf(record.Comment, sizeof record.Comment, "bench");
    return record;
}

void BinGet(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("binvar", n);
    unsigned rc = 0;
    GenRegBinVarVal file(path.c_str(), &rc);
    BinVarValRecord key = binRecord(BenchName(n / 2), 0), result;
    measure(state, [&](benchmark::State&) {
        return file.Get(GENREG_BINVARVAL_VARIABLE, &key, &result) == 0;
    });
}

void BinList(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("binvar", n);
    unsigned rc = 0;
    GenRegBinVarVal file(path.c_str(), &rc);
    BinVarValRecord key = binRecord("", 0), result;
    measure(state, [&](benchmark::State&) {
        if (file.OpenScan() != 0) return false;
        size_t records = 0;
        // Selector 0 selects no key field, so every record matches.
        while (file.GetNext(0, &key, &result) == 0)
            ++records;
        return file.CloseScan() == 0 && records == n;
    });
}

void BinChange(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("binvar", n);
    unsigned rc = 0;
    GenRegBinVarVal file(path.c_str(), &rc);
    BinVarValRecord key = binRecord(BenchName(n / 2), 0);
    BinVarValRecord first = binRecord(BenchName(n / 2), 1), second = binRecord(BenchName(n / 2), 2);
    bool flip = false;
    measure(state, [&](benchmark::State&) {
        flip = !flip;
        return file.Change(GENREG_BINVARVAL_VARIABLE, &key, flip ? &first : &second) == 0;
    });
}

void BinAdd(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("binvar", n);
    unsigned rc = 0;
    GenRegBinVarVal file(path.c_str(), &rc);
    BinVarValRecord added = binRecord("NEWVAR", 7);
    measure(state, [&](benchmark::State& s) {
        bool ok = file.Add(0, &added) == 0;
        s.PauseTiming();
        ok = ok && file.Delete(GENREG_BINVARVAL_VARIABLE, &added) == 0;
        s.ResumeTiming();
        return ok;
    });
}

void BinDelete(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("binvar", n);
    unsigned rc = 0;
    GenRegBinVarVal file(path.c_str(), &rc);
    BinVarValRecord added = binRecord("NEWVAR", 7);
    measure(state, [&](benchmark::State& s) {
        s.PauseTiming();
        bool ok = file.Add(0, &added) == 0;
        s.ResumeTiming();
        return ok && file.Delete(GENREG_BINVARVAL_VARIABLE, &added) == 0;
    });
}

// ---- global registry ------------------------------------------------------------

GlobalRegRecord globalVariable(const std::string& name, const std::string& value) {
    GlobalRegRecord record;
    std::memset(&record, 0, sizeof record);
    record.RecordType = GENREG_GLOBAL_VARIABLE;
    record.FieldMask = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE | GENREG_VAR_VALUE;
    std::snprintf(record.Variable.Service, sizeof record.Variable.Service, "QVR");
    std::snprintf(record.Variable.Variable, sizeof record.Variable.Variable, "%s", name.c_str());
    std::snprintf(record.Variable.Value, sizeof record.Variable.Value, "%s", value.c_str());
    return record;
}

const uint64_t kGlobalKey = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE;

// A key carries only the key fields: a present field may not be empty.
GlobalRegRecord globalKey(const std::string& name) {
    GlobalRegRecord key = globalVariable(name, "");
    key.FieldMask = kGlobalKey;
    return key;
}

struct GlobalFile {
    explicit GlobalFile(size_t n) : path(BenchFile("global", n)) {
        setenv("QVR_GLOBAL_REG_PATHNAME", path.c_str(), 1);
        handle = new GlobalReg();
    }
    ~GlobalFile() { delete handle; }
    std::string path;
    GlobalReg* handle;
};

void GlobalGet(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    GlobalFile file(n);
    static GlobalRegRecord key, result;
    key = globalKey(BenchName(n / 2));
    measure(state,
            [&](benchmark::State&) { return file.handle->Get(kGlobalKey, &key, &result) == 0; });
}

void GlobalList(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    GlobalFile file(n);
    static GlobalRegRecord key, result;
    std::memset(&key, 0, sizeof key);
    measure(state, [&](benchmark::State&) {
        if (file.handle->OpenScan() != 0) return false;
        size_t records = 0;
        while (file.handle->GetNext(0, &key, &result) == 0)
            ++records;
        return file.handle->CloseScan() == 0 && records == n;
    });
}

void GlobalChange(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    GlobalFile file(n);
    static GlobalRegRecord key, first, second;
    key = globalKey(BenchName(n / 2));
    first = globalVariable(BenchName(n / 2), "changed-a");
    second = globalVariable(BenchName(n / 2), "changed-b");
    bool flip = false;
    measure(state, [&](benchmark::State&) {
        flip = !flip;
        GlobalRegRecord replacement = flip ? first : second;
        return file.handle->Change(kGlobalKey, &key, &replacement) == 0;
    });
}

void GlobalAdd(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    GlobalFile file(n);
    static GlobalRegRecord added;
    measure(state, [&](benchmark::State& s) {
        added = globalVariable("NEWVAR", "new-value");
        bool ok = file.handle->Add(kGlobalKey, &added) == 0;
        s.PauseTiming();
        added = globalVariable("NEWVAR", "new-value");
        ok = ok && file.handle->Delete(kGlobalKey, &added) == 0;
        s.ResumeTiming();
        return ok;
    });
}

void GlobalDelete(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    GlobalFile file(n);
    static GlobalRegRecord added;
    measure(state, [&](benchmark::State& s) {
        s.PauseTiming();
        added = globalVariable("NEWVAR", "new-value");
        bool ok = file.handle->Add(kGlobalKey, &added) == 0;
        added = globalVariable("NEWVAR", "new-value");
        s.ResumeTiming();
        return ok && file.handle->Delete(kGlobalKey, &added) == 0;
    });
}

}  // namespace

#define GENREG_BENCH_SIZES(name)        \
    BENCHMARK(name)                     \
        ->Arg(10)                       \
        ->Arg(100)                      \
        ->Arg(1000)                     \
        ->Arg(10000)                    \
        ->Unit(benchmark::kMicrosecond) \
        ->UseRealTime()

GENREG_BENCH_SIZES(ProfileGet);
GENREG_BENCH_SIZES(ProfileList);
GENREG_BENCH_SIZES(ProfileAdd);
GENREG_BENCH_SIZES(ProfileChange);
GENREG_BENCH_SIZES(ProfileDelete);
GENREG_BENCH_SIZES(BinGet);
GENREG_BENCH_SIZES(BinList);
GENREG_BENCH_SIZES(BinAdd);
GENREG_BENCH_SIZES(BinChange);
GENREG_BENCH_SIZES(BinDelete);
GENREG_BENCH_SIZES(GlobalGet);
GENREG_BENCH_SIZES(GlobalList);
GENREG_BENCH_SIZES(GlobalAdd);
GENREG_BENCH_SIZES(GlobalChange);
GENREG_BENCH_SIZES(GlobalDelete);
