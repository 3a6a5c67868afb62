// Fuzzes the option argument readers: whatever the text, a reader either
// refuses it with its option's message or stores a value within the range
// the rest of the program relies on.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "options.h"
#include "require.h"

namespace {

bool is(const char *message, const char *expected)
{
    return message != nullptr && std::strcmp(message, expected) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const char *arg = text.c_str(); // stops at the first NUL, as argv would

    int64_t value = 0;
    const char *message = read_size(arg, &value);
    require(message == nullptr
                ? value > 0
                : is(message, "Invalid size argument") || is(message, "Invalid size multiplier"),
            "size");

    message = read_age(arg, &value);
    require(message == nullptr
                ? value > 0 && value <= INT64_MAX / 86400
                : is(message, "Invalid days argument") || is(message, "Invalid date multiplier"),
            "age");

    message = read_count(arg, &value);
    require(message == nullptr ? value > 0 : is(message, "Invalid count argument"), "count");

    double real = 0;
    message = read_exponent(arg, &real);
    require(message == nullptr ? real > 0 || std::isnan(real)
                               : is(message, "Invalid exponent argument"),
            "exponent");

    message = read_std_dev(arg, &real);
    require(message == nullptr ? real >= 1 || std::isnan(real)
                               : is(message, "Invalid standard deviation argument"),
            "standard deviation");
    return 0;
}
