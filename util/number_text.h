// Numbers as pelmor reads and writes them: as "%f" reads them and as
// "%4.2f" prints them, byte for byte, at a fraction of the C library's cost.
#pragma once

#include <cstddef>

// Reads plain decimals ("1234.5", "-0.012") as "%f" does, and returns the
// end of their text; null for any other text.
const char *read_plain_decimal(const char *text, float *value);

// Reads the number at the start of text as "%f" does; false for none.
bool read_number(const char *text, float *value);

// Room for "%4.2f" of any float and a character more.
constexpr size_t magnitude_max = 48;

// Writes ml as "%4.2f" does, and `end` after it; returns the length.
size_t format_magnitude(char *text, double ml, char end);
