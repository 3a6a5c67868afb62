#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "schedule.h"

namespace {

using Elements = std::vector<int32_t>;

Elements uniform(int32_t age)
{
    Elements e;
    uniform_schedule(age, e);
    return e;
}
Elements fibonacci(int32_t age)
{
    Elements e;
    fibonacci_schedule(age, e);
    return e;
}
Elements exponential(double base, int32_t age)
{
    Elements e;
    exponential_schedule(base, age, e);
    return e;
}
Elements gaussian(double sd, int32_t target)
{
    Elements e;
    gaussian_schedule(sd, target, e);
    return e;
}

bool strictly_ascending(const Elements &e)
{
    for (size_t i = 1; i < e.size(); i++)
        if (e[i] <= e[i - 1])
            return false;
    return true;
}

TEST(Schedule, GrowingSchedulesReachPastTheOldestAge)
{
    EXPECT_EQ(uniform(3), (Elements {0, 1, 2, 3, 4}));
    EXPECT_EQ(uniform(0), (Elements {0, 1}));
    EXPECT_EQ(uniform(-1), (Elements {0}));
    EXPECT_EQ(uniform(INT32_MIN), (Elements {0}));
    EXPECT_EQ(fibonacci(10), (Elements {1, 1, 2, 3, 5, 8, 13}));
    EXPECT_EQ(fibonacci(1), (Elements {1, 1, 2}));
    EXPECT_EQ(fibonacci(0), (Elements {1, 1}));
    EXPECT_EQ(exponential(2, 10), (Elements {1, 2, 4, 8, 16}));
    EXPECT_EQ(exponential(2, 1), (Elements {1, 2}));
    EXPECT_EQ(exponential(1.5, 5), (Elements {1, 2, 3, 4, 5, 7}));
    EXPECT_EQ(exponential(3, 0), (Elements {1}));
    EXPECT_EQ(exponential(0.5, 3), (Elements {1, 2, 3, 4}));
    EXPECT_EQ(exponential(4294967296.0, 3), (Elements {1, 2, 3, 4}));
    EXPECT_EQ(exponential(std::nan(""), 3), (Elements {1, 2, 3, 4}));
}

TEST(Schedule, GrowingSchedulesStopBeforeTheIntRangeEnds)
{
    const Elements f = fibonacci(INT32_MAX);
    EXPECT_EQ(f.back(), 1836311903); // the largest Fibonacci number that fits
    EXPECT_EQ(f.size(), 46u);
    // 46341 squared no longer fits, so the next element is one more.
    EXPECT_EQ(exponential(46341, 46341), (Elements {1, 46341, 46342}));
    EXPECT_EQ(uniform(1 << 20).back(), (1 << 20) + 1);
}

TEST(Schedule, GaussianIntervalsCloseByEveryRule)
{
    EXPECT_EQ(gaussian(10, 3), (Elements {1, 5, 10}));
    EXPECT_EQ(gaussian(30, 5), (Elements {1, 8, 16, 25, 37}));
    EXPECT_EQ(gaussian(10, 1), (Elements {1}));
    EXPECT_EQ(gaussian(1, 2), (Elements {1, 2}));
    // Closed by the width rule at 11 and 111, the last one at 223 wide.
    EXPECT_EQ(gaussian(1, 5), (Elements {1, 2, 3, 14, 125}));
    EXPECT_EQ(gaussian(180, 4), (Elements {1, 12, 64, 122}));
    EXPECT_TRUE(gaussian(10, 0).empty());
    EXPECT_TRUE(gaussian(10, -3).empty());
    // Past 365000 days the intervals close at once, each as wide as the last.
    const Elements e = gaussian(1, 10);
    ASSERT_EQ(e.size(), 10u);
    EXPECT_LE(e[7] - 1, 365000);
    EXPECT_GT(e[8] - 1, 365000);
    EXPECT_EQ(e[9] - e[8], e[8] - e[7]);
}

TEST(Schedule, GaussianStopsBeforeTheIntRangeEnds)
{
    const Elements e = gaussian(1, INT32_MAX);
    EXPECT_TRUE(strictly_ascending(e));
    EXPECT_GT(e.size(), 1000u);
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
    Settings s;
    s.opt_count = true;
    s.keep_count = 5;
    s.opt_gaussian = true;
    s.std_dev = 30;
    generate_schedule(s, 0, 0, 0);
    ASSERT_EQ(schedule_len, 5);
    FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    print_schedule(out);
    std::rewind(out);
    char text[64] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text - 1, out), 13u);
    EXPECT_STREQ(text, "1\n8\n16\n25\n37\n");
    std::fclose(out);
    s.opt_gaussian = false;
    s.opt_fibonacci = true;
    generate_schedule(s, 0, 0, 0);
    EXPECT_EQ(schedule_len, 2);
}

} // namespace
