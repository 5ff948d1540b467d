// Keeping a rewritten line's comment where the old line had it.
#ifndef GENREG_CLI_COMMENT_LAYOUT_H
#define GENREG_CLI_COMMENT_LAYOUT_H

#include <genreg/handle.h>

// The schemas format the comment of a rewritten line their own way: one
// blank (profiles) or tabs (services) before "# " and the comment. For the
// length of one Change, CommentLayout puts on the handle a PackRecord that
// formats as the schema does and then puts back the blanks and tabs that
// stood before the replaced line's '#', so that a hand-aligned file stays
// aligned:
//   - a comment the record keeps (the same text, blanks at its ends aside)
//     gets the old line's comment back byte for byte;
//   - with replacedToo, a new comment also gets the old blanks before it;
//   - a line that had no comment, or gets none, is left as the schema made
//     it; so is one that would grow past the line buffer.
// The line end the schema chose (LF, or CR LF kept from the old line) stays.
// The command runs one thread; the schema's slot is kept in a static while
// the object lives, and only one object lives at a time.
class CommentLayout {
public:
    CommentLayout(GenRegText* handle, bool replacedToo);
    ~CommentLayout();
    CommentLayout(const CommentLayout&) = delete;
    CommentLayout& operator=(const CommentLayout&) = delete;

private:
    GenRegText* handle_;
};

#endif
