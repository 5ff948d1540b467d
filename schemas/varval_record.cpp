// The variable/value profile record: parse, format, compare, validate,
// print and size callbacks.
#include <genreg/lines.h>
#include <genreg/rc.h>
#include <genreg/varval.h>

#include <cstdio>
#include <cstring>

#include "genreg/textline.h"
#include "genreg/trace.h"
#include "platform/oss.h"
#include "schemas/line_builder.h"
#include "schemas/varval_record.h"

static_assert(sizeof(VarValRecord) == 2080, "a profile record is a 2080-byte block");

namespace {

enum : uint32_t {
    FID_UNPACK = GENREG_FID(0x0070),
    FID_PACK = GENREG_FID(0x0071),
    FID_COMPARE = GENREG_FID(0x0072),
    FID_VALIDATE = GENREG_FID(0x0073),
    FID_PRINT = GENREG_FID(0x0074),
    FID_RECORD_SIZE = GENREG_FID(0x0075),
};

bool sameText(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return std::strcmp(a, b) == 0;
}

unsigned unpackFailed(VarValRecord* r, unsigned rc, uint32_t probe) {
    // Nothing of a line that failed may be taken for a variable or value.
    r->Variable = nullptr;
    r->Value = nullptr;
    ossLog(FID_UNPACK, probe, rc, OSS_SEVERITY_ERROR, "line=%.80s", r->line);
    return rc;
}

bool startsWith(const char* text, const char* prefix) {
    while (*prefix != '\0' && *prefix == *text) {
        ++prefix;
        ++text;
    }
    return *prefix == '\0';
}

bool endsWithCrLf(const char* text) {
    size_t length = std::strlen(text);
    return length >= 2 && text[length - 2] == '\r' && text[length - 1] == '\n';
}

}  // namespace

unsigned VarValUnpack(void* record, const char* line) {
    unsigned rc = 0;
    GENREG_TRACE(FID_UNPACK, &rc);
    VarValRecord* r = (VarValRecord*)record;
    if (r == nullptr || line == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(FID_UNPACK, 1, rc, OSS_SEVERITY_ERROR, "record=%p line=%p", record,
               (const void*)line);
        return rc;
    }
    r->Contains = 0;
    r->Comment = nullptr;
    r->Variable = nullptr;
    r->Value = nullptr;
    CopyLineText(r->line, line);

    char* hash = std::strchr(r->line, '#');
    if (hash != nullptr) {
        r->Contains = GENREG_VARVAL_HAS_COMMENT;
        *hash = '\0';
        r->Comment = hash + 1;
        MakePrintable(r->Comment);
    }
    NormalizeLine(r->line);  // a failure leaves the text as it was: still parsed
    if (r->line[0] == '\0') return rc;

    r->Contains |= GENREG_VARVAL_HAS_VARIABLE;
    char* equals = std::strchr(r->line, '=');
    if (equals == nullptr) {
        rc = unpackFailed(r, GENREG_RC_NO_EQUAL_SIGN, 2);
        return rc;
    }
    char* value = equals + 1;
    if (equals > r->line && equals[-1] == ' ')
        equals[-1] = '\0';
    else
        *equals = '\0';
    if (*value == ' ') ++value;
    if (*value == '"') {
        char* close = std::strchr(value + 1, '"');
        if (close == nullptr) {
            rc = unpackFailed(r, GENREG_RC_UNTERMINATED_QUOTE, 3);
            return rc;
        }
        close[1] = '\0';  // text behind the closing quote is dropped
    }
    r->Variable = r->line;
    r->Value = value;
    return rc;
}

unsigned VarValPack(void* record, char* line) {
    unsigned rc = 0;
    GENREG_TRACE(FID_PACK, &rc);
    const VarValRecord* r = (const VarValRecord*)record;
    if (r == nullptr || line == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(FID_PACK, 1, rc, OSS_SEVERITY_ERROR, "record=%p line=%p", record, (void*)line);
        return rc;
    }
    const bool haveTemplate = line[0] != '\0';
    const char* layout = line;  // walks the template
    LineBuilder out;
    if (r->Contains & GENREG_VARVAL_HAS_VARIABLE) {
        if (r->Variable == nullptr || r->Value == nullptr) {
            rc = r->Variable == nullptr ? GENREG_RC_VARIABLE_MISSING : GENREG_RC_VALUE_MISSING;
            ossLog(FID_PACK, 2, rc, OSS_SEVERITY_ERROR, "entry without its text");
            return rc;
        }
        if (haveTemplate) out.appendBlanks(&layout);
        out.append(r->Variable);
        if (haveTemplate) {
            while (*layout != '\0' && *layout != ' ' && *layout != '\t' && *layout != '=')
                ++layout;
            out.appendBlanks(&layout);
            if (*layout != '=') {
                rc = GENREG_RC_NO_EQUAL_SIGN;
                ossLog(FID_PACK, 3, rc, OSS_SEVERITY_ERROR, "template=%.80s", line);
                return rc;
            }
            ++layout;
        } else if (!bCompactFormattedLine) {
            out.append(" ");
        }
        out.append("=");
        if (haveTemplate)
            out.appendBlanks(&layout);
        else if (!bCompactFormattedLine)
            out.append(" ");
        out.append(r->Value);
        if (r->Contains & GENREG_VARVAL_HAS_COMMENT) out.append(" ");
    }
    if (r->Contains & GENREG_VARVAL_HAS_COMMENT) {
        out.append("# ");
        if (r->Comment) out.append(r->Comment);
    }
    // A line replaced in a file of CR LF lines keeps its CR LF.
    if (haveTemplate && endsWithCrLf(line)) out.append("\r");
    if (out.tooLong) {
        rc = GENREG_RC_LINE_TOO_LONG;
        ossLog(FID_PACK, 4, rc, OSS_SEVERITY_ERROR, "limit=%zu", LineBuilder::kLimit);
        return rc;
    }
    out.finishInto(line);
    return rc;
}

