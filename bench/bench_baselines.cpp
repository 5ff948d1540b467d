// Baselines, written plainly, measured in the same run as the library:
//   Floor*   the least any implementation must do: read the file and scan
//            for the key (lookup); copy it applying the change, fsync and
//            rename over the original, fsync the directory (update); the
//            same plus re-reading both files once (verified update).
//   Sqlite*  a key/value table with a primary key: open, select, close;
//            open, one UPDATE as its own transaction (journal_mode=DELETE,
//            synchronous=FULL), close.
//   Process* whole commands: the genreg tool against git config on
//            equivalent files.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/fixtures.h"

extern char** environ;

namespace {

void FloorLookup(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("floor", n);
    std::string needle = "\n" + BenchName(n / 2) + " =";
    for (auto _ : state) {
        FILE* in = std::fopen(path.c_str(), "rb");
        if (!in) {
            state.SkipWithError("open");
            break;
        }
        // Scan chunk by chunk, keeping an overlap so a key across two
        // chunks is found, and stop at the first match as a lookup does.
        char chunk[65536];
        std::string window;
        bool found = false;
        size_t got;
        while (!found && (got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
            window.append(chunk, got);
            found = window.find(needle) != std::string::npos;
            if (window.size() > needle.size()) window.erase(0, window.size() - needle.size());
        }
        std::fclose(in);
        if (!found) {
            state.SkipWithError("key not found");
            break;
        }
    }
}

// Rewrites path with the middle variable's value replaced; with verify,
// reads the old file and the copy once more before the rename.
bool floorUpdate(const std::string& path, size_t n, bool flip, bool verify) {
    std::string bytes;
    if (!ReadWholeFile(path, &bytes)) return false;
    std::string line = "\n" + BenchName(n / 2) + " = ";
    size_t at = bytes.find(line);
    if (at == std::string::npos) return false;
    size_t start = at + line.size(), end = bytes.find('\n', start);
    bytes.replace(start, end - start, flip ? "changed-a" : "changed-b");
    std::string copy = path + ".tmp";
    if (!WriteFileDurably(copy, bytes)) return false;
    if (verify) {
        std::string old, written;
        if (!ReadWholeFile(path, &old) || !ReadWholeFile(copy, &written)) return false;
        if (written != bytes) return false;
    }
    return std::rename(copy.c_str(), path.c_str()) == 0 && SyncDirectoryOf(path);
}

void FloorUpdate(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("floor", n);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        if (!floorUpdate(path, n, flip, false)) {
            state.SkipWithError("update");
            break;
        }
    }
}

void FloorVerifiedUpdate(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("floor", n);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        if (!floorUpdate(path, n, flip, true)) {
            state.SkipWithError("update");
            break;
        }
    }
}

void SqliteLookup(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("sqlite", n);
    std::string name = BenchName(n / 2);
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_stmt* select = nullptr;
        bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
                  sqlite3_prepare_v2(db, "SELECT v FROM kv WHERE k = ?", -1, &select, nullptr) ==
                      SQLITE_OK &&
                  sqlite3_bind_text(select, 1, name.c_str(), -1, SQLITE_STATIC) == SQLITE_OK &&
                  sqlite3_step(select) == SQLITE_ROW;
        sqlite3_finalize(select);
        sqlite3_close(db);
        if (!ok) {
            state.SkipWithError("select");
            break;
        }
    }
}

void SqliteUpdate(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("sqlite", n);
    std::string name = BenchName(n / 2);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        sqlite3* db = nullptr;
        sqlite3_stmt* update = nullptr;
        bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                  sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;", nullptr,
                               nullptr, nullptr) == SQLITE_OK &&
                  sqlite3_prepare_v2(db, "UPDATE kv SET v = ? WHERE k = ?", -1, &update, nullptr) ==
                      SQLITE_OK &&
                  sqlite3_bind_text(update, 1, flip ? "changed-a" : "changed-b", -1,
                                    SQLITE_STATIC) == SQLITE_OK &&
                  sqlite3_bind_text(update, 2, name.c_str(), -1, SQLITE_STATIC) == SQLITE_OK &&
                  sqlite3_step(update) == SQLITE_DONE;
        sqlite3_finalize(update);
        sqlite3_close(db);
        if (!ok) {
            state.SkipWithError("update");
            break;
        }
    }
}

// Runs a command with its output sent to /dev/null; true on exit status 0.
bool runQuietly(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string gitName(size_t i) {
    std::string name = BenchName(i);
    for (char& c : name)
        c = (char)std::tolower((unsigned char)c);
    return "s." + name;
}

void ProcessGenregGet(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("profile", n);
    for (auto _ : state)
        if (!runQuietly({GENREG_TOOL_PATH, "profile", path, "get", BenchName(n / 2)})) {
            state.SkipWithError("genreg profile get");
            break;
        }
}

void ProcessGenregSet(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("profile", n);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        if (!runQuietly({GENREG_TOOL_PATH, "profile", path, "set", BenchName(n / 2),
                         flip ? "changed-a" : "changed-b"})) {
            state.SkipWithError("genreg profile set");
            break;
        }
    }
}

void ProcessGitGet(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("git", n);
    for (auto _ : state)
        if (!runQuietly({"git", "config", "-f", path, "--get", gitName(n / 2)})) {
            state.SkipWithError("git config --get");
            break;
        }
}

void ProcessGitSet(benchmark::State& state) {
    size_t n = (size_t)state.range(0);
    std::string path = BenchFile("git", n);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        if (!runQuietly(
                {"git", "config", "-f", path, gitName(n / 2), flip ? "changed-a" : "changed-b"})) {
            state.SkipWithError("git config");
            break;
        }
    }
}

}  // namespace

#define GENREG_BASELINE_SIZES(name)     \
    BENCHMARK(name)                     \
        ->Arg(10)                       \
        ->Arg(100)                      \
        ->Arg(1000)                     \
        ->Arg(10000)                    \
        ->Unit(benchmark::kMicrosecond) \
        ->UseRealTime()

GENREG_BASELINE_SIZES(FloorLookup);
GENREG_BASELINE_SIZES(FloorUpdate);
GENREG_BASELINE_SIZES(FloorVerifiedUpdate);
GENREG_BASELINE_SIZES(SqliteLookup);
GENREG_BASELINE_SIZES(SqliteUpdate);
GENREG_BASELINE_SIZES(ProcessGenregGet);
GENREG_BASELINE_SIZES(ProcessGitGet);
GENREG_BASELINE_SIZES(ProcessGenregSet);
GENREG_BASELINE_SIZES(ProcessGitSet);
