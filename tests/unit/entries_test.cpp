#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "entries.h"
#include "failure.h"
#include "options.h"

namespace {

void use_zone(const char *zone)
{
    setenv("TZ", zone, 1);
    tzset();
}

// Seconds since the epoch of a UTC date, independent of the local zone.
time_t utc(int year, int month, int day, int hour = 0)
{
    struct tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    return timegm(&tm);
}

class Entries : public testing::Test {
protected:
    std::string dir;

    void SetUp() override
    {
        settings = Settings {};
        entries.clear();
        entry_count = 0;
        total_size = 0;
        use_zone("UTC");
        char name[] = "/tmp/agetrim-entries-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override
    {
        std::filesystem::remove_all(dir);
        use_zone("UTC");
    }
    // Makes a file of the given size whose times are all t; returns its path.
    std::string file(const std::string &name, time_t t, off_t size = 0)
    {
        std::string path = dir + "/" + name;
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(ftruncate(fd, size), 0);
        close(fd);
        const struct timespec times[2] = {{t, 0}, {t, 0}};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        return path;
    }
    // Entries point into the operands, which must outlive them.
    std::vector<std::string> operands;
    void build(std::vector<std::string> list)
    {
        operands = std::move(list);
        std::vector<char *> argv;
        for (auto &o : operands)
            argv.push_back(o.data());
        build_entries(static_cast<int>(argv.size()), argv.data());
    }
};
using EntriesDeathTest = Entries;

TEST(AgeInDays, CountsWholeDaysTowardZero)
{
    const time_t now = 1700000000;
    EXPECT_EQ(age_in_days(now, now - 23 * 3600), 0);
    EXPECT_EQ(age_in_days(now, now - 25 * 3600), 1);
    EXPECT_EQ(age_in_days(now, now + 25 * 3600), -1);
    EXPECT_EQ(age_in_days(now, now - 86400L * 2147483647), INT32_MAX);
    // Beyond the range: the nearest end of it, in the age's own direction.
    EXPECT_EQ(age_in_days(now, now - 86400L * 2147483648), INT32_MAX);
    EXPECT_EQ(age_in_days(now, INT64_MIN), INT32_MAX);
    EXPECT_EQ(age_in_days(now, now + 86400L * 2147483649), INT32_MIN);
}

TEST_F(Entries, DatesAreReadAsStandardTimeAndNormalised)
{
    EXPECT_EQ(date_time("2020-07-01"), utc(2020, 7, 1));
    EXPECT_EQ(date_time("2020-07-01 13"), utc(2020, 7, 1, 13));
    EXPECT_EQ(date_time("2020-07-01 13:05:09"), utc(2020, 7, 1, 13) + 309);
    EXPECT_EQ(date_time("2020-07-01T13:00"), utc(2020, 7, 1));
    EXPECT_EQ(date_time("2020-02-30"), utc(2020, 3, 1));
    EXPECT_EQ(date_time("2020-13-01"), utc(2021, 1, 1));
    EXPECT_EQ(date_time("2020-07-00"), utc(2020, 6, 30));
    // The second before the epoch is a valid time, though mktime gives -1.
    EXPECT_EQ(date_time("1969-12-31 23:59:59"), -1);
    // In a zone with daylight saving a summer date is still standard time.
    use_zone("Europe/Athens");
    EXPECT_EQ(date_time("2020-07-01"), utc(2020, 6, 30, 22));
    EXPECT_EQ(date_time("2020-01-01"), utc(2019, 12, 31, 22));
    EXPECT_EQ(date_time("1970-01-01 01:59:59"), -1);
}

TEST_F(EntriesDeathTest, UnreadableDatesExitWithStatusFour)
{
    time_t t = 0;
    EXPECT_EQ(read_date("2020-07", &t), date_error::unparsable);
    EXPECT_EQ(read_date("July 1", &t), date_error::unparsable);
    EXPECT_EQ(read_date("2147483647-2147483647-1", &t), date_error::invalid);
    EXPECT_EQ(read_date("-2147483648-1-1", &t), date_error::invalid);
    EXPECT_EXIT(
        date_time("2020-07"), testing::ExitedWithCode(exit_date),
        "^agetrim: Unable to parse date \\[2020-07\\] as YYYY-MM-DD \\[hh:\\[mm:\\[ss\\]\\]\\]\n$");
    EXPECT_EXIT(date_time("-2147483648-1-1"), testing::ExitedWithCode(exit_date),
                "^agetrim: Invalid time specification: -2147483648-1-1\n$");
}

TEST_F(Entries, TimeSpecSelectsAFileTimeOrAPattern)
{
    struct stat st {};
    st.st_atime = 100;
    st.st_mtime = 200;
    st.st_ctime = 300;
    EXPECT_EQ(file_time("x", st, "a"), 100);
    EXPECT_EQ(file_time("x", st, "m"), 200);
    EXPECT_EQ(file_time("x", st, "c"), 300);
    EXPECT_EQ(file_time("20200701", st, "%Y%m%d"), utc(2020, 7, 1));
    EXPECT_EQ(file_time("20200701.tar", st, "%Y%m%d"), utc(2020, 7, 1));
    use_zone("Europe/Athens");
    EXPECT_EQ(file_time("20200701", st, "%Y%m%d"), utc(2020, 6, 30, 22));
}

TEST_F(EntriesDeathTest, APatternMustMatchFromTheFirstCharacter)
{
    struct stat st {};
    EXPECT_EXIT(file_time("dir/20200701", st, "%Y%m%d"), testing::ExitedWithCode(exit_argument),
                "^agetrim: Could not match dir/20200701 against %Y%m%d.\n$");
    EXPECT_EXIT(file_time("x", st, "ab"), testing::ExitedWithCode(exit_argument),
                "^agetrim: Could not match x against ab.\n$");
}

TEST_F(Entries, FilesAreSortedNewestFirstKeepingOperandOrderOnTies)
{
    const time_t now = std::time(nullptr);
    const std::string old_file = file("old", now - 86400L * 36500, 10);
    const std::string new_file = file("new", now - 3600, 20);
    const std::string tie = file("tie", now - 7200, 5);
    ASSERT_EQ(symlink(new_file.c_str(), (dir + "/link").c_str()), 0);
    build({old_file, tie, dir + "/link", new_file, tie});
    ASSERT_EQ(entry_count, 5);
    const char *order[] = {"/link", "/new", "/tie", "/tie", "/old"};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(entries[i].name, dir + order[i]) << i;
    EXPECT_EQ(entries[0].size, 20); // a link counts with its target's size
    EXPECT_EQ(total_size, 10 + 5 + 20 + 20 + 5);
    EXPECT_EQ(entries[0].candidate + entries[0].deleted, 0);
}

TEST_F(Entries, DatesAreSortedNewestFirst)
{
    settings.opt_dates = true;
    build({"1920-05-01", "2020-05-01", "2020-05-01 00:00:01", "1999-12-31"});
    const char *order[] = {"2020-05-01 00:00:01", "2020-05-01", "1999-12-31", "1920-05-01"};
    for (int i = 0; i < 4; i++)
        EXPECT_STREQ(entries[i].name, order[i]);
    EXPECT_EQ(total_size, 0);
}

TEST_F(EntriesDeathTest, AMissingFileStopsTheRun)
{
    const std::string present = file("present", 0);
    ASSERT_EQ(symlink("nowhere", (dir + "/dangling").c_str()), 0);
    EXPECT_EXIT(build({present, dir + "/dangling"}), testing::ExitedWithCode(exit_system),
                failure("stat", dir + "/dangling", ENOENT));
    // stat comes before the pattern.
    settings.time_spec = "%Y";
    EXPECT_EXIT(build({dir + "/gone"}), testing::ExitedWithCode(exit_system), "stat\\(");
}

} // namespace
