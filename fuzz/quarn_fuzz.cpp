// Fuzz target for quarn: the input is a latitude line, a longitude line and
// the catalogue.  Checks that quarn ends with 0 or 255, prints only lines of
// a decimal integer, prints only what "%d" reads at the start of some line,
// and prints exactly what a plain line-by-line reading of the catalogue with
// sscanf selects.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "entry.h"

namespace {

// The identifiers selected from the catalogue, one line each: every line is
// judged once, by its first 255 characters up to any NUL.
std::string selected(const std::string &content, float lat, float lon)
{
    std::string want;
    for (size_t at = 0; at < content.size();) {
        size_t nl = content.find('\n', at);
        size_t len = (nl == std::string::npos ? content.size() : nl + 1) - at;
        std::string piece = content.substr(at, len < 255 ? len : 255);
        at += len;
        const char *s = piece.c_str();
        float w, e, so, no;
        int id;
        const char *r = strstr(s, "-R");
        if (s[0] == '#' || s[0] == '\n' || strlen(s) < 20 || !r)
            continue;
        if (strncmp(s + 3, "30sec", 5) != 0 && strncmp(s + 4, "30sec", 5) != 0)
            continue;
        if (sscanf(r, "-R%f/%f/%f/%f", &w, &e, &so, &no) != 4)
            continue;
        if (!std::isfinite(w) || !std::isfinite(e) || !std::isfinite(so) || !std::isfinite(no))
            continue;
        if (so > lat || lat > no || w > lon || lon > e || sscanf(s, "%d", &id) != 1)
            continue;
        want += std::to_string(id) + "\n";
    }
    return want;
}

// Whether "%d" reads id at the start of some line of the catalogue.
bool read_at_line_start(const std::string &content, int id)
{
    for (size_t at = 0; at < content.size(); at = content.find('\n', at) + 1) {
        int v;
        if (sscanf(content.c_str() + at, "%d", &v) == 1 && v == id)
            return true;
        if (content.find('\n', at) == std::string::npos)
            break;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t a = input.find('\n');
    size_t b = a == std::string::npos ? a : input.find('\n', a + 1);
    if (b == std::string::npos)
        return 0;
    std::string lat = input.substr(0, a).c_str(), lon = input.substr(a + 1, b - a - 1).c_str();
    std::string content = input.substr(b + 1);

    std::string prog = "quarn";
    auto [status, printed, said] = run_entry(quarn, {prog.data(), lat.data(), lon.data(), input_file(content)});

    if (status != 0 && status != 255)
        abort();
    for (size_t at = 0; at < printed.size();) {
        size_t nl = printed.find('\n', at);
        if (nl == std::string::npos)
            abort();
        const char *line = printed.c_str() + at;
        size_t digits = nl - at - (*line == '-');
        if (digits == 0 || strspn(line + (*line == '-'), "0123456789") != digits)
            abort();
        if (!read_at_line_start(content, atoi(line)))
            abort();
        at = nl + 1;
    }

    float y, x;
    bool coords = sscanf(lat.c_str(), "%f", &y) == 1 && std::isfinite(y) &&
                  sscanf(lon.c_str(), "%f", &x) == 1 && std::isfinite(x);
    if (coords != (status == 0) || (status == 0 && (!said.empty() || printed != selected(content, y, x))))
        abort();
    return 0;
}
