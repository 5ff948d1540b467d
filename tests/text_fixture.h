// Fixtures for the text store tests: a scratch directory, a profile or
// services handle on a file in it, records built from text, and the
// expected bytes of a file whose lines end as the platform's text streams
// write them.
#ifndef GENREG_TESTS_TEXT_FIXTURE_H
#define GENREG_TESTS_TEXT_FIXTURE_H

#include <gtest/gtest.h>
#include <genreg/rc.h>
#include <genreg/services.h>
#include <genreg/varval.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/oss.h"
#include "schemas/services_record.h"
#include "store_invariants.h"

namespace text_test {

// Bytes of a file whose line feeds were written by a text stream: CR LF
// where text streams translate line ends, unchanged elsewhere.
inline std::string OnDisk(const std::string& text) {
    if (!ossTextStreamsTranslateLineEnds()) return text;
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// A profile record whose text the record owns.
struct Entry {
    VarValRecord record = {};
    std::string variable, value, comment;

    Entry(const std::string& v, const std::string& val, const char* c = nullptr)
        : variable(v), value(val), comment(c ? c : "") {
        record.Contains = GENREG_VARVAL_HAS_VARIABLE | (c ? GENREG_VARVAL_HAS_COMMENT : 0);
        record.Variable = &variable[0];
        record.Value = &value[0];
        record.Comment = c ? &comment[0] : nullptr;
    }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    VarValRecord* get() { return &record; }
};

// A key naming a variable only.
struct Key : Entry {
    explicit Key(const std::string& v) : Entry(v, "") { record.Value = nullptr; }
};

// A services record parsed from a line.
struct Service {
    ServicesRecord record;
    explicit Service(const char* line) { EXPECT_EQ(0u, ServicesUnpack(&record, line)) << line; }
    ServicesRecord* get() { return &record; }
};

// A profile (or services file) named "reg" in a scratch directory.
template <typename Handle>
class StoreTest : public testing::Test {
protected:
    void SetUp() override { Open("reg"); }
    void Open(const std::string& name) {
        path = dir.file(name);
        unsigned rc = 1;
        handle.reset(new Handle(path.c_str(), &rc));
        ASSERT_EQ(0u, rc);
    }
    bool Write(const std::string& bytes) { return store_test::WriteFileBytes(path, bytes); }
    std::string Read() const { return store_test::ReadFileBytes(path); }

    store_test::TestDir dir;
    std::string path;
    std::unique_ptr<Handle> handle;
};

}  // namespace text_test

#endif
