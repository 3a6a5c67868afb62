// Pruning: matching entries against the schedule, deleting them, the limit
// policies, the age limit and the dry-run report.
#ifndef AGETRIM_PRUNE_H
#define AGETRIM_PRUNE_H

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
// Removes name and, for a directory, everything below it on its own file
// system, children first, without following symbolic links. Fails the run on
// the first error.
void remove_tree(const char *name);
// Deletes one entry: in a dry run only marks it, else removes its tree.
void prune_entry(entry &e);
// The schedule-only policy: deletes every candidate, oldest first.
void prune_candidates();
// The dry-run listing: deleted names with -n, kept names with -N, newest first.
void report(FILE *out);

#endif
