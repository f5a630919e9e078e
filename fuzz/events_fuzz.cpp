// Fuzz target for "pelmor -n": the input is a bulletin whose lines begin
// with an event name.  "pelmor -" is run on the same lines with their names
// blanked out, so that every other field stands where it stood, and the
// station magnitudes it prints, filed under the names, must give each
// event's line: the events in the order of their first lines, N as the
// trimmed mean's weights give it, and ML within the rounding of those
// printed magnitudes; the messages must be those of "pelmor -" but for the
// event's place in the usage of a short line, and every named line with
// nothing after its name is short, as is a line that a NUL ends before its
// name.  A name that reaches the 4096th character names no event.  The
// first eight bytes, taken as a double of a magnitude's size, are printed
// by the program's printer and by printf, which must agree.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "entry.h"
#include "number_text.h"

namespace {

bool all_white(const std::string &s) { return s.find_first_not_of(" \t\r\v\f") == std::string::npos; }

Result run_form(const char *form, const std::string &input)
{
    char prog[] = "pelmor", arg[3];
    snprintf(arg, sizeof arg, "%s", form);
    FILE *in = fopen(input_file(input), "r");
    if (!in)
        abort();
    Result r = run_entry([in](int argc, char **argv, FILE *o, FILE *e) { return pelmor(argc, argv, in, o, e); },
                         {prog, arg});
    fclose(in);
    return r;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        size_t end = nl == std::string::npos ? text.size() : nl;
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// The weights of n sorted magnitudes: N, and the mean of m as given.
int weigh(std::vector<double> m, double *mean)
{
    std::sort(m.begin(), m.end());
    int n = static_cast<int>(m.size()), k = static_cast<int>(std::floor(n * 0.125 + 1e-5)), count = 0;
    double sum = 0, weights = 0;
    for (int i = 0; i < n; i++) {
        double w = n <= 3 || (i > k && i < n - k - 1) ? 1 : i == k || i == n - k - 1 ? k + 1 - n * 0.125 : 0;
        sum += w * m[i];
        weights += w;
        count += w > 0;
    }
    *mean = sum / weights;
    return count;
}

struct Expected {
    std::vector<double> ml;  // as "pelmor -" prints them
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size >= 8) {
        double value;
        char fast[magnitude_max], slow[64];
        memcpy(&value, data, sizeof value);
        if (std::fabs(value) < 1e30 || !std::isfinite(value)) {
            size_t n = format_magnitude(fast, value, '\t');
            snprintf(slow, sizeof slow, "%4.2f\t", value);
            if (std::string(fast, n) != slow)
                abort();
        }
    }

    std::string input(reinterpret_cast<const char *>(data), size), rests;
    std::vector<std::string> names;
    std::vector<bool> ended;  // the name ends within the judged text
    for (const std::string &line : lines_of(input)) {
        std::string bare = line;  // a CR before the line end belongs to it
        if (!bare.empty() && bare.back() == '\r')
            bare.pop_back();
        std::string judged = bare.substr(0, 4096), text = judged.substr(0, judged.find('\0'));
        size_t at = std::min(text.find_first_not_of(" \t"), text.size());
        size_t end = std::min(text.find_first_of(" \t", at), text.size());
        names.push_back(text.substr(at, end - at));
        ended.push_back(!(bare.size() > 4096 && end == 4096));
        rests += line.substr(0, at) + std::string(end - at, ' ') + line.substr(end) + "\n";  // the name blanked out
    }
    Result bulletin = run_form("-", rests), events = run_form("-n", input);

    // The messages of "pelmor -", one a line at most, by line number.
    std::map<size_t, std::string> said;
    for (const std::string &message : lines_of(bulletin.err)) {
        size_t number = strtoul(message.c_str() + strlen("pelmor: line "), nullptr, 10);
        std::string text = message.substr(message.find(": ", strlen("pelmor: ")) + 2);
        said[number] = text == "expected <ampl> <km-distance>" ? "expected <event> <ampl> <km-distance>" : text;
    }
    std::vector<std::string> outputs = lines_of(bulletin.out), order, rest_lines = lines_of(rests);
    std::map<std::string, Expected> filed;
    std::string err;
    for (size_t i = 0; i < names.size(); i++) {
        std::string judged = rest_lines[i].substr(0, 4096), text = judged.substr(0, judged.find('\0'));
        bool white_rest = all_white(text) && !said.count(i + 1);
        if (all_white(names[i]) && white_rest && text == judged)
            continue;  // blank: no NUL hides the rest of it
        if (white_rest)
            said[i + 1] = "expected <event> <ampl> <km-distance>";
        if (names[i].empty() || !ended[i])
            continue;  // a NUL before the event, or a name that the cut may have cut: no event named
        if (!filed.count(names[i]))
            order.push_back(names[i]);
        Expected &ev = filed[names[i]];
        if (!outputs[i].empty())
            ev.ml.push_back(strtod(outputs[i].c_str(), nullptr));
    }
    for (const auto &[number, text] : said)
        err += "pelmor: line " + std::to_string(number) + ": " + text + "\n";
    if (events.err != err || events.status != (err.empty() ? 0 : 1))
        abort();

    std::vector<std::string> got = lines_of(events.out);
    if (got.size() != order.size())
        abort();
    for (size_t i = 0; i < got.size(); i++) {
        const std::string &line = got[i], &name = order[i];
        if (line.compare(0, name.size() + 1, name + "\t") != 0)
            abort();
        std::string fields = line.substr(name.size() + 1);
        size_t tab1 = fields.find('\t'), tab2 = fields.find('\t', tab1 + 1);
        std::string ml = fields.substr(0, tab1), sd = fields.substr(tab1 + 1, tab2 - tab1 - 1);
        const std::vector<double> &m = filed[name].ml;
        double mean = 0;
        int n = m.empty() ? 0 : weigh(m, &mean);
        if (fields.substr(tab2 + 1) != std::to_string(n) || ml.empty() != (n == 0) || sd.empty() != (n < 2))
            abort();
        if (n > 0 && !(std::fabs(strtod(ml.c_str(), nullptr) - mean) <= 0.0101))
            abort();
        if (n > 1 && !(strtod(sd.c_str(), nullptr) >= 0))
            abort();
    }
    return 0;
}
