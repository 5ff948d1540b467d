// Helpers shared by the verbs that work on registry files.
#include "store.h"

#include "record_text.h"

#include <cstdlib>
#include <filesystem>
#include <list>

bool fileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(path), error);
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
