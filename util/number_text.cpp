#include "number_text.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

// At most nine digits, worth less than 2^24, make both the digits and the
// power of ten exact, so their quotient in double precision, rounded to
// single, is the float nearest the decimal (the double rounding is harmless,
// as double has more than twice the digits of single plus two).
const char *read_plain_decimal(const char *text, float *value)
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

bool read_number(const char *text, float *value)
{
    return read_plain_decimal(text, value) || sscanf(text, "%f", value) == 1;
}

// The double is m / 2^k exactly, so m * 100 / 2^k is its hundredths and the
// remainder tells which way they round.  A tie, which C libraries may round
// either way, and a magnitude that is not finite or beyond 2^49 are left to
// snprintf.  (As "%.2f" gives at least four characters, it prints the same.)
size_t format_magnitude(char *text, double ml, char end)
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
