// agetrim: keep files whose ages follow a retention schedule, delete the rest.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "options.h"
#include "schedule.h"

// The run, phase by phase; any failure ends the process where it is found.
static int run(int argc, char **argv)
{
    const int first = parse_options(argc, argv);
    const int operand_count = argc - first;
    validate_options(operand_count);
    if (operand_count > 0) {
        std::fprintf(stderr, "%s: file and date operands are not supported yet\n",
                     settings.progname);
        return exit_argument;
    }
    generate_schedule(settings, 0, 0, 0);
    print_schedule(stdout);
    return exit_ok;
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
