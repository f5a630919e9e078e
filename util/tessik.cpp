// tessik: the file names that a new listing holds and an old one does not,
// from the output of diff run on the new listing and the old one, or from
// the two listings themselves, in any order.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "old_listing.h"
#include "tessik.h"

namespace {

using namespace tessik_sizes;

// The listing streams through `input` block by block; the names gather in
// `names` and go out in blocks too.  Both live for the whole run.
char input[input_block];
char names[names_block];
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
// and only set the error flag, so both tell of a failure.  After the first
// failure nothing more is written: names after a gap would pass for all.
void flush_names(Run &r)
{
    if (!r.failed && (fwrite(names, 1, r.pending, r.out) != r.pending || ferror(r.out))) {
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
        while (!r.failed && (p = next_record(p, end, bol))) {
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

// Judges a record of the new listing that the old one does not hold, as
// the diff form judges the line "< " and the record: by its first piece.
void take(Run &r, const OldListing &old, const char *rec, size_t len)
{
    if (old.holds(rec, len))
        return;
    char line[piece_max];
    size_t n = std::min(len, piece_max - 2);
    line[0] = '<';
    line[1] = ' ';
    memcpy(line + 2, rec, n);
    if (len < piece_max - 2)
        line[2 + n++] = '\n';
    judge(r, line, n + 2);
}

// Streams the new listing through `input`.  A record that goes on past a
// block gathers in `carry`, as far as a piece or the longest old record and
// a '\r' go: one that goes on further is new, whatever follows.  Once a
// write has failed, nothing more is judged, least of all a record cut short.
Input compare(Run &r, const OldListing &old, int fd)
{
    const size_t keep = std::max(old.longest() + 1, piece_max);
    char *carry = nullptr;
    size_t held = 0, len = 0, cap = 0;  // characters kept, in all, room
    auto gather = [&](const char *p, const char *stop) {
        size_t add = std::min(static_cast<size_t>(stop - p), keep - held);
        if (held + add > cap) {
            char *more = static_cast<char *>(realloc(carry, cap = std::min(keep, std::max(2 * cap, held + add))));
            if (!more)
                return Input::out_of_memory;
            carry = more;
        }
        memcpy(carry + held, p, add);
        held += add;
        len += static_cast<size_t>(stop - p);
        return Input::read;
    };
    Input in = Input::read;
    r.nul = true;  // a NUL may be in any record
    for (ssize_t got; in == Input::read && !r.failed && (got = read(fd, input, sizeof input)) != 0;) {
        if (got < 0) {
            in = errno == EINTR ? Input::read : Input::unreadable;
            continue;
        }
        const char *p = input, *end = input + got, *next;
        if (len > 0) {  // the record carried goes on
            const char *nl = static_cast<const char *>(memchr(p, '\n', static_cast<size_t>(end - p)));
            if ((in = gather(p, nl ? nl : end)) != Input::read || !nl)
                continue;
            take(r, old, carry, len - ((nl > p ? nl[-1] : carry[held - 1]) == '\r'));
            held = len = 0;
            p = nl + 1;
        }
        for (; p < end && in == Input::read && !r.failed; p = next) {
            size_t n = record_at(p, end, &next);
            if (next[-1] == '\n')
                take(r, old, p, n);
            else
                in = gather(p, end);
        }
    }
    if (in == Input::read && len > 0 && !r.failed)  // a last record without its line end
        take(r, old, carry, len);
    free(carry);
    return in;
}

// Reports an input file that could not be read through, and why.
int unread(const Run &r, Input why, const char *path)
{
    const char *format = why == Input::out_of_memory ? "%s: out of memory reading %s\n"
                         : why == Input::too_large   ? "%s: old listing %s too large: it must be under 4 GiB\n"
                                                     : "%s: can't read input file %s\n";
    fprintf(r.err, format, r.prog, path);
    return 1;
}

// Whether the old listing and the new one are one pipe, which cannot be
// read as two listings: the old one would take all it holds.
bool same_pipe(int old_fd, const struct stat &n)
{
    struct stat o;
    return fstat(old_fd, &o) == 0 && (S_ISFIFO(o.st_mode) || S_ISSOCK(o.st_mode)) &&
           o.st_dev == n.st_dev && o.st_ino == n.st_ino;
}

int cant_open(const Run &r, const char *path)
{
    fprintf(r.err, "%s: can't open input file %s\n", r.prog, path);
    return 1;
}

// The two-listing form.  The old listing is read whole before the new one
// is opened, so that one writer may feed both through pipes, the old one
// first; nothing is written before both are open and the old one is held.
int listings(Run &r, const char *newfile, const char *oldfile)
{
    // A new listing that is not there is named at once, not after the old
    // one is read, which may take long, or for ever from an idle pipe.
    struct stat new_st;
    if (stat(newfile, &new_st) != 0)
        return cant_open(r, newfile);
    int old_fd = open(oldfile, O_RDONLY);
    if (old_fd < 0) {
        // When neither opens, the new one is named, as the first given.  A
        // pipe opens without waiting for its writer here.
        int new_fd = open(newfile, O_RDONLY | O_NONBLOCK);
        close(new_fd);  // -1 when it did not open, which close refuses
        return cant_open(r, new_fd < 0 ? newfile : oldfile);
    }
    if (same_pipe(old_fd, new_st)) {
        fprintf(r.err, "%s: %s and %s are the same pipe\n", r.prog, newfile, oldfile);
        close(old_fd);
        return 1;
    }
    OldListing old;
    Input held = old.hold(old_fd, random_key());
    close(old_fd);
    if (held != Input::read)
        return unread(r, held, oldfile);
    int new_fd = open(newfile, O_RDONLY);
    if (new_fd < 0)
        return cant_open(r, newfile);
    Input compared = compare(r, old, new_fd);
    close(new_fd);
    flush_names(r);
    return compared == Input::read ? 0 : unread(r, compared, newfile);
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

    if (argc == 3) {
        Run r{prog, out, err, 0, isatty(fileno(out)) == 1, false, false, 0};
        int status = listings(r, argv[1], argv[2]);
        return close_output(out, err, prog, status, r.cause);
    }
    if (argc != 2) {
        fprintf(err, "Usage: %s <diff-input_new-old>\n", prog);
        return close_output(out, err, prog, 1);
    }
    const char *inpfile = argv[1];
    Run r{prog, out, err, 0, isatty(fileno(out)) == 1, false, false, 0};
    int fd = open(inpfile, O_RDONLY);
    if (fd < 0)
        return close_output(out, err, prog, cant_open(r, inpfile));
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
