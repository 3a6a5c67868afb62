// Fuzzes the date-operand reader under several time zones: any text is
// either read or refused with one of the two date messages.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char *const zones[] = {"UTC", "Europe/Athens", "America/New_York",
                                        "Australia/Lord_Howe"};
    if (size == 0)
        return 0;
    static int zone = -1;
    if (zone != data[0] % 4) {
        zone = data[0] % 4;
        setenv("TZ", zones[zone], 1);
        tzset();
    }
    const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
    time_t t = 0;
    const char *format = read_date(text.c_str(), &t);
    if (format != nullptr && std::strstr(format, "Unable to parse date") == nullptr &&
        std::strstr(format, "Invalid time specification") == nullptr) {
        std::fprintf(stderr, "unexpected message format: %s\n", format);
        std::abort();
    }
    return 0;
}
