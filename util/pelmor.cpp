// pelmor: local magnitude of an event from an amplitude and a distance in km,
// for one reading given as two arguments, or with "-" for a bulletin of
// readings on standard input, one a line; with "-n" the network magnitude
// of each event of such a bulletin, whose lines begin with the event.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bulletin.h"
#include "events.h"
#include "magn_ml.h"
#include "number_text.h"
#include "pelmor.h"

// Closes standard output.  A write that failed, before the close (`cause`
// holds its errno) or at it, is reported with the cause of the first.  A
// closed descriptor with nothing to write is no failure.
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

// A number as read from its text: whether there was one, and its value.
struct Number {
    bool read;
    float value;
};

// What a reading gives: a magnitude, none (the distance lies outside the
// table), or a refusal of one of its numbers.
enum class Reading { magnitude, out_of_range, illegal_amplitude, illegal_distance };

// The one judgement of a reading, for every form: the amplitude first, which
// has a logarithm only when it is finite and above zero.
static Reading judge_reading(Number ampl, Number dist, float *ml)
{
    int ok;
    if (!ampl.read || !(ampl.value > 0 && std::isfinite(ampl.value)))
        return Reading::illegal_amplitude;
    if (!dist.read)
        return Reading::illegal_distance;
    *ml = magn_ml(ampl.value, dist.value, &ok);
    return ok ? Reading::magnitude : Reading::out_of_range;
}

// A bulletin being judged, for "-" or for "-n".
struct Run {
    const char *prog;
    FILE *err;
    Bulletin &b;
    Events *events;        // for "-n", else null
    const char *expected;  // what a line of too few fields lacks
    bool refused;          // a line was refused
    bool out_of_memory;
};

// Reports a refused line, after the answers before it, so that messages
// and magnitudes keep the order of the bulletin where both go to one place.
static void refuse(Run &r, const char *why, const char *field = "")
{
    bulletin_hand_over(r.b);
    fprintf(r.err, "%s: line %lu: %s%s\n", r.prog, r.b.lines, why, field);
    r.refused = true;
}

static bool is_blank(char c) { return c == ' ' || c == '\t'; }

static char *skip_blanks(char *p)
{
    while (is_blank(*p))
        p++;
    return p;
}

static char *field_end(char *p)
{
    while (*p && !is_blank(*p))
        p++;
    return p;
}

// Whether the text holds nothing but blanks, tabs, CRs, VTs and FFs.
static bool only_white(const char *p)
{
    while (is_blank(*p) || *p == '\r' || *p == '\v' || *p == '\f')
        p++;
    return !*p;
}

// Reads the field at text as its argument is read, and returns its end: a
// plain decimal that ends the field at once, anything else from it alone.
static inline char *read_field(char *text, Number *n)
{
    char *end = const_cast<char *>(read_plain_decimal(text, &n->value));
    if (end && (!*end || is_blank(*end)))
        return n->read = true, end;
    end = field_end(text);
    char stop = *end;
    *end = '\0';
    n->read = *text && read_number(text, &n->value);
    *end = stop;
    return end;
}

// Judges a bulletin line: for "-n" its first field is the event, and the
// next two, separated by blanks or tabs, are read as the arguments are.
// In a line cut at line_max a field that reaches the cut may be cut too:
// the line is refused, and its event listed only when its name ends first.
// A line of white space only is blank, but not one that holds a NUL.
static void judge_line(Run &r, const Line &line)
{
    char *end = line.text + line.len, *name = line.text, *text = line.text;
    if (r.events)
        text = field_end(name = skip_blanks(line.text));
    size_t name_len = static_cast<size_t>(text - name);
    Number ampl, dist;
    char *ampl_text = skip_blanks(text);
    char *gap = read_field(ampl_text, &ampl);
    char *dist_text = skip_blanks(gap);
    char *dist_end = read_field(dist_text, &dist);
    float ml = 0;
    Reading reading = Reading::out_of_range;
    if (line.cut && dist_end == end) {
        refuse(r, "line too long");
        name_len = text == end ? 0 : name_len;
    } else if (only_white(line.text) && !memchr(line.text, '\0', line.len)) {
        name_len = 0;  // no reading, and nothing wrong
    } else if (!*dist_text || only_white(text)) {
        refuse(r, r.expected);
    } else {
        *gap = *dist_end = '\0';
        reading = judge_reading(ampl, dist, &ml);
        if (reading == Reading::illegal_amplitude)
            refuse(r, "illegal amplitude ", ampl_text);
        else if (reading == Reading::illegal_distance)
            refuse(r, "illegal distance ", dist_text);
    }
    if (!r.events) {  // the magnitude, or an empty line
        char *answer = bulletin_room(r.b, magnitude_max);
        r.b.pending += reading == Reading::magnitude ? format_magnitude(answer, ml, '\n') : (*answer = '\n', 1);
    } else if (name_len > 0 && !events_file(*r.events, name, name_len, reading == Reading::magnitude ? &ml : nullptr))
        r.out_of_memory = true;
}

