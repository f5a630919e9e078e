// quarn's entry function, and the sizes that bound what it reads of a
// catalogue: the code keeps to them, and the tests probe a line's edges.
#pragma once

#include <cstddef>
#include <cstdio>

namespace quarn_sizes {

// A catalogue line is judged by its first piece_max characters at most, its
// newline counted; the rest of a longer line is passed over.
constexpr size_t piece_max = 255;
// The catalogue is read in blocks of this size.
constexpr size_t input_block = 1 << 17;

}  // namespace quarn_sizes

int quarn(int argc, char *argv[], FILE *out, FILE *err);
