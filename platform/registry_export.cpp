// Reading registry export files into a tree (see registry_export.h).
#include "platform/registry_export.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/oss.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"
#include "platform/registry_text.h"

namespace {

const char kHeaderVersion5[] = "Windows Registry Editor Version 5.00";
const char kHeaderRegedit4[] = "REGEDIT4";
// Longest value name the registry accepts, in characters.
const size_t kMaxValueName = 16383;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimRight(const std::string& s) {
    size_t end = s.size();
    while (end > 0 && isBlank(s[end - 1]))
        --end;
    return s.substr(0, end);
}

size_t skipBlanks(const std::string& s, size_t pos) {
    while (pos < s.size() && isBlank(s[pos]))
        ++pos;
    return pos;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads 1 to maxDigits hex digits at pos; false when there are none or too
// many.
bool parseHexNumber(const std::string& s, size_t* pos, size_t maxDigits, uint32_t* value) {
    size_t start = *pos;
    uint32_t v = 0;
    while (*pos < s.size() && hexDigit(s[*pos]) >= 0) {
        if (*pos - start == maxDigits) return false;
        v = (v << 4) | (uint32_t)hexDigit(s[*pos]);
        ++*pos;
    }
    *value = v;
    return *pos > start;
}

struct Parser {
    OSSRegTreeNode* root;
    bool version5;            // hex(1), hex(2), hex(7) data are UTF-16LE
    OSSRegTreeNode* current;  // key of the value lines that follow
    bool skippingDeleted;     // value lines after [-KEY] are ignored
    unsigned line;            // physical line being read (1-based)
    OSSRegParseError* error;
};

bool fail(Parser* p, const char* reason) {
    p->error->line = p->line;
    std::snprintf(p->error->reason, sizeof p->error->reason, "%s", reason);
    return false;
}

// Position at which name belongs in node's sorted children, and whether a
// child of that name is there.
size_t childSlot(const OSSRegTreeNode* node, const std::string& name, bool* found) {
    size_t lo = 0, hi = node->children.size();
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        int c = ossRegCompareNames(node->children[mid]->name, name);
        if (c == 0) {
            *found = true;
            return mid;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    *found = false;
    return lo;
}

// Splits a key path of a [KEY] line into its components.
bool splitKeyPath(Parser* p, const std::string& path, std::vector<std::string>* parts) {
    size_t start = 0;
    for (;;) {
        size_t end = path.find('\\', start);
        std::string part = path.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty()) return fail(p, "empty key name in key path");
        if (part.size() > OSS_REG_EXPORT_MAX_NAME) return fail(p, "key name longer than 255");
        parts->push_back(part);
        if (parts->size() > OSS_REG_EXPORT_MAX_DEPTH) return fail(p, "key path too deep");
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

bool handleKeyLine(Parser* p, const std::string& text) {
    std::string line = trimRight(text);
    if (line.size() < 2 || line.back() != ']') return fail(p, "key line without closing ]");
    std::string path = line.substr(1, line.size() - 2);
    bool deletion = !path.empty() && path[0] == '-';
    if (deletion) path.erase(0, 1);
    std::vector<std::string> parts;
    if (!splitKeyPath(p, path, &parts)) return false;

    OSSRegTreeNode* node = p->root;
    for (size_t i = 0; i < parts.size(); ++i) {
        bool found;
        size_t slot = childSlot(node, parts[i], &found);
        if (deletion && i + 1 == parts.size()) {
            if (found) node->children.erase(node->children.begin() + (long)slot);
            break;
        }
        if (!found) {
            if (deletion) break;  // nothing there to remove
            std::unique_ptr<OSSRegTreeNode> child(new OSSRegTreeNode());
            child->name = parts[i];
            node->children.insert(node->children.begin() + (long)slot, std::move(child));
        }
        node = node->children[slot].get();
    }
    p->current = deletion ? nullptr : node;
    p->skippingDeleted = deletion;
    return true;
}

// A quoted text at *pos (which holds the opening quote), with the escapes
// \\ and \"; *pos ends after the closing quote.
bool parseQuoted(Parser* p, const std::string& s, size_t* pos, std::string* out) {
    size_t i = *pos + 1;
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size()) break;
            char next = s[i + 1];
            if (next != '\\' && next != '"') return fail(p, "unknown escape in quoted text");
            out->push_back(next);
            i += 2;
            continue;
        }
        out->push_back(c);
        ++i;
    }
    return fail(p, "unterminated quoted text");
}

// Only blanks or a comment may follow a value's data.
bool expectLineEnd(Parser* p, const std::string& s, size_t pos) {
    pos = skipBlanks(s, pos);
    if (pos < s.size() && s[pos] != ';') return fail(p, "unexpected text after value data");
    return true;
}

bool parseHexBytes(Parser* p, const std::string& s, size_t pos, std::string* out) {
    pos = skipBlanks(s, pos);
    if (pos >= s.size() || s[pos] == ';') return true;  // no bytes at all
    for (;;) {
        pos = skipBlanks(s, pos);
        uint32_t byte;
        if (!parseHexNumber(s, &pos, 2, &byte)) return fail(p, "bad hex byte");
        out->push_back((char)byte);
        pos = skipBlanks(s, pos);
        if (pos >= s.size() || s[pos] == ';') return true;
        if (s[pos] != ',') return fail(p, "bad hex byte");
        pos = skipBlanks(s, pos + 1);
        if (pos >= s.size() || s[pos] == ';') return true;  // a trailing comma
    }
}

// hex(1), hex(2) and hex(7) data of a version 5 file are UTF-16LE.
bool textTypeToUtf8(Parser* p, std::string* data) {
    if (data->size() % 2 != 0) return fail(p, "UTF-16 text data of odd length");
    std::u16string units;
    for (size_t i = 0; i < data->size(); i += 2)
        units.push_back(
            (char16_t)((unsigned char)(*data)[i] | ((unsigned char)(*data)[i + 1] << 8)));
    std::string converted;
    if (!ossRegUtf16ToUtf8(units.data(), units.size(), &converted))
        return fail(p, "UTF-16 text data with an unpaired surrogate");
    *data = converted;
    return true;
}

void setValue(OSSRegTreeNode* node, const std::string& name, uint32_t type, std::string* data) {
    for (OSSRegTreeValue& v : node->values) {
        if (ossRegCompareNames(v.name, name) == 0) {
            v.type = type;
            v.data.swap(*data);
            return;
        }
    }
    OSSRegTreeValue v;
    v.name = name;
    v.type = type;
    v.data.swap(*data);
    node->values.push_back(std::move(v));
}

void removeValue(OSSRegTreeNode* node, const std::string& name) {
    for (size_t i = 0; i < node->values.size(); ++i) {
        if (ossRegCompareNames(node->values[i].name, name) == 0) {
            node->values.erase(node->values.begin() + (long)i);
            return;
        }
    }
}

bool handleValueLine(Parser* p, const std::string& s) {
    size_t pos = 0;
    std::string name;
    if (s[0] == '@') {
        pos = 1;
    } else if (!parseQuoted(p, s, &pos, &name)) {
        return false;
    }
    if (name.size() > kMaxValueName) return fail(p, "value name too long");
    pos = skipBlanks(s, pos);
    if (pos >= s.size() || s[pos] != '=') return fail(p, "value line without =");
    pos = skipBlanks(s, pos + 1);

    bool remove = false;
    uint32_t type = OSS_REG_SZ;
    std::string data;
    if (pos < s.size() && s[pos] == '"') {
        if (!parseQuoted(p, s, &pos, &data)) return false;
        data.push_back('\0');
        if (!expectLineEnd(p, s, pos)) return false;
    } else if (pos < s.size() && s[pos] == '-') {
        remove = true;
        if (!expectLineEnd(p, s, pos + 1)) return false;
    } else if (s.compare(pos, 6, "dword:") == 0) {
        pos += 6;
        uint32_t v;
        if (!parseHexNumber(s, &pos, 8, &v)) return fail(p, "bad dword data");
        if (!expectLineEnd(p, s, pos)) return false;
        type = OSS_REG_DWORD;
        for (int i = 0; i < 4; ++i)
            data.push_back((char)((v >> (8 * i)) & 0xFF));
    } else if (s.compare(pos, 4, "hex:") == 0) {
        type = OSS_REG_BINARY;
        if (!parseHexBytes(p, s, pos + 4, &data)) return false;
    } else if (s.compare(pos, 4, "hex(") == 0) {
        pos += 4;
        if (!parseHexNumber(s, &pos, 8, &type) || s.compare(pos, 2, "):") != 0)
            return fail(p, "bad hex(type) prefix");
        if (!parseHexBytes(p, s, pos + 2, &data)) return false;
        bool text = type == OSS_REG_SZ || type == OSS_REG_EXPAND_SZ || type == OSS_REG_MULTI_SZ;
        if (text && p->version5 && !textTypeToUtf8(p, &data)) return false;
    } else {
        return fail(p, "unknown value data");
    }

    if (p->skippingDeleted) return true;
    if (!p->current) return fail(p, "value line before any key line");
    if (remove)
        removeValue(p->current, name);
    else
        setValue(p->current, name, type, &data);
    return true;
}

bool handleLogicalLine(Parser* p, const std::string& text) {
    size_t pos = skipBlanks(text, 0);
    if (pos >= text.size() || text[pos] == ';') return true;
    std::string line = text.substr(pos);
    if (line[0] == '[') return handleKeyLine(p, line);
    if (line[0] == '"' || line[0] == '@') return handleValueLine(p, line);
    return fail(p, "line is neither a key, a value nor a comment");
}

// The file's text as UTF-8 (UTF-16LE with its byte-order mark converted,
// a UTF-8 byte-order mark dropped; anything else is taken as it is).
bool decodeFile(const char* bytes, size_t size, std::string* text, OSSRegParseError* error) {
    const unsigned char* b = (const unsigned char*)bytes;
    error->line = 0;
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        if (size % 2 != 0) {
            std::snprintf(error->reason, sizeof error->reason, "UTF-16 file of odd length");
            return false;
        }
        std::u16string units;
        units.reserve((size - 2) / 2);
        for (size_t i = 2; i < size; i += 2)
            units.push_back((char16_t)(b[i] | (b[i + 1] << 8)));
        if (!ossRegUtf16ToUtf8(units.data(), units.size(), text)) {
            std::snprintf(error->reason, sizeof error->reason, "UTF-16 file with a bad surrogate");
            return false;
        }
    } else if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        std::snprintf(error->reason, sizeof error->reason, "big-endian UTF-16 is not supported");
        return false;
    } else if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        text->assign(bytes + 3, size - 3);
    } else {
        text->assign(bytes, size);
    }
    if (text->find('\0') != std::string::npos) {
        std::snprintf(error->reason, sizeof error->reason, "NUL character in the file");
        return false;
    }
    return true;
}

