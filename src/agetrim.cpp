// agetrim: keep files whose ages follow a retention schedule, delete the rest.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

#include "entries.h"
#include "options.h"
#include "prune.h"
#include "schedule.h"

// Standard output is buffered; a report that could not be written must not
// end in success.
static int finish()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        fail_call("write", "standard output");
    return exit_ok;
}

// The run, phase by phase; any failure ends the process where it is found.
static int run(int argc, char **argv)
{
    const int first = parse_options(argc, argv);
    const int operand_count = argc - first;
    validate_options(operand_count);
    build_entries(operand_count, argv + first);
    // Without entries the clock is not read.
    const int32_t oldest = entry_count > 0 ? oldest_age(std::time(nullptr)) : 0;
    generate_schedule(settings, entry_count, total_size, oldest);
    if (settings.opt_print_schedule) {
        print_schedule(stdout);
        return finish();
    }
    match_schedule();
    apply_limit_policy(stderr);
    if (dry_run())
        report(stdout);
    return finish();
}

int main(int argc, char **argv)
{
    // Every allocation failure, wherever it happens, ends up here.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        fail_argument("Out of memory");
    }
}
