// pelmor: local magnitude of an event from an amplitude and a distance in km,
// for one reading given as two arguments, or with "-" for a bulletin of
// readings on standard input, one a line; with "-n" the network magnitude
// of each event of such a bulletin, whose lines begin with the event.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "events.h"
#include "magn_ml.h"
#include "pelmor.h"

using namespace pelmor_sizes;

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
// reads it, without the cost of sscanf, and returns the end of the number;
// null leaves the text to sscanf.
// At most nine digits, worth less than 2^24, make both the digits and the
// power of ten exact, so their quotient in double precision, rounded to
// single, is the float nearest the decimal (the double rounding is harmless,
// as double has more than twice the digits of single plus two).
static const char *plain_decimal(const char *text, float *value)
{
    static const double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    const char *first = text + (*text == '-' || *text == '+'), *p = first;
    uint32_t digits = 0;  // wraps beyond nine digits, which are refused below
    unsigned d;
    for (; (d = static_cast<unsigned>(static_cast<unsigned char>(*p) - '0')) < 10; p++)
        digits = digits * 10 + d;
    size_t whole = static_cast<size_t>(p - first), decimals = 0;
    if (*p == '.') {
        const char *fraction = ++p;
        for (; (d = static_cast<unsigned>(static_cast<unsigned char>(*p) - '0')) < 10; p++)
            digits = digits * 10 + d;
        decimals = static_cast<size_t>(p - fraction);
    }
    // A second point, an exponent or a hexadecimal mark would go on the number.
    if (whole + decimals == 0 || whole + decimals > 9 || digits >= 1u << 24 || *p == '.' ||
        (*p | 0x20) == 'e' || (*p | 0x20) == 'x')
        return nullptr;
    float v = static_cast<float>(digits / powers[decimals]);
    *value = *text == '-' ? -v : v;
    return p;
}

static bool read_number(const char *text, float *value)
{
    return plain_decimal(text, value) || sscanf(text, "%f", value) == 1;
}

// A number as read from its text: whether there was one, and its value.
struct Number {
    bool read;
    float value;
};

// What a reading gives: a magnitude, none (the distance lies outside the
// table), or a refusal of one of its numbers.
enum class Reading { magnitude, out_of_range, illegal_amplitude, illegal_distance };

// The one judgement of an amplitude and a distance, for both forms.  The
// amplitude is tested first: when both are bad, it is the one refused.
static Reading judge_reading(Number ampl, Number dist, float *ml)
{
    int ok;
    if (!ampl.read || !has_logarithm(ampl.value))
        return Reading::illegal_amplitude;
    if (!dist.read)
        return Reading::illegal_distance;
    *ml = magn_ml(ampl.value, dist.value, &ok);
    return ok ? Reading::magnitude : Reading::out_of_range;
}

// "%4.2f" and a character after it, of any float and of the network
// magnitudes and spreads, which lie well within a float's range; and more.
constexpr size_t magnitude_max = 48;

// Writes a magnitude into text as "%4.2f" does, and `end` after it, without
// the cost of printf, and returns the length.  The double is m / 2^k
// exactly, so m * 100 / 2^k is its hundredths and the remainder tells which
// way they round.  A tie, which C libraries may round either way, and a
// magnitude that is not finite or beyond 2^49 are left to snprintf.  (As
// "%.2f" gives at least four characters, it prints the same.)
static size_t format_magnitude(char *text, double ml, char end)
{
    uint64_t bits;
    memcpy(&bits, &ml, sizeof bits);
    uint64_t biased = bits >> 52 & 0x7ff, fraction = bits & ((uint64_t{1} << 52) - 1);
    uint64_t m = biased ? fraction | uint64_t{1} << 52 : fraction;
    int k = biased ? 1075 - static_cast<int>(biased) : 1074;
    uint64_t hundredths = 0, rest = 0, half = 1;  // a tiny magnitude rounds to 0
    if (k >= 4 && k < 64) {
        rest = m * 100;
        half = uint64_t{1} << (k - 1);
        hundredths = rest >> k;
        rest &= (uint64_t{1} << k) - 1;
    }
    if (biased == 0x7ff || k < 4 || rest == half)
        return static_cast<size_t>(snprintf(text, magnitude_max, "%4.2f%c", ml, end));
    hundredths += rest > half;

    uint64_t whole = hundredths / 100;
    size_t n = 5 + (bits >> 63);  // sign, a digit, point, two decimals, end
    for (uint64_t w = whole; w >= 10; w /= 10)
        n++;
    char *p = text + n;
    *--p = end;
    *--p = static_cast<char>('0' + hundredths % 10);
    *--p = static_cast<char>('0' + hundredths / 10 % 10);
    *--p = '.';
    do
        *--p = static_cast<char>('0' + whole % 10);
    while (whole /= 10);
    if (bits >> 63)
        *--p = '-';
    return n;
}

