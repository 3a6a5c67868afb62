#include <gtest/gtest.h>

#include "options.h"
#include "remove.h"

namespace {

TEST(RemoveDeathTest, TheRootAndDotOperandsAreRefusedBeforeAnythingIsRemoved)
{
    const struct {
        const char *operand;
        const char *message;
    } cases[] = {
        {".", "^agetrim: remove\\(\\.\\): Invalid argument\n$"},
        {"./", "^agetrim: remove\\(\\./\\): Invalid argument\n$"},
        {"..", "^agetrim: remove\\(\\.\\.\\): Invalid argument\n$"},
        {"/tmp/..", "^agetrim: remove\\(/tmp/\\.\\.\\): Invalid argument\n$"},
        {"/", "^agetrim: remove\\(/\\): Device or resource busy\n$"},
        {"//", "^agetrim: remove\\(//\\): Device or resource busy\n$"},
        {"/tmp/../../", "^agetrim: remove\\(/tmp/\\.\\./\\.\\./\\): Invalid argument\n$"},
        {"/nonexistent-dir/x",
         "^agetrim: nftw\\(/nonexistent-dir/x\\): No such file or directory\n$"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.operand);
        EXPECT_EXIT(remove_tree(c.operand), testing::ExitedWithCode(exit_system), c.message);
    }
}

} // namespace
