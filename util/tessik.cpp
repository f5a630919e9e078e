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

// The old listing, held whole: each of its records once, each ended by
// '\n', and a hash table of where they begin.  The records of at most two
// characters are bits of `tiny` instead, so that short lines, however
// many, cost no room in the table.  The offsets take 32 bits: an old
// listing of 4 GiB or more cannot be held.
struct Old {
    char *text = nullptr;
    size_t size = 0;
    uint32_t *slots = nullptr;  // a record's offset + 1; 0 is free
    size_t nslots = 0;
    size_t longest = 0;  // of the records in the table
};
unsigned char tiny[(1 << 17) / 8];

size_t tiny_bit(const char *rec, size_t len)  // a 1, then the characters
{
    size_t bit = 1;
    for (size_t i = 0; i < len; i++)
        bit = bit << 8 | static_cast<unsigned char>(rec[i]);
    return bit;
}

size_t hash(const char *p, size_t len)
{
    uint64_t h = len * 0x9e3779b97f4a7c15u;
    for (size_t n; len > 0; p += n, len -= n) {
        uint64_t word = 0;
        memcpy(&word, p, n = std::min<size_t>(len, 8));
        h = (h ^ word) * 0xff51afd7ed558ccdu;
        h ^= h >> 32;
    }
    return static_cast<size_t>(h);
}

// The slot that holds the record, or the free one where it would go.
uint32_t *slot(const Old &o, const char *rec, size_t len)
{
    size_t i = hash(rec, len) % o.nslots;
    for (; o.slots[i]; i = (i + 1) % o.nslots) {
        const char *t = o.text + (o.slots[i] - 1);
        if (len < static_cast<size_t>(o.text + o.size - t) && t[len] == '\n' && memcmp(t, rec, len) == 0)
            break;
    }
    return &o.slots[i];
}

bool holds(const Old &o, const char *rec, size_t len)
{
    if (len <= 2)
        return tiny[tiny_bit(rec, len) / 8] >> tiny_bit(rec, len) % 8 & 1;
    return len <= o.longest && *slot(o, rec, len);
}

// The length of the record at p, without its line end ("\n" or "\r\n");
// it ends at the first '\n' or at end.  *next is where the next begins.
size_t record(const char *p, const char *end, const char **next)
{
    const char *nl = static_cast<const char *>(memchr(p, '\n', static_cast<size_t>(end - p)));
    *next = nl ? nl + 1 : end;
    size_t len = static_cast<size_t>((nl ? nl : end) - p);
    return len - (nl && len && p[len - 1] == '\r');
}

// Reads the old listing into memory, a regular file into a buffer of its
// size, a pipe into one that grows by half, and then keeps each record
// once.  The table is made for all records, so that it never grows.
bool hold(Old &o, int fd)
{
    struct stat st;
    size_t cap = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) + 1 : 1 << 16;
    for (ssize_t got = 1; got != 0; o.size += got > 0 ? static_cast<size_t>(got) : 0) {
        if (!o.text || o.size == cap) {
            cap += o.text ? cap / 2 : 0;
            char *more = cap < UINT32_MAX ? static_cast<char *>(realloc(o.text, cap)) : nullptr;
            if (!more)
                return false;
            o.text = more;
        }
        got = read(fd, o.text + o.size, cap - o.size);
        if (got < 0 && errno != EINTR)
            return false;
    }
    const char *end = o.text + o.size, *next;
    size_t n = 0;
    for (const char *p = o.text; p < end; p = next) {
        size_t len = record(p, end, &next);
        n += len > 2;
        if (len <= 2)
            tiny[tiny_bit(p, len) / 8] |= static_cast<unsigned char>(1 << tiny_bit(p, len) % 8);
    }
    o.nslots = n + n / 4 + 1;
    if (!(o.slots = static_cast<uint32_t *>(calloc(o.nslots, sizeof *o.slots))))
        return false;
    o.size = 0;  // the records kept move down over those left out
    for (const char *p = o.text; p < end; p = next) {
        size_t len = record(p, end, &next);
        uint32_t *s = len > 2 ? slot(o, p, len) : nullptr;
        if (!s || *s)
            continue;
        memmove(o.text + o.size, p, len);
        o.text[o.size + len] = '\n';
        *s = static_cast<uint32_t>(o.size + 1);
        o.size += len + 1;
        o.longest = std::max(o.longest, len);
    }
    return true;
}

// Judges a record of the new listing that the old one does not hold, as
// the diff form judges the line "< " and the record: by its first piece.
void take(Run &r, const Old &o, const char *rec, size_t len)
{
    if (holds(o, rec, len))
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
// a '\r' go: one that goes on further is new, whatever follows.  False when
// the listing cannot be read through.
bool compare(Run &r, const Old &o, int fd)
{
    const size_t keep = std::max(o.longest + 1, piece_max);
    char *carry = nullptr;
    size_t held = 0, len = 0, cap = 0;  // characters kept, in all, room
    auto gather = [&](const char *p, const char *stop) {
        size_t add = std::min(static_cast<size_t>(stop - p), keep - held);
        if (held + add > cap) {
            char *more = static_cast<char *>(realloc(carry, cap = std::min(keep, std::max(2 * cap, held + add))));
            if (!more)
                return false;
            carry = more;
        }
        memcpy(carry + held, p, add);
        held += add;
        len += static_cast<size_t>(stop - p);
        return true;
    };
    bool ok = true;
    r.nul = true;  // a NUL may be in any record
    for (ssize_t got; ok && !r.failed && (got = read(fd, input, sizeof input)) != 0;) {
        if (got < 0) {
            ok = errno == EINTR;
            continue;
        }
        const char *p = input, *end = input + got, *next;
        if (len > 0) {  // the record carried goes on
            const char *nl = static_cast<const char *>(memchr(p, '\n', static_cast<size_t>(end - p)));
            if (!(ok = gather(p, nl ? nl : end)) || !nl)
                continue;
            take(r, o, carry, len - ((nl > p ? nl[-1] : carry[held - 1]) == '\r'));
            held = len = 0;
            p = nl + 1;
        }
        for (; p < end && ok; p = next) {
            size_t n = record(p, end, &next);
            if (next[-1] == '\n')
                take(r, o, p, n);
            else
                ok = gather(p, end);
        }
    }
    if (ok && len > 0)  // a last record without its line end
        take(r, o, carry, len);
    free(carry);
    return ok;
}

// The two-listing form: both opened and the old one read whole before
// anything is written.
int listings(Run &r, const char *newfile, const char *oldfile)
{
    int new_fd = open(newfile, O_RDONLY), old_fd = open(oldfile, O_RDONLY);
    if (new_fd < 0 || old_fd < 0) {
        fprintf(r.err, "%s: can't open input file %s\n", r.prog, new_fd < 0 ? newfile : oldfile);
        close(new_fd);  // either may be -1, which close refuses
        close(old_fd);
        return 1;
    }
    Old o;
    memset(tiny, 0, sizeof tiny);
    const char *unread = !hold(o, old_fd) ? oldfile : !compare(r, o, new_fd) ? newfile : nullptr;
    close(old_fd);
    close(new_fd);
    free(o.text);
    free(o.slots);
    flush_names(r);
    if (unread)
        fprintf(r.err, "%s: can't read input file %s\n", r.prog, unread);
    return unread ? 1 : 0;
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
