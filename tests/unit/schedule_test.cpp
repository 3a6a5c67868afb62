#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "schedule.h"

namespace {

using Elements = std::vector<int32_t>;

bool strictly_ascending(const Elements &e)
{
    for (size_t i = 1; i < e.size(); i++)
        if (e[i] <= e[i - 1])
            return false;
    return true;
}

TEST(Schedule, GrowingSchedulesReachPastTheOldestAge)
{
    const struct {
        Elements got, want;
    } cases[] = {
        {uniform_schedule(3), {0, 1, 2, 3, 4}},
        {uniform_schedule(0), {0, 1}},
        {uniform_schedule(-1), {0}},
        {uniform_schedule(INT32_MIN), {0}},
        {fibonacci_schedule(10), {1, 1, 2, 3, 5, 8, 13}},
        {fibonacci_schedule(1), {1, 1, 2}},
        {fibonacci_schedule(0), {1, 1}},
        {exponential_schedule(2, 10), {1, 2, 4, 8, 16}},
        {exponential_schedule(2, 1), {1, 2}},
        {exponential_schedule(1.5, 5), {1, 2, 3, 4, 5, 7}},
        {exponential_schedule(3, 0), {1}},
        {exponential_schedule(0.5, 3), {1, 2, 3, 4}},
        {exponential_schedule(4294967296.0, 3), {1, 2, 3, 4}},
        {exponential_schedule(std::nan(""), 3), {1, 2, 3, 4}},
    };
    for (size_t i = 0; i < std::size(cases); i++)
        EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST(Schedule, GrowingSchedulesStopBeforeTheIntRangeEnds)
{
    const Elements f = fibonacci_schedule(INT32_MAX);
    EXPECT_EQ(f.back(), 1836311903); // the largest Fibonacci number that fits
    EXPECT_EQ(f.size(), 46U);
    // 46341 squared no longer fits, so the next element is one more.
    EXPECT_EQ(exponential_schedule(46341, 46341), (Elements {1, 46341, 46342}));
    EXPECT_EQ(uniform_schedule(1 << 20).back(), (1 << 20) + 1);
}

TEST(Schedule, GaussianIntervalsCloseByEveryRule)
{
    const struct {
        double sd;
        int32_t target;
        Elements want;
    } cases[] = {
        {10, 3, {1, 5, 10}},
        {30, 5, {1, 8, 16, 25, 37}},
        {10, 1, {1}},
        {1, 2, {1, 2}},
        // Closed by the width rule at 11 and 111, the last one at 223 wide.
        {1, 5, {1, 2, 3, 14, 125}},
        {180, 4, {1, 12, 64, 122}},
        {10, 0, {}},
        {10, -3, {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(gaussian_schedule(c.sd, c.target), c.want) << c.sd << " " << c.target;
    // Past 365000 days the intervals close at once, each as wide as the last.
    const Elements e = gaussian_schedule(1, 10);
    ASSERT_EQ(e.size(), 10U);
    EXPECT_LE(e[7] - 1, 365000);
    EXPECT_GT(e[8] - 1, 365000);
    EXPECT_EQ(e[9] - e[8], e[8] - e[7]);
}

TEST(Schedule, GaussianStopsBeforeTheIntRangeEnds)
{
    const Elements e = gaussian_schedule(1, INT32_MAX);
    EXPECT_TRUE(strictly_ascending(e));
    EXPECT_GT(e.size(), 1000U);
    // The next interval, [hi, hi + width), would have passed the int range.
    const int64_t width = e.back() - e[e.size() - 2];
    EXPECT_GT(e.back() - 1 + 2 * width, int64_t {INT32_MAX});
}

TEST(Schedule, GaussianTargetFollowsTheLimitOption)
{
    Settings s;
    s.opt_gaussian = true;
    s.opt_age = true;
    s.std_dev = 10;
    s.age_days = 30;
    EXPECT_EQ(gaussian_target(s, 3, 0), 12);
    s.std_dev = 180;
    s.age_days = 365;
    EXPECT_EQ(gaussian_target(s, 3, 0), 215);
    s.std_dev = 1e300; // so flat that no day has any mass
    EXPECT_EQ(gaussian_target(s, 3, 0), 365);

    s = Settings {};
    s.opt_count = true;
    s.keep_count = 10;
    EXPECT_EQ(gaussian_target(s, 25, 0), 25);
    EXPECT_EQ(gaussian_target(s, 4, 0), 10);
    s.keep_count = INT64_MAX;
    EXPECT_EQ(gaussian_target(s, 4, 0), INT32_MAX);
    EXPECT_EQ(gaussian_target(Settings {}, 0, 0), 0);

    s = Settings {};
    s.opt_size = true;
    s.keep_size = 10 * 1024;
    EXPECT_EQ(gaussian_target(s, 3, 3 * 1024), 10);
    EXPECT_EQ(gaussian_target(s, 3, 0), 3); // empty entries: one interval each
    s.keep_size = 1024;
    EXPECT_EQ(gaussian_target(s, 2, 2 << 20), 0);
    s.keep_size = INT64_MAX;
    EXPECT_EQ(gaussian_target(s, 1, 1), INT32_MAX);
}

TEST(Schedule, GenerateChoosesTheGeneratorAndPrintsEveryElement)
{
    // The Gaussian target comes from the entries: 10k over three of 1k is 10.
    Settings s;
    s.opt_size = true;
    s.keep_size = 10 * 1024;
    s.opt_gaussian = true;
    s.std_dev = 30;
    generate_schedule(s, 3, 3 * 1024, 0);
    ASSERT_EQ(schedule, gaussian_schedule(30, 10));
    ASSERT_EQ(schedule_len, 10);
    FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    print_schedule(out);
    std::rewind(out);
    std::string printed;
    for (int c; (c = std::fgetc(out)) != EOF;)
        printed += static_cast<char>(c);
    std::fclose(out);
    std::string want;
    for (int32_t element : schedule)
        want += std::to_string(element) + "\n";
    EXPECT_EQ(printed, want);
    s.opt_gaussian = false;
    s.opt_fibonacci = true;
    generate_schedule(s, 3, 3 * 1024, 40);
    EXPECT_EQ(schedule, fibonacci_schedule(40));
    EXPECT_EQ(schedule_len, 10);
}

} // namespace
