// A bulletin's lines, read from a descriptor in blocks, and the answers to
// them, gathered in a block and handed over to the output before each read,
// so that a reading typed at a terminal or sent down a pipe is answered at once.
#pragma once

#include <cstddef>
#include <cstdio>

#include "pelmor.h"

// A line without its line end, cut at line_max, and a NUL after it.
struct Line {
    char *text;
    size_t len;
    bool cut;  // the line goes on beyond them: the rest is passed over
};

struct Bulletin {
    int in, read_error;  // the errno of a read that failed, or 0
    FILE *out;
    int write_error;   // the errno of the first write that failed, or 0
    bool failed;       // a write failed: nothing more is written
    char *next, *end;  // what is read and not yet given as lines
    size_t kept;       // the start of a line, moved to the block's front
    bool passing, at_end;
    unsigned long lines;  // given so far
    size_t pending;       // answers gathered, not yet handed over
    char block[pelmor_sizes::input_block];
    char answers[pelmor_sizes::output_block];
};

void bulletin_open(Bulletin &b, int in, FILE *out);

// The next line: false at the end of the input, after a read that failed
// (the line it cut short is not given), or after the block in which a
// write failed.  A line ends at a newline or at the end of the input, and
// a CR before either belongs to its end.
bool bulletin_line(Bulletin &b, Line &line);

// Hands the answers gathered over to the output and has them written;
// once a write has failed, they are dropped.
void bulletin_hand_over(Bulletin &b);

// Room for len bytes more of the answers, at most output_block, after
// those gathered, which are handed over first where they leave too little.
// What is written there counts once added to `pending`.
inline char *bulletin_room(Bulletin &b, size_t len)
{
    if (sizeof b.answers - b.pending < len)
        bulletin_hand_over(b);
    return b.answers + b.pending;
}
