// Fuzzes the date-operand reader under several time zones: any text is
// read as a time that exists, or refused, and the same way every time.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "entries.h"
#include "require.h"

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
    const date_error error = read_date(text.c_str(), &t);
    // A date that is read is a time the C library can convert back.
    struct tm tm {};
    require(error != date_error::none || localtime_r(&t, &tm) != nullptr,
            "a date was read as a time that does not exist");
    time_t again = 0;
    require(read_date(text.c_str(), &again) == error && (error != date_error::none || again == t),
            "the same text read twice gave another answer");
    return 0;
}
