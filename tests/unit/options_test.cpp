#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "options.h"

namespace {

void reset_options()
{
    settings = Settings {};
#ifdef __GLIBC__
    optind = 0;
#else
    optreset = 1;
    optind = 1;
#endif
}

// Runs parse_options and validate_options over a command line given as words.
int parse(std::vector<std::string> words)
{
    std::vector<char *> argv;
    argv.reserve(words.size() + 1);
    for (auto &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const int first = parse_options(static_cast<int>(words.size()), argv.data());
    validate_options(static_cast<int>(words.size()) - first);
    return first;
}

class Options : public testing::Test {
protected:
    void SetUp() override { reset_options(); }
};
using OptionsDeathTest = Options;

TEST_F(Options, AcceptedArgumentsTakeTheirValues)
{
    EXPECT_EQ(parse_size("2K"), 2048);
    EXPECT_EQ(parse_size("1t"), int64_t {1} << 40);
    EXPECT_EQ(parse_size("10kb"), 10240);
    EXPECT_EQ(parse_size(" +7"), 7);
    EXPECT_EQ(parse_size("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(parse_size("8388607t"), int64_t {8388607} << 40);
    EXPECT_EQ(parse_age("2m"), 60);
    EXPECT_EQ(parse_age("1y"), 365);
    EXPECT_EQ(parse_age("2w"), 14);
    EXPECT_EQ(parse_age("3weeks"), 21);
    EXPECT_EQ(parse_age("5879489Y"), 2147483357); // the most years that fit
    EXPECT_EQ(parse_age("70553877m"), 2147483631);
    EXPECT_EQ(parse_age("106751991167300"), 106751991167300);
    EXPECT_EQ(parse_count("7"), 7);
    EXPECT_EQ(parse_count("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(parse_exponent("0.5"), 0.5);
    EXPECT_TRUE(std::isnan(parse_exponent("nan")));
    EXPECT_TRUE(std::isinf(parse_exponent("inf")));
    EXPECT_EQ(parse_std_dev("1"), 1.0);
    EXPECT_TRUE(std::isnan(parse_std_dev("nan")));
    EXPECT_STREQ(parse_time_spec("%Y"), "%Y");
}

TEST_F(Options, RejectedArgumentsGetTheirOptionsMessage)
{
    struct Case {
        const char *(*reader)(const char *, int64_t *);
        const char *text;
        const char *message;
    };
    const Case cases[] = {
        {read_size, "0", "Invalid size argument"},
        {read_size, "k", "Invalid size argument"},
        {read_size, "", "Invalid size argument"},
        {read_size, "-5", "Invalid size argument"},
        {read_size, " -5k", "Invalid size argument"},
        {read_size, "10x", "Invalid size multiplier"},
        {read_size, "8388608t", "Invalid size argument"},
        {read_size, "9223372036854775808", "Invalid size argument"},
        {read_size, "18446744073709551616", "Invalid size argument"},
        {read_age, "5d", "Invalid date multiplier"},
        {read_age, "0w", "Invalid days argument"},
        {read_age, "", "Invalid days argument"},
        {read_age, "-3", "Invalid days argument"},
        {read_age, "5879490y", "Invalid days argument"},
        {read_age, "70553878m", "Invalid days argument"},
        {read_age, "106751991167301", "Invalid days argument"},
        {read_age, "15250284452472w", "Invalid days argument"},
        {read_count, "3x", "Invalid count argument"},
        {read_count, "0", "Invalid count argument"},
        {read_count, "", "Invalid count argument"},
        {read_count, "-1", "Invalid count argument"},
        {read_count, "9223372036854775808", "Invalid count argument"},
    };
    for (const Case &c : cases) {
        int64_t value = 0;
        EXPECT_STREQ(c.reader(c.text, &value), c.message) << c.text;
    }
    struct RealCase {
        const char *(*reader)(const char *, double *);
        const char *text;
        const char *message;
    };
    const RealCase real_cases[] = {
        {read_exponent, "0", "Invalid exponent argument"},
        {read_exponent, "-1", "Invalid exponent argument"},
        {read_exponent, "2x", "Invalid exponent argument"},
        {read_exponent, "", "Invalid exponent argument"},
        {read_exponent, "-inf", "Invalid exponent argument"},
        {read_std_dev, "0.5", "Invalid standard deviation argument"},
        {read_std_dev, "10 ", "Invalid standard deviation argument"},
        {read_std_dev, "", "Invalid standard deviation argument"},
    };
    for (const RealCase &c : real_cases) {
        double value = 0;
        EXPECT_STREQ(c.reader(c.text, &value), c.message) << c.text;
    }
}

TEST_F(OptionsDeathTest, RejectedArgumentsEndTheRunWithStatusTwo)
{
    EXPECT_EXIT(parse_count("3x"), testing::ExitedWithCode(exit_argument),
                "^agetrim: Invalid count argument\n$");
    EXPECT_EXIT(parse_std_dev("0"), testing::ExitedWithCode(exit_argument),
                "^agetrim: Invalid standard deviation argument\n$");
    EXPECT_EXIT(parse_time_spec(""), testing::ExitedWithCode(exit_argument),
                "^agetrim: Invalid time specification\n$");
}

TEST_F(Options, ReadingStopsAtTheFirstOperand)
{
    EXPECT_EQ(parse({"agetrim", "-c", "5", "-c", "7", "-vv", "x", "-n", "-"}), 6);
    EXPECT_EQ(settings.keep_count, 7);
    EXPECT_EQ(settings.verbose, 2);
    EXPECT_FALSE(settings.opt_print_deleted);
    reset_options();
    EXPECT_EQ(parse({"agetrim", "-Y", "--", "-n"}), 3);
    EXPECT_TRUE(settings.opt_keep_youngest);
    EXPECT_FALSE(settings.opt_print_deleted);
}

TEST_F(OptionsDeathTest, BadCombinationsPrintTheirRuleAndTheUsage)
{
    const struct {
        std::vector<std::string> words;
        const char *message;
    } cases[] = {
        {{"agetrim", "-n", "-N", "x"}, "Cannot specify more than one output option"},
        {{"agetrim", "-p", "-n", "-c", "2"}, "Cannot specify more than one output option"},
        {{"agetrim", "-c", "5", "-s", "1g", "x"},
         "Cannot specify more than one schedule limit option"},
        {{"agetrim", "-a", "5", "-S", "1g", "x"},
         "Cannot specify more than one schedule limit option"},
        {{"agetrim", "-e", "2", "-f", "x"}, "Cannot specify more than one schedule type option"},
        {{"agetrim", "-p"}, "The schedule print option requires a count specification"},
        {{"agetrim", "-c", "3"}, "Required file or date arguments are missing"},
        {{"agetrim", "-d", "-n"}, "Required file or date arguments are missing"},
        {{"agetrim", "-d", "-n", "-t", "m", "2020-01-01"},
         "The -d option requires -N or -n and cannot be used with -t and -s"},
        {{"agetrim", "-d", "-c", "3", "2020-01-01"},
         "The -d option requires -N or -n and cannot be used with -t and -s"},
        {{"agetrim", "-d", "-N", "-s", "1k", "2020-01-01"},
         "The -d option requires -N or -n and cannot be used with -t and -s"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EXIT(parse(c.words), testing::ExitedWithCode(exit_usage),
                    std::string("^") + c.message + "\nusage: agetrim ");
    }
    EXPECT_EXIT(parse({"agetrim", "-x", "f"}), testing::ExitedWithCode(exit_usage),
                "usage: agetrim ");
    EXPECT_EXIT(parse({"agetrim", "-c"}), testing::ExitedWithCode(exit_usage), "usage: agetrim ");
}

} // namespace