bool endsWithContinuation(const std::string& line) {
    size_t pos = skipBlanks(line, 0);
    if (pos < line.size() && (line[pos] == '[' || line[pos] == ';')) return false;
    return !line.empty() && line.back() == '\\';
}

}  // namespace

uint32_t ossRegExportParse(const char* bytes, size_t size, std::unique_ptr<OSSRegTreeNode>* root,
                           OSSRegParseError* error) {
    root->reset();
    std::string text;
    if (!decodeFile(bytes, size, &text, error)) return OSS_WINERR_BADDB;

    std::unique_ptr<OSSRegTreeNode> tree(new OSSRegTreeNode());
    Parser p = {tree.get(), false, nullptr, false, 0, error};
    bool headerSeen = false;
    std::string logical;  // a value line continued over several lines
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string physical = text.substr(start, end - start);
        start = end + 1;
        ++p.line;
        if (!physical.empty() && physical.back() == '\r') physical.pop_back();
        physical = trimRight(physical);

        if (!headerSeen) {
            if (physical.empty()) continue;
            if (physical == kHeaderVersion5) {
                p.version5 = true;
            } else if (physical != kHeaderRegedit4) {
                fail(&p, "not a registry export file (no header line)");
                return OSS_WINERR_BADDB;
            }
            headerSeen = true;
            continue;
        }
        if (logical.empty())
            logical = physical;
        else
            logical += physical.substr(skipBlanks(physical, 0));
        if (endsWithContinuation(logical)) {
            logical.pop_back();
            continue;
        }
        if (!handleLogicalLine(&p, logical)) return OSS_WINERR_BADDB;
        logical.clear();
    }
    if (!headerSeen) {
        fail(&p, "not a registry export file (no header line)");
        return OSS_WINERR_BADDB;
    }
    if (!logical.empty()) {
        fail(&p, "file ends inside a continued line");
        return OSS_WINERR_BADDB;
    }
    *root = std::move(tree);
    return 0;
}

