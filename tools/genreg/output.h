// What the genreg command prints: aligned tables and "field value" lists
// for people, JSON for scripts, and one-line error messages.
#ifndef GENREG_CLI_OUTPUT_H
#define GENREG_CLI_OUTPUT_H

#include <cstdint>
#include <string>
#include <vector>

// Columns separated by two spaces, padded to the widest cell; the last
// column is not padded. The header line is printed even without rows.
struct Table {
    std::vector<std::string> headers;
    std::vector<std::vector<std::string>> rows;

    void addRow(std::vector<std::string> cells) { rows.push_back(std::move(cells)); }
    std::string render() const;
};

// Lines of "field  value", the fields padded to the longest one; for a
// single record.
struct FieldList {
    std::vector<std::pair<std::string, std::string>> lines;

    void add(const std::string& field, const std::string& value) {
        lines.push_back({field, value});
    }
    std::string render() const;
};

// Writes one JSON document, indented by two spaces per level. Calls must
// nest properly; inside an object every value is preceded by key().
struct JsonWriter {
    std::string text;
    std::vector<int> counts;  // values written so far in each open container
    bool afterKey = false;

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(const char* name);
    void string(const std::string& value);
    // A text, or null for a null pointer.
    void stringOrNull(const char* value);
    void number(int64_t value);
    void unsignedNumber(uint64_t value);
    void real(double value);
    void boolean(bool value);
    void null();
    // The document with its final newline.
    std::string finish() const { return text + "\n"; }

private:
    void beforeValue();
    void open(char bracket);
    void close(char bracket);
};

// Text of a value for tables: "-" for a null or empty text.
std::string cellText(const char* text);

// Shortest text that reads back as the same double.
std::string formatReal(double value);

// "0x900001c4": a return code's value as the command prints it.
std::string rcValueText(unsigned rc);

// "GENREG_RC_LOCKED (0x900001c4)", or "return code 0x00000002" for a
// value the library does not name.
std::string rcText(unsigned rc);

// The exit status for a failed library call: kExitNotFound for the codes
// that say a record, entry or file is not there, else kExitFailed.
int exitStatusOf(unsigned rc);

// Prints "genreg: cannot WHAT: RC" to standard error; returns
// exitStatusOf(rc).
int reportLibraryFailure(const std::string& what, unsigned rc);
// Prints "genreg: cannot WHAT: RC" and returns status.
int reportLibraryFailureAs(const std::string& what, unsigned rc, int status);
// Prints "genreg: MESSAGE" and returns status.
int reportFailure(const std::string& message, int status);
// Prints "genreg VERB: MESSAGE (see genreg VERB --help)"; returns kExitUsage.
int reportUsage(const char* verb, const std::string& message);

#endif
