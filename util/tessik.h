// tessik's entry function, and the sizes that bound what it reads and
// writes: the code keeps to them, and the tests probe their edges.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tessik_sizes {

constexpr size_t piece_max = 2046;  // what one read of a line takes
constexpr size_t name_max = 179;

// The listing streams through blocks of this size, and the names go out in
// blocks of names_block.  (A fuzz build makes the input blocks small, so
// that short inputs cross their bounds.)
#ifndef TESSIK_INPUT_SIZE
#define TESSIK_INPUT_SIZE (1 << 18)
#endif
constexpr size_t input_block = TESSIK_INPUT_SIZE;
constexpr size_t names_block = 1 << 16;

}  // namespace tessik_sizes

int tessik(int argc, char *argv[], FILE *out, FILE *err);
