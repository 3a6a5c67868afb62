// Pruning: matching entries against the schedule, deleting them, the limit
// policies, the age limit and the dry-run report.
#ifndef AGETRIM_PRUNE_H
#define AGETRIM_PRUNE_H

#include <sys/statvfs.h>

#include <cstdio>
#include <ctime>

#include "entries.h"

// The clock reading of matching; the age limit is measured from it too.
extern time_t now;

// The lowest index any phase may touch: 1 with -Y (the newest entry is
// never examined or deleted), else 0.
int64_t lowest_index();
// Marks delete candidates as of the given time, oldest entry first, keeping
// the oldest entry of each schedule interval; traces each step to trace
// unless it is null.
void match_entries(time_t at, FILE *trace);
// Reads the clock into now and matches, traced on standard output with -vv.
void match_schedule();
// Deletes one entry: in a dry run only marks it, else removes its tree.
void prune_entry(entry &e);
// The schedule-only policy: deletes every candidate, oldest first.
void prune_candidates();
// The size policy (-s): deletes candidates, then kept entries, oldest first,
// until the entries' total size is within the limit.
void prune_to_size();
// The count policy (-c): the same until no more than the count remain.
void prune_to_count();
// The free-space policy (-S): the same until the device has enough free;
// each probe writes its line to diagnostics.
void prune_to_free_space(FILE *diagnostics);
// The policy that the limit options choose, or the schedule-only one, and
// then the age phase with -a; diagnostic lines go to diagnostics.
void apply_limit_policy(FILE *diagnostics);
// The bytes available to unprivileged users in a file system's statistics.
int64_t free_space(const struct statvfs &vfs);
// True when the file system holding the entry has more than the -S value
// free; writes a line saying so to diagnostics.
bool enough_size_free(const entry &e, FILE *diagnostics);
// The age phase (-a): deletes every kept entry older than the age limit,
// measured from now, writing a line per entry examined to diagnostics.
void prune_by_age(FILE *diagnostics);
// The dry-run listing: deleted names with -n, kept names with -N, newest first.
void report(FILE *out);

#endif
