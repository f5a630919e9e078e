#include "bulletin.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace pelmor_sizes;

static_assert(input_block > line_max + 1, "a block holds the start of any line and its CR");

void bulletin_open(Bulletin &b, int in, FILE *out)
{
    b.in = in, b.read_error = 0;
    b.out = out, b.write_error = 0, b.failed = false;
    b.next = b.end = b.block;
    b.kept = 0, b.passing = false, b.at_end = false;
    b.lines = 0, b.pending = 0;
}

// Reads the next block behind what was kept; the end of the input ends a
// last line as a newline would.  Once a write has failed, the rest would
// be answered for nothing.
static bool read_block(Bulletin &b)
{
    if (b.at_end || b.failed)
        return false;
    bulletin_hand_over(b);  // before a read that may wait for more input
    ssize_t got;
    do
        got = read(b.in, b.block + b.kept, input_block - b.kept);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        b.read_error = errno;
        return false;
    }
    if (got == 0) {
        b.at_end = true;
        if (b.kept == 0)
            return false;
        b.block[b.kept] = '\n';
        got = 1;
    }
    b.next = b.block;
    b.end = b.block + b.kept + got;
    b.kept = 0;
    return true;
}

bool bulletin_line(Bulletin &b, Line &line)
{
    do {
        while (b.next < b.end) {
            char *start = b.next;
            size_t left = static_cast<size_t>(b.end - start);
            char *nl = static_cast<char *>(memchr(start, '\n', left));
            b.next = nl ? nl + 1 : b.end;
            if (b.passing) {
                b.passing = !nl;
            } else if (nl || left > line_max + 1) {  // too long, whether or not a CR follows
                size_t len = nl ? static_cast<size_t>(nl - start) : left;
                len -= len > 0 && start[len - 1] == '\r';
                line = {start, std::min(len, line_max), len > line_max};
                start[line.len] = '\0';
                b.passing = !nl;
                b.lines++;
                return true;
            } else {
                memmove(b.block, start, left);
                b.kept = left;
            }
        }
    } while (read_block(b));
    return false;
}

// A C library may count a failed write as done and only set the error
// flag, so both tell of a failure.
void bulletin_hand_over(Bulletin &b)
{
    if (!b.failed && (fwrite(b.answers, 1, b.pending, b.out) != b.pending || fflush(b.out) != 0 || ferror(b.out))) {
        b.failed = true;
        b.write_error = errno;
    }
    b.pending = 0;
}
