#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "failure.h"
#include "options.h"
#include "remove.h"

namespace {

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
        struct stat st {};
        EXPECT_EXIT(check_removable(c.operand, st), testing::ExitedWithCode(exit_system), message);
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
    struct stat st {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    check_removable(dir.c_str(), st); // an ordinary directory passes
    // The root directory under another name is refused, a link to it is not.
    ASSERT_EQ(stat("/", &st), 0);
    EXPECT_EXIT(check_removable(dir.c_str(), st), testing::ExitedWithCode(exit_system),
                failure("remove", dir, EBUSY));
    ASSERT_EQ(symlink("/", (dir + "/root").c_str()), 0);
    check_removable((dir + "/root").c_str(), st);
    std::filesystem::remove_all(dir);
}

} // namespace
