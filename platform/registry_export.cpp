// Reading registry export files into a tree (see registry_export.h).
#include "platform/registry_export.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/oss.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"
#include "platform/registry_text.h"

namespace {

const char kHeaderVersion5[] = "Windows Registry Editor Version 5.00";
const char kHeaderRegedit4[] = "REGEDIT4";

// A piece of the file's text; never terminated.
struct Span {
    const char* p;
    size_t n;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

Span trimRight(Span s) {
    while (s.n > 0 && isBlank(s.p[s.n - 1]))
        --s.n;
    return s;
}

size_t skipBlanks(Span s, size_t pos) {
    while (pos < s.n && isBlank(s.p[pos]))
        ++pos;
    return pos;
}

bool startsWith(Span s, size_t pos, const char* prefix) {
    size_t n = std::strlen(prefix);
    return s.n - pos >= n && std::memcmp(s.p + pos, prefix, n) == 0;
}

bool equals(Span s, const char* text) {
    return s.n == std::strlen(text) && std::memcmp(s.p, text, s.n) == 0;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads 1 to maxDigits hex digits at *pos; false when there are none or
// too many.
bool parseHexNumber(Span s, size_t* pos, size_t maxDigits, uint32_t* value) {
    size_t start = *pos;
    uint32_t v = 0;
    while (*pos < s.n && hexDigit(s.p[*pos]) >= 0) {
        if (*pos - start == maxDigits) return false;
        v = (v << 4) | (uint32_t)hexDigit(s.p[*pos]);
        ++*pos;
    }
    *value = v;
    return *pos > start;
}

char* copyName(const char* p, size_t n) {
    char* name = (char*)std::malloc(n + 1);
    if (!name) return nullptr;
    std::memcpy(name, p, n);
    name[n] = '\0';
    return name;
}

void freeNode(OSSRegTreeNode* node) {
    if (!node) return;
    for (size_t i = 0; i < node->childCount; ++i)
        freeNode(node->children[i]);
    for (size_t i = 0; i < node->valueCount; ++i) {
        std::free(node->values[i].name);
        std::free(node->values[i].data);
    }
    std::free(node->children);
    std::free(node->values);
    std::free(node->valueSlots);
    std::free(node->childSlots);
    std::free(node->name);
    std::free(node);
}

OSSRegTreeNode* newNode(const char* name, size_t n) {
    OSSRegTreeNode* node = (OSSRegTreeNode*)std::calloc(1, sizeof(OSSRegTreeNode));
    if (!node) return nullptr;
    node->name = copyName(name, n);
    if (!node->name) {
        std::free(node);
        return nullptr;
    }
    return node;
}

// Grows an array of count elements of size bytes to hold one more.
bool reserveOneMore(void** array, size_t count, size_t* capacity, size_t size) {
    if (count < *capacity) return true;
    size_t grown = *capacity ? *capacity * 2 : 4;
    void* larger = std::realloc(*array, grown * size);
    if (!larger) return false;
    *array = larger;
    *capacity = grown;
    return true;
}

// Position at which name belongs among node's sorted children, and whether
// a child of that name is there.
size_t childSlot(const OSSRegTreeNode* node, const char* name, size_t n, bool* found) {
    size_t lo = 0, hi = node->childCount;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        const char* child = node->children[mid]->name;
        int c = ossRegCompareNames(child, std::strlen(child), name, n);
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

struct Parser {
    OSSRegTreeNode* root;
    bool version5;            // hex(1), hex(2), hex(7) data are UTF-16LE
    OSSRegTreeNode* current;  // key of the value lines that follow
    bool skippingDeleted;     // value lines after [-KEY] are ignored
    unsigned line;            // physical line being read (1-based)
    uint32_t rc;              // OSS_WINERR_BADDB or OSS_WINERR_OUTOFMEMORY once failed
    OSSRegParseError* error;
};

bool fail(Parser* p, const char* reason, uint32_t rc = OSS_WINERR_BADDB) {
    p->rc = rc;
    p->error->line = p->line;
    std::snprintf(p->error->reason, sizeof p->error->reason, "%s", reason);
    return false;
}

bool outOfMemory(Parser* p) {
    return fail(p, "out of memory", OSS_WINERR_OUTOFMEMORY);
}

// Checks every component of a [KEY] line's path.
bool checkKeyPath(Parser* p, Span path) {
    size_t depth = 0, start = 0;
    for (;;) {
        size_t end = start;
        while (end < path.n && path.p[end] != '\\')
            ++end;
        if (end == start) return fail(p, "empty key name in key path");
        if (end - start > OSS_REG_EXPORT_MAX_NAME) return fail(p, "key name longer than 255");
        if (++depth > OSS_REG_EXPORT_MAX_DEPTH) return fail(p, "key path too deep");
        if (end == path.n) return true;
        start = end + 1;
    }
}

// A hash index of a node's values or children by name (see
// OSSRegTreeNode): slots hold an entry's index + 1, 0 when free; there are
// more than twice as many slots as entries, a power of two.
struct NameIndex {
    size_t** slots;
    size_t* slotCount;
    size_t count;
    const char* (*nameAt)(const OSSRegTreeNode* node, size_t index);
    const OSSRegTreeNode* node;
};

const char* valueNameAt(const OSSRegTreeNode* node, size_t index) {
    return node->values[index].name;
}

const char* childNameAt(const OSSRegTreeNode* node, size_t index) {
    return node->children[index]->name;
}

NameIndex valueIndex(OSSRegTreeNode* node) {
    return {&node->valueSlots, &node->valueSlotCount, node->valueCount, valueNameAt, node};
}

NameIndex childIndex(OSSRegTreeNode* node) {
    return {&node->childSlots, &node->childSlotCount, node->childCount, childNameAt, node};
}

// FNV-1a of the name with ASCII letters in upper case, so that names
// ossRegCompareNames finds equal hash alike.
size_t nameHash(const char* name, size_t n) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = (unsigned char)name[i];
        if (c >= 'a' && c <= 'z') c = (unsigned char)(c - 'a' + 'A');
        hash = (hash ^ c) * 1099511628211ull;
    }
    return (size_t)hash;
}

// The slot that holds name, or the free slot where it belongs; null for an
// index without slots.
size_t* indexSlot(const NameIndex& index, const char* name, size_t n) {
    if (*index.slotCount == 0) return nullptr;
    size_t mask = *index.slotCount - 1;
    for (size_t at = nameHash(name, n) & mask;; at = (at + 1) & mask) {
        size_t* slot = &(*index.slots)[at];
        if (*slot == 0) return slot;
        const char* stored = index.nameAt(index.node, *slot - 1);
        if (ossRegCompareNames(stored, std::strlen(stored), name, n) == 0) return slot;
    }
}

// The index of the entry named name, or -1.
ptrdiff_t indexFind(const NameIndex& index, const char* name, size_t n) {
    size_t* slot = indexSlot(index, name, n);
    return slot && *slot ? (ptrdiff_t)(*slot - 1) : -1;
}

// Fills the index again from the entries, in its present slots.
void indexRefill(const NameIndex& index) {
    if (*index.slotCount == 0) return;
    std::memset(*index.slots, 0, *index.slotCount * sizeof(size_t));
    for (size_t i = 0; i < index.count; ++i) {
        const char* stored = index.nameAt(index.node, i);
        *indexSlot(index, stored, std::strlen(stored)) = i + 1;
    }
}

// Makes room in the index for one entry more; false when out of memory,
// the index as it was.
bool indexReserveOneMore(const NameIndex& index) {
    size_t slotCount = *index.slotCount ? *index.slotCount : 8;
    while (slotCount <= 2 * (index.count + 1))
        slotCount *= 2;
    if (slotCount == *index.slotCount) return true;
    size_t* slots = (size_t*)std::calloc(slotCount, sizeof(size_t));
    if (!slots) return false;
    std::free(*index.slots);
    *index.slots = slots;
    *index.slotCount = slotCount;
    indexRefill(index);
    return true;
}

// Sorts every key's subkeys as the registry enumerates them, once the file
// is read (the parse keeps them in file order, found through the index),
// and drops the subkey indexes.
void sortChildren(OSSRegTreeNode* node) {
    if (node->childCount == 0) return;  // children may be null: qsort must not see it
    std::qsort(node->children, node->childCount, sizeof(OSSRegTreeNode*),
               [](const void* a, const void* b) {
                   const char* x = (*(OSSRegTreeNode* const*)a)->name;
                   const char* y = (*(OSSRegTreeNode* const*)b)->name;
                   return ossRegCompareNames(x, std::strlen(x), y, std::strlen(y));
               });
    std::free(node->childSlots);
    node->childSlots = nullptr;
    node->childSlotCount = 0;
    for (size_t i = 0; i < node->childCount; ++i)
        sortChildren(node->children[i]);
}

// Walks a checked key path, creating missing keys, or for a deletion
// removing the last one (and everything below it) if it exists.
bool handleKeyPath(Parser* p, Span path, bool deletion) {
    if (!checkKeyPath(p, path)) return false;
    OSSRegTreeNode* node = p->root;
    size_t start = 0;
    while (node) {
        size_t end = start;
        while (end < path.n && path.p[end] != '\\')
            ++end;
        bool last = end == path.n;
        NameIndex children = childIndex(node);
        ptrdiff_t at = indexFind(children, path.p + start, end - start);
        bool found = at >= 0;
        if (deletion && (last || !found)) {
            if (last && found) {
                freeNode(node->children[at]);
                std::memmove(node->children + at, node->children + at + 1,
                             (node->childCount - (size_t)at - 1) * sizeof(OSSRegTreeNode*));
                node->childCount -= 1;
                indexRefill(childIndex(node));
            }
            node = nullptr;
            break;
        }
        if (!found) {
            OSSRegTreeNode* child = newNode(path.p + start, end - start);
            if (!child ||
                !reserveOneMore((void**)&node->children, node->childCount, &node->childCapacity,
                                sizeof(OSSRegTreeNode*)) ||
                !indexReserveOneMore(children)) {
                freeNode(child);
                return outOfMemory(p);
            }
            at = (ptrdiff_t)node->childCount;
            node->children[at] = child;
            node->childCount += 1;
            *indexSlot(childIndex(node), child->name, std::strlen(child->name)) = node->childCount;
        }
        node = node->children[at];
        if (last) break;
        start = end + 1;
    }
    p->current = node;
    p->skippingDeleted = deletion;
    return true;
}

bool handleKeyLine(Parser* p, Span line) {
    line = trimRight(line);
    if (line.n < 2 || line.p[line.n - 1] != ']') return fail(p, "key line without closing ]");
    Span path = {line.p + 1, line.n - 2};
    bool deletion = path.n > 0 && path.p[0] == '-';
    if (deletion) path = {path.p + 1, path.n - 1};
    return handleKeyPath(p, path, deletion);
}

// A quoted text at *pos (which holds the opening quote), with the escapes
// \\ and \"; *pos ends after the closing quote.
bool parseQuoted(Parser* p, Span s, size_t* pos, OSSRegBuffer* out) {
    size_t i = *pos + 1;
    while (i < s.n) {
        char c = s.p[i];
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.n) break;
            c = s.p[i + 1];
            if (c != '\\' && c != '"') return fail(p, "unknown escape in quoted text");
            ++i;
        }
        if (!ossRegBufferPush(out, c)) return outOfMemory(p);
        ++i;
    }
    return fail(p, "unterminated quoted text");
}

