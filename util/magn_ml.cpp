// Local magnitude: the calibration table and the interpolating routine,
// and the network magnitude of an event from its station magnitudes.
// Every step is as precise as written, without fused multiply-add, so that
// a magnitude reads the same on every machine and optimisation level.
#include "magn_ml.h"

#include <algorithm>
#include <cmath>

extern "C" {

const float ml_sigma[75] = {
    // 0 to 95 km, every 5 km
    1.4f, 1.4f, 1.5f, 1.6f, 1.7f, 1.9f, 2.1f, 2.3f, 2.4f, 2.5f,
    2.6f, 2.7f, 2.8f, 2.8f, 2.8f, 2.8f, 2.9f, 2.9f, 3.0f, 3.0f,
    // 100 to 590 km, every 10 km
    3.0f, 3.1f, 3.1f, 3.2f, 3.2f, 3.3f, 3.3f, 3.4f, 3.4f, 3.5f,
    3.5f, 3.6f, 3.65f, 3.7f, 3.7f, 3.8f, 3.8f, 3.9f, 3.9f, 4.0f,
    4.0f, 4.1f, 4.1f, 4.2f, 4.2f, 4.3f, 4.3f, 4.3f, 4.4f, 4.4f,
    4.5f, 4.5f, 4.5f, 4.6f, 4.6f, 4.6f, 4.6f, 4.7f, 4.7f, 4.7f,
    4.7f, 4.8f, 4.8f, 4.8f, 4.8f, 4.8f, 4.9f, 4.9f, 4.9f, 4.9f,
    // 600 to 1000 km, every 100 km
    4.9f, 5.2f, 5.4f, 5.5f, 5.7f,
};

float magn_ml(float ampl, float distance, int *dist_ok)
{
    *dist_ok = 1;
    if (!(distance >= 1.0 && distance < 1000.0)) {  // NaN fails too
        *dist_ok = 0;
        return 0.0f;
    }

    // ioffset is the index that 0 km would have at the band's spacing.
    float delta = 5.0f;
    int ioffset = 0;
    if (distance > 600.0f) {
        delta = 100.0f;
        ioffset = 64;
    } else if (distance > 100.0f) {
        delta = 10.0f;
        ioffset = 10;
    }

    // The floored quotient is whole already; the half added or taken away
    // only guards the conversion to int.
    double node = std::floor(static_cast<double>(distance / delta));
    // NOLINTNEXTLINE(bugprone-incorrect-roundings)
    int idist = node > 0 ? static_cast<int>(node + 0.5) : static_cast<int>(node - 0.5);
    int itmp = ioffset + idist;  // the node at or below the distance

    float grad = (ml_sigma[itmp + 1] - ml_sigma[itmp]) / delta;
    float tmp = distance - static_cast<float>(idist) * delta;
    tmp = tmp * grad;
    tmp = tmp + ml_sigma[itmp];
    return static_cast<float>(std::log10(static_cast<double>(ampl)) + tmp);
}

// The 25 % trimmed mean of Rosenberger and Gasko: up to three station
// magnitudes all weigh 1; from four on, an eighth of them, n * x, is
// trimmed at each end of the sorted n, the k wholly inside that eighth
// weighing nothing and the one that it cuts what is left of it.  Every
// sum is taken in double precision, in ascending order of magnitude; those
// that weigh nothing add nothing.  A magnitude that is not finite is found
// before anything is sorted.
int magn_ml_network(float *station_ml, int n, double *network_ml, double *spread)
{
    for (int i = 0; i < n; i++)
        if (!std::isfinite(station_ml[i]))
            return -1;
    if (n <= 0)
        return 0;
    std::sort(station_ml, station_ml + n, [](float a, float b) { return a < b; });
    const double x = 0.125;
    int k = static_cast<int>(std::floor(n * x + 1e-5));  // 0 up to seven
    double cut = n <= 3 ? 1 : k + 1 - n * x;           // the weight of the outermost that count
    double weights = 0, weighted = 0;
    for (int i = k; i < n - k; i++) {
        double w = i == k || i == n - k - 1 ? cut : 1;
        weights += w;
        weighted += w * station_ml[i];
    }
    double mean = weighted / weights, squares = 0;
    for (int i = k; i < n - k; i++) {
        double w = i == k || i == n - k - 1 ? cut : 1, d = station_ml[i] - mean;
        squares += w * d * d;
    }
    *network_ml = mean;
    *spread = n < 2 ? -1 : std::sqrt(squares / (weights - 1));
    return n - 2 * k;
}

}
