// Putting one wanted record over every record of a key, for the set verbs.
#ifndef GENREG_CLI_SET_COMPARE_H
#define GENREG_CLI_SET_COMPARE_H

#include <genreg/handle.h>

// A set writes one wanted record over every record of a key. The stores
// judge a record "already equal" by the schema's own equality, which for
// the text schemas leaves the comment (and a services entry's aliases)
// out; and a Change that finds one matching record already equal writes
// none of the others. For the length of one Change, SetComparison puts on
// the handle a CompareRecord that
//   - with GENREG_SELECT_ALL calls two records equal only when the
//     schema's equality holds and sameRest (the fields it leaves out; null
//     when it leaves none out) holds too;
//   - with any other selector matches what the schema matches, except the
//     records that already equal the wanted record,
// so that the Change rewrites exactly the records that differ from the
// wanted one, fails with GENREG_RC_NO_MATCH when none does, and never
// ends in GENREG_RC_UNCHANGED. The verification of the copy sees the same
// comparison. The command runs one thread; the wanted record is kept in a
// static while the object lives, and only one object lives at a time.
class SetComparison {
public:
    typedef bool (*SameRestFn)(const void* stored, const void* wanted);
    SetComparison(GenRegBase* handle, const void* wanted, SameRestFn sameRest);
    ~SetComparison();
    SetComparison(const SetComparison&) = delete;
    SetComparison& operator=(const SetComparison&) = delete;

private:
    GenRegBase* handle_;
};

#endif
