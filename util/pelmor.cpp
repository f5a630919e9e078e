// pelmor: local magnitude of an event from an amplitude and a distance in km,
// for one reading given as two arguments, or with "-" for a bulletin of
// readings on standard input, one a line.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "magn_ml.h"

// Closes standard output.  A write that failed, before the close or at it,
// is a failure, reported with the cause of the first that failed: `cause`
// holds the errno of one before, if any.  A closed descriptor with nothing
// to write is no failure.
static int close_output(FILE *out, FILE *err, const char *prog, int status, int cause = 0)
{
    if (fflush(out) != 0 && !cause)
        cause = errno;
    bool failed = ferror(out);
    if (fclose(out) != 0 && errno != EBADF) {
        failed = true;
        cause = cause ? cause : errno;
    }
    if (!failed)
        return status;
    fprintf(err, "%s: write error: %s\n", prog, strerror(cause ? cause : EIO));
    return 1;
}

// Only a finite amplitude above zero has a logarithm.
static bool has_logarithm(float ampl) { return ampl > 0 && std::isfinite(ampl); }

// Reads a reading written as plain decimals ("1234.5", "-0.012") as "%f"
// reads it, without the cost of sscanf; false leaves the text to sscanf.
// Digits worth less than 2^24 and at most ten decimals make both the digits
// and the power of ten exact floats, so their quotient in double precision,
// rounded to single, is the float nearest the decimal (the double rounding
// is harmless, as double has more than twice the digits of single plus two).
static bool plain_decimal(const char *text, float *value)
{
    static const double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};
    const char *p = text + (*text == '-' || *text == '+');
    uint32_t digits = 0;
    int decimals = 0;
    bool point = false, any = false;
    for (;; p++) {
        if (*p >= '0' && *p <= '9') {
            digits = digits * 10 + static_cast<uint32_t>(*p - '0');
            if (digits >= 1u << 24)
                return false;
            decimals += point;
            any = true;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    // A second point, an exponent or a hexadecimal mark would go on the number.
    if (!any || decimals > 10 || (*p && strchr(".eExX", *p)))
        return false;
    float v = static_cast<float>(digits / powers[decimals]);
    *value = *text == '-' ? -v : v;
    return true;
}

static bool read_number(const char *text, float *value)
{
    return plain_decimal(text, value) || sscanf(text, "%f", value) == 1;
}

// Writes a magnitude line as "%4.2f\n" does, without the cost of printf.
// The float is m / 2^k exactly, so m * 100 / 2^k is its hundredths and the
// remainder tells which way they round.  A tie, which C libraries may round
// either way, and a magnitude that is not finite or beyond a million are
// left to printf.
static int print_magnitude(FILE *out, float ml)
{
    uint32_t bits;
    memcpy(&bits, &ml, sizeof bits);
    uint32_t biased = bits >> 23 & 0xff;
    uint64_t m = biased ? (bits & 0x7fffff) | 0x800000 : bits & 0x7fffff;
    int k = biased ? 150 - static_cast<int>(biased) : 149;
    uint64_t hundredths = 0, rest = 0, half = 1;  // a tiny magnitude rounds to 0
    if (k < 40) {
        rest = m * 100;
        half = uint64_t{1} << (k - 1);
        hundredths = rest >> k;
        rest &= (uint64_t{1} << k) - 1;
    }
    if (biased == 0xff || k < 4 || rest == half)
        return fprintf(out, "%4.2f\n", static_cast<double>(ml));
    hundredths += rest > half;

    char text[16], *p = text + sizeof text;
    *--p = '\n';
    *--p = static_cast<char>('0' + hundredths % 10);
    *--p = static_cast<char>('0' + hundredths / 10 % 10);
    *--p = '.';
    uint64_t whole = hundredths / 100;
    do
        *--p = static_cast<char>('0' + whole % 10);
    while (whole /= 10);
    if (bits >> 31)
        *--p = '-';
    // A C library may count a failed write as done and only set the error flag.
    size_t n = static_cast<size_t>(text + sizeof text - p);
    return fwrite(p, 1, n, out) == n && !ferror(out) ? static_cast<int>(n) : -1;
}

// A bulletin read from standard input, one reading a line.
struct Bulletin {
    const char *prog;
    FILE *out, *err;
    unsigned long line;  // the number of the line being judged
    bool refused;        // a line was refused
    bool failed;         // a write failed: the rest would be written for nothing
    int cause;           // its errno
};

constexpr size_t line_max = 255;  // what a line is judged by

// Reads the first line_max characters of a line, without its newline, and
// passes over the rest; false at the end of the input.
static bool read_line(FILE *in, char *line)
{
    int c = getc_unlocked(in);
    if (c == EOF)
        return false;
    size_t n = 0;
    for (; c != EOF && c != '\n'; c = getc_unlocked(in))
        if (n < line_max)
            line[n++] = static_cast<char>(c);
    line[n] = '\0';
    return true;
}

// Writes the output line of one bulletin line, whose first two fields,
// separated by blanks or tabs, are read as the two arguments are: the
// magnitude, or an empty line where there is none or the line is refused.
static void judge(Bulletin &b, char *line)
{
    char *ampl_text = line + strspn(line, " \t");
    char *gap = ampl_text + strcspn(ampl_text, " \t");
    char *dist_text = gap + strspn(gap, " \t");
    dist_text[strcspn(dist_text, " \t")] = '\0';
    *gap = '\0';

    float ampl, dist;
    int ok = 0;
    float ml = 0;
    if (!*ampl_text) {
        // a blank line: no reading, and nothing wrong
    } else if (!*dist_text) {
        fprintf(b.err, "%s: line %lu: expected <ampl> <km-distance>\n", b.prog, b.line);
        b.refused = true;
    } else if (!read_number(ampl_text, &ampl) || !has_logarithm(ampl)) {
        fprintf(b.err, "%s: line %lu: illegal amplitude %s\n", b.prog, b.line, ampl_text);
        b.refused = true;
    } else if (!read_number(dist_text, &dist)) {
        fprintf(b.err, "%s: line %lu: illegal distance %s\n", b.prog, b.line, dist_text);
        b.refused = true;
    } else {
        ml = magn_ml(ampl, dist, &ok);
    }
    int written = ok ? print_magnitude(b.out, ml) : putc_unlocked('\n', b.out);
    if (written < 0) {
        b.failed = true;
        b.cause = errno;
    }
}

// "pelmor -": a magnitude line for every line of standard input.
static int bulletin(const char *prog, FILE *in, FILE *out, FILE *err)
{
    Bulletin b{prog, out, err, 0, false, false, 0};
    char line[line_max + 1];
    while (!b.failed && read_line(in, line)) {
        b.line++;
        judge(b, line);
    }
    if (ferror(in)) {
        fprintf(err, "%s: cannot read standard input\n", prog);
        b.refused = true;
    }
    return close_output(out, err, prog, b.refused ? 1 : 0, b.cause);
}

int pelmor(int argc, char *argv[], FILE *in, FILE *out, FILE *err)
{
    const char *prog = argc > 0 && *argv[0] ? argv[0] : "pelmor";
    float ampl, dist;
    int ok;

    if (argc == 2 && strcmp(argv[1], "-") == 0)
        return bulletin(prog, in, out, err);
    if (argc != 3) {
        fprintf(err, "Usage: %s <ampl> <km-distance>\n", prog);
        return close_output(out, err, prog, 1);
    }
    if (sscanf(argv[1], "%f", &ampl) != 1 || !has_logarithm(ampl)) {
        fprintf(err, "illegal amplitude %s\n", argv[1]);
        return close_output(out, err, prog, 1);
    }
    if (sscanf(argv[2], "%f", &dist) != 1) {
        fprintf(err, "illegal distance %s\n", argv[2]);
        return close_output(out, err, prog, 1);
    }
    float ml = magn_ml(ampl, dist, &ok);
    int cause = 0;
    if (ok && fprintf(out, "%4.2f\n", static_cast<double>(ml)) < 0)
        cause = errno;
    return close_output(out, err, prog, 0, cause);
}

#ifndef PELMOR_NO_MAIN
int main(int argc, char *argv[]) { return pelmor(argc, argv, stdin, stdout, stderr); }
#endif
