#include "bench/fixtures.h"

#include <genreg/genreg.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

bool copyFile(const std::string& from, const std::string& to) {
    std::string bytes;
    if (!ReadWholeFile(from, &bytes)) return false;
    FILE* out = std::fopen(to.c_str(), "wb");
    if (!out) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

void removeCompanions(const std::string& path) {
    std::string dir = path.substr(0, path.rfind('/'));
    std::string base = path.substr(path.rfind('/') + 1);
    for (const std::string& name :
         {path + ".tmp", path + ".cor", dir + "/." + base + ".lock", dir + "/." + base + ".bkp"})
        std::remove(name.c_str());
}

void die(const char* what, const std::string& path) {
    std::fprintf(stderr, "bench: cannot make %s %s\n", what, path.c_str());
    std::exit(2);
}

std::string makeText(const char* kind, size_t n) {
    std::string text;
    if (std::strcmp(kind, "git") == 0) text = "[s]\n";
    for (size_t i = 0; i < n; ++i) {
        if (std::strcmp(kind, "git") == 0) {
            std::string name = BenchName(i);
            for (char& c : name)
                c = (char)std::tolower((unsigned char)c);
            text += "\t" + name + " = " + BenchValue(i) + "\n";
        } else {
            text += BenchName(i) + " = " + BenchValue(i) + "\n";
        }
    }
    return text;
}

void makeBinVar(const std::string& path, size_t n) {
    unsigned rc = 0;
    GenRegBinVarVal file(path.c_str(), &rc);
    if (rc) die("binvar", path);
    // Appending in place builds the file in one pass.
    file.unsetFeature(GENREG_FEATURE_VERIFY);
    for (size_t i = 0; i < n; ++i) {
        BinVarValRecord record{};
        std::snprintf(record.Variable, sizeof record.Variable, "%s", BenchName(i).c_str());
        record.Value = (int32_t)i;
        std::snprintf(record.Comment, sizeof record.Comment, "bench");
        if (file.Add(0, &record)) die("binvar", path);
    }
}

void makeGlobal(const std::string& path, size_t n) {
    // The global registry refuses duplicates, so every Add rewrites the
    // file: build it in the binary store's own framing instead.
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) die("global", path);
    for (size_t i = 0; i < n; ++i) {
        std::string name = BenchName(i), value = BenchValue(i);
        std::string record;
        auto put = [&record](uint64_t v, int width) {
            for (int b = 0; b < width; ++b)
                record += (char)((v >> (8 * b)) & 0xff);
        };
        put(GENREG_GLOBAL_VARIABLE, 4);
        put(GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE | GENREG_VAR_VALUE, 8);
        put(0, 8);
        for (const std::string& text : {std::string("QVR"), name, value}) {
            put(text.size() + 1, 2);
            record += text;
            record += '\0';
        }
        put(0, 4);
        std::string framed;
        uint32_t length = (uint32_t)record.size();
        for (int b = 0; b < 4; ++b)
            framed += (char)((length >> (8 * b)) & 0xff);
        framed += record;
        std::fwrite(framed.data(), 1, framed.size(), out);
    }
    std::fclose(out);
}

void makeSqlite(const std::string& path, size_t n) {
    std::remove(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) die("sqlite", path);
    sqlite3_exec(db, "CREATE TABLE kv(k TEXT PRIMARY KEY, v TEXT); BEGIN;", nullptr, nullptr,
                 nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO kv VALUES(?, ?)", -1, &insert, nullptr);
    for (size_t i = 0; i < n; ++i) {
        std::string name = BenchName(i), value = BenchValue(i);
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, value.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

std::string masterFile(const char* kind, size_t n) {
    static std::map<std::string, std::string> made;
    std::string key = std::string(kind) + "." + std::to_string(n);
    auto found = made.find(key);
    if (found != made.end()) return found->second;
    std::string path = BenchDirectory() + "/master-" + key;
    if (std::strcmp(kind, "binvar") == 0) {
        std::remove(path.c_str());
        makeBinVar(path, n);
    } else if (std::strcmp(kind, "global") == 0) {
        makeGlobal(path, n);
    } else if (std::strcmp(kind, "sqlite") == 0) {
        makeSqlite(path, n);
    } else {
        if (!WriteFileDurably(path, makeText(kind, n))) die(kind, path);
    }
    made[key] = path;
    return path;
}

}  // namespace

const std::string& BenchDirectory() {
    static std::string dir;
    if (dir.empty()) {
        const char* chosen = std::getenv("GENREG_BENCH_DIR");
        dir = chosen && *chosen ? chosen : "/tmp/genreg-bench";
        mkdir(dir.c_str(), 0700);
    }
    return dir;
}

std::string BenchName(size_t i) {
    char text[32];
    std::snprintf(text, sizeof text, "VAR%05zu", i);
    return text;
}

std::string BenchValue(size_t i) {
    char text[32];
    std::snprintf(text, sizeof text, "value%05zu", i);
    return text;
}

std::string BenchFile(const char* kind, size_t n) {
    std::string master = masterFile(kind, n);
    std::string path = BenchDirectory() + "/work-" + kind + "." + std::to_string(n);
    removeCompanions(path);
    if (!copyFile(master, path)) die(kind, path);
    return path;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return false;
    bytes->clear();
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        bytes->append(chunk, n);
    bool ok = !std::ferror(in);
    std::fclose(in);
    return ok;
}

bool WriteFileDurably(const std::string& path, const std::string& bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return false;
    bool ok = write(fd, bytes.data(), bytes.size()) == (ssize_t)bytes.size() && fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

bool SyncDirectoryOf(const std::string& path) {
    std::string dir = path.substr(0, path.rfind('/'));
    int fd = open(dir.c_str(), O_RDONLY);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}