// Only blanks or a comment may follow a value's data.
bool expectLineEnd(Parser* p, Span s, size_t pos) {
    pos = skipBlanks(s, pos);
    if (pos < s.n && s.p[pos] != ';') return fail(p, "unexpected text after value data");
    return true;
}

bool parseHexBytes(Parser* p, Span s, size_t pos, OSSRegBuffer* out) {
    pos = skipBlanks(s, pos);
    if (pos >= s.n || s.p[pos] == ';') return true;  // no bytes at all
    for (;;) {
        uint32_t byte;
        if (!parseHexNumber(s, &pos, 2, &byte)) return fail(p, "bad hex byte");
        if (!ossRegBufferPush(out, (char)byte)) return outOfMemory(p);
        pos = skipBlanks(s, pos);
        if (pos >= s.n || s.p[pos] == ';') return true;
        if (s.p[pos] != ',') return fail(p, "bad hex byte");
        pos = skipBlanks(s, pos + 1);
        if (pos >= s.n || s.p[pos] == ';') return true;  // a trailing comma
    }
}

// hex(1), hex(2) and hex(7) data of a version 5 file are UTF-16LE.
bool textTypeToUtf8(Parser* p, OSSRegBuffer* data) {
    if (data->size % 2 != 0) return fail(p, "UTF-16 text data of odd length");
    size_t units = data->size / 2;
    char16_t* wide = (char16_t*)std::malloc((units ? units : 1) * sizeof(char16_t));
    if (!wide) return outOfMemory(p);
    for (size_t i = 0; i < units; ++i)
        wide[i] = (char16_t)((unsigned char)data->data[2 * i] |
                             ((unsigned char)data->data[2 * i + 1] << 8));
    OSSRegBuffer converted = {nullptr, 0, 0};
    uint32_t rc = ossRegUtf16ToUtf8(wide, units, &converted);
    std::free(wide);
    if (rc) {
        ossRegBufferFree(&converted);
        return rc == OSS_WINERR_OUTOFMEMORY
                   ? outOfMemory(p)
                   : fail(p, "UTF-16 text data with an unpaired surrogate");
    }
    ossRegBufferFree(data);
    *data = converted;
    return true;
}

