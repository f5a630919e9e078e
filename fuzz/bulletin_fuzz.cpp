// Fuzz target for "pelmor -": the input is a bulletin.  Each output line
// must be what the one-call form prints for the first two fields of its
// input line (an empty line where that prints nothing or refuses them),
// each refused line must be reported by its number, and the reader of plain
// decimals must give the very float that sscanf("%f") gives.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define PELMOR_NO_MAIN
#include "pelmor.cpp"  // the reader of plain decimals is its own

#include "entry.h"

namespace {

int one_call(int argc, char **argv, FILE *out, FILE *err) { return pelmor(argc, argv, stdin, out, err); }

void same_as_sscanf(const std::string &field)
{
    float fast, slow;
    if (plain_decimal(field.c_str(), &fast) &&
        (sscanf(field.c_str(), "%f", &slow) != 1 || memcmp(&fast, &slow, sizeof fast) != 0))
        abort();
}

// What the bulletin line `text` must give: its output line, and the message
// it draws, if any.
void expect_line(std::string text, unsigned long number, std::string &out, std::string &err)
{
    text = text.substr(0, 255).c_str();  // judged by its first piece, up to a NUL
    std::string fields[2];
    size_t at = 0;
    for (std::string &f : fields) {
        at = text.find_first_not_of(" \t", at);
        size_t end = at == std::string::npos ? at : text.find_first_of(" \t", at);
        f = at == std::string::npos ? "" : text.substr(at, end - at);
        at = end;
        same_as_sscanf(f);
    }
    std::string where = "pelmor: line " + std::to_string(number) + ": ";
    if (fields[0].empty()) {
        out += "\n";
    } else if (fields[1].empty()) {
        out += "\n";
        err += where + "expected <ampl> <km-distance>\n";
    } else {
        char name[] = "pelmor";
        Result r = run_entry(one_call, {name, fields[0].data(), fields[1].data()});
        out += r.out.empty() ? "\n" : r.out;
        err += r.err.empty() ? "" : where + r.err;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
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
