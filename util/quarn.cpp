// quarn: the 30-arc-second topography datasets of a raster catalogue whose
// region holds a point.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "quarn.h"

using namespace quarn_sizes;

#ifndef QUARN_CATALOGUE
#define QUARN_CATALOGUE "/programs/sol2/gmt-3.3.4/share/dbase/grdraster.info"
#endif

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
    return 255;
}

// Reads the first piece of a line, at most piece_max characters, into str
// and passes over the rest of the line, so that every line is judged once
// and as a whole.  A terminator in the last place means the piece filled
// str; a NUL read from the line cannot put it there.
static bool read_line(FILE *in, char (&str)[piece_max + 1])
{
    str[piece_max] = 1;
#if HAVE_FGETS_UNLOCKED  // the C library's lock-free variant, where it has one
    if (!fgets_unlocked(str, sizeof str, in))
#else
    if (!fgets(str, sizeof str, in))
#endif
        return false;
    if (str[piece_max] == '\0' && str[piece_max - 1] != '\n')
        for (int c; (c = getc_unlocked(in)) != EOF && c != '\n';)
            ;
    return true;
}

// A whole number of at most seven digits is a float exactly, and when no
// '.', exponent or hex mark follows it, it is all that "%f" reads there.
// Returns the end of the number, or null to leave the text to sscanf.
static const char *whole(const char *s, float *v)
{
    const char *digits = s + (*s == '-' || *s == '+');
    const char *end = digits;
    int n = 0;
    while (*end >= '0' && *end <= '9' && end - digits < 8)
        n = n * 10 + (*end++ - '0');
    if (end == digits || end - digits > 7 || (*end && strchr(".eExX", *end)))
        return nullptr;
    *v = *s == '-' ? -static_cast<float>(n) : static_cast<float>(n);
    return end;
}

// Reads west, east, south and north as "-R%f/%f/%f/%f" does, plain whole
// numbers without the cost of sscanf.
static bool read_region(const char *s, float (&r)[4])
{
    const char *p = whole(s + 2, &r[0]);
    for (int i = 1; i < 4 && p; i++)
        p = *p == '/' ? whole(p + 1, &r[i]) : nullptr;
    return p || sscanf(s, "-R%f/%f/%f/%f", &r[0], &r[1], &r[2], &r[3]) == 4;
}

// Whether the catalogue record in str is a 30-second dataset whose region
// holds the point; a record that breaks the layout simply does not.  The
// text ends at a NUL, as every string function sees it.
static bool covers(const char *str, float lat, float lon)
{
    float r[4];
    if (str[0] == '#' || str[0] == '\n' || strlen(str) < 20)
        return false;
    if (memcmp(str + 3, "30sec", 5) != 0 && memcmp(str + 4, "30sec", 5) != 0)
        return false;
    const char *region = strstr(str, "-R");
    if (!region || !read_region(region, r))
        return false;
    // Any comparison with a NaN is false: such a region would hold every point.
    for (float bound : r)
        if (!std::isfinite(bound))
            return false;
    return !(r[2] > lat || lat > r[3] || r[0] > lon || lon > r[1]);
}

int quarn(int argc, char *argv[], FILE *out, FILE *err)
{
    const char *prog = argc > 0 && *argv[0] ? argv[0] : "quarn";
    static char inbuf[input_block];
    char str[piece_max + 1];
    float lat, lon;
    int id;

    if (argc < 3) {
        fprintf(err, "Usage: %s <lat> <lon> [<grdinfofile>]\n", prog);
        return close_output(out, err, prog, 255);
    }
    if (sscanf(argv[1], "%f", &lat) != 1 || !std::isfinite(lat)) {
        fputs("error reading latitude\n", err);
        return close_output(out, err, prog, 255);
    }
    if (sscanf(argv[2], "%f", &lon) != 1 || !std::isfinite(lon)) {
        fputs("error reading longitude\n", err);
        return close_output(out, err, prog, 255);
    }
    const char *infile = argc > 3 ? argv[3] : QUARN_CATALOGUE;
    FILE *in = fopen(infile, "r");
    if (!in) {
        fprintf(err, "%s: cannot open input file %s\n", prog, infile);
        return close_output(out, err, prog, 255);
    }
    setvbuf(in, inbuf, _IOFBF, sizeof inbuf);
    // The mark leaves at most six characters before its 's' for the
    // identifier, so what "%d" reads always fits an int.  Once a write has
    // failed, the rest of the catalogue would be read for nothing.
    int cause = 0;
    while (read_line(in, str))
        if (covers(str, lat, lon) && sscanf(str, "%d", &id) == 1 && fprintf(out, "%d\n", id) < 0) {
            cause = errno;
            break;
        }
    // A directory or a failing disk ends the reading early: not a catalogue read through.
    bool unread = ferror(in);
    fclose(in);
    if (unread) {
        fprintf(err, "%s: cannot read input file %s\n", prog, infile);
        return close_output(out, err, prog, 255, cause);
    }
    return close_output(out, err, prog, 0, cause);
}

#ifndef QUARN_NO_MAIN
int main(int argc, char *argv[]) { return quarn(argc, argv, stdout, stderr); }
#endif
