// Fuzzes matching and every limit policy over random entry lists, as dry
// runs, and checks what must hold whatever the entries and settings:
// nothing below the lowest index is marked; the count policy without -F and
// -K leaves exactly min(count, entries); the size policy without -K ends
// within the limit unless it ran out of entries; -K never deletes an entry
// the schedule kept; and a second run marks exactly the same entries.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "prune.h"
#include "require.h"
#include "schedule.h"

namespace {

const time_t noon = 1781265600;

// Runs matching and the policy the settings choose over fresh copies of the
// entries and returns the marks, two per entry. The lines that the
// free-space and age phases write for each step are not wanted here.
std::vector<int> run(const std::vector<entry> &input)
{
    static FILE *const diagnostics = std::fopen("/dev/null", "w");
    entries = input;
    entry_count = static_cast<int64_t>(entries.size());
    total_size = 0;
    for (const entry &e : entries)
        total_size += e.size;
    int32_t oldest = age_in_days(noon, entries.back().time);
    generate_schedule(settings, entry_count, total_size, oldest);
    now = noon;
    match_entries(noon, nullptr);
    apply_limit_policy(diagnostics);
    std::vector<int> marks;
    for (const entry &e : entries) {
        marks.push_back(e.candidate);
        marks.push_back(e.deleted);
    }
    return marks;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    settings = Settings {};
    settings.opt_print_deleted = true; // a dry run: entries are only marked
    settings.opt_force = in.ConsumeBool();
    settings.opt_keep = in.ConsumeBool();
    settings.opt_keep_youngest = in.ConsumeBool();
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 1: settings.opt_fibonacci = true; break;
    case 2:
        settings.opt_exponential = true;
        settings.exponent = in.ConsumeFloatingPointInRange(0.01, 10.0);
        break;
    case 3:
        settings.opt_gaussian = true;
        settings.std_dev = in.ConsumeFloatingPointInRange(1.0, 1000.0);
        break;
    default: break;
    }
    const int policy = in.ConsumeIntegralInRange(0, 4);
    switch (policy) {
    case 0:
        settings.opt_size = true;
        settings.keep_size = in.ConsumeIntegralInRange<int64_t>(1, int64_t {1} << 46);
        break;
    case 1:
        settings.opt_count = true;
        settings.keep_count = in.ConsumeIntegralInRange<int64_t>(1, 100);
        break;
    case 2:
        // Always or never enough, so that the real free space cannot matter.
        settings.opt_size_free = true;
        settings.size_free = in.ConsumeBool() ? 1 : INT64_MAX;
        break;
    case 3:
        settings.opt_age = true;
        settings.age_days = in.ConsumeIntegralInRange<int64_t>(1, 3650);
        break;
    default: break;
    }
    std::vector<entry> input(in.ConsumeIntegralInRange<size_t>(1, 64));
    for (entry &e : input) {
        e.name = "/"; // a path the free-space probe can measure
        e.size = in.ConsumeIntegralInRange<int64_t>(0, int64_t {1} << 40);
        e.time = noon - in.ConsumeIntegralInRange<time_t>(-10 * 86400, 3 * 365 * 86400);
    }
    std::stable_sort(input.begin(), input.end(), compare_newest_first);
    if (settings.opt_gaussian &&
        gaussian_target(settings, static_cast<int64_t>(input.size()), INT64_MAX / 2) > (1 << 16))
        settings.opt_gaussian = false; // keep one run within memory and time

    const std::vector<int> marks = run(input);
    const int64_t lowest = lowest_index();
    int64_t unmarked = 0;
    bool all_deleted = true;
    for (int64_t i = 0; i < entry_count; i++) {
        const entry &e = entries[i];
        if (i < lowest)
            require(e.candidate == 0 && e.deleted == 0,
                    "an entry below the lowest index is marked");
        else if (!e.deleted)
            all_deleted = false;
        unmarked += e.deleted == 0;
        if (settings.opt_keep && policy <= 2)
            require(e.candidate || !e.deleted, "-K deleted an entry that the schedule keeps");
        if (policy == 4)
            require(e.deleted == e.candidate, "without a limit exactly the candidates go");
    }
    if (policy == 1 && !settings.opt_force && !settings.opt_keep)
        require(unmarked == std::min<int64_t>(settings.keep_count, entry_count), "count");
    if (policy == 0 && !settings.opt_keep)
        require(total_size <= settings.keep_size || all_deleted, "size limit");
    require(run(input) == marks, "a second run decided otherwise");
    return 0;
}
