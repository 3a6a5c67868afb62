// Option reading and checking, the usage text and the error reporters.
#include "options.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

Settings settings;

// glibc's getopt moves options found after operands to the front unless the
// option string starts with "+"; BSD getopt never does, and would take "+" as
// an option letter.
#ifdef __GLIBC__
static const char option_string[] = "+a:c:de:Ffg:KNnps:S:t:vY";
#else
static const char option_string[] = "a:c:de:Ffg:KNnps:S:t:vY";
#endif

static const char usage_text[] =
    "usage: %s [-n|-p|-N] [-c count|-s size[k|m|g|t]|-a age[w|m|y]|-S size[k|m|g|t]]\n"
    "\t[-e exp|-g sd|-f] [-t a|m|c] [-FKYv] file ...\n"
    "or: %s -d -n|-N [-c count|-a age[w|m|y]] [-e exp|-g sd|-f] [-FKv] date ...\n"
    "-n\t\tDo not delete files; print file names to delete\n"
    "-N\t\tDo not delete files; print file names to retain\n"
    "-p\t\tPrint the specified schedule for count elements\n"
    "-c count\tKeep count files\n"
    "-s size\t\tKeep files of size bytes (can multiply with k, m, g, t)\n"
    "-a age\t\tKeep files up to the specified age\n"
    "\t\t(age is in days, can postfix with w(eeks), m(months) y(years))\n"
    "-S size\t\tEnsure that size bytes are free on the device\n"
    "-e exp\t\tUse an exponential distribution\n"
    "-g sd\t\tUse a Gaussian distribution with given standard deviation\n"
    "-f\t\tUse a Fibonacci distribution\n"
    "-t a|m|c\tFor age use access, modification (default), creation time\n"
    "-t PAT\tFor age use access, use the given strptime pattern\n"
    "-F\t\tForce pruning even if size/count have not been exceeded\n"
    "-K\t\tKeep scheduled files even if size/count have been exceeded\n"
    "-Y\t\tNever delete the youngest file, even if constraints imply that\n"
    "-v\t\tVerbose: print names of deleted files\n"
    "-d\t\tUse a list of ISO dates, rather than actual files\n";

void usage()
{
    std::fprintf(stderr, usage_text, settings.progname, settings.progname);
    std::exit(exit_usage);
}

void fail_argument(const char *message)
{
    std::fprintf(stderr, "%s: %s\n", settings.progname, message);
    std::exit(exit_argument);
}

void fail_call_text(const char *call, const char *path, const char *text)
{
    std::fprintf(stderr, "%s: %s(%s): %s\n", settings.progname, call, path, text);
    std::exit(exit_system);
}

void fail_call_errno(const char *call, const char *path, int error)
{
    fail_call_text(call, path, std::strerror(error));
}

void fail_call(const char *call, const char *path)
{
    fail_call_errno(call, path, errno);
}

void fail_pattern(const char *operand, const char *pattern)
{
    std::fprintf(stderr, "%s: Could not match %s against %s.\n", settings.progname, operand,
                 pattern);
    std::exit(exit_argument);
}

void fail_unparsable_date(const char *operand)
{
    std::fprintf(stderr, "%s: Unable to parse date [%s] as YYYY-MM-DD [hh:[mm:[ss]]]\n",
                 settings.progname, operand);
    std::exit(exit_date);
}

void fail_invalid_date(const char *operand)
{
    std::fprintf(stderr, "%s: Invalid time specification: %s\n", settings.progname, operand);
    std::exit(exit_date);
}

// Reads the leading decimal number of text as strtoul does, but refuses what
// strtoul would silently turn into a huge value: a minus sign or a number out
// of range. Leading blanks and a plus sign are accepted.
static bool read_number(const char *text, uint64_t *value, const char **end)
{
    const char *p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        p++;
    if (*p == '-')
        return false;
    errno = 0;
    char *stop = nullptr;
    unsigned long number = std::strtoul(text, &stop, 10);
    if (errno == ERANGE)
        return false;
    *value = number;
    *end = stop;
    return true;
}

const char *read_size(const char *text, int64_t *value)
{
    uint64_t number = 0;
    const char *end = nullptr;
    if (*text == '\0' || !read_number(text, &number, &end) || number == 0)
        return "Invalid size argument";
    int shift = 0;
    switch (*end) {
    case '\0': shift = 0; break;
    case 'k':
    case 'K': shift = 10; break;
    case 'm':
    case 'M': shift = 20; break;
    case 'g':
    case 'G': shift = 30; break;
    case 't':
    case 'T': shift = 40; break;
    default: return "Invalid size multiplier";
    }
    // A size of 2^63 bytes or more would be stored as a negative number.
    if (number > (static_cast<uint64_t>(INT64_MAX) >> shift))
        return "Invalid size argument";
    *value = static_cast<int64_t>(number << shift);
    return nullptr;
}