// Standard output, written in blocks: the lines gather in `text`.
struct Output {
    FILE *out;
    size_t pending;  // bytes in text not yet handed to out
    int cause;       // the errno of the first write that failed, or 0
    bool failed;     // a write failed: the rest would be written for nothing
    char text[output_block];
};

// Hands the gathered lines to out and has them written.  A C library may
// count a failed write as done and only set the error flag, so both tell
// of a failure.
static void hand_over(Output &o)
{
    if (!o.failed && (fwrite(o.text, 1, o.pending, o.out) != o.pending || fflush(o.out) != 0 || ferror(o.out))) {
        o.failed = true;
        o.cause = errno;
    }
    o.pending = 0;
}

// Adds the output line of a reading: the magnitude, or an empty line.
static void put_line(Output &o, Reading reading, float ml)
{
    if (o.pending + magnitude_max > sizeof o.text)
        hand_over(o);
    if (reading == Reading::magnitude)
        o.pending += format_magnitude(o.text + o.pending, ml, '\n');
    else
        o.text[o.pending++] = '\n';
}

// Adds text of any length.
static void put_text(Output &o, const char *text, size_t len)
{
    for (size_t n; len > 0; text += n, len -= n) {
        if (o.pending == sizeof o.text)
            hand_over(o);
        n = std::min(len, sizeof o.text - o.pending);
        memcpy(o.text + o.pending, text, n);
        o.pending += n;
    }
}

// Writes a field of the line of an event and the tab after it: a
// magnitude, or nothing when there is none.
static size_t format_field(char *text, bool given, double value)
{
    if (given)
        return format_magnitude(text, value, '\t');
    *text = '\t';
    return 1;
}

// Adds the line of an event, "EVENT<TAB>ML<TAB>SD<TAB>N": its network
// magnitude, the spread of its station magnitudes and how many count.  No
// magnitude is an empty field, as in the lines of "pelmor -", and so is
// the spread of one.
static void put_event(Output &o, Events &e, const Event &ev)
{
    double network = 0, spread = -1;
    int n = magn_ml_network(events_magnitudes(e, ev), ev.n, &network, &spread);
    char figures[2 * magnitude_max + 1], *p = figures, digits[16], *d = digits + sizeof digits;
    *p++ = '\t';
    p += format_field(p, n > 0, network);
    p += format_field(p, n > 1, spread);
    *--d = '\n';
    unsigned count = static_cast<unsigned>(n);
    do
        *--d = static_cast<char>('0' + count % 10);
    while (count /= 10);
    put_text(o, e.names + ev.name, ev.name_len);
    put_text(o, figures, static_cast<size_t>(p - figures));
    put_text(o, d, static_cast<size_t>(digits + sizeof digits - d));
}

// A bulletin read from standard input, one reading a line.  For "-n" each
// line begins with the name of its event, and the readings are filed under
// their events instead of printed.
struct Bulletin {
    const char *prog;
    FILE *err;
    Output &o;
    Events *events;        // for "-n", else null
    const char *expected;  // what a line of too few fields lacks
    unsigned long line;    // the number of the line being judged
    bool refused;          // a line was refused
    bool out_of_memory;
    // The event name of the line: at `name` in the block, or, with `name`
    // null, gathered in the events when it goes on past a block or its
    // block is to be read over.
    const char *name;
    size_t name_len;
};

static_assert(input_block > line_max + 1, "a block holds the start of any line");

