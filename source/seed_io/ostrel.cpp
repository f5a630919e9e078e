// ostrel: the seismic network of a station, from a stream name ("bfo-bh-z"),
// for each stream name given.
#include <cerrno>
#include <cstdio>
#include <cstring>

// Stations whose code begins with these four characters: the first two
// exactly, the third and the fourth within a range.
struct Pattern {
    char first, second, third_lo, third_hi, fourth_lo, fourth_hi;
    const char *label;
};

static const Pattern patterns[] = {
    {'G', 'R', 'A', 'C', '1', '5', "GRF"},
    {'G', 'E', 'A', 'D', '0', '9', "GERESS"},
};

// Stations of the German Regional Seismic Network, known by their whole code.
static const char *const grsn[] = {
    "BFO", "BRG", "BRNL", "BUG", "CLL", "CLZ", "FUR",
    "GRFO", "GSH", "LID", "MOX", "STU", "TNS", "WET",
};

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

// Cuts the stream name at its first '-' or ',' to leave the station code, and
// raises a to z to upper case; every other byte stays, whatever the locale.
// The name is changed in place, so a code of any length is held whole.
static char *station_code(char *stream)
{
    for (char *cptr = stream; *cptr; cptr++) {
        if (*cptr == '-' || *cptr == ',') {
            *cptr = '\0';
            break;
        }
        if (*cptr >= 'a' && *cptr <= 'z')
            *cptr = static_cast<char>(*cptr - 'a' + 'A');
    }
    return stream;
}

// Stops at the first character that fails, so a short code fails at its end.
static bool matches(const Pattern &p, const char *code)
{
    return code[0] == p.first && code[1] == p.second &&
           code[2] >= p.third_lo && code[2] <= p.third_hi &&
           code[3] >= p.fourth_lo && code[3] <= p.fourth_hi;
}

static const char *network(const char *code)
{
    for (const Pattern &p : patterns)
        if (matches(p, code))
            return p.label;
    for (const char *member : grsn)
        if (strcmp(code, member) == 0)
            return "GRSN";
    return code;
}

// One label line.  A C library may count a failed write as done and only
// set the error flag, which the caller looks at.
static bool write_label(FILE *out, const char *label)
{
    return fputs(label, out) != EOF && putc_unlocked('\n', out) != EOF;
}

int ostrel(int argc, char *argv[], FILE *out, FILE *err)
{
    const char *prog = argc > 0 && *argv[0] ? argv[0] : "ostrel";

    if (argc < 2) {
        fprintf(err, "Usage: %s <stream>\n", prog);
        return close_output(out, err, prog, 1);
    }
    // The labels go out in the stream's blocks; once one has failed, the
    // rest would be written for nothing.
    int cause = 0;
    for (int i = 1; i < argc && !ferror(out); i++)
        if (!write_label(out, network(station_code(argv[i]))))
            cause = errno;
    return close_output(out, err, prog, 0, cause);
}

#ifndef OSTREL_NO_MAIN
int main(int argc, char *argv[]) { return ostrel(argc, argv, stdout, stderr); }
#endif
