// The message of a failed file system call, for EXPECT_EXIT.
#ifndef AGETRIM_TESTS_FAILURE_H
#define AGETRIM_TESTS_FAILURE_H

#include <cstring>
#include <string>

// "agetrim: call(path): text" as a whole-output regular expression, with
// the C library's own text for the error, which differs between systems.
inline std::string failure(const char *call, const std::string &path, int error)
{
    std::string quoted;
    for (char c : path) {
        if (std::strchr(".()[]*+?^$\\|{}", c) != nullptr)
            quoted += '\\';
        quoted += c;
    }
    return std::string("^agetrim: ") + call + "\\(" + quoted + "\\): " + std::strerror(error) +
           "\n$";
}

#endif