const char *read_age(const char *text, int64_t *value)
{
    // The age limit in seconds (days x 86400) must fit a signed 64-bit value.
    const uint64_t max_days = INT64_MAX / 86400;
    uint64_t number = 0;
    const char *end = nullptr;
    if (*text == '\0' || !read_number(text, &number, &end) || number == 0)
        return "Invalid days argument";
    double days = 0;
    switch (*end) {
    case '\0':
        if (number > max_days)
            return "Invalid days argument";
        *value = static_cast<int64_t>(number);
        return nullptr;
    case 'w':
    case 'W':
        if (number > max_days / 7)
            return "Invalid days argument";
        *value = static_cast<int64_t>(number * 7);
        return nullptr;
    case 'm':
    case 'M': days = static_cast<double>(number) * 30.4375; break;
    case 'y':
    case 'Y': days = static_cast<double>(number) * 365.25; break;
    default: return "Invalid date multiplier";
    }
    // Months and years are counted in a 32-bit int of days.
    if (days >= 2147483648.0)
        return "Invalid days argument";
    *value = static_cast<int32_t>(days);
    return nullptr;
}

const char *read_count(const char *text, int64_t *value)
{
    uint64_t number = 0;
    const char *end = nullptr;
    if (*text == '\0' || !read_number(text, &number, &end) || *end != '\0' || number == 0 ||
        number > static_cast<uint64_t>(INT64_MAX))
        return "Invalid count argument";
    *value = static_cast<int64_t>(number);
    return nullptr;
}

// Reads a real number that must make up the whole text; false if it does not.
static bool read_real(const char *text, double *value)
{
    if (*text == '\0')
        return false;
    char *end = nullptr;
    *value = std::strtod(text, &end);
    return *end == '\0';
}

const char *read_exponent(const char *text, double *value)
{
    // Written so that a value that is not a number passes, as does infinity.
    if (!read_real(text, value) || *value <= 0)
        return "Invalid exponent argument";
    return nullptr;
}

const char *read_std_dev(const char *text, double *value)
{
    if (!read_real(text, value) || *value < 1)
        return "Invalid standard deviation argument";
    return nullptr;
}

// Runs a reader and ends the run with its message if it refuses the text.
template <typename T> static T parse(const char *(*reader)(const char *, T *), const char *text)
{
    T value {};
    if (const char *message = reader(text, &value))
        fail_argument(message);
    return value;
}

int64_t parse_size(const char *text)
{
    return parse(read_size, text);
}
int64_t parse_age(const char *text)
{
    return parse(read_age, text);
}
int64_t parse_count(const char *text)
{
    return parse(read_count, text);
}
double parse_exponent(const char *text)
{
    return parse(read_exponent, text);
}
double parse_std_dev(const char *text)
{
    return parse(read_std_dev, text);
}

const char *parse_time_spec(const char *text)
{
    if (*text == '\0')
        fail_argument("Invalid time specification");
    return text;
}

bool dry_run()
{
    return settings.opt_print_deleted || settings.opt_print_retained;
}

int parse_options(int argc, char **argv)
{
    if (argc > 0 && argv[0] != nullptr)
        settings.progname = argv[0];
    int c;
    while ((c = getopt(argc, argv, option_string)) != -1) {
        switch (c) {
        case 'a':
            settings.opt_age = true;
            settings.age_days = parse_age(optarg);
            break;
        case 'c':
            settings.opt_count = true;
            settings.keep_count = parse_count(optarg);
            break;
        case 'd': settings.opt_dates = true; break;
        case 'e':
            settings.opt_exponential = true;
            settings.exponent = parse_exponent(optarg);
            break;
        case 'F': settings.opt_force = true; break;
        case 'f': settings.opt_fibonacci = true; break;
        case 'g':
            settings.opt_gaussian = true;
            settings.std_dev = parse_std_dev(optarg);
            break;
        case 'K': settings.opt_keep = true; break;
        case 'N': settings.opt_print_retained = true; break;
        case 'n': settings.opt_print_deleted = true; break;
        case 'p': settings.opt_print_schedule = true; break;
        case 's':
            settings.opt_size = true;
            settings.keep_size = parse_size(optarg);
            break;
        case 'S':
            settings.opt_size_free = true;
            settings.size_free = parse_size(optarg);
            break;
        case 't':
            settings.opt_time = true;
            settings.time_spec = parse_time_spec(optarg);
            break;
        case 'v': settings.verbose++; break;
        case 'Y': settings.opt_keep_youngest = true; break;
        case '?': usage();
        default: break;
        }
    }
    return optind;
}

// Writes a bare validation message and then the usage text.
[[noreturn]] static void reject(const char *message)
{
    std::fputs(message, stderr);
    usage();
}

void validate_options(int operand_count)
{
    const Settings &s = settings;
    if (s.opt_print_retained + s.opt_print_deleted + s.opt_print_schedule > 1)
        reject("Cannot specify more than one output option\n");
    if (s.opt_age + s.opt_size_free + s.opt_size + s.opt_count > 1)
        reject("Cannot specify more than one schedule limit option\n");
    if (s.opt_exponential + s.opt_gaussian + s.opt_fibonacci > 1)
        reject("Cannot specify more than one schedule type option\n");
    if (s.opt_print_schedule && !s.opt_count)
        reject("The schedule print option requires a count specification\n");
    if (operand_count == 0 && !s.opt_print_schedule)
        reject("Required file or date arguments are missing\n");
    if (s.opt_dates &&
        ((!s.opt_print_retained && !s.opt_print_deleted) || s.opt_size || s.opt_time))
        reject("The -d option requires -N or -n and cannot be used with -t and -s\n");
}
