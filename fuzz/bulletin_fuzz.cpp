// Fuzz target for "pelmor -": the input is a bulletin.  Each output line
// must be what sscanf("%f"), magn_ml and printf("%4.2f\n") make of the first
// two fields of its input line (an empty line where there is no magnitude),
// each refused line must be reported by its number, the one-call form must
// agree, and the reader of plain decimals must give the very float that
// sscanf("%f") gives.  The first four bytes, taken as a float, are
// printed by the program's printer and by printf, which must agree.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "entry.h"
#include "magn_ml.h"
#include "number_text.h"

namespace {

int one_call(int argc, char **argv, FILE *out, FILE *err) { return pelmor(argc, argv, stdin, out, err); }

// The reader of plain decimals gives the very float that sscanf gives.
void same_as_sscanf(const std::string &field)
{
    float fast, slow;
    if (read_plain_decimal(field.c_str(), &fast) &&
        (sscanf(field.c_str(), "%f", &slow) != 1 || memcmp(&fast, &slow, sizeof fast) != 0))
        abort();
}

// The output and the message of a reading, read and printed by the C library.
void expect_reading(const std::string &ampl_text, const std::string &dist_text, std::string &out, std::string &err)
{
    float ampl, dist;
    int ok;
    char text[64];
    if (sscanf(ampl_text.c_str(), "%f", &ampl) != 1 || !(ampl > 0 && std::isfinite(ampl))) {
        err = "illegal amplitude " + ampl_text + "\n";
    } else if (sscanf(dist_text.c_str(), "%f", &dist) != 1) {
        err = "illegal distance " + dist_text + "\n";
    } else {
        float ml = magn_ml(ampl, dist, &ok);
        snprintf(text, sizeof text, "%4.2f\n", static_cast<double>(ml));
        out = ok ? text : "";
    }
    static int calls;  // the one-call form for a few readings an input: it is slow
    if (calls++ % 64 >= 8)
        return;
    std::string a = ampl_text, d = dist_text;
    char name[] = "pelmor";
    Result r = run_entry(one_call, {name, a.data(), d.data()});
    if (r.out != out || r.err != err)
        abort();
}

// What the bulletin line `line` must give: its output line, and the message
// it draws, if any.
void expect_line(std::string line, unsigned long number, std::string &out, std::string &err)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    bool cut = line.size() > 4096;
    std::string judged = line.substr(0, 4096), text = judged.c_str();  // judged by its start, up to a NUL
    std::string fields[2];
    size_t at = 0;
    for (std::string &f : fields) {
        at = text.find_first_not_of(" \t", at);
        size_t end = at == std::string::npos ? at : text.find_first_of(" \t", at);
        f = at == std::string::npos ? "" : text.substr(at, end - at);
        at = end;
        same_as_sscanf(f);
    }
    std::string where = "pelmor: line " + std::to_string(number) + ": ", o, e;
    if (cut && at == std::string::npos && text.size() == 4096)
        e = "line too long\n";
    else if (text.find_first_not_of(" \t\r\v\f") == std::string::npos && text == judged)
        ;  // blank
    else if (fields[1].empty() || text.find_first_not_of(" \t\r\v\f") == std::string::npos)
        e = "expected <ampl> <km-distance>\n";  // one field, or a NUL before the first
    else
        expect_reading(fields[0], fields[1], o, e);
    out += o.empty() ? "\n" : o;
    err += e.empty() ? "" : where + e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size >= 4) {
        float ml;
        char fast[magnitude_max], slow[64];
        memcpy(&ml, data, sizeof ml);
        size_t n = format_magnitude(fast, ml, '\n');
        snprintf(slow, sizeof slow, "%4.2f\n", static_cast<double>(ml));
        if (std::string(fast, n) != slow)
            abort();
    }

    std::string input(reinterpret_cast<const char *>(data), size);
    std::string out, err;
    unsigned long number = 0;
    for (size_t at = 0; at < input.size();) {
        size_t nl = input.find('\n', at);
        size_t end = nl == std::string::npos ? input.size() : nl;
        expect_line(input.substr(at, end - at), ++number, out, err);
        at = end + 1;
    }

    char prog[] = "pelmor", dash[] = "-";
    FILE *in = fopen(input_file(input), "r");
    if (!in)
        abort();
    Result r = run_entry([in](int argc, char **argv, FILE *o, FILE *e) { return pelmor(argc, argv, in, o, e); },
                         {prog, dash});
    fclose(in);
    if (r.out != out || r.err != err || r.status != (err.empty() ? 0 : 1))
        abort();
    return 0;
}
