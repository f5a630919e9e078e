/* Local magnitude from an amplitude and an epicentral distance in km. */
#ifndef MAGN_ML_H
#define MAGN_ML_H

#ifdef __cplusplus
extern "C" {
#endif

/* Distance correction at the calibration nodes: 0 to 100 km every 5 km,
 * 100 to 600 km every 10 km, 600 to 1000 km every 100 km. */
extern const float ml_sigma[75];

/* Returns log10(ampl) plus the interpolated correction.  Sets *dist_ok to 1
 * when 1 km <= distance < 1000 km; otherwise to 0, and returns 0.0. */
float magn_ml(float ampl, float distance, int *dist_ok);

/* The network magnitude of an event from the n station magnitudes of its
 * readings, which it sorts ascending in place: their 25 % trimmed mean
 * (every weight 1 up to three; from four on the outermost weigh less, and
 * from eight on the outermost drop out).  Returns how many weigh anything,
 * N, and when N > 0 writes the mean to *network_ml and its standard
 * deviation to *spread, or -1 there when N < 2.  Returns 0 for n <= 0 and
 * -1 when a magnitude is not finite, writing nothing and leaving the
 * magnitudes as they were.  Allocates nothing. */
int magn_ml_network(float *station_ml, int n, double *network_ml, double *spread);

#ifdef __cplusplus
}
#endif

#endif
