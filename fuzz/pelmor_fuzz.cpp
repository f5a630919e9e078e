// The input is the two arguments, separated by the first NUL byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "entry.h"

namespace {

// A magnitude line: an optional minus, digits, a point, two digits, newline.
bool is_magnitude(const std::string &s)
{
    size_t i = s[0] == '-' ? 1 : 0, digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        i++, digits++;
    return digits > 0 && s.size() == i + 4 && s[i] == '.' && s[i + 1] >= '0' && s[i + 1] <= '9' &&
           s[i + 2] >= '0' && s[i + 2] <= '9' && s[i + 3] == '\n';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t nul = input.find('\0');
    std::string ampl = input.substr(0, nul);
    std::string dist = nul == std::string::npos ? "" : input.substr(nul + 1);
    dist = dist.substr(0, dist.find('\0'));
    char name[] = "pelmor";
    auto one_call = [](int argc, char **argv, FILE *out, FILE *err) { return pelmor(argc, argv, stdin, out, err); };
    auto [status, o, e] = run_entry(one_call, {name, ampl.data(), dist.data()});

    if (status == 0 && !(e.empty() && (o.empty() || is_magnitude(o))))
        abort();
    if (status == 1 && !(o.empty() && (e == "illegal amplitude " + ampl + "\n" ||
                                       e == "illegal distance " + dist + "\n")))
        abort();
    if (status != 0 && status != 1)
        abort();
    return 0;
}