OSSRegTreeValue* findValue(OSSRegTreeNode* node, const char* name, size_t n) {
    ptrdiff_t at = indexFind(valueIndex(node), name, n);
    return at >= 0 ? &node->values[at] : nullptr;
}

// Stores (or replaces) a value; takes the data buffer's bytes.
bool setValue(Parser* p, const OSSRegBuffer* name, uint32_t type, OSSRegBuffer* data) {
    OSSRegTreeNode* node = p->current;
    OSSRegTreeValue* value = findValue(node, name->data ? name->data : "", name->size);
    if (!value) {
        char* copied = copyName(name->data ? name->data : "", name->size);
        if (!copied ||
            !reserveOneMore((void**)&node->values, node->valueCount, &node->valueCapacity,
                            sizeof(OSSRegTreeValue)) ||
            !indexReserveOneMore(valueIndex(node))) {
            std::free(copied);
            return outOfMemory(p);
        }
        value = &node->values[node->valueCount];
        value->name = copied;
        node->valueCount += 1;
        *indexSlot(valueIndex(node), copied, std::strlen(copied)) = node->valueCount;
    } else {
        std::free(value->data);
    }
    value->type = type;
    value->data = data->data;
    value->size = data->size;
    *data = OSSRegBuffer{nullptr, 0, 0};
    return true;
}

