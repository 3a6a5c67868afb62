#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "entries.h"
#include "failure.h"
#include "options.h"
#include "prune.h"
#include "schedule.h"

namespace {

const time_t noon = 1781265600; // a fixed clock: 2026-06-12 12:00:00 UTC
const time_t day = 86400;

// Everything a test may print, read back as one string.
std::string text_of(FILE *f)
{
    std::string text;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(f);
    return text;
}

class Prune : public testing::Test {
protected:
    void SetUp() override
    {
        settings = Settings {};
        settings.opt_print_deleted = true;
        entries.clear();
        total_size = 0;
    }
    // Entries newest first, each aged the given number of seconds at noon.
    static void make(const std::vector<std::pair<const char *, time_t>> &list)
    {
        entries.clear();
        for (const auto &[name, age] : list) {
            entry e;
            e.name = name;
            e.time = noon - age;
            entries.push_back(e);
        }
        entry_count = static_cast<int64_t>(entries.size());
        generate_schedule(settings, entry_count, total_size, oldest_age(noon));
    }
    // Matches at noon and returns the trace.
    static std::string match()
    {
        FILE *trace = std::tmpfile();
        match_entries(noon, trace);
        return text_of(trace);
    }
    // The candidate marks, newest first.
    static std::vector<int> candidates()
    {
        std::vector<int> marks;
        marks.reserve(entries.size());
        for (const entry &e : entries)
            marks.push_back(e.candidate);
        return marks;
    }
    static std::string listing()
    {
        FILE *out = std::tmpfile();
        report(out);
        return text_of(out);
    }
};

TEST_F(Prune, TheWorkedExampleTracesEachStep)
{
    const std::string x = "File   2 x aged     3; schedule   3     3: within interval\n";
    const std::string y = "File   1 y aged     2; schedule   2     2: within interval\n";
    const std::string z = "File   0 z aged     2; schedule   1     1: delete candidate\n";
    const struct {
        bool keep_youngest;
        std::string trace, deleted, retained;
    } cases[] = {
        {false, x + y + z, "z\n", "y\nx\n"},
        {true, x + y, "", "z\ny\nx\n"}, // -Y: z is never examined
    };
    for (const auto &c : cases) {
        SetUp();
        settings.opt_keep_youngest = c.keep_youngest;
        make({{"z", day + 3600}, {"y", day + 7200}, {"x", 2 * day + 3600}});
        EXPECT_EQ(match(), c.trace);
        prune_candidates();
        EXPECT_EQ(listing(), c.deleted);
        settings.opt_print_deleted = false;
        settings.opt_print_retained = true;
        EXPECT_EQ(listing(), c.retained);
    }
}

TEST_F(Prune, EachIntervalKeepsItsOldestEntry)
{
    // Two entries of the same age in days: the older stays.
    make({{"a", 3 * day + 100}, {"b", 3 * day + 200}, {"c", 9 * day}});
    EXPECT_EQ(match(), "File   2 c aged    10; schedule  10    10: within interval\n"
                       "File   1 b aged     4; schedule   9     9: newer than interval\n"
                       "File   1 b aged     4; schedule   8     8: newer than interval\n"
                       "File   1 b aged     4; schedule   7     7: newer than interval\n"
                       "File   1 b aged     4; schedule   6     6: newer than interval\n"
                       "File   1 b aged     4; schedule   5     5: newer than interval\n"
                       "File   1 b aged     4; schedule   4     4: within interval\n"
                       "File   0 a aged     4; schedule   3     3: delete candidate\n");
    EXPECT_EQ(entries[0].candidate + entries[1].candidate * 2 + entries[2].candidate * 4, 1);
    // Entries in the future are younger than every interval but the first.
    settings.opt_fibonacci = true;
    make({{"new", -3 * day}, {"old", 40 * day}});
    match();
    EXPECT_EQ(entries[0].candidate, 0);
}

TEST_F(Prune, AFarPastEntryNeverCondemnsTheOthers)
{
    // Ten dailies and, for each schedule, the same with an entry dated so
    // far back that its age does not fit 32 bits: only that one is added to
    // the candidates, and the schedule stays as short as without it.
    const time_t far = -(time_t {1} << 62);
    for (int kind = 0; kind < 4; kind++) {
        SetUp();
        settings.opt_fibonacci = kind == 1;
        settings.opt_exponential = kind == 2;
        settings.opt_gaussian = kind == 3;
        settings.std_dev = 5;
        settings.keep_count = 12; // a Gaussian target that the extra entry leaves alone
        std::vector<std::pair<const char *, time_t>> list;
        static const char *const names[] = {"d0", "d1", "d2", "d3", "d4",
                                            "d5", "d6", "d7", "d8", "d9"};
        list.reserve(11);
        for (int i = 0; i < 10; i++)
            list.emplace_back(names[i], i * day + 3600);
        make(list);
        match();
        std::vector<int> marks = candidates();
        list.emplace_back("far", noon - far);
        make(list);
        EXPECT_LE(schedule_len, 12) << "schedule " << kind;
        match();
        marks.push_back(1);
        EXPECT_EQ(candidates(), marks) << "schedule " << kind;
    }
}

TEST_F(Prune, AnEmptyScheduleMakesEveryEntryACandidate)
{
    settings.opt_gaussian = true;
    settings.opt_size = true;
    settings.keep_size = 1024;
    total_size = 2 << 20;
    make({{"b", 3600}, {"a", 2 * day}});
    ASSERT_EQ(schedule_len, 0);
    EXPECT_EQ(match(), "File   1 a aged     3; schedule  -1     0: delete candidate\n"
                       "File   0 b aged     1; schedule  -1     0: delete candidate\n");
    prune_candidates();
    EXPECT_EQ(listing(), "b\na\n");
}

} // namespace

