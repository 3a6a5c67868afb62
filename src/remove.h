// The removal walk: deletes a path and everything below it.
#ifndef AGETRIM_REMOVE_H
#define AGETRIM_REMOVE_H

#include <sys/stat.h>

// Removes path and, for a directory, everything below it, children first,
// never following a symbolic link and never leaving the file system of path;
// the first failure ends the run with its message.
void remove_tree(const char *path);
// Ends the run with the message remove_tree would give for a path that is
// never removed: the root directory, or one whose last component is "." or
// "..". Lets a run refuse such an operand before it removes anything;
// target is what stat says of path.
void check_removable(const char *path, const struct stat &target);

#endif