// The line of an event, "EVENT<TAB>ML<TAB>SD<TAB>N": its network magnitude,
// the spread of its station magnitudes and how many count.  No magnitude is
// an empty field, as in the lines of "pelmor -", and so is the spread of one.
static_assert(pelmor_sizes::output_block >= pelmor_sizes::line_max + 2 * magnitude_max + 16, "an event's line fits the answers");
static void put_event(Bulletin &b, Events &e, const Event &ev)
{
    double network = 0, spread = -1;
    int n = magn_ml_network(e.grouped + ev.first, ev.n, &network, &spread);
    char *line = bulletin_room(b, ev.name_len + 2 * magnitude_max + 16), *p = line + ev.name_len;
    memcpy(line, e.names + ev.name, ev.name_len);
    *p++ = '\t';
    p += n > 0 ? format_magnitude(p, network, '\t') : (*p = '\t', 1);
    p += n > 1 ? format_magnitude(p, spread, '\t') : (*p = '\t', 1);
    p += snprintf(p, 16, "%d\n", n);
    b.pending += static_cast<size_t>(p - line);
}

// "pelmor -": an answer for every line of standard input; "pelmor -n": a
// line for every event, once the input is read.  With "-n" a read error or
// memory that runs out leaves every event unlisted, as an average of part
// of an event would pass for the whole.
static int bulletin(const char *prog, FILE *in, FILE *out, FILE *err, Events *events)
{
    static Bulletin b;  // its blocks are the run's own, not the stack's, which may be small
    bulletin_open(b, fileno(in), out);
    Run r{prog, err, b, events, events ? "expected <event> <ampl> <km-distance>" : "expected <ampl> <km-distance>",
          false, false};
    for (Line line; !r.out_of_memory && bulletin_line(b, line);)
        judge_line(r, line);
    bulletin_hand_over(b);
    if (b.read_error) {
        fprintf(err, "%s: cannot read standard input: %s\n", prog, strerror(b.read_error));
        r.refused = true;
    } else if (r.out_of_memory) {
        fprintf(err, "%s: out of memory\n", prog);
        r.refused = true;
    } else if (events) {
        events_group(*events);
        for (size_t i = 0; i < events->count; i++)
            put_event(b, *events, events->list[i]);
        bulletin_hand_over(b);
    }
    return close_output(out, err, prog, r.refused ? 1 : 0, b.write_error);
}

int pelmor(int argc, char *argv[], FILE *in, FILE *out, FILE *err)
{
    const char *prog = argc > 0 && *argv[0] ? argv[0] : "pelmor";

    if (argc == 2 && strcmp(argv[1], "-") == 0)
        return bulletin(prog, in, out, err, nullptr);
    if (argc == 2 && strcmp(argv[1], "-n") == 0) {
        Events events;
        events_open(events);
        int status = bulletin(prog, in, out, err, &events);
        events_close(events);
        return status;
    }
    if (argc != 3) {
        fprintf(err, "Usage: %s <ampl> <km-distance>\n", prog);
        return close_output(out, err, prog, 1);
    }
    Number ampl, dist;
    ampl.read = read_number(argv[1], &ampl.value);
    dist.read = read_number(argv[2], &dist.value);
    float ml = 0;
    Reading reading = judge_reading(ampl, dist, &ml);
    if (reading == Reading::illegal_amplitude) {
        fprintf(err, "illegal amplitude %s\n", argv[1]);
        return close_output(out, err, prog, 1);
    }
    if (reading == Reading::illegal_distance) {
        fprintf(err, "illegal distance %s\n", argv[2]);
        return close_output(out, err, prog, 1);
    }
    int cause = 0;
    if (reading == Reading::magnitude) {
        char text[magnitude_max];
        size_t n = format_magnitude(text, ml, '\n');
        if (fwrite(text, 1, n, out) != n || ferror(out))
            cause = errno;
    }
    return close_output(out, err, prog, 0, cause);
}

#ifndef PELMOR_NO_MAIN
int main(int argc, char *argv[]) { return pelmor(argc, argv, stdin, stdout, stderr); }
#endif
