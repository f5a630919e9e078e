// The input's first four bytes are the bit pattern of a distance, the next
// four (if any) that of an amplitude.  All of it, taken as station
// magnitudes, is averaged by magn_ml_network.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "magn_ml.h"

namespace {

// The network magnitude of any floats: refused, with nothing touched, when
// one is not finite; else they come back sorted, the same floats, with a
// count of those that weigh, a mean among them and a spread from 2 on.
void average(const uint8_t *data, size_t size)
{
    std::vector<float> ml(size / sizeof(float)), was;
    if (!ml.empty())
        memcpy(ml.data(), data, ml.size() * sizeof(float));
    was = ml;
    double network = 7, spread = 7;
    int n = static_cast<int>(ml.size());
    int count = magn_ml_network(ml.data(), n, &network, &spread);
    bool finite = std::all_of(was.begin(), was.end(), [](float m) { return std::isfinite(m); });
    if (!finite || n == 0) {
        if (count != (n ? -1 : 0) || network != 7 || spread != 7 ||
            (n && memcmp(ml.data(), was.data(), ml.size() * sizeof(float)) != 0))
            abort();
        return;
    }
    std::sort(was.begin(), was.end());
    int weighing = n <= 3 ? n : n - 2 * static_cast<int>(std::floor(n * 0.125 + 1e-5));
    auto mean = static_cast<float>(network);
    if (ml != was || count != weighing || !(mean >= ml.front() && mean <= ml.back()) ||
        (count < 2 ? spread != -1 : !(spread >= 0 && std::isfinite(spread))))
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    average(data, size);
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
