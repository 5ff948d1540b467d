// Files of N records for the benchmarks, written once per size into a
// scratch directory, and copied fresh before a benchmark that changes them.
#ifndef GENREG_BENCH_FIXTURES_H
#define GENREG_BENCH_FIXTURES_H

#include <cstddef>
#include <string>

// The scratch directory (created on first use; GENREG_BENCH_DIR overrides).
const std::string& BenchDirectory();

// Variable i's name and value in every format ("VAR00042", "value00042").
std::string BenchName(size_t i);
std::string BenchValue(size_t i);

// Path of a fresh copy of the N-record file of a kind, ready to be changed.
//   "profile"  lines "VAR00000 = value00000"
//   "binvar"   36-byte binary variable/value records
//   "global"   global registry variable records (service "QVR")
//   "floor"    the profile's bytes, for the baseline
//   "git"      a "[s]" section with "\tvar00000 = value00000" lines
//   "sqlite"   a database with table kv(k TEXT PRIMARY KEY, v TEXT)
std::string BenchFile(const char* kind, size_t n);

// Whole-file helpers of the baselines.
bool ReadWholeFile(const std::string& path, std::string* bytes);
bool WriteFileDurably(const std::string& path, const std::string& bytes);
bool SyncDirectoryOf(const std::string& path);

#endif
