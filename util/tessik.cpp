// tessik: the file names that a new listing holds and an old one does not,
// from the output of diff run on the new listing and the old one.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t piece_max = 2046;  // what one read of a line takes
constexpr size_t name_max = 179;

// The listing streams through `input` block by block; the names gather in
// `names` and go out in blocks too.  Both live for the whole run.  (A fuzz
// build makes the blocks small, so that short inputs cross their bounds.)
#ifndef TESSIK_INPUT_SIZE
#define TESSIK_INPUT_SIZE (1 << 18)
#endif
char input[TESSIK_INPUT_SIZE];
char names[1 << 16];
static_assert(sizeof input > piece_max, "a block holds a whole piece");

struct Run {
    const char *prog;
    FILE *out, *err;
    size_t pending;  // bytes in `names` not yet handed to out
    bool each_name;  // out is a terminal: every name goes out as it is found
    bool nul;        // the block in `input` holds a NUL somewhere
    bool failed;     // a write to out failed: nothing more can be written
    int cause;       // its errno
};

// Hands the names to out.  A C library may count a failed write as done
// and only set the error flag, so both tell of a failure.
void flush_names(Run &r)
{
    if ((fwrite(names, 1, r.pending, r.out) != r.pending || ferror(r.out)) && !r.failed) {
        r.failed = true;
        r.cause = errno;
    }
    r.pending = 0;
}

// Reports a record that cannot be split: no comma ends its name within the
// piece, or the name is too long.
void report(Run &r, const char *piece, size_t len, size_t room)
{
    if (room > name_max) {
        fprintf(r.err, "%s: filename too long (line %.*s)\n", r.prog, static_cast<int>(len), piece);
        room = name_max;
    }
    fprintf(r.err, "%s: no separation comma for file %.*s\n", r.prog, static_cast<int>(room), piece + 2);
}

// Judges the first piece of a line.  A record found only in the new listing
// starts with '<' and a gap; its file name runs from there up to the first ','.
inline void judge(Run &r, const char *piece, size_t len)  // once a record: worth inlining
{
    // No file name holds a NUL: the line ends there as far as it is read,
    // as it does for the programs that take our output.  Most blocks hold
    // none, and then there is none to look for.
    const void *nul = r.nul ? memchr(piece, '\0', len) : nullptr;
    if (nul)
        len = static_cast<size_t>(static_cast<const char *>(nul) - piece);
    if (len <= 2)
        return;
    const char *name = piece + 2;
    size_t room = std::min(len - 2, name_max + 1);  // the longest name and its stop
    const char *comma = static_cast<const char *>(memchr(name, ',', room));
    if (!comma)
        return report(r, piece, len, room);
    size_t n = static_cast<size_t>(comma - name);
    if (r.pending + n + 1 > sizeof names)
        flush_names(r);
    memcpy(names + r.pending, name, n);
    names[r.pending + n] = '\n';
    r.pending += n + 1;
    if (r.each_name)
        flush_names(r);
}

// The first '<' from p on that begins a line, or null: the lines before it
// are no records and are passed over whole.  bol tells whether p begins one.
char *next_record(char *p, const char *end, bool bol)
{
    if (bol && p < end && *p == '<')
        return p;
    for (char *q = p; (q = static_cast<char *>(memchr(q, '<', static_cast<size_t>(end - q)))); q++)
        if (q != p && q[-1] == '\n')
            return q;
    return nullptr;
}

// Judges every record by the first piece of its line: at most piece_max
// characters, its newline kept when it falls within them.  The rest of a
// longer line is passed over, so that none of it is taken for a record.
// False when the input cannot be read through.
bool scan(Run &r, int fd)
{
    size_t kept = 0;  // the start of a record that goes on in the next block
    bool bol = true;  // the next block begins a line
    for (;;) {
        ssize_t got = read(fd, input + kept, sizeof input - kept);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        char *p = input, *end = input + kept + got;
        r.nul = memchr(input, '\0', kept + static_cast<size_t>(got));
        kept = 0;
        while ((p = next_record(p, end, bol))) {
            size_t left = static_cast<size_t>(end - p);
            char *nl = static_cast<char *>(memchr(p, '\n', std::min(left, piece_max)));
            if (!nl && left < piece_max) {
                kept = left;
                memmove(input, p, kept);
                break;
            }
            char *next = nl ? nl + 1 : p + piece_max;
            judge(r, p, static_cast<size_t>(next - p));
            bol = nl;
            p = next;
        }
        bol = kept || end[-1] == '\n';
        if (r.failed)
            return true;
    }
    if (kept > 0)  // a last line without its newline
        judge(r, input, kept);
    return true;
}

// Closes standard output.  A write that failed, before the close or at it,
// is a failure, reported with the cause of the first that failed: `cause`
// holds the errno of one before, if any.  A closed descriptor with nothing
// to write is no failure.
int close_output(FILE *out, FILE *err, const char *prog, int status, int cause = 0)
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

}  // namespace

int tessik(int argc, char *argv[], FILE *out, FILE *err)
{
    const char *prog = argc > 0 && *argv[0] ? argv[0] : "tessik";

    if (argc != 2) {
        fprintf(err, "Usage: %s <diff-input_new-old>\n", prog);
        return close_output(out, err, prog, 1);
    }
    const char *inpfile = argv[1];
    int fd = open(inpfile, O_RDONLY);
    if (fd < 0) {
        fprintf(err, "%s: can't open input file %s\n", prog, inpfile);
        return close_output(out, err, prog, 1);
    }
    Run r{prog, out, err, 0, isatty(fileno(out)) == 1, false, false, 0};
    bool read_through = scan(r, fd);
    close(fd);
    flush_names(r);
    if (!read_through)
        fprintf(err, "%s: can't read input file %s\n", prog, inpfile);
    return close_output(out, err, prog, read_through ? 0 : 1, r.cause);
}

#ifndef TESSIK_NO_MAIN
int main(int argc, char *argv[]) { return tessik(argc, argv, stdout, stderr); }
#endif