uint32_t ossRegExportLoad(const char* path, std::unique_ptr<OSSRegTreeNode>* root) {
    root->reset();
    FILE* stream = ossStreamOpen(path, "rb");
    if (!stream) {
        ossLog(OSS_FID_REG_EXPORT_LOAD, 1, OSS_RC_FILE_NOT_FOUND, OSS_SEVERITY_ERROR,
               "registry export file cannot be opened: %s", path);
        return OSS_WINERR_FILE_NOT_FOUND;
    }
    std::string bytes;
    char chunk[65536];
    size_t got;
    bool tooLarge = false;
    while ((got = ossStreamRead(chunk, 1, sizeof chunk, stream)) > 0) {
        bytes.append(chunk, got);
        if (bytes.size() > OSS_REG_EXPORT_MAX_FILE) {
            tooLarge = true;
            break;
        }
    }
    bool readFailed = std::ferror(stream) != 0;
    ossStreamClose(stream);
    if (tooLarge || readFailed) {
        ossLog(OSS_FID_REG_EXPORT_LOAD, 2, OSS_RC_FAILED, OSS_SEVERITY_ERROR,
               "registry export file %s: %s", path, tooLarge ? "larger than 64 MiB" : "read error");
        return OSS_WINERR_BADDB;
    }
    OSSRegParseError error;
    uint32_t rc = ossRegExportParse(bytes.data(), bytes.size(), root, &error);
    if (rc) {
        ossLog(OSS_FID_REG_EXPORT_LOAD, 3, OSS_RC_FAILED, OSS_SEVERITY_ERROR,
               "malformed registry export file %s line %u: %s", path, error.line, error.reason);
    }
    return rc;
}

const OSSRegTreeNode* ossRegTreeFind(const OSSRegTreeNode* from, const std::string& path) {
    const OSSRegTreeNode* node = from;
    size_t start = 0;
    while (node && start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            bool found;
            size_t slot = childSlot(node, path.substr(start, end - start), &found);
            node = found ? node->children[slot].get() : nullptr;
        }
        start = end + 1;
    }
    return node;
}

const OSSRegTreeValue* ossRegTreeFindValue(const OSSRegTreeNode* node, const std::string& name) {
    for (const OSSRegTreeValue& v : node->values)
        if (ossRegCompareNames(v.name, name) == 0) return &v;
    return nullptr;
}
