// Tables, field lists, JSON and error lines of the genreg command.
#include "output.h"

#include <genreg/rc.h>

#include <charconv>
#include <cinttypes>
#include <cstdio>

#include "cli.h"
#include "codes.h"
#include "diagnosis.h"

namespace {

void appendPadded(std::string* out, const std::string& text, size_t width) {
    out->append(text);
    out->append(width - text.size(), ' ');
}

}  // namespace

std::string Table::render() const {
    std::vector<size_t> widths(headers.size(), 0);
    for (size_t c = 0; c < headers.size(); ++c)
        widths[c] = headers[c].size();
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size() && c < widths.size(); ++c)
            if (row[c].size() > widths[c]) widths[c] = row[c].size();
    std::string out;
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (size_t c = 0; c < widths.size(); ++c) {
            const std::string& cell = c < cells.size() ? cells[c] : std::string();
            if (c + 1 < widths.size()) {
                appendPadded(&text, cell, widths[c] + 2);
            } else {
                text += cell;
            }
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out += text + "\n";
    };
    line(headers);
    for (const auto& row : rows)
        line(row);
    return out;
}

std::string FieldList::render() const {
    size_t width = 0;
    for (const auto& entry : lines)
        if (entry.first.size() > width) width = entry.first.size();
    std::string out;
    for (const auto& entry : lines) {
        std::string text;
        appendPadded(&text, entry.first, width + 2);
        text += entry.second;
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out += text + "\n";
    }
    return out;
}

void JsonWriter::beforeValue() {
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (counts.empty()) return;
    if (counts.back()++ > 0) text += ",";
    text += "\n" + std::string(2 * counts.size(), ' ');
}

void JsonWriter::open(char bracket) {
    beforeValue();
    text += bracket;
    counts.push_back(0);
}

void JsonWriter::close(char bracket) {
    int written = counts.back();
    counts.pop_back();
    if (written > 0) text += "\n" + std::string(2 * counts.size(), ' ');
    text += bracket;
}

void JsonWriter::beginObject() {
    open('{');
}
void JsonWriter::endObject() {
    close('}');
}
void JsonWriter::beginArray() {
    open('[');
}
void JsonWriter::endArray() {
    close(']');
}

void JsonWriter::key(const char* name) {
    string(name);
    text += ": ";
    afterKey = true;
}

// The length of the well-formed UTF-8 sequence at text[at], or 0 when the
// byte there starts none (a stray continuation byte, an overlong form, a
// surrogate, a value above U+10FFFF, a sequence cut short).
size_t utf8Length(const std::string& text, size_t at) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    unsigned char second = static_cast<unsigned char>(text[at + 1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

void JsonWriter::string(const std::string& value) {
    beforeValue();
    text += '"';
    for (size_t at = 0; at < value.size(); ++at) {
        unsigned char c = static_cast<unsigned char>(value[at]);
        if (c >= 0x80) {
            // Well-formed UTF-8 is copied; a byte that is not part of it is
            // written as the code point of its value, so the document stays
            // valid UTF-8 and the byte can still be told.
            size_t length = utf8Length(value, at);
            if (length == 0) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                text += escaped;
            } else {
                text.append(value, at, length);
                at += length - 1;
            }
            continue;
        }
        switch (c) {
            case '"':
                text += "\\\"";
                break;
            case '\\':
                text += "\\\\";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\r':
                text += "\\r";
                break;
            case '\t':
                text += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    text += escaped;
                } else {
                    text += static_cast<char>(c);
                }
        }
    }
    text += '"';
}

void JsonWriter::stringOrNull(const char* value) {
    if (value) {
        string(value);
    } else {
        null();
    }
}

void JsonWriter::number(int64_t value) {
    beforeValue();
    text += std::to_string(value);
}

void JsonWriter::unsignedNumber(uint64_t value) {
    beforeValue();
    text += std::to_string(value);
}

void JsonWriter::real(double value) {
    beforeValue();
    text += formatReal(value);
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    text += value ? "true" : "false";
}

void JsonWriter::null() {
    beforeValue();
    text += "null";
}

std::string cellText(const char* text) {
    return text && *text ? text : "-";
}

std::string formatReal(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string rcValueText(unsigned rc) {
    char value[16];
    std::snprintf(value, sizeof value, "0x%08x", rc);
    return value;
}

std::string rcText(unsigned rc) {
    CodeInfo info{};
    if (!lookUpCode(rc, &info)) return "return code " + rcValueText(rc);
    return std::string(info.name) + " (" + rcValueText(rc) + ")";
}

int exitStatusOf(unsigned rc) {
    switch (rc) {
        case GENREG_RC_NO_MATCH:
        case GENREG_RC_NOT_FOUND:
        case GENREG_RC_FILE_NOT_FOUND:
            return kExitNotFound;
        default:
            return kExitFailed;
    }
}

int reportLibraryFailureAs(const std::string& what, unsigned rc, int status) {
    std::fprintf(stderr, "genreg: cannot %s: %s\n", what.c_str(), rcText(rc).c_str());
    std::string cause = failureCause();
    if (!cause.empty()) std::fprintf(stderr, "genreg: %s\n", cause.c_str());
    return status;
}

int reportLibraryFailure(const std::string& what, unsigned rc) {
    return reportLibraryFailureAs(what, rc, exitStatusOf(rc));
}

int reportFailure(const std::string& message, int status) {
    std::fprintf(stderr, "genreg: %s\n", message.c_str());
    return status;
}

int reportUsage(const char* verb, const std::string& message) {
    std::fprintf(stderr, "genreg %s: %s (see genreg %s --help)\n", verb, message.c_str(), verb);
    return kExitUsage;
}
