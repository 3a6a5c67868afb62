// Option state, option reading and checking, and the ways a run can end.
#ifndef AGETRIM_OPTIONS_H
#define AGETRIM_OPTIONS_H

#include <cstdint>

// Exit statuses.
constexpr int exit_ok = 0;       // a normal end
constexpr int exit_usage = 1;    // the usage text was printed
constexpr int exit_argument = 2; // a bad option argument, a pattern mismatch, out of memory
constexpr int exit_system = 3;   // a failed file system call
constexpr int exit_date = 4;     // a date operand that cannot be read

// What the command line asked for; written while the options are read.
struct Settings {
    const char *progname = "agetrim";
    bool opt_age = false;
    int64_t age_days = 0;
    bool opt_count = false;
    int64_t keep_count = 0;
    bool opt_dates = false;
    bool opt_exponential = false;
    double exponent = 2.0;
    bool opt_force = false;
    bool opt_fibonacci = false;
    bool opt_gaussian = false;
    double std_dev = 180.0;
    bool opt_keep = false;
    bool opt_print_retained = false;
    bool opt_print_deleted = false;
    bool opt_print_schedule = false;
    bool opt_size = false;
    int64_t keep_size = 0;
    bool opt_size_free = false;
    int64_t size_free = 0;
    bool opt_time = false;
    const char *time_spec = "m";
    int verbose = 0;
    bool opt_keep_youngest = false;
};

extern Settings settings;

// Writes the usage text to standard error and exits with exit_usage.
[[noreturn]] void usage();
// Writes "progname: message" to standard error and exits with exit_argument.
[[noreturn]] void fail_argument(const char *message);
// Writes "progname: call(path): error text" for errno and exits with exit_system.
[[noreturn]] void fail_call(const char *call, const char *path);
// The same with an explicit error number.
[[noreturn]] void fail_call_errno(const char *call, const char *path, int error);
// The same with a text of the program's own in place of an error text.
[[noreturn]] void fail_call_text(const char *call, const char *path, const char *text);
// Says that a -t pattern does not match an operand; exits with exit_argument.
[[noreturn]] void fail_pattern(const char *operand, const char *pattern);
// Says that a date operand is not of the date form; exits with exit_date.
[[noreturn]] void fail_unparsable_date(const char *operand);
// Says that a date operand cannot be converted to a time; exits with exit_date.
[[noreturn]] void fail_invalid_date(const char *operand);

// Argument readers: each stores the value and returns null, or returns the
// message that rejects the text.
const char *read_size(const char *text, int64_t *value);
const char *read_age(const char *text, int64_t *value);
const char *read_count(const char *text, int64_t *value);
const char *read_exponent(const char *text, double *value);
const char *read_std_dev(const char *text, double *value);

// The same, ending the run with the message when the text is refused.
int64_t parse_size(const char *text);
int64_t parse_age(const char *text);
int64_t parse_count(const char *text);
double parse_exponent(const char *text);
double parse_std_dev(const char *text);
const char *parse_time_spec(const char *text);

// True for a dry run (-n or -N): nothing is removed, entries are only marked.
bool dry_run();

// Reads the options into settings and returns the index of the first operand.
int parse_options(int argc, char **argv);
// Applies the rules about option combinations; fails with the usage text.
void validate_options(int operand_count);

#endif
