"""Times magn_ml.ml on a million float64 pairs against the NumPy expression
that people write instead, np.log10(a) + np.interp(d, nodes, values), on the
same arrays, in the same process.  Prints the median time of each, in
seconds, and the median of the ratios of the rounds (ml's time over NumPy's).

Usage: PYTHONPATH=<build>/python python3 bench/ml-ufunc.py
"""
import statistics
import time

import numpy as np

import magn_ml

rng = np.random.default_rng(6)
ampl = 10 ** rng.uniform(-3, 4, 1_000_000)
km = rng.uniform(1, 999, 1_000_000)
nodes = np.r_[0:100:5, 100:600:10, 600:1001:100].astype(np.float64)
values = magn_ml.ML_SIGMA.astype(np.float64)


def best_of(runs, work):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return min(times)


# Rounds that time both, so that a busy moment of the machine weighs on one
# round's ratio, not on the median.
rounds = [(best_of(5, lambda: magn_ml.ml(ampl, km)),
           best_of(5, lambda: np.log10(ampl) + np.interp(km, nodes, values))) for _ in range(7)]
ml = statistics.median(t for t, _ in rounds)
expression = statistics.median(t for _, t in rounds)
print(ml, expression, statistics.median(t / u for t, u in rounds))
