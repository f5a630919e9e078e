// libFuzzer target for tessik: the comparison output may hold any bytes.
// It must be read through (status 0), and every name printed must be the
// text between the gap and the first ',' of a '<' line of the input, taken
// in input order, at most 179 characters long.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "entry.h"

namespace {

// Finds the next '<' line from `at` on whose name is `name`; moves `at`
// past it.
bool next_record(std::string_view input, size_t &at, std::string_view name)
{
    while (at < input.size()) {
        size_t end = input.find('\n', at);
        if (end == std::string_view::npos)
            end = input.size();
        std::string_view line = input.substr(at, end - at);
        at = end + 1;
        if (line.size() >= 2 && line[0] == '<') {
            size_t comma = line.find(',', 2);
            if (comma != std::string_view::npos && line.substr(2, comma - 2) == name)
                return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    char prog[] = "tessik";
    Result r = run_entry(tessik, {prog, input_file(input)});

    std::string_view names(r.out);
    if (r.status != 0 || (!names.empty() && names.back() != '\n'))
        abort();
    size_t at = 0;
    while (!names.empty()) {
        std::string_view name = names.substr(0, names.find('\n'));
        names.remove_prefix(name.size() + 1);
        if (name.size() > 179 || name.find(',') != std::string_view::npos || !next_record(input, at, name))
            abort();
    }
    return 0;
}