void removeValue(OSSRegTreeNode* node, const OSSRegBuffer* name) {
    OSSRegTreeValue* value = findValue(node, name->data ? name->data : "", name->size);
    if (!value) return;
    std::free(value->name);
    std::free(value->data);
    size_t index = (size_t)(value - node->values);
    std::memmove(node->values + index, node->values + index + 1,
                 (node->valueCount - index - 1) * sizeof(OSSRegTreeValue));
    node->valueCount -= 1;
    // The values behind it moved down one place: index them again, in the
    // slots the index has (it only ever shrinks here).
    indexRefill(valueIndex(node));
}

// The data part of a value line, from pos (after the "=").
bool parseData(Parser* p, Span s, size_t pos, bool* remove, uint32_t* type, OSSRegBuffer* data) {
    *remove = false;
    *type = OSS_REG_SZ;
    if (pos < s.n && s.p[pos] == '"') {
        return parseQuoted(p, s, &pos, data) && expectLineEnd(p, s, pos) &&
               (ossRegBufferPush(data, '\0') || outOfMemory(p));
    }
    if (pos < s.n && s.p[pos] == '-') {
        *remove = true;
        return expectLineEnd(p, s, pos + 1);
    }
    if (startsWith(s, pos, "dword:")) {
        pos += 6;
        uint32_t v;
        if (!parseHexNumber(s, &pos, 8, &v)) return fail(p, "bad dword data");
        *type = OSS_REG_DWORD;
        char bytes[4] = {(char)(v & 0xFF), (char)((v >> 8) & 0xFF), (char)((v >> 16) & 0xFF),
                         (char)(v >> 24)};
        return expectLineEnd(p, s, pos) && (ossRegBufferAppend(data, bytes, 4) || outOfMemory(p));
    }
    if (startsWith(s, pos, "hex:")) {
        *type = OSS_REG_BINARY;
        return parseHexBytes(p, s, pos + 4, data);
    }
    if (startsWith(s, pos, "hex(")) {
        pos += 4;
        if (!parseHexNumber(s, &pos, 8, type) || !startsWith(s, pos, "):"))
            return fail(p, "bad hex(type) prefix");
        if (!parseHexBytes(p, s, pos + 2, data)) return false;
        bool text = *type == OSS_REG_SZ || *type == OSS_REG_EXPAND_SZ || *type == OSS_REG_MULTI_SZ;
        return !(text && p->version5) || textTypeToUtf8(p, data);
    }
    return fail(p, "unknown value data");
}

