// Building the entry list from file or date operands.
#include "entries.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "options.h"
#include "remove.h"

std::vector<entry> entries;
int64_t entry_count = 0;
int64_t total_size = 0;

int32_t age_in_days(time_t now, time_t t)
{
    const double days = std::difftime(now, t) / 60 / 60 / 24;
    // An age beyond the range is as old, or as new, as an age can be: it
    // must not pass for the newest entry.
    if (days >= 2147483648.0)
        return INT32_MAX;
    if (days <= -2147483649.0)
        return INT32_MIN;
    return static_cast<int32_t>(days);
}

int32_t oldest_age(time_t now)
{
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        const int32_t age = age_in_days(now, e->time);
        if (age < INT32_MAX)
            return age;
    }
    return 0;
}

bool compare_newest_first(const entry &a, const entry &b)
{
    return a.time > b.time;
}

time_t file_time(const char *operand, const struct stat &st, const char *time_spec)
{
    if (std::strcmp(time_spec, "a") == 0)
        return st.st_atime;
    if (std::strcmp(time_spec, "m") == 0)
        return st.st_mtime;
    if (std::strcmp(time_spec, "c") == 0)
        return st.st_ctime;
    // Every field zero, the daylight-saving flag too: the time is read as
    // standard time, and whatever the pattern leaves out is zero.
    struct tm tm {};
    if (strptime(operand, time_spec, &tm) == nullptr)
        fail_pattern(operand, time_spec);
    return std::mktime(&tm);
}

date_error read_date(const char *operand, time_t *t)
{
    struct tm tm {};
    int year = 0;
    int month = 0;
    // The date format is part of the interface: sscanf reads it, and how
    // many fields it filled is all that is checked.
    // NOLINTNEXTLINE(cert-err34-c)
    if (std::sscanf(operand, "%d-%d-%d %d:%d:%d", &year, &month, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec) < 3)
        return date_error::unparsable;
    // Fields out of range are normalised by mktime; only the two offsets
    // below could overflow an int before it sees them.
    if (year < INT_MIN + 1900 || month == INT_MIN)
        return date_error::invalid;
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    // mktime returns -1 both on failure and for the last second of 1969;
    // only a failure leaves the day of the week untouched.
    tm.tm_wday = -1;
    *t = std::mktime(&tm);
    if (*t == static_cast<time_t>(-1) && tm.tm_wday == -1)
        return date_error::invalid;
    return date_error::none;
}

time_t date_time(const char *operand)
{
    time_t t = 0;
    switch (read_date(operand, &t)) {
    case date_error::none: break;
    case date_error::unparsable: fail_unparsable_date(operand);
    case date_error::invalid: fail_invalid_date(operand);
    }
    return t;
}

// The entry for a file operand; stat follows a symbolic link to its target.
static entry file_entry(const char *operand)
{
    struct stat st;
    if (stat(operand, &st) != 0)
        fail_call("stat", operand);
    // A run that deletes refuses an operand it would never remove before it
    // removes anything.
    if (!dry_run() && !settings.opt_print_schedule)
        check_removable(operand, st);
    entry e;
    e.time = file_time(operand, st, settings.time_spec);
    e.size = st.st_size;
    e.name = operand;
    return e;
}

void build_entries(int count, char *const operands[])
{
    entries.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; i++) {
        if (settings.opt_dates) {
            entry e;
            e.time = date_time(operands[i]);
            e.name = operands[i];
            entries.push_back(e);
        } else {
            entries.push_back(file_entry(operands[i]));
            // Sparse files can claim sizes whose sum would overflow.
            if (__builtin_add_overflow(total_size, entries.back().size, &total_size))
                total_size = INT64_MAX;
        }
    }
    entry_count = count;
    // Entries of equal time keep their operand order, so that a dry run and
    // the real run always decide alike.
    std::stable_sort(entries.begin(), entries.end(), compare_newest_first);
}
