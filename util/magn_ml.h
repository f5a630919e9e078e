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

#ifdef __cplusplus
}
#endif

#endif
