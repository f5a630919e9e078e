"""Local magnitudes of a bulletin and network magnitudes of events, in Python.

Run from the top of the checkout, after `cmake --workflow --preset release`:
    PYTHONPATH=build/release/python python3 examples/magnitude.py
It prints what `pelmor - < examples/bulletin` and then
`pelmor -n < examples/events` print.  The amplitudes are peak trace
amplitudes of a Wood-Anderson seismograph in millimetres, the distances
epicentral distances in km.
"""
import numpy as np

import magn_ml


def two_decimals(value):
    """A magnitude as pelmor prints it, or nothing where there is none."""
    return "" if np.isnan(value) else "%4.2f" % value


# A reading a line: amplitude, distance, station, magnitude type.
ampl, km = np.loadtxt("examples/bulletin", usecols=(0, 1), dtype=np.float32, unpack=True)
for ml in magn_ml.ml(ampl, km):
    print(two_decimals(ml))

# A reading a line, its event first; the lines of an event need not be adjacent.
event = np.loadtxt("examples/events", usecols=0, dtype=str)
ampl, km = np.loadtxt("examples/events", usecols=(1, 2), dtype=np.float32, unpack=True)
station_ml = magn_ml.ml(ampl, km)
for name in dict.fromkeys(event):  # in the order of the events' first lines
    ml, sd, n = magn_ml.network(station_ml[(event == name) & ~np.isnan(station_ml)])
    print(name, two_decimals(ml), two_decimals(sd), n, sep="\t")
