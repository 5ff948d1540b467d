// Splitting a path into its directory part and its last component. Pure
// string work; the backend says which characters separate components and
// how long the root prefix is ("/", "C:\\", "\\\\server\\share\\").
#include <cstring>

#include "platform/oss.h"
#include "platform/oss_sys.h"

namespace {

// Copies length bytes of text and a terminator into out.
unsigned copyOut(const char* text, size_t length, char* out, size_t size) {
    if (length + 1 > size) {
        out[0] = '\0';
        return OSS_RC_BUFFER_TOO_SMALL;
    }
    std::memcpy(out, text, length);
    out[length] = '\0';
    return 0;
}

// Length of path without its trailing separators, never shorter than the
// root (so "/" stays "/" and "a/b//" becomes "a/b").
size_t trimmedLength(const char* path, size_t root) {
    size_t end = std::strlen(path);
    while (end > root && ossSysIsSeparator(path[end - 1]))
        --end;
    return end;
}

}  // namespace

unsigned ossBaseName(const char* path, char* out, size_t size) {
    if (!path || !out || size == 0) return OSS_RC_BAD_ARGUMENT;
    if (path[0] == '\0') return copyOut(".", 1, out, size);
    size_t root = ossSysRootLength(path);
    size_t end = trimmedLength(path, root);
    // Only the root is left: it is its own last component ("/", "C:\\").
    if (end <= root) return copyOut(path, root, out, size);
    size_t start = end;
    while (start > root && !ossSysIsSeparator(path[start - 1]))
        --start;
    return copyOut(path + start, end - start, out, size);
}

unsigned ossDirectoryName(const char* path, char* out, size_t size) {
    if (!path || !out || size == 0) return OSS_RC_BAD_ARGUMENT;
    size_t root = ossSysRootLength(path);
    size_t end = trimmedLength(path, root);
    if (end <= root) {
        // "" and bare names have the current directory; a root is its own.
        return root ? copyOut(path, root, out, size) : copyOut(".", 1, out, size);
    }
    size_t start = end;
    while (start > root && !ossSysIsSeparator(path[start - 1]))
        --start;
    if (start == 0) return copyOut(".", 1, out, size);
    // Drop the separators between the directory and the last component.
    size_t dirEnd = start;
    while (dirEnd > root && ossSysIsSeparator(path[dirEnd - 1]))
        --dirEnd;
    return copyOut(path, dirEnd, out, size);
}

unsigned ossSiblingPath(const char* path, const char* prefix, const char* suffix, char* out,
                        size_t size) {
    if (!path || !prefix || !suffix || !out || size == 0) return OSS_RC_BAD_ARGUMENT;
    out[0] = '\0';
    size_t root = ossSysRootLength(path);
    size_t end = trimmedLength(path, root);
    if (end <= root) return OSS_RC_BAD_ARGUMENT;
    size_t start = end;
    while (start > root && !ossSysIsSeparator(path[start - 1]))
        --start;
    size_t prefixLength = std::strlen(prefix);
    size_t suffixLength = std::strlen(suffix);
    size_t total = start + prefixLength + (end - start) + suffixLength;
    if (total + 1 > size) return OSS_RC_BUFFER_TOO_SMALL;
    char* at = out;
    std::memcpy(at, path, start);
    at += start;
    std::memcpy(at, prefix, prefixLength);
    at += prefixLength;
    std::memcpy(at, path + start, end - start);
    at += end - start;
    std::memcpy(at, suffix, suffixLength);
    at[suffixLength] = '\0';
    return 0;
}
