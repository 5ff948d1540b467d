// The registry file's own name when it is a symbolic link: the command
// edits the file the link points to and leaves the link a link, so the
// handle is built on the target's path and its companions (lock, backup,
// temporary copy, corruption marker) sit beside the target.
#ifndef GENREG_CLI_FILE_LINK_H
#define GENREG_CLI_FILE_LINK_H

#include <string>

// path itself when it is not a symbolic link; otherwise the path that the
// chain of links ends in (a relative target read from the link's own
// directory), whether or not that file exists yet. A chain that loops or
// cannot be read gives path back, and the library then reports what is
// wrong with it.
std::string linkTargetPath(const std::string& path);

#endif