// Reports a refused line, after the lines before it, so that messages and
// magnitudes keep the order of the bulletin where both go to one place.
static void refuse(Bulletin &b, const char *why, const char *field = "")
{
    hand_over(b.o);
    fprintf(b.err, "%s: line %lu: %s%s\n", b.prog, b.line, why, field);
    b.refused = true;
}

static bool is_blank(char c) { return c == ' ' || c == '\t'; }
static bool is_white(char c) { return is_blank(c) || c == '\r' || c == '\v' || c == '\f'; }

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

// Reads the field at text as the argument it stands for is read, and
// returns its end.  A plain decimal that ends the field is all there is to
// read; anything else is read from the field alone.
static inline char *read_field(char *text, Number *n)
{
    char *end = const_cast<char *>(plain_decimal(text, &n->value));
    if (end && (!*end || is_blank(*end)))
        return n->read = true, end;
    end = field_end(text);
    char stop = *end;
    *end = '\0';
    n->read = *text && read_number(text, &n->value);
    *end = stop;
    return end;
}

// The event name of the line being judged.
static const char *event_name(const Bulletin &b)
{
    return b.name || !b.events ? b.name : events_gathered(*b.events);
}

// Whether the line names no event: it has no name, or one of white space.
static bool unnamed(const Bulletin &b)
{
    const char *name = event_name(b);
    for (size_t i = 0; i < b.name_len; i++)
        if (!is_white(name[i]))
            return false;
    return true;
}

// Files a reading under the event the line names, which is listed even
// when the reading gives no magnitude.
static void file_reading(Bulletin &b, Reading reading, float ml)
{
    Event *ev = events_find(*b.events, event_name(b), b.name_len);
    if (!ev || (reading == Reading::magnitude && !events_file(*b.events, *ev, ml)))
        b.out_of_memory = true;
}

// Judges one bulletin line, whose first two fields, separated by blanks or
// tabs, are read as the two arguments are, and writes its output line or
// files its reading.  The text ends at a NUL, the line after `len`
// characters; `cut` tells that the line goes on beyond them, so that a
// field which reaches the end may be only the start of one.  A line of
// "-n" that a NUL ends before its event is no blank line, but names no
// event.
static void judge_line(Bulletin &b, char *text, size_t len, bool cut)
{
    Number ampl, dist;
    char *ampl_text = skip_blanks(text);
    char *gap = read_field(ampl_text, &ampl);
    char *dist_text = skip_blanks(gap);
    char *dist_end = read_field(dist_text, &dist);
    float ml = 0;
    Reading reading = Reading::out_of_range;
    bool white = !*ampl_text || (is_white(*ampl_text) && !text[strspn(text, " \t\r\v\f")]);
    bool blank = false;
    if (cut && dist_end == text + line_max) {
        refuse(b, "line too long");
    } else if (white && unnamed(b) && !(b.events && memchr(text, '\0', len))) {
        blank = true;  // no reading, and nothing wrong
    } else if (white || !*dist_text) {
        refuse(b, b.expected);
    } else {
        *gap = *dist_end = '\0';
        reading = judge_reading(ampl, dist, &ml);
        if (reading == Reading::illegal_amplitude)
            refuse(b, "illegal amplitude ", ampl_text);
        else if (reading == Reading::illegal_distance)
            refuse(b, "illegal distance ", dist_text);
    }
    if (!b.events)
        put_line(b.o, reading, ml);
    else if (blank || b.name_len == 0)
        b.events->gathered = 0;
    else
        file_reading(b, reading, ml);
}

// Judges the line of len characters at text, its line end left off; the
// byte after it may be overwritten.  A CR before the line end belongs to it.
static void judge_text(Bulletin &b, char *text, size_t len)
{
    b.line++;
    if (len > 0 && text[len - 1] == '\r')
        len--;
    bool cut = len > line_max;
    size_t judged = cut ? line_max : len;
    text[judged] = '\0';
    judge_line(b, text, judged, cut);
}

// Gathers a piece of the event name in the events.  False when memory ran out.
static bool gather(Bulletin &b, const char *piece, size_t len)
{
    if (!events_gather(*b.events, piece, len))
        b.out_of_memory = true;
    return !b.out_of_memory;
}

