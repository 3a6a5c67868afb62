// Schedule generation. Every generator stops early rather than let an element
// or an interval bound pass the 32-bit range, so a schedule is always ascending.
#include "schedule.h"

#include <algorithm>
#include <cmath>

std::vector<int32_t> schedule;
int schedule_len = 0;

std::vector<int32_t> uniform_schedule(int32_t oldest_age)
{
    std::vector<int32_t> out {0};
    if (oldest_age < 0)
        return out;
    const int32_t last = oldest_age == INT32_MAX ? INT32_MAX : oldest_age + 1;
    out.reserve(static_cast<size_t>(last) + 1);
    for (int32_t i = 1;; i++) {
        out.push_back(i);
        if (i == last)
            break;
    }
    return out;
}

std::vector<int32_t> fibonacci_schedule(int32_t oldest_age)
{
    std::vector<int32_t> out {1, 1};
    if (oldest_age <= 0)
        return out;
    for (;;) {
        const int64_t next = static_cast<int64_t>(out[out.size() - 2]) + out.back();
        if (next > INT32_MAX)
            break;
        out.push_back(static_cast<int32_t>(next));
        if (next > oldest_age)
            break;
    }
    return out;
}

std::vector<int32_t> exponential_schedule(double base, int32_t oldest_age)
{
    std::vector<int32_t> out {1};
    if (oldest_age <= 0)
        return out;
    for (int64_t i = 1; out.back() < INT32_MAX; i++) {
        const double p = std::pow(base, static_cast<double>(i));
        // A power that is not a number or does not fit counts as the smallest
        // int, so the element is one more than the one before.
        const int32_t power =
            (p > -2147483649.0 && p < 2147483648.0) ? static_cast<int32_t>(p) : INT32_MIN;
        const int32_t element = std::max(out.back() + 1, power);
        out.push_back(element);
        if (element > oldest_age)
            break;
    }
    return out;
}

double normal_cdf(double x, double std_dev)
{
    return 0.5 * std::fabs(1 + std::erf(x / std_dev / 1.4142135623730951));
}

int32_t gaussian_target(const Settings &s, int64_t entry_count, int64_t total_size)
{
    int64_t target = 0;
    if (s.opt_size) {
        const int64_t mean = entry_count > 0 ? total_size / entry_count : 0;
        // Empty entries have no mean size to divide by; keep one interval each.
        target = mean > 0 ? s.keep_size / mean : entry_count;
    } else if (s.opt_age) {
        const double q = (normal_cdf(static_cast<double>(s.age_days), s.std_dev) - 0.5) /
                         (normal_cdf(1, s.std_dev) - 0.5);
        // With a distribution too flat to measure, the mass up to the age
        // limit in units of the first day's mass tends to the age itself.
        if (std::isnan(q))
            target = s.age_days;
        else if (q >= 2147483647.0)
            target = INT32_MAX;
        else
            target = q < 1 ? 0 : static_cast<int64_t>(q);
    } else {
        target = std::max(s.keep_count, entry_count);
    }
    return target > INT32_MAX ? INT32_MAX : static_cast<int32_t>(target);
}

// The smallest upper bound at which an interval from lo without mass closes.
static int32_t first_closing_bound(int32_t lo, int32_t previous_width, bool last)
{
    int64_t bound = std::min<int64_t>(365001, lo + 10 * static_cast<int64_t>(previous_width) + 1);
    if (last)
        bound = std::min<int64_t>(bound, lo + 2 * static_cast<int64_t>(previous_width) + 1);
    return static_cast<int32_t>(std::min<int64_t>(bound, INT32_MAX));
}

std::vector<int32_t> gaussian_schedule(double std_dev, int32_t target)
{
    std::vector<int32_t> out;
    if (target <= 0)
        return out;
    const double threshold = 0.5 / (target + 0.5);
    int32_t n = 0;
    int32_t lo = 0;
    int32_t hi = 1;
    int32_t previous_width = 1;
    double cdf_lo = normal_cdf(0, std_dev);
    for (;;) {
        const int32_t width = hi - lo;
        // Past 365000 days every interval is closed at once, so the
        // distribution function is only needed below that.
        const bool far = hi > 365000;
        const double cdf_hi = far ? 0 : normal_cdf(hi, std_dev);
        const bool closed = far || cdf_hi - cdf_lo > threshold ||
                            (n == target - 1 && width > 2 * static_cast<int64_t>(previous_width)) ||
                            width > 10 * static_cast<int64_t>(previous_width);
        if (!closed) {
            if (hi == INT32_MAX)
                return out;
            hi++;
            // Where the distribution function has reached exactly 1 (or is
            // not a number), no interval has mass any more: only the width
            // rules and the 365000-day bound close it, so step straight to
            // the first bound where one of them holds.
            if (!(cdf_lo < 1.0))
                hi = std::max(hi, first_closing_bound(lo, previous_width, n == target - 1));
            continue;
        }
        out.push_back(lo + 1);
        n++;
        previous_width = width;
        if (n == target || hi > INT32_MAX - width)
            return out;
        lo = hi;
        hi += width;
        cdf_lo = cdf_hi;
    }
}

void generate_schedule(const Settings &s, int64_t entry_count, int64_t total_size,
                       int32_t oldest_age)
{
    if (s.opt_fibonacci)
        schedule = fibonacci_schedule(oldest_age);
    else if (s.opt_exponential)
        schedule = exponential_schedule(s.exponent, oldest_age);
    else if (s.opt_gaussian)
        schedule = gaussian_schedule(s.std_dev, gaussian_target(s, entry_count, total_size));
    else
        schedule = uniform_schedule(oldest_age);
    schedule_len = static_cast<int>(schedule.size());
}

void print_schedule(FILE *out)
{
    for (int i = 0; i < schedule_len; i++)
        std::fprintf(out, "%d\n", schedule[i]);
}
