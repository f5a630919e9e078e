// Feeds ostrel arbitrary arguments: the input, split at each zero byte, is
// the argument list after the program name (an empty input gives none).
// With one argument the output must be one known label, or the station code
// raised to upper case, followed by one newline; with more, the lines that
// each argument gives alone, one after another; with none, only the usage
// line.
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

// ostrel on one stream name: a known label or the code, checked as such.
static std::string label_line(const char *stream)
{
    std::string code = expected_code(stream);
    std::vector<char> copy(stream, stream + strlen(stream) + 1);
    char prog[] = "ostrel";
    auto [status, o, e] = run_entry(ostrel, {prog, copy.data()});
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
    return o;
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
    std::string each;  // before the call, which changes the arguments in place
    for (size_t i = 1; i < argv.size(); i++)
        each += label_line(argv[i]);
    auto [status, o, e] = run_entry(ostrel, argv);

    if (argv.size() == 1) {
        if (status != 1 || !o.empty() || e != "Usage: ostrel <stream>\n")
            abort();
        return 0;
    }
    if (status != 0 || !e.empty() || o != each)
        abort();
    return 0;
}
