#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "options.h"
#include "remove.h"

namespace {

// The message of a failed call as a regular expression for EXPECT_EXIT,
// with the C library's own text for the error.
std::string failure(const char *call, const std::string &path, int error)
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

TEST(RemoveDeathTest, OperandsThatAreNeverRemovedAreRefused)
{
    const struct {
        const char *operand;
        int error;
    } cases[] = {
        {".", EINVAL},           {"./", EINVAL}, {"..", EINVAL}, {"/tmp/..", EINVAL},
        {"/tmp/../../", EINVAL}, {"/", EBUSY},   {"//", EBUSY},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.operand);
        const std::string message = failure("remove", c.operand, c.error);
        EXPECT_EXIT(remove_tree(c.operand), testing::ExitedWithCode(exit_system), message);
        EXPECT_EXIT(check_removable(c.operand), testing::ExitedWithCode(exit_system), message);
    }
}

TEST(RemoveDeathTest, AWayThatCannotBeResolvedStopsTheRun)
{
    char name[] = "/tmp/agetrim-remove-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string dir = name;
    // A link to itself never ends; a file cannot hold anything.
    ASSERT_EQ(symlink("loop", (dir + "/loop").c_str()), 0);
    FILE *f = std::fopen((dir + "/file").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    const struct {
        std::string operand;
        int error;
    } cases[] = {
        {"/nonexistent-dir/x", ENOENT},
        {dir + "/loop/x", ELOOP},
        {dir + "/file/x", ENOTDIR},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.operand);
        EXPECT_EXIT(remove_tree(c.operand.c_str()), testing::ExitedWithCode(exit_system),
                    failure("nftw", c.operand, c.error));
    }
    check_removable(dir.c_str()); // an ordinary directory passes
    std::filesystem::remove_all(dir);
}

} // namespace
