// Recognising a registry file of the wrong kind before a verb reads or
// writes it: a text verb must not append lines to a binary file, and a
// binary verb must not take a text file (or another schema's records) for
// its own.
//
// The recognition reads the whole file once, without the library, and
// looks only at what each kind's store can have written:
//   text            no NUL byte anywhere
//   binary records  4-byte little-endian lengths that frame the file exactly
//   binvar          binary records of 36 bytes each
//   global          binary records whose type is 1, 2 or 4 and whose field
//                   entries, one per bit of the field mask, end exactly
//                   where the record's checksum begins
// An empty file is of every kind. Nothing is ever written.
#ifndef GENREG_CLI_FILE_KIND_H
#define GENREG_CLI_FILE_KIND_H

#include <cstdint>
#include <string>

enum FileKind {
    kKindText,
    kKindBinVar,
    kKindGlobal,
};
const int kKindCount = 3;

// What the file at path is, judged against the kind a verb wants.
struct KindVerdict {
    bool readable = true;  // false: the file could not be read (then matches)
    bool matches = true;   // empty, missing, unreadable, or of the wanted kind
    // When !matches, one of the two is set. damage: the file holds records
    // of the wanted kind up to a fault ("damaged binary variable/value
    // file: the record at byte 72 runs past the end of the file").
    // looksLike: what the file is instead ("a text file").
    std::string damage;
    std::string looksLike;
    // Set instead when the name holds no regular file at all ("a named
    // pipe"): then nothing was opened.
    std::string nonRegular;
};

// Judges the file at path. A missing or unreadable file matches: the
// library then reports what is wrong with it.
KindVerdict judgeFileKind(const std::string& path, FileKind wanted);

// Judges the file against every kind from one read: verdicts[kind].
void judgeEveryKind(const std::string& path, KindVerdict verdicts[kKindCount]);

// The name of a kind for messages: "a text file", "a binary
// variable/value file", "a global registry file".
const char* fileKindName(FileKind kind);

// "PATH is a damaged ...", or "PATH is not NOUN: it looks like ...".
std::string kindProblem(const std::string& path, const KindVerdict& verdict, const char* noun);

// Refuses a file that is not of the wanted kind: prints "genreg: " and
// kindProblem, and returns kExitFailed; kExitOk otherwise.
// noun names what the verb works on ("a profile", "a services file").
int refuseWrongKind(const std::string& path, FileKind wanted, const char* noun);

#endif
