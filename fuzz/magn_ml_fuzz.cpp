// The input's first four bytes are the bit pattern of a distance, the next
// four (if any) that of an amplitude.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "magn_ml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    float distance, ampl = 1.0f;
    if (size < sizeof distance)
        return 0;
    memcpy(&distance, data, sizeof distance);
    if (size >= 2 * sizeof ampl)
        memcpy(&ampl, data + sizeof distance, sizeof ampl);

    int ok = -1;
    float ml = magn_ml(ampl, distance, &ok);
    bool in_range = distance >= 1.0f && distance < 1000.0f;
    if (ok != (in_range ? 1 : 0))
        abort();
    if (!ok && (ml != 0.0f || std::signbit(ml)))
        abort();
    // The correction lies between the table's least and greatest values.
    float correction = magn_ml(1.0f, distance, &ok);
    if (ok && !(correction >= 1.4f && correction <= 5.7f))
        abort();
    return 0;
}
