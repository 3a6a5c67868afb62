// Fuzzes the schedule generators over random settings, oldest ages and
// targets: every schedule is ascending, as long as it should be, and made in
// bounded time and memory. Ages and targets are bounded here because the
// uniform and Gaussian schedules are as long as they say by design.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "require.h"
#include "schedule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    Settings s;
    const int kind = in.ConsumeIntegralInRange(0, 3);
    const int32_t oldest = in.ConsumeIntegralInRange<int32_t>(INT32_MIN, 1 << 20);
    const int64_t entry_count = in.ConsumeIntegralInRange<int64_t>(0, 1 << 20);
    const int64_t total_size = in.ConsumeIntegralInRange<int64_t>(0, INT64_MAX);
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        s.opt_count = true;
        s.keep_count = in.ConsumeIntegralInRange<int64_t>(1, 1 << 20);
        break;
    case 1:
        s.opt_size = true;
        s.keep_size = in.ConsumeIntegralInRange<int64_t>(1, INT64_MAX);
        break;
    case 2:
        s.opt_age = true;
        s.age_days = in.ConsumeIntegralInRange<int64_t>(1, INT64_MAX / 86400);
        break;
    default: break;
    }
    const double real = in.ConsumeFloatingPoint<double>();
    std::vector<int32_t> out;
    switch (kind) {
    case 0:
        out = uniform_schedule(oldest);
        require(out.size() == (oldest < 0 ? 1U : static_cast<size_t>(oldest) + 2),
                "uniform length");
        break;
    case 1:
        out = fibonacci_schedule(oldest);
        require(out.size() >= 2 && out[0] == 1 && out[1] == 1, "fibonacci start");
        require(out.size() == 2 || out.back() > oldest, "fibonacci reaches past the age");
        break;
    case 2:
        out = exponential_schedule(real, oldest);
        require(out[0] == 1 && (oldest <= 0 || out.back() > oldest),
                "exponential reaches past the age");
        break;
    default: {
        s.std_dev = std::isnan(real) || real >= 1 ? real : 1 + std::fabs(real);
        const int32_t target = gaussian_target(s, entry_count, total_size);
        if (target > (1 << 16))
            return 0;
        out = gaussian_schedule(s.std_dev, target);
        require(target <= 0 ? out.empty() : out.size() <= static_cast<size_t>(target),
                "gaussian length");
        break;
    }
    }
    for (size_t i = 1; i < out.size(); i++)
        require(out[i] > out[i - 1] || (kind == 1 && i == 1), "ascending");
    return 0;
}
