// pelmor's entry function, and the sizes that bound what it reads and
// writes: the code keeps to them, and the tests probe their edges.
#pragma once

#include <cstddef>
#include <cstdio>

namespace pelmor_sizes {

// What a bulletin line is judged by: room for any sensible event and reading.
constexpr size_t line_max = 4096;

// The bulletin is read in blocks of input_block characters (fewer in a fuzz
// build, so that short inputs cross them); answers go out in output_block.
#ifndef PELMOR_BLOCK_SIZE
#define PELMOR_BLOCK_SIZE (1 << 16)
#endif
constexpr size_t input_block = PELMOR_BLOCK_SIZE;
constexpr size_t output_block = 1 << 16;

}  // namespace pelmor_sizes

int pelmor(int argc, char *argv[], FILE *in, FILE *out, FILE *err);
