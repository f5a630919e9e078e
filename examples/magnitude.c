/* Local magnitudes of a few amplitude readings through the magn_ml library.
 *
 * Built against an installed library, from the top of the checkout, and run:
 *   cc -std=c99 -o magnitude examples/magnitude.c -lmagn_ml -lm && ./magnitude
 *   cc -std=c99 -o magnitude examples/magnitude.c $(pkg-config --cflags --libs magn_ml) && ./magnitude
 * or with CMake (examples/magnitude/CMakeLists.txt):
 *   cmake -S examples/magnitude -B build/magnitude
 *   cmake --build build/magnitude && build/magnitude/magnitude
 * The amplitudes are peak trace amplitudes of a Wood-Anderson seismograph in
 * millimetres, for which the magnitude table is made. */
#include <stdio.h>

#include <magn_ml.h>

struct reading {
    float ampl;     /* Wood-Anderson trace amplitude, mm */
    float distance; /* epicentral distance in km */
};

int main(void)
{
    static const struct reading readings[] = {
        {1000.0f, 100.0f},
        {1.0f, 32.0f},
        {0.01f, 5.0f},
        {2.5f, 250.0f},
        {1.0f, 1500.0f}, /* beyond the calibration table */
    };
    size_t i;

    for (i = 0; i < sizeof readings / sizeof readings[0]; i++) {
        int dist_ok;
        float ml = magn_ml(readings[i].ampl, readings[i].distance, &dist_ok);

        if (dist_ok)
            printf("%g at %g km: ML %4.2f\n", readings[i].ampl,
                   readings[i].distance, ml);
        else
            printf("%g at %g km: distance out of range\n", readings[i].ampl,
                   readings[i].distance);
    }
    if (fflush(stdout) != 0 || ferror(stdout)) {
        perror("magnitude: standard output");
        return 1;
    }
    return 0;
}