namespace {

// Entries for the policies, newest first: a size each and the indexes of
// the candidates, as matching would have left them. Dry run throughout.
class Policy : public testing::Test {
protected:
    void SetUp() override
    {
        settings = Settings {};
        settings.opt_print_deleted = true;
    }
    static void make(const std::vector<int64_t> &sizes, const std::vector<int> &candidates)
    {
        entries.clear();
        total_size = 0;
        for (size_t i = 0; i < sizes.size(); i++) {
            entry e;
            static const char *const names[] = {"e0", "e1", "e2", "e3", "e4", "e5", "e6"};
            e.name = names[i];
            e.size = sizes[i];
            e.time = noon - static_cast<time_t>(i) * day;
            total_size += e.size;
            entries.push_back(e);
        }
        for (int c : candidates)
            entries[c].candidate = 1;
        entry_count = static_cast<int64_t>(entries.size());
    }
    // The indexes marked deleted, as a string such as "034".
    static std::string deleted()
    {
        std::string marks;
        for (size_t i = 0; i < entries.size(); i++)
            if (entries[i].deleted)
                marks += std::to_string(i);
        return marks;
    }
};
using PolicyDeathTest = Policy;

TEST_F(Policy, CountDeletesCandidatesThenTheOldestKeptEntries)
{
    const struct {
        int64_t keep;
        bool force, keep_scheduled, keep_youngest;
        std::vector<int> candidates;
        const char *deleted;
    } cases[] = {
        {2, false, false, false, {2}, "234"},
        {10, false, false, false, {1, 3}, ""},
        {10, true, false, false, {1, 3}, "13"},
        {1, false, true, false, {1, 3}, "13"}, // -K leaves the count above the limit
        {4, false, false, false, {1, 3}, "3"}, // met after the oldest candidate
        {1, false, false, true, {0}, "1234"},  // -Y: the newest stays, candidate or not
        {3, true, false, false, {0, 4}, "04"}, // -F: every candidate, then the limit holds
    };
    for (const auto &c : cases) {
        SetUp();
        settings.keep_count = c.keep;
        settings.opt_force = c.force;
        settings.opt_keep = c.keep_scheduled;
        settings.opt_keep_youngest = c.keep_youngest;
        make({1, 1, 1, 1, 1}, c.candidates);
        prune_to_count();
        EXPECT_EQ(deleted(), c.deleted) << "keep " << c.keep;
    }
}

TEST_F(Policy, SizeStopsAtTheLimitAndLowersTheTotal)
{
    const struct {
        int64_t keep;
        bool force, keep_scheduled;
        std::vector<int64_t> sizes;
        std::vector<int> candidates;
        const char *deleted;
        int64_t total;
    } cases[] = {
        {60, false, false, {10, 20, 30, 40, 50}, {1, 4}, "134", 40},
        // A candidate reached after the total has come down to the limit stays.
        {130, false, false, {10, 10, 10, 100, 100}, {0, 4}, "4", 130},
        {130, true, false, {10, 10, 10, 100, 100}, {0, 4}, "04", 120},
        {1, false, true, {10, 20, 30}, {1}, "1", 40}, // -K leaves it above the limit
    };
    for (const auto &c : cases) {
        SetUp();
        settings.keep_size = c.keep;
        settings.opt_force = c.force;
        settings.opt_keep = c.keep_scheduled;
        make(c.sizes, c.candidates);
        prune_to_size();
        EXPECT_EQ(deleted(), c.deleted) << "keep " << c.keep;
        EXPECT_EQ(total_size, c.total) << "keep " << c.keep;
    }
}

TEST_F(Policy, AgeDeletesKeptEntriesOlderThanTheLimit)
{
    settings.opt_age = true;
    settings.age_days = 2;
    settings.opt_keep = true; // does not restrain the age phase
    settings.opt_keep_youngest = true;
    make({1, 1, 1, 1}, {3});
    now = noon;
    entries[2].time = noon - 2 * day; // exactly at the limit: stays
    entries[1].time = noon - 2 * day - 1;
    entries[0].time = noon - 30 * day; // protected by -Y
    FILE *diagnostics = std::tmpfile();
    apply_limit_policy(diagnostics);
    const std::string lines = text_of(diagnostics);
    EXPECT_EQ(deleted(), "13");
    const std::string tail = " days=2 now=1781265600 limit=1781092800\n";
    EXPECT_EQ(lines, "name[e3]=1781006400" + tail + "name[e2]=1781092800" + tail +
                         "name[e1]=1781092799" + tail);
}

TEST_F(Policy, FreeSpaceCountsFragmentsWithoutOverflow)
{
    const fsblkcnt_t huge = static_cast<fsblkcnt_t>(1) << 60;
    const fsblkcnt_t all = ~static_cast<fsblkcnt_t>(0);
    const struct {
        fsblkcnt_t bavail, blocks;
        unsigned long frsize, bsize;
        int64_t want;
    } cases[] = {
        {10, 100, 4096, 32768, 40960},
        {10, 100, 0, 32768, 327680}, // no fragment size: the block size
        {huge, huge, 4096, 4096, INT64_MAX},
        {all - 1, all, 1 << 20, 4096, INT64_MAX},
        // A negative count of free blocks (root has used the reserve on
        // FreeBSD's UFS) arrives as almost 2^64: nothing is available.
        {all - 99, 1000, 4096, 32768, 0},
        {1001, 1000, 4096, 32768, 0},
        {1000, 1000, 4096, 32768, 4096000},
    };
    for (const auto &c : cases) {
        struct statvfs vfs {};
        vfs.f_bavail = c.bavail;
        vfs.f_blocks = c.blocks;
        vfs.f_frsize = c.frsize;
        vfs.f_bsize = c.bsize;
        EXPECT_EQ(free_space(vfs), c.want) << c.bavail << " of " << c.blocks;
    }
}

TEST_F(PolicyDeathTest, TheFreeSpaceProbeNeedsItsOptionAndAPath)
{
    entry e;
    e.name = "/nonexistent-agetrim-path";
    // glibc names the function before the expression, FreeBSD after it.
    EXPECT_DEATH(enough_size_free(e, stderr),
                 "enough_size_free.*opt_size_free|opt_size_free.*enough_size_free");
    settings.opt_size_free = true;
    settings.size_free = 1;
    EXPECT_EXIT(enough_size_free(e, stderr), testing::ExitedWithCode(exit_system),
                failure("statsvfs", e.name, ENOENT));
    e.name = "/";
    e.candidate = 1;
    FILE *diagnostics = std::tmpfile();
    EXPECT_TRUE(enough_size_free(e, diagnostics));
    settings.size_free = INT64_MAX;
    EXPECT_FALSE(enough_size_free(e, diagnostics));
    EXPECT_EQ(text_of(diagnostics), "/ 1 1\n/ 1 0\n");
}

} // namespace
