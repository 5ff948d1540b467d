// Helpers shared by the verbs that work on registry files.
#include "store.h"

#include "record_text.h"

#include <cstdlib>
#include <filesystem>
#include <list>
#include <system_error>

bool fileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

std::string nonRegularKindOf(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::file_type type = fs::status(fs::path(path), error).type();
    // A chain of links that never ends holds no file, and no edit can
    // create one there: it is not an absent file.
    if (type == fs::file_type::none && error == std::errc::too_many_symbolic_link_levels)
        return "a loop of symbolic links";
    switch (type) {
        case fs::file_type::not_found:
        case fs::file_type::none:
        case fs::file_type::regular:
            return "";
        case fs::file_type::directory:
            return "a directory";
        case fs::file_type::fifo:
            return "a named pipe";
        case fs::file_type::socket:
            return "a socket";
        case fs::file_type::character:
        case fs::file_type::block:
            return "a device";
        default:
            return "something else";
    }
}

bool setEnvironment(const char* name, const std::string& value) {
    // putenv keeps the pointer it is given, so the texts must outlive every
    // later getenv of the process.
    static std::list<std::string> kept;
    kept.push_back(std::string(name) + "=" + value);
    return putenv(&kept.back()[0]) == 0;
}

bool isPlainText(const std::string& text) {
    for (unsigned char c : text)
        if ((c < 0x20 && c != '\t') || c == 0x7f) return false;
    return true;
}

bool isWord(const std::string& text) {
    if (text.empty()) return false;
    for (unsigned char c : text)
        if (c <= 0x20 || c == '#' || c == 0x7f) return false;
    return true;
}

std::string trimmed(const char* text) {
    if (!text) return "";
    std::string result = text;
    size_t begin = result.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    size_t end = result.find_last_not_of(" \t");
    return result.substr(begin, end - begin + 1);
}