bool handleValueLine(Parser* p, Span s) {
    OSSRegBuffer name = {nullptr, 0, 0};
    OSSRegBuffer data = {nullptr, 0, 0};
    size_t pos = 0;
    bool remove = false;
    uint32_t type = 0;
    bool ok = s.p[0] == '@' ? (pos = 1, true) : parseQuoted(p, s, &pos, &name);
    if (ok && name.size > OSS_REG_EXPORT_MAX_VALUE_NAME) ok = fail(p, "value name too long");
    if (ok && std::memchr(name.data ? name.data : "", '\0', name.size))
        ok = fail(p, "NUL in a value name");
    if (ok) {
        pos = skipBlanks(s, pos);
        if (pos >= s.n || s.p[pos] != '=') ok = fail(p, "value line without =");
    }
    if (ok) ok = parseData(p, s, skipBlanks(s, pos + 1), &remove, &type, &data);
    if (ok && !p->skippingDeleted) {
        if (!p->current)
            ok = fail(p, "value line before any key line");
        else if (remove)
            removeValue(p->current, &name);
        else
            ok = setValue(p, &name, type, &data);
    }
    ossRegBufferFree(&name);
    ossRegBufferFree(&data);
    return ok;
}

bool handleLogicalLine(Parser* p, Span text) {
    size_t pos = skipBlanks(text, 0);
    if (pos >= text.n || text.p[pos] == ';') return true;
    Span line = {text.p + pos, text.n - pos};
    if (line.p[0] == '[') return handleKeyLine(p, line);
    if (line.p[0] == '"' || line.p[0] == '@') return handleValueLine(p, line);
    return fail(p, "line is neither a key, a value nor a comment");
}

// The file's text as UTF-8 (UTF-16LE with its byte-order mark converted,
// a UTF-8 byte-order mark dropped; anything else is taken as it is).
bool decodeFile(Parser* p, const char* bytes, size_t size, OSSRegBuffer* text) {
    const unsigned char* b = (const unsigned char*)bytes;
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        if (size % 2 != 0) return fail(p, "UTF-16 file of odd length");
        size_t units = (size - 2) / 2;
        char16_t* wide = (char16_t*)std::malloc((units ? units : 1) * sizeof(char16_t));
        if (!wide) return outOfMemory(p);
        for (size_t i = 0; i < units; ++i)
            wide[i] = (char16_t)(b[2 + 2 * i] | (b[3 + 2 * i] << 8));
        uint32_t rc = ossRegUtf16ToUtf8(wide, units, text);
        std::free(wide);
        if (rc == OSS_WINERR_OUTOFMEMORY) return outOfMemory(p);
        if (rc) return fail(p, "UTF-16 file with an unpaired surrogate");
    } else if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        return fail(p, "big-endian UTF-16 is not supported");
    } else {
        size_t skip = (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) ? 3 : 0;
        if (!ossRegBufferAppend(text, bytes + skip, size - skip)) return outOfMemory(p);
    }
    if (text->size && std::memchr(text->data, '\0', text->size))
        return fail(p, "NUL character in the file");
    return true;
}

// Hex data may go on over lines that end in a backslash; key and comment
// lines never do.
bool endsWithContinuation(Span line) {
    size_t pos = skipBlanks(line, 0);
    if (pos < line.n && (line.p[pos] == '[' || line.p[pos] == ';')) return false;
    return line.n > 0 && line.p[line.n - 1] == '\\';
}

bool parseLines(Parser* p, Span text) {
    bool headerSeen = false;
    OSSRegBuffer logical = {nullptr, 0, 0};  // a value line continued over lines
    bool continuing = false;
    bool ok = true;
    size_t start = 0;
    while (ok && start < text.n) {
        size_t end = start;
        while (end < text.n && text.p[end] != '\n')
            ++end;
        Span physical = {text.p + start, end - start};
        start = end + 1;
        p->line += 1;
        if (physical.n > 0 && physical.p[physical.n - 1] == '\r') physical.n -= 1;
        physical = trimRight(physical);

        if (!headerSeen) {
            if (physical.n == 0) continue;
            p->version5 = equals(physical, kHeaderVersion5);
            if (!p->version5 && !equals(physical, kHeaderRegedit4))
                ok = fail(p, "not a registry export file (no header line)");
            headerSeen = true;
            continue;
        }
        size_t skip = continuing ? skipBlanks(physical, 0) : 0;
        if (!ossRegBufferAppend(&logical, physical.p + skip, physical.n - skip)) {
            ok = outOfMemory(p);
            break;
        }
        Span line = {logical.data, logical.size};
        continuing = endsWithContinuation(line);
        if (continuing) {
            logical.size -= 1;  // the backslash
            continue;
        }
        ok = handleLogicalLine(p, line);
        logical.size = 0;
    }
    ossRegBufferFree(&logical);
    if (ok && !headerSeen) ok = fail(p, "not a registry export file (no header line)");
    if (ok && continuing) ok = fail(p, "file ends inside a continued line");
    return ok;
}

}  // namespace

