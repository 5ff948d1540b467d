// Keeping a rewritten line's comment where the old line had it (see
// comment_layout.h).
#include "comment_layout.h"

#include <cstring>
#include <string>

#include "record_text.h"

namespace {

struct Installed {
    GenRegTextPackFn schema = nullptr;
    bool replacedToo = false;
};
Installed installed;

// The length of text without its line end ("\n" or "\r\n").
size_t withoutLineEnd(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r'))
        --end;
    return end;
}

unsigned packKeepingLayout(void* record, char* line) {
    const std::string before = line;  // the line being replaced, or ""
    unsigned rc = installed.schema(record, line);
    if (rc != 0) return rc;
    const std::string made = line;
    size_t oldHash = before.find('#');
    size_t newHash = made.find('#');
    if (oldHash == std::string::npos || newHash == std::string::npos) return rc;

    std::string oldComment = before.substr(oldHash, withoutLineEnd(before) - oldHash);
    size_t madeEnd = withoutLineEnd(made);
    std::string newComment = made.substr(newHash, madeEnd - newHash);
    bool kept = trimmed(oldComment.c_str() + 1) == trimmed(newComment.c_str() + 1);
    if (!kept && !installed.replacedToo) return rc;

    size_t oldBlanks = before.find_last_not_of(" \t", oldHash == 0 ? 0 : oldHash - 1);
    oldBlanks = oldHash == 0 || oldBlanks == std::string::npos ? oldHash : oldBlanks + 1;
    std::string head = made.substr(0, newHash);
    size_t headEnd = head.find_last_not_of(" \t");
    head.resize(headEnd == std::string::npos ? 0 : headEnd + 1);
    if (!head.empty()) head += before.substr(oldBlanks, oldHash - oldBlanks);
    std::string result = head + (kept ? oldComment : newComment) + made.substr(madeEnd);
    if (result.size() < GENREG_LINE_MAX) std::memcpy(line, result.c_str(), result.size() + 1);
    return rc;
}

}  // namespace

CommentLayout::CommentLayout(GenRegText* handle, bool replacedToo) : handle_(handle) {
    installed.schema = handle->PackRecord;
    installed.replacedToo = replacedToo;
    handle->PackRecord = packKeepingLayout;
}

CommentLayout::~CommentLayout() {
    handle_->PackRecord = installed.schema;
    installed = Installed();
}