int VarValCompare(uint64_t selector, const void* stored, const void* key) {
    int match = 0;
    GENREG_TRACE(FID_COMPARE, &match);
    const VarValRecord* s = (const VarValRecord*)stored;
    const VarValRecord* k = (const VarValRecord*)key;
    if (s == nullptr || k == nullptr || !(s->Contains & GENREG_VARVAL_HAS_VARIABLE)) return match;
    if ((selector & GENREG_VARVAL_VARIABLE) && !sameText(s->Variable, k->Variable)) return match;
    if ((selector & GENREG_VARVAL_VALUE) && !sameText(s->Value, k->Value)) return match;
    match = 1;
    return match;
}

bool VarValLineMismatch(uint64_t selector, const char* line, const void* keyRecord) {
    // Nothing before the text a parse keeps (the line end is cut off, and
    // a "#" starts the comment): no variable, so no match for any key.
    if (line[0] == '\0' || line[0] == '#' || line[0] == '\n' ||
        (line[0] == '\r' && line[1] == '\n'))
        return true;
    const VarValRecord* key = (const VarValRecord*)keyRecord;
    if (!(selector & GENREG_VARVAL_VARIABLE) || key == nullptr || key->Variable == nullptr)
        return false;
    // The parsed variable begins the text: without normalising it, at the
    // first character; normalised, at the first that is no blank, and a
    // variable without blanks then stands there as it is (the normaliser
    // takes out only blanks, and none between two characters that are
    // not). A line that holds the key's variable at neither place holds
    // another variable.
    const char* variable = key->Variable;
    const char* text = line;
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n')
        ++text;
    if (startsWith(line, variable) || (text != line && startsWith(text, variable))) return false;
    if (std::strchr(variable, ' ') != nullptr) return false;
    // The parse succeeds, normalised or not, when the text before the
    // comment holds "=" and no quote (an unterminated one fails it).
    const char* first = std::strpbrk(line, "\"#=");
    if (first == nullptr || *first != '=') return false;
    const char* behind = std::strpbrk(first + 1, "\"#");
    return behind == nullptr || *behind == '#';
}

unsigned VarValValidate(uint64_t selector, void* record) {
    unsigned rc = 0;
    GENREG_TRACE(FID_VALIDATE, &rc);
    const VarValRecord* r = (const VarValRecord*)record;
    if (r == nullptr)
        rc = GENREG_RC_NULL_ARGUMENT;
    else if (r->Contains == 0)
        rc = GENREG_RC_EMPTY_RECORD;
    else if ((selector & GENREG_VARVAL_VARIABLE) && r->Variable == nullptr)
        rc = GENREG_RC_VARIABLE_MISSING;
    else if ((selector & GENREG_VARVAL_VALUE) && r->Value == nullptr)
        rc = GENREG_RC_VALUE_MISSING;
    if (rc != 0)
        ossLog(FID_VALIDATE, 1, rc, OSS_SEVERITY_ERROR, "selector=0x%llx",
               (unsigned long long)selector);
    return rc;
}

unsigned GenRegVarVal::PrintRecord(const void* record) {
    unsigned rc = 0;
    GENREG_TRACE(FID_PRINT, &rc);
    const VarValRecord* r = (const VarValRecord*)record;
    std::printf("Record Dump:\n");
    if (r == nullptr) return rc;
    if (r->Variable) std::printf("   Variable = |%s|\n", r->Variable);
    if (r->Value) std::printf("   Value    = |%s|\n", r->Value);
    std::printf("   Contains = %i\n", (int)r->Contains);
    if (r->Comment) std::printf("   Comment  = |%s|\n", r->Comment);
    return rc;
}

unsigned VarValRecordSize(const void*, uint64_t* size) {
    GENREG_TRACE(FID_RECORD_SIZE, nullptr);
    *size = sizeof(VarValRecord);
    return 0;
}

unsigned VarValMaxRecordSize(uint64_t* size) {
    GENREG_TRACE(FID_RECORD_SIZE, nullptr);
    *size = sizeof(VarValRecord);
    return 0;
}