uint32_t ossRegExportParse(const char* bytes, size_t size, OSSRegTreeNode** root,
                           OSSRegParseError* error) {
    *root = nullptr;
    error->line = 0;
    error->reason[0] = '\0';
    Parser p = {nullptr, false, nullptr, false, 0, 0, error};
    p.root = newNode("", 0);
    if (!p.root) {
        outOfMemory(&p);
        return p.rc;
    }
    OSSRegBuffer text = {nullptr, 0, 0};
    bool ok = decodeFile(&p, bytes, size, &text) && parseLines(&p, Span{text.data, text.size});
    ossRegBufferFree(&text);
    if (!ok) {
        freeNode(p.root);
        return p.rc;
    }
    sortChildren(p.root);
    *root = p.root;
    return 0;
}

uint32_t ossRegExportLoad(const char* path, OSSRegTreeNode** root) {
    *root = nullptr;
    // A missing file is reported here once; the stream layer would log it too.
    FILE* stream = ossIsFile(path) ? ossStreamOpen(path, "rb") : nullptr;
    if (!stream) {
        ossLog(OSS_FID_REG_EXPORT_LOAD, 1, OSS_RC_FILE_NOT_FOUND, OSS_SEVERITY_ERROR,
               "registry export file cannot be opened: %s", path);
        return OSS_WINERR_FILE_NOT_FOUND;
    }
    OSSRegBuffer bytes = {nullptr, 0, 0};
    char chunk[16384];
    size_t got;
    const char* problem = nullptr;
    while (!problem && (got = ossStreamRead(chunk, 1, sizeof chunk, stream)) > 0) {
        if (bytes.size + got > OSS_REG_EXPORT_MAX_FILE)
            problem = "larger than 64 MiB";
        else if (!ossRegBufferAppend(&bytes, chunk, got))
            problem = "out of memory";
    }
    if (!problem && std::ferror(stream)) problem = "read error";
    ossStreamClose(stream);
    uint32_t rc = OSS_WINERR_BADDB;
    if (problem) {
        ossLog(OSS_FID_REG_EXPORT_LOAD, 2, OSS_RC_FAILED, OSS_SEVERITY_ERROR,
               "registry export file %s: %s", path, problem);
    } else {
        OSSRegParseError error;
        rc = ossRegExportParse(bytes.data ? bytes.data : "", bytes.size, root, &error);
        if (rc)
            ossLog(OSS_FID_REG_EXPORT_LOAD, 3, OSS_RC_FAILED, OSS_SEVERITY_ERROR,
                   "malformed registry export file %s line %u: %s", path, error.line, error.reason);
    }
    ossRegBufferFree(&bytes);
    return rc;
}

void ossRegTreeFree(OSSRegTreeNode* root) {
    freeNode(root);
}

const OSSRegTreeNode* ossRegTreeFind(const OSSRegTreeNode* from, const char* path) {
    const OSSRegTreeNode* node = from;
    const char* p = path ? path : "";
    while (node && *p) {
        const char* end = std::strchr(p, '\\');
        size_t n = end ? (size_t)(end - p) : std::strlen(p);
        if (n > 0) {
            bool found;
            size_t slot = childSlot(node, p, n, &found);
            node = found ? node->children[slot] : nullptr;
        }
        p += n;
        if (*p == '\\') ++p;
    }
    return node;
}

const OSSRegTreeValue* ossRegTreeFindValue(const OSSRegTreeNode* node, const char* name) {
    return findValue(const_cast<OSSRegTreeNode*>(node), name ? name : "",
                     name ? std::strlen(name) : 0);
}
