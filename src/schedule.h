// Retention schedules: ascending day bounds that matching reads as intervals.
#ifndef AGETRIM_SCHEDULE_H
#define AGETRIM_SCHEDULE_H

#include <cstdint>
#include <cstdio>
#include <vector>

#include "options.h"

extern std::vector<int32_t> schedule;
extern int schedule_len;

// One interval per day: 0, 1, ..., oldest_age + 1 (just 0 for a negative age).
std::vector<int32_t> uniform_schedule(int32_t oldest_age);
// 1, 1, 2, 3, 5, ... up to the first element above oldest_age.
std::vector<int32_t> fibonacci_schedule(int32_t oldest_age);
// Powers of base, at least one apart, up to the first element above oldest_age.
std::vector<int32_t> exponential_schedule(double base, int32_t oldest_age);
// The normal distribution function with mean 0 at x days.
double normal_cdf(double x, double std_dev);
// How many elements the Gaussian schedule gets from the limit options.
int32_t gaussian_target(const Settings &s, int64_t entry_count, int64_t total_size);
// target intervals of about equal mass under the normal distribution.
std::vector<int32_t> gaussian_schedule(double std_dev, int32_t target);
// Fills schedule and schedule_len with the generator that the settings choose.
void generate_schedule(const Settings &s, int64_t entry_count, int64_t total_size,
                       int32_t oldest_age);
// Writes every element, one per line.
void print_schedule(FILE *out);

#endif