// Takes the event name at p, the start of a line or of what was not read
// of its name, to where it ends, and returns the rest of the line, which
// is judged as a line of "pelmor -" is.  A name that goes on past the
// block is gathered in the events: null is returned, and the name read on
// in the next block.  Where the rest of a line was kept, the name gathered
// ends at its start.  A CR before the line end belongs to the line end.
static char *take_name(Bulletin &b, char *p, char *end)
{
    Events &e = *b.events;
    *end = '\n';  // the end of the block ends the scans
    if (!e.gathered)
        p = skip_blanks(p);
    char *q = p + strcspn(p, " \t\n");  // or a NUL
    b.name = p;
    b.name_len = static_cast<size_t>(q - p);
    if (q == end || e.gathered) {
        if (!gather(b, p, b.name_len) || q == end)
            return nullptr;
        b.name = nullptr;
        b.name_len = e.gathered;
    }
    if (*q == '\n' && b.name_len > 0 && event_name(b)[b.name_len - 1] == '\r')
        b.name_len--;
    return q;
}

// Before the block is read over, the name of a line that goes on past it
// is gathered in the events.  False when memory ran out.
static bool keep_name(Bulletin &b)
{
    if (!b.name)
        return true;
    const char *name = b.name;
    b.name = nullptr;
    return gather(b, name, b.name_len);
}

// "pelmor -": a magnitude line for every line of standard input; "pelmor
// -n": a line for every event, once the input is read.  The input is read
// in blocks.  A line that goes on past a block is moved to the front and
// completed by the next read; of a line longer than line_max only the start
// is kept, and the rest is passed over; an event name is taken whole.  The
// end of the input ends a last line as a line end would.  At a read error
// the unfinished line is left unjudged and reading stops.
static int bulletin(const char *prog, FILE *in, FILE *out, FILE *err, Events *events)
{
    // The blocks are the run's own, not the stack's, which may be small.
    static char input[input_block + 1];  // a block, and room to end a last line
    static Output o;
    o.out = out, o.pending = 0, o.cause = 0, o.failed = false;
    Bulletin b{prog, err, o, events, events ? "expected <event> <ampl> <km-distance>" : "expected <ampl> <km-distance>",
               0, false, false, nullptr, 0};
    int fd = fileno(in), read_error = 0;
    size_t kept = 0;       // the start of a line, at the front of input
    bool passing = false;  // passing over the rest of a long line
    for (bool last = false; !last && !o.failed && !b.out_of_memory;) {
        hand_over(o);  // before a read that may wait for more input
        ssize_t got;
        do
            got = read(fd, input + kept, sizeof input - 1 - kept);
        while (got < 0 && errno == EINTR);
        if (got < 0) {
            read_error = errno;
            break;
        }
        if (got == 0) {  // a last line without its line end
            last = true;
            if (!kept && !(events && events->gathered))
                break;
            input[kept] = '\n';
            got = 1;
        }
        char *p = input, *end = input + kept + got;
        kept = 0;
        while (p < end && !b.out_of_memory) {
            if (events && !passing && !(p = take_name(b, p, end)))
                break;
            char *nl = static_cast<char *>(memchr(p, '\n', static_cast<size_t>(end - p)));
            size_t left = static_cast<size_t>((nl ? nl : end) - p);
            if (nl) {
                if (!passing)
                    judge_text(b, p, left);
                passing = false;
                p = nl + 1;
                continue;
            }
            if (!passing && left > line_max + 1) {  // too long, whether or not a CR follows
                judge_text(b, p, left);
                passing = true;
            } else if (!passing && keep_name(b)) {
                kept = left;
                memmove(input, p, kept);
            }
            break;
        }
    }
    hand_over(o);
    // Room to average any event is made before the first is printed.
    b.out_of_memory = b.out_of_memory || (events && !read_error && !events_ready(*events));
    if (read_error) {
        fprintf(err, "%s: cannot read standard input: %s\n", prog, strerror(read_error));
        b.refused = true;
    } else if (b.out_of_memory) {
        fprintf(err, "%s: out of memory\n", prog);
        b.refused = true;
    } else if (events) {
        for (size_t i = 0; i < events->count; i++)  // none is written once a write failed
            put_event(o, *events, events->list[i]);
        hand_over(o);
    }
    return close_output(out, err, prog, b.refused ? 1 : 0, o.cause);
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
