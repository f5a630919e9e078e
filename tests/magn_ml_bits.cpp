// Prints the bits of magn_ml's result over a dense sweep of amplitudes and
// distances, for comparing builds across machines and optimisation levels.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "magn_ml.h"

int main()
{
    const float ampls[] = {1e-3f, 0.0137f, 0.1f, 0.5f, 1.0f, 2.5f, 7.3f, 10.0f, 123.4f, 1e3f, 1e6f};
    for (float ampl : ampls) {
        for (float km = 0.5f; km < 1010.0f; km += 0.0625f) {
            int ok;
            float ml = magn_ml(ampl, km, &ok);
            uint32_t bits;
            memcpy(&bits, &ml, sizeof bits);
            printf("%g %g %d %08x\n", static_cast<double>(ampl), static_cast<double>(km), ok, bits);
        }
    }
    return 0;
}
