// Pruning decisions: matching, prune_entry, the schedule-only and limit
// policies, the free-space probe, the age phase and the dry-run report.
#include "prune.h"

#include <cassert>

#include "options.h"
#include "remove.h"
#include "schedule.h"

time_t now = 0;

int64_t lowest_index()
{
    return settings.opt_keep_youngest ? 1 : 0;
}

void match_entries(time_t at, FILE *trace)
{
    const int64_t lowest = lowest_index();
    int64_t i = entry_count - 1;
    int j = schedule_len - 1;
    while (i >= lowest) {
        entry &e = entries[i];
        const int32_t age = age_in_days(at, e.time);
        if (trace != nullptr)
            std::fprintf(trace, "File %3d %s aged %5lld; schedule %3d %5d: ", static_cast<int>(i),
                         e.name, static_cast<long long>(age) + 1, j, j >= 0 ? schedule[j] : 0);
        const char *outcome;
        if (j < 0 || schedule[j] <= age) {
            e.candidate = 1;
            i--;
            outcome = "delete candidate";
        } else if (j == 0 || schedule[j - 1] <= age) {
            i--;
            j--;
            outcome = "within interval";
        } else {
            j--;
            outcome = "newer than interval";
        }
        if (trace != nullptr) {
            std::fputs(outcome, trace);
            std::fputc('\n', trace);
        }
    }
}

void match_schedule()
{
    now = std::time(nullptr);
    match_entries(now, settings.verbose >= 2 ? stdout : nullptr);
}

void prune_entry(entry &e)
{
    if (dry_run()) {
        e.deleted = 1;
        return;
    }
    remove_tree(e.name);
    // The line is out before the next removal starts, so that a run that is
    // stopped has logged every deletion that happened; a log that cannot be
    // written stops the deletions.
    if (settings.verbose >= 1 &&
        (std::printf("Deleted %s\n", e.name) < 0 || std::fflush(stdout) != 0))
        fail_call("write", "standard output");
}

void prune_candidates()
{
    for (int64_t i = entry_count - 1; i >= lowest_index(); i--)
        if (entries[i].candidate)
            prune_entry(entries[i]);
}

// The two phases of every limit policy, each from the oldest entry to the
// lowest index: delete candidates while the limit is exceeded (every one of
// them with -F); then, unless -K, delete the entries that the schedule keeps
// while it still is. exceeded(e) tests the limit as e is examined; deleted(e)
// accounts for e's deletion.
template <typename Exceeded, typename Deleted>
static void prune_to_limit(Exceeded exceeded, Deleted deleted)
{
    const int64_t lowest = lowest_index();
    for (int64_t i = entry_count - 1; i >= lowest; i--) {
        if (!settings.opt_force && !exceeded(entries[i]))
            break;
        if (entries[i].candidate) {
            prune_entry(entries[i]);
            deleted(entries[i]);
        }
    }
    if (settings.opt_keep)
        return;
    for (int64_t i = entry_count - 1; i >= lowest; i--) {
        if (entries[i].candidate)
            continue;
        if (!exceeded(entries[i]))
            break;
        prune_entry(entries[i]);
        deleted(entries[i]);
    }
}

void prune_to_size()
{
    prune_to_limit([](const entry &) { return total_size > settings.keep_size; },
                   [](const entry &e) { total_size -= e.size; });
}

void prune_to_count()
{
    int64_t remaining = entry_count;
    prune_to_limit([&remaining](const entry &) { return remaining > settings.keep_count; },
                   [&remaining](const entry &) { remaining--; });
}

void prune_to_free_space(FILE *diagnostics)
{
    prune_to_limit([diagnostics](const entry &e) { return !enough_size_free(e, diagnostics); },
                   [](const entry &) {});
}

void apply_limit_policy(FILE *diagnostics)
{
    if (settings.opt_size)
        prune_to_size();
    else if (settings.opt_count)
        prune_to_count();
    else if (settings.opt_size_free)
        prune_to_free_space(diagnostics);
    else
        prune_candidates();
    if (settings.opt_age)
        prune_by_age(diagnostics);
}

int64_t free_space(const struct statvfs &vfs)
{
    // f_bavail counts fragments of f_frsize bytes; f_bsize is only the
    // preferred I/O size and, where larger, would overstate what is free.
    const uint64_t unit = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
    // FreeBSD copies a signed count of free blocks into the unsigned
    // f_bavail: below zero, once root has written into the reserve, it
    // arrives as almost 2^64. More available than there are blocks means
    // none at all.
    if (vfs.f_bavail > vfs.f_blocks)
        return 0;
    uint64_t bytes = 0;
    if (__builtin_mul_overflow(static_cast<uint64_t>(vfs.f_bavail), unit, &bytes) ||
        bytes > static_cast<uint64_t>(INT64_MAX))
        return INT64_MAX;
    return static_cast<int64_t>(bytes);
}

bool enough_size_free(const entry &e, FILE *diagnostics)
{
    assert(settings.opt_size_free);
    struct statvfs vfs;
    if (statvfs(e.name, &vfs) != 0)
        fail_call("statsvfs", e.name);
    const bool enough = free_space(vfs) > settings.size_free;
    std::fprintf(diagnostics, "%s %d %d\n", e.name, e.candidate, enough ? 1 : 0);
    return enough;
}

void prune_by_age(FILE *diagnostics)
{
    // The age was checked when it was read: this cannot overflow.
    const int64_t limit = static_cast<int64_t>(now) - settings.age_days * 86400;
    for (int64_t i = entry_count - 1; i >= lowest_index(); i--) {
        entry &e = entries[i];
        std::fprintf(diagnostics, "name[%s]=%d days=%ld now=%ld limit=%ld\n", e.name,
                     static_cast<int32_t>(e.time), static_cast<long>(settings.age_days),
                     static_cast<long>(now), static_cast<long>(limit));
        if (!e.candidate && e.time < limit)
            prune_entry(e);
    }
}

void report(FILE *out)
{
    for (const entry &e : entries)
        if (settings.opt_print_deleted ? e.deleted : !e.deleted) {
            std::fputs(e.name, out);
            std::fputc('\n', out);
        }
}
