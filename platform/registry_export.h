// Windows registry export files ("Windows Registry Editor Version 5.00" in
// UTF-16LE with a byte-order mark or in UTF-8, and "REGEDIT4") read into an
// in-memory tree: the stand-in registry of the POSIX backend.
//
// What is read: [KEY] lines (keys and their missing parents are created),
// [-KEY] lines (the key and everything below it are removed; value lines
// up to the next key line are ignored), value lines "name"=... and @=...
// with the data forms "text", dword:XXXXXXXX, hex:.., hex(N):.. and -
// (removes the value), the escapes \\ and \" in quoted names and texts,
// hex data continued over lines by a trailing backslash, blank lines and
// ;-comments. Anything else is malformed: the parse stops with the line
// number and a reason, and no tree.
//
// Texts are kept as UTF-8 (what the registry's ANSI functions return on
// POSIX): REG_SZ data from "text" with its terminator; hex(1), hex(2) and
// hex(7) data of a version 5 file are UTF-16LE and are converted, those of
// a REGEDIT4 file are kept as written. Subkeys are kept sorted as the
// registry enumerates them (ossRegCompareNames); names compare without
// case.
#ifndef GENREG_PLATFORM_REGISTRY_EXPORT_H
#define GENREG_PLATFORM_REGISTRY_EXPORT_H

#include <cstddef>
#include <cstdint>

struct OSSRegTreeValue {
    char* name;  // terminated; "" is the default value
    uint32_t type;
    char* data;  // the bytes an ANSI query returns (malloc)
    size_t size;
};

// Keys of a parsed file. Everything is owned by the node (malloc) and
// released with ossRegTreeFree of the root.
struct OSSRegTreeNode {
    char* name;
    OSSRegTreeNode** children;  // sorted as the registry enumerates them
    size_t childCount;
    size_t childCapacity;
    OSSRegTreeValue* values;  // in the order the file first set them
    size_t valueCount;
    size_t valueCapacity;
    // Hash index of values by name, letters compared without case: each
    // slot holds a value's index + 1, or 0 when free. Without it a key of
    // many values costs a scan of all of them per value line (a 20 MB file
    // took minutes to load).
    size_t* valueSlots;
    size_t valueSlotCount;  // 0, or a power of two above twice valueCount
};

// Bounds that keep a hostile file from exhausting memory or the stack.
enum : size_t {
    OSS_REG_EXPORT_MAX_FILE = 64u << 20,  // bytes of one export file
    OSS_REG_EXPORT_MAX_NAME = 255,        // bytes of one key name component
    OSS_REG_EXPORT_MAX_DEPTH = 512,       // components of one key path
    OSS_REG_EXPORT_MAX_VALUE_NAME = 16383,
};

struct OSSRegParseError {
    unsigned line;  // 1-based physical line where the fault was found; 0 for the file
    char reason[96];
};

// Parses size bytes of an export file. 0 and *root; otherwise
// OSS_WINERR_BADDB (or OSS_WINERR_OUTOFMEMORY) with *error filled and
// *root null. Never logs.
uint32_t ossRegExportParse(const char* bytes, size_t size, OSSRegTreeNode** root,
                           OSSRegParseError* error);

// Reads and parses the file at path (at most OSS_REG_EXPORT_MAX_FILE
// bytes). 0 and *root; 2 when the file cannot be opened; OSS_WINERR_BADDB
// for a malformed, unreadable or oversized file. Failures are logged.
uint32_t ossRegExportLoad(const char* path, OSSRegTreeNode** root);

// Frees a tree from ossRegExportParse or ossRegExportLoad; null is ignored.
void ossRegTreeFree(OSSRegTreeNode* root);

// The node at path below from (components separated by backslashes; empty
// components are skipped, so an empty path is from itself); null when a
// component is missing.
const OSSRegTreeNode* ossRegTreeFind(const OSSRegTreeNode* from, const char* path);

// The value named name (the default value for ""), or null.
const OSSRegTreeValue* ossRegTreeFindValue(const OSSRegTreeNode* node, const char* name);

#endif
