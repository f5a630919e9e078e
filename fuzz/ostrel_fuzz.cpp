// Feeds ostrel arbitrary arguments: the input, split at each zero byte, is
// the argument list after the program name (an empty input gives none).
// With one argument the output must be one known label, or the station code
// raised to upper case, followed by one newline; with any other count, only
// the usage line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "entry.h"

// The station code as the program should see it: up to the first '-' or ','
// with a to z raised.
static std::string expected_code(const char *arg)
{
    std::string code;
    for (; *arg && *arg != '-' && *arg != ','; arg++)
        code += *arg >= 'a' && *arg <= 'z' ? static_cast<char>(*arg - 32) : *arg;
    return code;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    char prog[] = "ostrel";
    std::vector<char *> argv{prog};
    if (size > 0)
        for (size_t i = 0; i < text.size(); i += strlen(&text[i]) + 1)
            argv.push_back(&text[i]);
    int argc = static_cast<int>(argv.size());
    std::string code = argc == 2 ? expected_code(argv[1]) : "";
    auto [status, o, e] = run_entry(ostrel, argv);

    if (argc != 2) {
        if (status != 1 || !o.empty() || e != "Usage: ostrel <stream>\n")
            abort();
        return 0;
    }
    if (status != 0 || !e.empty() || o.empty() || o.back() != '\n')
        abort();
    std::string label = o.substr(0, o.size() - 1);
    bool network = (label == "GRF" && code.starts_with("GR")) ||
                   (label == "GERESS" && code.starts_with("GE")) ||
                   (label == "GRSN" && (code.size() == 3 || code.size() == 4));
    if (!network && label != code)
        abort();
    if (label == code && label.find_first_of("-,abcdefghijklmnopqrstuvwxyz") != std::string::npos)
        abort();
    return 0;
}
