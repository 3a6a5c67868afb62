// The entry list: one entry per operand, sorted newest first.
#ifndef AGETRIM_ENTRIES_H
#define AGETRIM_ENTRIES_H

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <vector>

struct entry {
    // The operand as given, the path removed and the text printed. It points
    // into the command line, which lives as long as the process, so the text
    // is never copied.
    const char *name = nullptr;
    int64_t size = 0;  // the operand's own size; 0 for a date
    time_t time = 0;   // the point in time that the entry's age is measured from
    int candidate = 0; // marked by matching: surplus to the schedule
    int deleted = 0;   // marked by a dry-run deletion
};

extern std::vector<entry> entries;
extern int64_t entry_count;
extern int64_t total_size;

// The age of t at now in whole days, truncated toward zero; an age outside
// the 32-bit range counts as the nearest end of it (the largest int for the
// past, the smallest for the future).
int32_t age_in_days(time_t now, time_t t);
// The age that sizes the schedule: that of the oldest entry younger than the
// largest int, or 0 when there is none. An entry that old lies beyond every
// schedule and is a delete candidate whatever the schedule, so it must not
// make the schedule billions of days long.
int32_t oldest_age(time_t now);
// The sort order: a comes before b when a is newer.
bool compare_newest_first(const entry &a, const entry &b);
// The time of a file operand chosen by time_spec: a, m, c or a strptime
// pattern applied to the operand text. Fails when the pattern does not match.
time_t file_time(const char *operand, const struct stat &st, const char *time_spec);
// Why a date operand could not be read.
enum class date_error {
    none,       // it was read
    unparsable, // fewer than a year, a month and a day
    invalid,    // mktime cannot represent it
};
// Reads a date operand "YYYY-MM-DD [hh:[mm:[ss]]]" in the local zone as
// standard time into t, and says whether it could.
date_error read_date(const char *operand, time_t *t);
// The same, ending the run with exit_date when the date cannot be read.
time_t date_time(const char *operand);
// Makes one entry per operand (files, or dates with -d) and sorts them.
void build_entries(int count, char *const operands[]);

#endif
